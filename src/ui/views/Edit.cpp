#include "ui/views/Edit.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "ui/Placement.h"
#include "ui/views/LineList.h"

namespace velkor::ui {

TfrmEdit::TfrmEdit(QWidget* parent) : QDialog(parent) {
  // A tool window with a title and no buttons in it: Close (or Escape) ends the display.
  setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setWindowTitle("Line Edition");
  setWindowModality(Qt::ApplicationModal);
  setFixedSize(852, 36);

  txtEdit = new QLineEdit(this);
  txtEdit->setFont(LineDelegate::RowFont());
  txtEdit->setGeometry(8, 7, 785, 22);

  butClose = new QPushButton("Close", this);
  butClose->setGeometry(799, 6, 47, 24);
  butClose->setAutoDefault(false);
  connect(butClose, &QPushButton::clicked, this, &TfrmEdit::butCloseClick);
}

void TfrmEdit::ShowLine(const QString& text) {
  txtEdit->setText(text);
  txtEdit->setCursorPosition(0);
  CentreOnScreen(this);
  // Modal without a nested event loop: the caller returns, the other windows wait.
  show();
  raise();
  activateWindow();
  txtEdit->setFocus();
}

void TfrmEdit::butCloseClick() { reject(); }

}  // namespace velkor::ui
