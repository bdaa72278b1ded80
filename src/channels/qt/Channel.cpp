#include "channels/qt/Channel.h"

#include "ui/Main.h"
#include "ui/QtText.h"

namespace velkor::ui {

TfrmChannel::TfrmChannel(TfrmMain& main, int channel)
    : MdiChild(main, QString("Channel %1").arg(channel + 1), QSize(527, 229)), channel_(channel) {}

void TfrmChannel::ApplySettings() {
  SetActivation(Main().GetSettings().channels[channel_].active);
  ApplyCaption();
  ShowTypePanel();
}

void TfrmChannel::SetActivation(bool on) {
  Main().GetSettings().channels[channel_].active = on;
  Main().SetChannelImage(channel_, on);
}

void TfrmChannel::ApplyCaption() {
  Main().SetChannelHint(channel_, ToQt(Main().GetSettings().channels[channel_].caption).trimmed());
}

void TfrmChannel::ShowTypePanel() {}

}  // namespace velkor::ui
