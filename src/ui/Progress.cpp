#include "ui/Progress.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

namespace velkor::ui {

namespace {

constexpr int kBarWidth = 200;
constexpr int kBarHeight = 20;

// The frame of the bar; the filled part is painted from the left edge up to 2 x percent.
class ProgressBar : public QWidget {
 public:
  ProgressBar(QWidget* parent, const int& left) : QWidget(parent), left_(left) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const int visible = kBarWidth + left_;
    if (visible > 0) {
      QLinearGradient g(0, 1, 0, kBarHeight - 1);
      g.setColorAt(0, QColor(150, 200, 255));
      g.setColorAt(0.5, QColor(40, 110, 220));
      g.setColorAt(1, QColor(20, 70, 170));
      p.fillRect(QRect(1, 1, visible, kBarHeight), g);
    }
    p.setPen(QColor(128, 128, 128));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }

 private:
  const int& left_;
};

}  // namespace

TfrmProgress::TfrmProgress() : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setFixedSize(276, 50);
  move(701, 81);
  QFont bold = font();
  bold.setBold(true);

  butStop_ = new QPushButton("Stop", this);
  butStop_->setGeometry(214, 14, 56, 23);
  connect(butStop_, &QPushButton::clicked, this, &TfrmProgress::butStopClick);

  lblTitre_ = new QLabel(this);
  lblTitre_->setFont(bold);
  lblTitre_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  lblTitre_->setGeometry(0, 3, 210, 16);

  bar_ = new ProgressBar(this, barLeft_);
  bar_->setGeometry(6, 24, kBarWidth + 2, kBarHeight + 2);

  lblPourcent_ = new QLabel(bar_);
  lblPourcent_->setFont(bold);
  lblPourcent_->setAlignment(Qt::AlignCenter);
  lblPourcent_->setAttribute(Qt::WA_TranslucentBackground);
  lblPourcent_->setGeometry(0, 0, kBarWidth + 2, kBarHeight + 2);
}

void TfrmProgress::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(255, 255, 234));
  p.setPen(QColor(160, 160, 140));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

void TfrmProgress::ShowProgress(const QString& title, bool stoppable) {
  butStop_->setEnabled(stoppable);
  lblPourcent_->setText("0%");
  lblTitre_->setText(title);
  barLeft_ = -kBarWidth;
  show();
  raise();
  stopRequested_ = false;
  repaint();
}

void TfrmProgress::SetProgress(int percent) {
  barLeft_ = 2 * percent - kBarWidth;
  lblPourcent_->setText(QString::number(percent) + "%");
  bar_->repaint();
}

void TfrmProgress::HideProgress() {
  hide();
  lblTitre_->setText(QString());
}

QString TfrmProgress::Title() const { return lblTitre_->text(); }
QString TfrmProgress::PercentText() const { return lblPourcent_->text(); }

}  // namespace velkor::ui
