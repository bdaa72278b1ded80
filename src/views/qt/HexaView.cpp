#include "views/qt/HexaView.h"

#include "ui/Main.h"

namespace velkor::ui {

TfrmHexaView::TfrmHexaView(TfrmMain& main) : MdiChild(main, "Hexadecimal View", QSize(657, 462), true) {
  setMinimumSize(600, 250);
}

void TfrmHexaView::RefreshLineCount(std::size_t) {}
void TfrmHexaView::SyncLines() {}
void TfrmHexaView::RemoveOldestLine() { Main().GetPipeline().Services().lines.RemoveFirst(); }
void TfrmHexaView::RepaintList() {}
void TfrmHexaView::ApplySettings() {}

}  // namespace velkor::ui
