#include "ui/views/Graphic.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "ui/ClickLabel.h"
#include "ui/Main.h"
#include "ui/QtText.h"

namespace velkor::ui {

namespace {

constexpr QSize kClientSize(843, 115);
// The picture's panel: 780 x 68 at the created width, following the window's right edge.
constexpr int kPanelLeft = 56;
constexpr int kPanelTop = 20;
constexpr int kPanelRightMargin = 7;
constexpr int kPanelHeight = RollingPicture::kDrawnRows;
constexpr int kScrollBarHeight = 17;
constexpr int kFirstLabelTop = 21;
constexpr int kRepaintMillis = 40;  // 25 repaints a second at most

struct ResolutionChoice {
  ColumnResolution resolution;
  const char* caption;
};
constexpr std::array<ResolutionChoice, 4> kResolutions{{{ColumnResolution::Ms10, "10ms"},
                                                        {ColumnResolution::Ms20, "20ms"},
                                                        {ColumnResolution::Ms50, "50ms"},
                                                        {ColumnResolution::Ms100, "100ms"}}};

// The picture as a widget as wide as itself; the panel around it shows a part and the scroll
// bar moves it. Only the exposed part is copied out of the ring, and nothing is erased first.
class PictureView : public QWidget {
 public:
  PictureView(QWidget* parent, const RollingPicture& picture) : QWidget(parent), picture_(picture) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(RollingPicture::kWidth, RollingPicture::kHeight);
  }

 protected:
  void paintEvent(QPaintEvent* event) override {
    const QRect area = event->rect() & rect();
    if (area.isEmpty()) return;
    if (scratch_.width() < area.width() || scratch_.height() < area.height())
      scratch_ = QImage(std::max(area.width(), scratch_.width()), RollingPicture::kHeight, QImage::Format_RGB32);
    picture_.Render(scratch_, area, QPoint(0, 0));
    QPainter p(this);
    p.drawImage(area.topLeft(), scratch_, QRect(QPoint(0, 0), area.size()));
  }

 private:
  const RollingPicture& picture_;
  QImage scratch_;
};

QFrame* MakeFrame(QWidget* parent, QRect geometry) {
  auto* frame = new QFrame(parent);
  frame->setFrameStyle(QFrame::Box | QFrame::Plain);
  frame->setGeometry(geometry);
  return frame;
}

}  // namespace

TfrmGraphicView::TfrmGraphicView(TfrmMain& main) : MdiChild(main, "Graphic view", kClientSize, true) {
  QWidget* client = Client();
  const Settings& settings = main.GetSettings();

  // The top row follows its texts' widths, which depend on the desktop's font.
  auto* caption = new QLabel("Scrolling resolution (time/pixel) :", client);
  caption->move(8, 2);
  caption->adjustSize();

  panResolution_ = new QWidget(client);
  int x = 0;
  for (std::size_t i = 0; i < kResolutions.size(); ++i) {
    auto* button = new QRadioButton(kResolutions[i].caption, panResolution_);
    button->setGeometry(x + 4, 0, button->sizeHint().width(), kPanelTop - 1);
    x += button->width() + 8;
    const ColumnResolution r = kResolutions[i].resolution;
    connect(button, &QRadioButton::toggled, this, [this, r](bool checked) { ChooseResolution(r, checked); });
    resolutionButtons_[static_cast<std::size_t>(r)] = button;
  }
  panResolution_->setGeometry(caption->geometry().right() + 4, 0, x, kPanelTop - 1);

  lblAide_ = new ::velkor::ui::HelpLabel(client, [this] { lblAideClick(); });
  lblAide_->move(panResolution_->geometry().right() + 6, 2);
  lblAide_->adjustSize();

  for (int k = 0; k < kChannelCount; ++k) {
    const int top = kFirstLabelTop + k * RollingPicture::kBandHeight;
    auto* mark = MakeFrame(client, QRect(4, top - 1, 48, 15));
    mark->setAutoFillBackground(true);
    shapes_[k] = mark;
    auto* label = new QLabel(ToQt(settings.channels[k].caption), client);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(5, top, 46, 13);
    lblCha_[k] = label;
  }

  shaCadre_ = MakeFrame(client, QRect());
  panAff_ = new QWidget(client);
  panAff_->setAutoFillBackground(true);
  QPalette black = panAff_->palette();
  black.setColor(QPalette::Window, Qt::black);
  panAff_->setPalette(black);
  imgAlogique_ = new PictureView(panAff_, picture_);

  scrbAff_ = new QScrollBar(Qt::Horizontal, client);
  connect(scrbAff_, &QScrollBar::valueChanged, this, &TfrmGraphicView::scrbAffChange);

  // Takes the keyboard focus, so that the arrow keys never scroll the picture by surprise.
  txtPourFocus_ = new QLineEdit(client);
  txtPourFocus_->setGeometry(8, kClientSize.height() + 40, 20, 20);

  repaintTimer_ = new QTimer(this);
  repaintTimer_->setSingleShot(true);
  repaintTimer_->setInterval(kRepaintMillis);
  connect(repaintTimer_, &QTimer::timeout, this, &TfrmGraphicView::RepaintPicture);

  client->installEventFilter(this);
  setMinimumHeight(height());
  setMaximumHeight(height());
  ApplySettings();
  ApplyChannelColours();
  FormResize();
}

bool TfrmGraphicView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Client() && event->type() == QEvent::Resize) {
    FormResize();
  }
  return MdiChild::eventFilter(watched, event);
}

void TfrmGraphicView::FormResize() {
  const int width = std::max(0, Client()->width() - kPanelLeft - kPanelRightMargin);
  panAff_->setGeometry(kPanelLeft, kPanelTop, width, kPanelHeight);
  shaCadre_->setGeometry(kPanelLeft - 1, kPanelTop - 1, width + 2, kPanelHeight + 2);
  scrbAff_->setGeometry(kPanelLeft, kPanelTop + kPanelHeight + 2, width, kScrollBarHeight);
  ScrollToNewest();
}

void TfrmGraphicView::ClearPicture() {
  picture_.Clear();
  ScheduleRepaint();
}

void TfrmGraphicView::ScrollToNewest() {
  // A panel wider than the picture shows all of it from the left.
  const int maximum = std::max(0, RollingPicture::kWidth - panAff_->width());
  scrbAff_->setRange(0, maximum);
  scrbAff_->setPageStep(maximum / 10);
  scrbAff_->setSingleStep(1);
  scrbAff_->setValue(maximum);
  scrbAffChange(scrbAff_->value());
  txtPourFocus_->setFocus();
}

void TfrmGraphicView::scrbAffChange(int position) { imgAlogique_->move(-position, 0); }

void TfrmGraphicView::DrawColumn(std::uint32_t traceMask, std::uint32_t eventMask) {
  std::array<QRgb, 4> colours{};
  const auto& trace = Main().GetSettings().traceColours;
  for (int k = 0; k < kChannelCount; ++k) colours[k] = qRgb(trace[k].red, trace[k].green, trace[k].blue);
  picture_.DrawColumn(traceMask, eventMask, colours);
  ScheduleRepaint();
}

void TfrmGraphicView::ScheduleRepaint() {
  if (repaintPending_) return;
  repaintPending_ = true;
  repaintTimer_->start();
}

void TfrmGraphicView::RepaintPicture() {
  repaintPending_ = false;
  // Only the part inside the panel is copied out of the ring.
  imgAlogique_->update(QRect(-imgAlogique_->x(), 0, panAff_->width(), panAff_->height()));
}

void TfrmGraphicView::SetResolutionEnabled(bool enabled) { panResolution_->setEnabled(enabled); }

void TfrmGraphicView::ChooseResolution(ColumnResolution r, bool checked) {
  if (checked) Main().GetSettings().scrolling = r;
}

void TfrmGraphicView::ApplySettings() {
  const ColumnResolution chosen = Main().GetSettings().scrolling;
  // A file may name no valid resolution: then no button is checked, which the exclusive
  // group alone would not allow.
  for (std::size_t i = 0; i < resolutionButtons_.size(); ++i) {
    QRadioButton* button = resolutionButtons_[i];
    button->setAutoExclusive(false);
    button->setChecked(static_cast<std::size_t>(chosen) == i);
    button->setAutoExclusive(true);
  }
}

void TfrmGraphicView::SetChannelCaption(int channel, const QString& caption) { lblCha_[channel]->setText(caption); }

void TfrmGraphicView::ApplyChannelColours() {
  for (int k = 0; k < kChannelCount; ++k) {
    QPalette palette = shapes_[k]->palette();
    palette.setColor(QPalette::Window, Main().ChannelTextColour(k));
    shapes_[k]->setPalette(palette);
  }
}

void TfrmGraphicView::lblAideClick() { Main().ShowHelpTopic("Graphic View"); }

}  // namespace velkor::ui
