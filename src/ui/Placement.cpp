#include "ui/Placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace velkor::ui {

void PlaceFramesFromNowOn(QWidget* window, QPoint framePosition) {
  // A move before the window exists in the window system names its frame's corner, and the
  // window is then created so that the window manager reads every position that way.
  window->move(framePosition);
}

void MoveFrame(QWidget* window, QPoint framePosition) {
  // The widget's own place, which the window system is given again when the window is
  // shown, and the frame's place in the window system, which a move alone sets from the
  // frame's size as last known: none before the first framing, a stale one after a hide.
  window->move(framePosition);
  if (QWindow* handle = window->windowHandle()) handle->setFramePosition(framePosition);
}

void CentreIn(QWidget* window, const QRect& area) {
  // The client area, not the frame: the frame's size is not known at the first showing and
  // is forgotten when the window is hidden, so a frame placed by it would come back elsewhere.
  window->setGeometry(QRect(area.center() - QPoint(window->width() / 2, window->height() / 2), window->size()));
}

void CentreOnScreen(QWidget* window) {
  const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) CentreIn(window, screen->availableGeometry());
}

QPoint KeepReachable(const QRect& frame, const QRect& area) {
  constexpr int kTopStray = 8;  // less than half a title bar
  constexpr int kGrip = 32;     // enough of a title bar to take it with the mouse
  QPoint at = frame.topLeft();
  if (frame.top() < area.top() - kTopStray) at.setY(area.top());
  if (frame.top() > area.bottom() - kGrip) at.setY(std::max(area.top(), area.bottom() + 1 - frame.height()));
  if (frame.right() < area.left() + kGrip) at.setX(area.left());
  if (frame.left() > area.right() - kGrip) at.setX(std::max(area.left(), area.right() + 1 - frame.width()));
  return at;
}

}  // namespace velkor::ui
