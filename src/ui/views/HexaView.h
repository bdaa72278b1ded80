#pragma once
// "Hexadecimal View": the decoded lines of the run, one per row, with the relative time of
// a selection, the date unit, the field scroll, Copy, Save, Save all and Edit.

#include <cstddef>

#include "ui/MdiChild.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace velkor::ui {

class LinePanel;
class ClickLabel;

class TfrmHexaView : public MdiChild {
  Q_OBJECT
 public:
  explicit TfrmHexaView(TfrmMain& main);

  // The end-of-sample step after a sample that produced lines. The rows, the line count and
  // AutoScroll follow in batches, at most about 25 times a second.
  void RefreshLineCount(std::size_t lineCount);
  // Brings the list up to the line list at once (after a run, before a removal).
  void SyncLines();
  // Removes line 0 of the line list and the row that shows it.
  void RemoveOldestLine();
  // Captions or colours changed.
  void RepaintList();
  // "Clear on run" and "AutoScroll" from the settings.
  void ApplySettings();

  LinePanel& Panel() { return *panel_; }

  // Handlers.
  void butClearClick();
  void butCloseClick();
  void lblAideHexaClick();
  void chkClearClick();
  void chkAutoScrollClick();

  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  ClickLabel* lblAideHexa = nullptr;
  QCheckBox* chkClear = nullptr;
  QCheckBox* chkAutoScroll = nullptr;
  QPushButton* butClear = nullptr;
  QPushButton* butSave = nullptr;
  QPushButton* butClose = nullptr;

 private:
  // After each batch: the line count in the third panel, and the last line in view.
  void LinesSynced();

  LinePanel* panel_ = nullptr;
};

}  // namespace velkor::ui
