// velkor: the desktop program.

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/Version.h"
#include "ui/Main.h"

namespace {

constexpr const char* kUsage =
    "Usage: velkor [+SERIAL] [--config FILE.cfg] [CAPTURE.bin]\n"
    "  or:  velkor --demo\n"
    "\n"
    "Decodes up to four digital lines (Manchester, Serial, CAN, LIN or Logical) into dated\n"
    "text lines, live from the Kivo acquisition module on a serial port or from a capture\n"
    "file, and shows them in the Hexa, Filter and Graphic views.\n"
    "\n"
    "The settings of the last session are loaded from LastVelkor.cfg at start and saved\n"
    "there at exit: beside the program when its folder can be written, has a name of\n"
    "Windows-1252 characters and the program is not installed, otherwise in\n"
    "$XDG_CONFIG_HOME/velkor (~/.config/velkor).\n"
    "\n"
    "Options:\n"
    "  +SERIAL         (first argument, anywhere in it) replay lockcourt.bin from the\n"
    "                  current folder at start\n"
    "  --config FILE   load this configuration file at start, after LastVelkor.cfg\n"
    "  CAPTURE.bin     replay this capture file once the window is shown\n"
    "  --demo          open the bundled demo: its configuration and its capture, from\n"
    "                  any current folder\n"
    "  --help          show this text\n"
    "  --version       show the version number\n"
    "\n"
    "A remote client (velkor-remote) that creates the shared block before it starts the\n"
    "program drives it through the remote command channel.\n";

}  // namespace

int main(int argc, char** argv) {
  // Answered before the window system is reached, so they work without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("velkor %s\n", std::string(velkor::PackageVersion()).c_str());
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Velkor");
  QApplication::setApplicationVersion(QString::fromStdString(std::string(velkor::PackageVersion())));
  QApplication::setDesktopFileName("velkor");
  velkor::ui::MainOptions options;
  options.arguments = QApplication::arguments().mid(1);
  velkor::ui::TfrmMain main(options);
  main.show();
  return QApplication::exec();
}
