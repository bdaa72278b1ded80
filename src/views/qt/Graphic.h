#pragma once
// "Graphic view": the rolling chart of the four channels.

#include <cstdint>

#include "ui/MdiChild.h"

namespace velkor::ui {

class TfrmGraphicView : public MdiChild {
  Q_OBJECT
 public:
  explicit TfrmGraphicView(TfrmMain& main);

  void ClearPicture();
  void ScrollToNewest();
  void DrawColumn(std::uint32_t traceMask, std::uint32_t eventMask);
  // The resolution panel, locked during a run.
  void SetResolutionEnabled(bool enabled);
  void SetChannelCaption(int channel, const QString& caption);
  // The channel marks take the text colours; the picture keeps what it drew.
  void ApplyChannelColours();
  // The resolution buttons from the settings.
  void ApplySettings();
};

}  // namespace velkor::ui
