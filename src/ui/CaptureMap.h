#pragma once
// "Capture channels": which channel of another instrument's capture each of the four
// channels decodes. Shown before such a capture is replayed when the file names its channels.

#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "capture/ChannelMap.h"

class QComboBox;

namespace velkor::ui {

class TfrmCaptureMap : public QDialog {
  Q_OBJECT
 public:
  // `names`: the file's channels; `captions`: the four channels' captions; `map`: the choice
  // offered.
  TfrmCaptureMap(QWidget* parent, const QString& file, const std::vector<std::string>& names,
                 const std::array<std::string, kChannelCount>& captions, const ChannelMap& map);

  ChannelMap Map() const;

  // One list per channel: "(none)", then the file's channels in file order.
  std::array<QComboBox*, kChannelCount> cboSource{};
};

}  // namespace velkor::ui
