#include "views/qt/Graphic.h"

#include "ui/Main.h"

namespace velkor::ui {

TfrmGraphicView::TfrmGraphicView(TfrmMain& main) : MdiChild(main, "Graphic view", QSize(843, 115), true) {}

void TfrmGraphicView::ClearPicture() {}
void TfrmGraphicView::ScrollToNewest() {}
void TfrmGraphicView::DrawColumn(std::uint32_t, std::uint32_t) {}
void TfrmGraphicView::SetResolutionEnabled(bool) {}
void TfrmGraphicView::SetChannelCaption(int, const QString&) {}
void TfrmGraphicView::ApplyChannelColours() {}
void TfrmGraphicView::ApplySettings() {}

}  // namespace velkor::ui
