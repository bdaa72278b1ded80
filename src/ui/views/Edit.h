#pragma once
// "Line Edition": one rendered line in an edit field, to select and copy from. Created once
// by the main window; the Hexa and Filter views show it modally.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace velkor::ui {

class TfrmEdit : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmEdit(QWidget* parent = nullptr);

  // Puts the text in the edit field and shows the window modally, centred on the screen.
  // It returns at once: the window blocks the others until it is closed.
  void ShowLine(const QString& text);

  void butCloseClick();

  QLineEdit* txtEdit = nullptr;
  QPushButton* butClose = nullptr;
};

}  // namespace velkor::ui
