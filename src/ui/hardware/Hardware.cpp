#include "ui/hardware/Hardware.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include "ui/Placement.h"
#include "ui/QtText.h"

namespace velkor::ui {

namespace {

// The note is three fixed lines in a fixed window: where the desktop's font is wider than
// the one it was laid out for, a smaller size keeps every line whole.
void FitLines(QLabel* label) {
  const QStringList lines = label->text().split('\n');
  QFont font = label->font();
  const auto fits = [&](const QFont& f) {
    const QFontMetrics metrics(f);
    if (metrics.lineSpacing() * lines.size() > label->contentsRect().height()) return false;
    for (const QString& line : lines)
      if (metrics.horizontalAdvance(line) > label->contentsRect().width()) return false;
    return true;
  };
  while (!fits(font) && font.pointSizeF() > 6) font.setPointSizeF(font.pointSizeF() - 0.5);
  label->setFont(font);
}

}  // namespace

TfrmHardware::TfrmHardware(Hardware& hardware, Settings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      hardware_(hardware),
      settings_(settings) {
  setWindowTitle("Hardware settings");
  setModal(true);
  setFixedSize(197, 329);
  QFont bold = font();
  bold.setBold(true);
  // The group's bold caption would pass to everything inside it: the ports, their results
  // and "Auto find" say so explicitly that they are not bold.
  QFont normal = font();
  normal.setBold(false);

  auto* group = new QGroupBox("COM port", this);
  group->setFont(bold);
  group->setGeometry(6, 4, 185, 236);

  auto* strip = new QFrame(group);
  strip->setGeometry(4, 18, 177, 24);
  strip->setAutoFillBackground(true);
  QPalette light = strip->palette();
  light.setColor(QPalette::Window, QColor(232, 238, 247));
  strip->setPalette(light);

  butFind_ = new QPushButton("Auto find", strip);
  butFind_->setFont(normal);
  butFind_->setGeometry(2, 2, 70, 20);
  connect(butFind_, &QPushButton::clicked, this, &TfrmHardware::butFindClick);
  auto* heading = new QLabel("Version", strip);
  heading->setFont(bold);
  heading->setAlignment(Qt::AlignCenter);
  heading->setGeometry(80, 2, 95, 20);

  auto* buttons = new QButtonGroup(this);
  for (int n = 1; n <= kPortCount; ++n) {
    auto* radio = new QRadioButton(QString("COM%1").arg(n), group);
    radio->setFont(normal);
    radio->setGeometry(10, 46 + (n - 1) * 15, 70, 15);
    radio->installEventFilter(this);
    buttons->addButton(radio, n);
    auto* label = new QLabel("-", group);
    label->setFont(normal);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(80, 46 + (n - 1) * 15, 100, 15);
    chkCOM_[n - 1] = radio;
    lblCOM_[n - 1] = label;
  }
  connect(buttons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
    if (checked) settings_.port = id;
  });

  auto* note = new QLabel(
      "Click to \"Auto find\" button to find all \nconnected Kivo modules.\nThen, click on a COM to test it.", this);
  QPalette navy = note->palette();
  navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
  note->setPalette(navy);
  note->setGeometry(6, 244, 187, 48);
  FitLines(note);

  butOK_ = new QPushButton("OK", this);
  butOK_->setDefault(true);
  butOK_->setGeometry(22, 298, 70, 24);
  connect(butOK_, &QPushButton::clicked, this, &TfrmHardware::butOKClick);
  butCancel_ = new QPushButton("Cancel", this);
  butCancel_->setGeometry(106, 298, 70, 24);
  connect(butCancel_, &QPushButton::clicked, this, &TfrmHardware::butCancelClick);

  hardware_.SetWindow(this);
  Refresh();
}

void TfrmHardware::Refresh() {
  for (int n = 1; n <= kPortCount; ++n) {
    lblCOM_[n - 1]->setText(ToQt(hardware_.Label(n)));
    chkCOM_[n - 1]->setEnabled(hardware_.PortButtonEnabled(n));
  }
  // A radio button group cannot show "none checked" while exclusive.
  const int selected = settings_.port;
  auto* group = chkCOM_[0]->group();
  if (group) group->setExclusive(false);
  for (int n = 1; n <= kPortCount; ++n) chkCOM_[n - 1]->setChecked(n == selected);
  if (group) group->setExclusive(true);
  butFind_->setEnabled(hardware_.FindButtonEnabled());
}

void TfrmHardware::Repaint() {
  Refresh();
  repaint();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfrmHardware::showEvent(QShowEvent* event) {
  CentreOnScreen(this);
  hardware_.FormShow();
  Refresh();
  butOK_->setFocus();
  QDialog::showEvent(event);
}

bool TfrmHardware::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) {
    for (int n = 1; n <= kPortCount; ++n) {
      if (watched == chkCOM_[n - 1] && chkCOM_[n - 1]->isEnabled()) {
        chkCOMxMouseDown(n);
        break;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TfrmHardware::butFindClick() {
  hardware_.butFindClick();
  Refresh();
}

void TfrmHardware::chkCOMxMouseDown(int port) {
  hardware_.chkCOMxMouseDown(port);
  Refresh();
}

void TfrmHardware::butOKClick() {
  hardware_.butOKClick();
  accept();
}

void TfrmHardware::butCancelClick() {
  hardware_.butCancelClick();
  Refresh();
  QDialog::reject();
}

// Escape and the close box cancel like the button.
void TfrmHardware::reject() { butCancelClick(); }

}  // namespace velkor::ui
