#include "ui/MdiChild.h"

#include <QCloseEvent>
#include <QStyle>

#include "ui/Main.h"

namespace velkor::ui {

MdiChild::MdiChild(TfrmMain& main, const QString& caption, QSize clientSize, bool frameless)
    : QMdiSubWindow(nullptr), main_(main), client_(new QWidget) {
  setWindowTitle(caption);
  if (frameless) setWindowFlags(Qt::FramelessWindowHint);
  setWidget(client_);
  SetClientSize(clientSize);
}

QSize MdiChild::FrameExtent() const {
  if (windowFlags() & Qt::FramelessWindowHint) return QSize(0, 0);
  const int frame = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
  const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
  return QSize(2 * frame, title + frame);
}

void MdiChild::SetClientSize(QSize size) { resize(size + FrameExtent()); }

// From the outer size, not from the client widget: a window that was never shown has not
// laid its client out yet, and its size must still be saved as it was set.
QSize MdiChild::ClientSize() const { return size() - FrameExtent(); }

void MdiChild::closeEvent(QCloseEvent* event) {
  FormClose();
  if (main_.Closing()) {
    QMdiSubWindow::closeEvent(event);
    return;
  }
  event->ignore();
  hide();
}

}  // namespace velkor::ui
