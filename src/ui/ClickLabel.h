#pragma once
// A label that acts on a left click, like the "?" help labels and the "Activation" text.

#include <QLabel>
#include <QMouseEvent>
#include <functional>
#include <utility>

namespace velkor::ui {

class ClickLabel : public QLabel {
 public:
  ClickLabel(const QString& text, QWidget* parent, std::function<void()> onClick)
      : QLabel(text, parent), onClick_(std::move(onClick)) {
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  // A click is a press and a release over the label, as for a button.
  void mouseReleaseEvent(QMouseEvent* event) override {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick_)
      onClick_();
  }

 private:
  std::function<void()> onClick_;
};

}  // namespace velkor::ui
