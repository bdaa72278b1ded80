#pragma once
// A label that acts on a left click, like the "?" help labels, the "Activation" text and the
// clickable date unit: it emits clicked() and runs the action it was given, if any.

#include <QLabel>
#include <functional>
#include <utility>

class QMouseEvent;

namespace velkor::ui {

class ClickLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ClickLabel(const QString& text, QWidget* parent = nullptr, std::function<void()> onClick = {})
      : QLabel(text, parent), onClick_(std::move(onClick)) {
    setCursor(Qt::PointingHandCursor);
  }

 Q_SIGNALS:
  void clicked();

 protected:
  // A click is a press and a release over the label, as for a button.
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  std::function<void()> onClick_;
};

// The "?" of a window, drawn alike in every window: blue, bold and underlined, with the help
// cursor. Its action opens the manual at the window's topic.
class HelpLabel : public ClickLabel {
  Q_OBJECT
 public:
  explicit HelpLabel(QWidget* parent = nullptr, std::function<void()> onClick = {});
};

}  // namespace velkor::ui
