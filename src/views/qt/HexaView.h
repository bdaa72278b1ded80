#pragma once
// "Hexadecimal View": the decoded lines of the run.

#include <cstddef>

#include "ui/MdiChild.h"

namespace velkor::ui {

class TfrmHexaView : public MdiChild {
  Q_OBJECT
 public:
  explicit TfrmHexaView(TfrmMain& main);

  // The end-of-sample step after a sample that produced lines.
  void RefreshLineCount(std::size_t lineCount);
  // Brings the list up to the line list at once (after a run, before a removal).
  void SyncLines();
  // Removes line 0 of the line list and the row that shows it.
  void RemoveOldestLine();
  // Captions or colours changed.
  void RepaintList();
  // "Clear on run" and "AutoScroll" from the settings.
  void ApplySettings();
};

}  // namespace velkor::ui
