#include "ui/Colors.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <utility>

#include "ui/Main.h"
#include "ui/Placement.h"
#include "ui/QtText.h"

namespace velkor::ui {

namespace {

constexpr int kRowStep = 19;
constexpr int kTraceBoxSize = 11;

// The black panel: each row's preview line in the colour of the row's box.
class TracePanel : public QWidget {
 public:
  TracePanel(QWidget* parent, const std::array<ColourBox*, kChannelCount>& boxes)
      : QWidget(parent), boxes_(boxes) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    for (int i = 0; i < kChannelCount; ++i) {
      if (!boxes_[i]) continue;
      p.setPen(QPen(ToQColor(boxes_[i]->GetColour()), 1));
      const int y = TfrmColors::PreviewLineY(i);
      p.drawLine(boxes_[i]->geometry().right() + 1, y, width() - 1, y);
    }
  }

 private:
  const std::array<ColourBox*, kChannelCount>& boxes_;
};

}  // namespace

ColourBox::ColourBox(const QString& text, QWidget* parent, std::function<void()> onClick)
    : QFrame(parent), text_(text), onClick_(std::move(onClick)) {
  setFrameShape(QFrame::Box);
  setCursor(Qt::PointingHandCursor);
}

void ColourBox::SetColour(Colour colour) {
  colour_ = colour;
  update();
  if (parentWidget()) parentWidget()->update();  // a trace box's preview line
}

void ColourBox::paintEvent(QPaintEvent* event) {
  {
    QPainter p(this);
    p.fillRect(rect(), ToQColor(colour_));
    if (!text_.isEmpty()) {
      p.setPen(Qt::black);
      p.drawText(rect(), Qt::AlignCenter, text_);
    }
  }
  QFrame::paintEvent(event);
}

void ColourBox::mouseReleaseEvent(QMouseEvent* event) {
  QFrame::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick_)
    onClick_();
}

int TfrmColors::PreviewLineY(int channel) { return 4 + channel * kRowStep + kTraceBoxSize / 2; }

TfrmColors::TfrmColors(TfrmMain& main) : QDialog(&main), main_(main) {
  setWindowTitle("Colors");
  // A dialog border without title-bar buttons.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setFixedSize(289, 102);

  auto* texts = new QLabel("Texts", this);
  texts->move(8, 2);
  for (int i = 0; i < kChannelCount; ++i) {
    chkV[i] = new ColourBox(QString("Cha%1").arg(i + 1), this, [this, i] { chkVxClick(i); });
    chkV[i]->setGeometry(8, 20 + i * 20, 68, 18);
  }

  auto* traces = new QLabel("Traces", this);
  traces->move(88, 2);
  panTraces = new TracePanel(this, butV);
  panTraces->setGeometry(88, 20, 104, 78);
  for (int i = 0; i < kChannelCount; ++i) {
    butV[i] = new ColourBox(QString(), panTraces, [this, i] { butVxClick(i); });
    butV[i]->setGeometry(4, 4 + i * kRowStep, kTraceBoxSize, kTraceBoxSize);
  }

  butCancel = new QPushButton("Cancel", this);
  butCancel->setGeometry(204, 20, 77, 25);
  butOk = new QPushButton("OK", this);
  butOk->setGeometry(204, 52, 77, 25);
  butOk->setDefault(true);
  connect(butCancel, &QPushButton::clicked, this, &TfrmColors::butCancelClick);
  connect(butOk, &QPushButton::clicked, this, &TfrmColors::butOkClick);

  ApplySettings();
}

void TfrmColors::ApplySettings() {
  const Settings& s = main_.GetSettings();
  ShowColours(s.textColours, s.traceColours);
}

void TfrmColors::ShowColours(const std::array<Colour, kChannelCount>& text,
                             const std::array<Colour, kChannelCount>& trace) {
  for (int i = 0; i < kChannelCount; ++i) {
    chkV[i]->SetColour(text[i]);
    butV[i]->SetColour(trace[i]);
  }
}

void TfrmColors::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  // Over the middle of the main window, at every showing.
  CentreIn(this, main_.geometry());
  FormShow();
}

void TfrmColors::FormShow() {
  const Settings& s = main_.GetSettings();
  savedText_ = s.textColours;
  savedTrace_ = s.traceColours;
  ShowColours(savedText_, savedTrace_);
  butOk->setFocus();
}

void TfrmColors::chkVxClick(int channel) {
  QColor colour = ToQColor(chkV[channel]->GetColour());
  if (main_.GetDialogs().ChooseColour(this, colour)) chkV[channel]->SetColour(FromQColor(colour));
}

void TfrmColors::butVxClick(int channel) {
  QColor colour = ToQColor(butV[channel]->GetColour());
  if (main_.GetDialogs().ChooseColour(this, colour)) butV[channel]->SetColour(FromQColor(colour));
}

void TfrmColors::butOkClick() {
  Settings& s = main_.GetSettings();
  for (int i = 0; i < kChannelCount; ++i) {
    s.textColours[i] = chkV[i]->GetColour();
    s.traceColours[i] = butV[i]->GetColour();
  }
  accept();
}

void TfrmColors::butCancelClick() { reject(); }

void TfrmColors::reject() {
  ShowColours(savedText_, savedTrace_);
  QDialog::reject();
}

}  // namespace velkor::ui
