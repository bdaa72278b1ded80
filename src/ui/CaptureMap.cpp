#include "ui/CaptureMap.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/QtText.h"

namespace velkor::ui {

TfrmCaptureMap::TfrmCaptureMap(QWidget* parent, const QString& file, const std::vector<std::string>& names,
                               const std::array<std::string, kChannelCount>& captions, const ChannelMap& map)
    : QDialog(parent) {
  setWindowTitle("Capture channels");
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel("Channels of " + QFileInfo(file).fileName() + " to decode:", this);
  layout->addWidget(intro);
  auto* form = new QFormLayout;
  for (int i = 0; i < kChannelCount; ++i) {
    QComboBox* box = new QComboBox(this);
    box->addItem("(none)");
    for (std::size_t k = 0; k < names.size(); ++k) {
      const QString number = "#" + QString::number(k + 1);
      box->addItem(names[k].empty() ? number : number + "  " + ToQt(names[k]));
    }
    box->setCurrentIndex(map[i] >= 0 && static_cast<std::size_t>(map[i]) < names.size() ? map[i] + 1 : 0);
    form->addRow("Channel " + QString::number(i + 1) + " (" + ToQt(captions[i]) + ")", box);
    cboSource[i] = box;
  }
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

ChannelMap TfrmCaptureMap::Map() const {
  ChannelMap map;
  for (int i = 0; i < kChannelCount; ++i) map[i] = cboSource[i]->currentIndex() <= 0 ? kUnmapped : cboSource[i]->currentIndex() - 1;
  return map;
}

}  // namespace velkor::ui
