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

void MdiChild::SetClientSize(QSize size) {
  if (windowFlags() & Qt::FramelessWindowHint) {
    resize(size);
    return;
  }
  const int frame = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
  const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
  resize(size.width() + 2 * frame, size.height() + title + frame);
}

QSize MdiChild::ClientSize() const { return client_->size(); }

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
