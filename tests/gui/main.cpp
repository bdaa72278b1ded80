// The window tests run with one QApplication per process, offscreen unless told otherwise.

#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform says so each time a window asks for what it cannot do.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith("This plugin does not support")) return;
  if (defaultHandler) defaultHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  defaultHandler = qInstallMessageHandler(QuietHandler);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Velkor");
  return RUN_ALL_TESTS();
}
