#include "views/qt/FilterView.h"

#include "ui/Main.h"

namespace velkor::ui {

TfrmFilterView::TfrmFilterView(TfrmMain& main) : MdiChild(main, "Filter View", QSize(657, 462)) {}

void TfrmFilterView::SetChannelCaption(int, const QString&) {}
void TfrmFilterView::ApplyChannelColours() {}
void TfrmFilterView::RepaintList() {}
void TfrmFilterView::ApplySettings() {}

}  // namespace velkor::ui
