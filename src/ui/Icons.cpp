#include "ui/Icons.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace velkor::ui {

namespace {

constexpr int kSize = 24;

QIcon Draw(const std::function<void(QPainter&)>& paint) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  paint(p);
  return QIcon(pixmap);
}

void Page(QPainter& p, const QColor& fill) {
  QPainterPath path;
  path.moveTo(5, 2);
  path.lineTo(15, 2);
  path.lineTo(20, 7);
  path.lineTo(20, 22);
  path.lineTo(5, 22);
  path.closeSubpath();
  p.setPen(QPen(QColor(70, 70, 70), 1.2));
  p.setBrush(fill);
  p.drawPath(path);
  p.drawLine(QPointF(15, 2), QPointF(15, 7));
  p.drawLine(QPointF(15, 7), QPointF(20, 7));
}

void Lines(QPainter& p, int from, int to) {
  p.setPen(QPen(QColor(120, 120, 160), 1));
  for (int y = from; y <= to; y += 3) p.drawLine(8, y, 17, y);
}

void Play(QPainter& p, QRectF r, const QColor& colour) {
  QPainterPath t;
  t.moveTo(r.left(), r.top());
  t.lineTo(r.right(), r.center().y());
  t.lineTo(r.left(), r.bottom());
  t.closeSubpath();
  p.setPen(QPen(colour.darker(150), 1));
  p.setBrush(colour);
  p.drawPath(t);
}

QIcon Channel(int channel, bool active) {
  return Draw([=](QPainter& p) {
    QRadialGradient g(9, 9, 14);
    g.setColorAt(0, active ? QColor(170, 255, 170) : QColor(235, 235, 235));
    g.setColorAt(1, active ? QColor(20, 150, 40) : QColor(130, 130, 130));
    p.setPen(QPen(active ? QColor(10, 90, 20) : QColor(90, 90, 90), 1.2));
    p.setBrush(g);
    p.drawEllipse(QRectF(2, 2, 20, 20));
    QFont f("DejaVu Sans");
    f.setBold(true);
    f.setPixelSize(13);
    p.setFont(f);
    p.setPen(active ? Qt::white : QColor(60, 60, 60));
    p.drawText(QRect(2, 2, 20, 20), Qt::AlignCenter, QString::number(channel));
  });
}

}  // namespace

std::vector<QIcon> MakeImageList() {
  std::vector<QIcon> images(kImageCount);
  images[kImageHardware] = Draw([](QPainter& p) {  // the module: a box with a cable
    p.setPen(QPen(QColor(40, 40, 40), 1.2));
    p.setBrush(QColor(60, 90, 160));
    p.drawRoundedRect(QRectF(3, 6, 13, 12), 2, 2);
    p.setBrush(QColor(120, 230, 120));
    p.drawRect(QRectF(5, 8, 3, 3));
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.drawLine(16, 12, 21, 12);
    p.drawLine(21, 12, 21, 20);
  });
  images[kImageNewFrame] = Draw([](QPainter& p) {
    Page(p, Qt::white);
    Lines(p, 11, 19);
    p.setPen(QPen(QColor(230, 160, 0), 2.2));
    p.drawLine(3, 5, 9, 5);
    p.drawLine(6, 2, 6, 8);
  });
  images[kImageOpenFrame] = Draw([](QPainter& p) {
    p.setPen(QPen(QColor(140, 100, 20), 1.2));
    p.setBrush(QColor(240, 200, 90));
    p.drawRect(QRectF(2, 7, 18, 13));
    p.drawRect(QRectF(2, 5, 7, 3));
    p.setBrush(QColor(255, 225, 130));
    QPolygonF front{{5, 11}, {23, 11}, {20, 20}, {2, 20}};
    p.drawPolygon(front);
  });
  images[kImageQuit] = Draw([](QPainter& p) {
    p.setPen(QPen(QColor(110, 60, 20), 1.2));
    p.setBrush(QColor(190, 130, 70));
    p.drawRect(QRectF(4, 2, 11, 20));
    p.setPen(QPen(QColor(200, 20, 20), 2.4));
    p.drawLine(14, 12, 22, 12);
    p.drawLine(19, 9, 22, 12);
    p.drawLine(19, 15, 22, 12);
  });
  for (int i = 0; i < 4; ++i) {
    images[kImageChannelOff + i] = Channel(i + 1, false);
    images[kImageChannelOn + i] = Channel(i + 1, true);
  }
  images[kImageRunFromAcq] = Draw([](QPainter& p) {
    Play(p, QRectF(3, 3, 14, 16), QColor(40, 170, 60));
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(60, 90, 160));
    p.drawRect(QRectF(14, 14, 8, 7));
  });
  images[kImageRunFromFile] = Draw([](QPainter& p) {
    Page(p, QColor(250, 250, 250));
    Play(p, QRectF(8, 9, 10, 11), QColor(40, 170, 60));
  });
  images[kImageGraphic] = Draw([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawRect(QRectF(2, 3, 20, 18));
    p.setPen(QPen(QColor(120, 255, 120), 1.4));
    QPolygonF wave{{3, 10}, {7, 10}, {7, 5}, {12, 5}, {12, 10}, {15, 10}, {15, 5}, {21, 5}};
    p.drawPolyline(wave);
    p.setPen(QPen(QColor(255, 230, 0), 1.4));
    QPolygonF wave2{{3, 18}, {9, 18}, {9, 14}, {11, 14}, {11, 18}, {21, 18}};
    p.drawPolyline(wave2);
  });
  images[kImageHexa] = Draw([](QPainter& p) {
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2, 3, 20, 18));
    QFont f("Liberation Mono");
    f.setBold(true);
    f.setPixelSize(10);
    p.setFont(f);
    p.setPen(QColor(0, 0, 255));
    p.drawText(QRect(2, 3, 20, 9), Qt::AlignCenter, "0A");
    p.setPen(QColor(200, 0, 0));
    p.drawText(QRect(2, 12, 20, 9), Qt::AlignCenter, "F3");
  });
  images[kImageStop] = Draw([](QPainter& p) {
    p.setPen(QPen(QColor(120, 0, 0), 1.2));
    p.setBrush(QColor(220, 30, 30));
    p.drawRoundedRect(QRectF(4, 4, 16, 16), 2, 2);
  });
  images[kImageFilter] = Draw([](QPainter& p) {
    QPolygonF funnel{{3, 4}, {21, 4}, {14, 12}, {14, 20}, {10, 22}, {10, 12}};
    p.setPen(QPen(QColor(30, 60, 120), 1.2));
    p.setBrush(QColor(90, 150, 230));
    p.drawPolygon(funnel);
  });
  images[kImageVersion] = Draw([](QPainter& p) {
    p.setPen(QPen(QColor(20, 50, 130), 1.2));
    p.setBrush(QColor(60, 110, 220));
    p.drawEllipse(QRectF(2, 2, 20, 20));
    QFont f("DejaVu Serif");
    f.setBold(true);
    f.setPixelSize(15);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(2, 2, 20, 20), Qt::AlignCenter, "i");
  });
  return images;
}

}  // namespace velkor::ui
