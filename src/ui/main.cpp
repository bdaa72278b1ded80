// velkor: the desktop program.

#include <QApplication>

#include "ui/Main.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Velkor");
  velkor::ui::MainOptions options;
  options.arguments = QApplication::arguments().mid(1);
  velkor::ui::TfrmMain main(options);
  main.show();
  return QApplication::exec();
}
