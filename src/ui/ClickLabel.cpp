#include "ui/ClickLabel.h"

#include <QMouseEvent>

namespace velkor::ui {

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
  if (onClick_) onClick_();
  Q_EMIT clicked();
}

HelpLabel::HelpLabel(QWidget* parent, std::function<void()> onClick)
    : ClickLabel("?", parent, std::move(onClick)) {
  QFont look = font();
  look.setBold(true);
  look.setUnderline(true);
  setFont(look);
  QPalette blue = palette();
  blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
  setPalette(blue);
  setCursor(Qt::WhatsThisCursor);
}

}  // namespace velkor::ui
