#pragma once
// "Channel n": the settings of one channel.

#include "ui/MdiChild.h"

namespace velkor::ui {

class TfrmChannel : public MdiChild {
  Q_OBJECT
 public:
  TfrmChannel(TfrmMain& main, int channel);

  int Channel() const { return channel_; }
  // The controls from the channel's settings (after a configuration was loaded).
  void ApplySettings();
  void SetActivation(bool on);
  void ApplyCaption();
  void ShowTypePanel();

 private:
  int channel_;
};

}  // namespace velkor::ui
