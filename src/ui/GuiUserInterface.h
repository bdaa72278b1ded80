#pragma once
// The core's view of the desktop program: message boxes, the progress window, the views.

#include <QElapsedTimer>

#include "pipeline/UserInterface.h"

namespace velkor::ui {

class TfrmMain;

class GuiUserInterface final : public UserInterface {
 public:
  explicit GuiUserInterface(TfrmMain& main) : main_(main) {}

  MessageAnswer ShowMessage(std::string_view text, std::string_view caption, MessageButtons buttons) override;
  void OpenFrameEditor(std::string_view path, std::string_view errorText) override;

  void ShowProgress(std::string_view title) override;
  void SetProgress(int percent) override;
  void HideProgress() override;
  // Lets pending events run (the Stop button, repaints, the views' batches) at most every
  // few milliseconds, so a fast replay does not spend its time in the event loop.
  bool StopRequested() override;

  void RefreshLineCount(std::size_t lineCount) override;
  void FieldNamesChanged(int channel) override;
  void ClearGraphic() override;
  void ScrollGraphicToNewest() override;
  void DrawColumn(std::uint32_t traceMask, std::uint32_t eventMask) override;
  void SetResolutionEnabled(bool enabled) override;
  void SetRunStatus(std::string_view text) override;
  void DrawPortIndicator() override;

 private:
  TfrmMain& main_;
  int shownPercent_ = -1;
  QElapsedTimer sinceEvents_;
};

}  // namespace velkor::ui
