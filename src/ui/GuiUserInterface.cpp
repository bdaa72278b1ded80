#include "ui/GuiUserInterface.h"

#include <QApplication>

#include "ui/Progress.h"
#include "ui/Main.h"
#include "ui/QtText.h"
#include "ui/views/FilterView.h"
#include "ui/views/Graphic.h"
#include "ui/views/HexaView.h"

namespace velkor::ui {

namespace {
constexpr qint64 kEventIntervalMillis = 15;
}

MessageAnswer GuiUserInterface::ShowMessage(std::string_view text, std::string_view caption,
                                            MessageButtons buttons) {
  const Answer a = main_.ShowMessage(ToQt(text), ToQt(caption),
                                     buttons == MessageButtons::YesNo ? Buttons::YesNo : Buttons::Ok);
  switch (a) {
    case Answer::Yes: return MessageAnswer::Yes;
    case Answer::No:
    case Answer::Cancel: return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    case Answer::Ok: break;
  }
  return MessageAnswer::Ok;
}

void GuiUserInterface::OpenFrameEditor(std::string_view path, std::string_view errorText) {
  main_.OpenFrameEditor(ToQt(path), ToQt(errorText));
}

void GuiUserInterface::ShowProgress(std::string_view title) {
  shownPercent_ = 0;
  main_.Progress().ShowProgress(ToQt(title));
  // The first block lets events run at once: a replay may end before the interval is over.
  sinceEvents_.invalidate();
}

void GuiUserInterface::SetProgress(int percent) {
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  main_.Progress().SetProgress(percent);
}

void GuiUserInterface::HideProgress() {
  main_.Progress().HideProgress();
  shownPercent_ = -1;
}

bool GuiUserInterface::StopRequested() {
  if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= kEventIntervalMillis) {
    QApplication::processEvents();
    sinceEvents_.start();
  }
  return main_.Progress().StopRequested();
}

void GuiUserInterface::RefreshLineCount(std::size_t lineCount) {
  if (auto* hexa = main_.HexaView()) hexa->RefreshLineCount(lineCount);
}

void GuiUserInterface::FieldNamesChanged(int channel) {
  if (auto* filter = main_.FilterView()) filter->RefreshFieldList(channel);
}

void GuiUserInterface::ClearGraphic() {
  if (auto* g = main_.GraphicView()) g->ClearPicture();
}

void GuiUserInterface::ScrollGraphicToNewest() {
  if (auto* g = main_.GraphicView()) g->ScrollToNewest();
}

void GuiUserInterface::DrawColumn(std::uint32_t traceMask, std::uint32_t eventMask) {
  if (auto* g = main_.GraphicView()) g->DrawColumn(traceMask, eventMask);
}

void GuiUserInterface::SetResolutionEnabled(bool enabled) {
  if (auto* g = main_.GraphicView()) g->SetResolutionEnabled(enabled);
}

void GuiUserInterface::SetRunStatus(std::string_view text) { main_.SetRunStatus(ToQt(text)); }

void GuiUserInterface::DrawPortIndicator() { main_.DrawPortIndicator(); }

}  // namespace velkor::ui
