#include "ui/ClickLabel.h"

#include <QMouseEvent>

namespace velkor::ui {

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
  if (onClick_) onClick_();
  Q_EMIT clicked();
}

}  // namespace velkor::ui
