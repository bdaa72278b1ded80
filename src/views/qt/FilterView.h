#pragma once
// "Filter View": a filtered copy of the decoded lines.

#include "ui/MdiChild.h"

namespace velkor::ui {

class TfrmFilterView : public MdiChild {
  Q_OBJECT
 public:
  explicit TfrmFilterView(TfrmMain& main);

  // The channel's label beside its rule row.
  void SetChannelCaption(int channel, const QString& caption);
  // The channel marks take the text colours; the list repaints.
  void ApplyChannelColours();
  void RepaintList();
  // The rule rows from the settings.
  void ApplySettings();
};

}  // namespace velkor::ui
