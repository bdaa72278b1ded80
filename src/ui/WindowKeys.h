#pragma once
// Enter and Escape as a window's default and cancel buttons take them: only the keys that no
// control of the window used. A drop-down list that Enter or Escape closes has used its key,
// so choosing an item with the keyboard never runs the default button and closing the list
// never closes the window. (A window shortcut would take the key before the open list saw
// it.)

#include <QObject>
#include <functional>

class QWidget;

namespace velkor::ui {

class WindowKeys : public QObject {
 public:
  // Watches the key presses that reach `client` from its controls; either action may be empty.
  WindowKeys(QWidget* client, std::function<void()> onEnter, std::function<void()> onEscape);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<void()> onEnter_;
  std::function<void()> onEscape_;
};

}  // namespace velkor::ui
