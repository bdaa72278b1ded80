#include "ui/WindowKeys.h"

#include <QKeyEvent>
#include <QWidget>
#include <utility>

namespace velkor::ui {

WindowKeys::WindowKeys(QWidget* client, std::function<void()> onEnter, std::function<void()> onEscape)
    : QObject(client), onEnter_(std::move(onEnter)), onEscape_(std::move(onEscape)) {
  client->installEventFilter(this);
}

bool WindowKeys::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->modifiers() & ~(Qt::KeypadModifier)) return false;
  const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
  const std::function<void()>* action = enter ? &onEnter_ : key->key() == Qt::Key_Escape ? &onEscape_ : nullptr;
  if (action == nullptr || !*action) return false;
  (*action)();
  return true;
}

}  // namespace velkor::ui
