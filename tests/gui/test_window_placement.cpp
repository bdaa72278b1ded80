// Where the windows go: the main window's place and size across starts and quits, the
// dialogs at each showing, the child windows at a first start and from a file.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <map>

#include "GuiRig.h"
#include "app/IniFile.h"
#include "ui/Colors.h"
#include "ui/channels/Channel.h"
#include "ui/hardware/Hardware.h"
#include "ui/views/FilterView.h"
#include "ui/views/Graphic.h"
#include "ui/views/HexaView.h"

using namespace velkor;
using namespace velkor::test;

namespace {

using Keys = std::map<std::string, long long>;

const char* const kMainKeys[] = {"MAIN_Left", "MAIN_Top", "MAIN_Height", "MAIN_Width", "MAIN_Maximized"};

Keys MainKeys(const std::string& path) {
  IniDocument ini;
  Keys keys;
  if (!ini.LoadFile(path)) return keys;
  for (const char* key : kMainKeys) keys[key] = ini.ReadInteger("WINDOWS", key, -99999);
  return keys;
}

std::string MainWindowKeys(int left, int top, int height, int width, bool maximised) {
  return "[WINDOWS]\r\nMAIN_Left=" + std::to_string(left) + "\r\nMAIN_Top=" + std::to_string(top) +
         "\r\nMAIN_Height=" + std::to_string(height) + "\r\nMAIN_Width=" + std::to_string(width) +
         "\r\nMAIN_Maximized=" + (maximised ? "1" : "0") + "\r\n";
}

// One start and quit of the program's main window over a folder's LastVelkor.cfg.
void StartAndQuit(const TempDir& folder) {
  ui::ScriptedDialogs dialogs;
  ui::MainOptions options;
  FakeClock clock;
  FakePortBackend backend(clock);
  options.backend = &backend;
  options.clock = &clock;
  options.dialogs = &dialogs;
  options.configFolder = QString::fromStdString(folder.Path());
  ui::TfrmMain main(options);
  main.show();
  GuiRig::Settle(50);
  main.close();
  GuiRig::Settle();
}

}  // namespace

// The offscreen platform frames a window with 2 pixels on each side, except when maximised.
TEST(MainWindowPlace, StartsAndQuitsGiveBackTheSameKeysMaximisedOrNot) {
  for (const bool maximised : {false, true}) {
    SCOPED_TRACE(maximised);
    TempDir folder;
    const std::string last = folder.Write("LastVelkor.cfg", MainWindowKeys(40, 30, 500, 700, maximised));
    const Keys first = MainKeys(last);
    for (int cycle = 1; cycle <= 10; ++cycle) {
      StartAndQuit(folder);
      ASSERT_EQ(MainKeys(last), first) << "after start and quit " << cycle;
    }
  }
}

TEST(MainWindowPlace, LoadingAMaximisedLayoutIntoAMaximisedWindowLeavesItMaximised) {
  GuiRig rig;
  rig.Show();
  const std::string file = rig.dir.Write("max.cfg", MainWindowKeys(-4, -4, 480, 640, true));
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(file)));
  GuiRig::Settle();
  ASSERT_TRUE(rig.main->isMaximized());
  const QSize maximisedSize = rig.main->size();

  // Passing through the normal state to place the window is what left the window system
  // and the window at different sizes.
  int stateChanges = 0;
  struct Spy : QObject {
    int& count;
    explicit Spy(int& c) : count(c) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::WindowStateChange) ++count;
      return false;
    }
  } spy(stateChanges);
  rig.main->installEventFilter(&spy);
  rig.dialogs.files = {QString::fromStdString(file)};
  rig.main->mnuLoadConfigClick();
  GuiRig::Settle();
  rig.main->removeEventFilter(&spy);
  EXPECT_EQ(stateChanges, 0);
  EXPECT_TRUE(rig.main->isMaximized());
  EXPECT_EQ(rig.main->size(), maximisedSize);
  EXPECT_EQ(rig.main->centralWidget()->size().width(), maximisedSize.width());

  // Restored, it goes to the place the file gave.
  const std::string normal = rig.dir.Write("normal.cfg", MainWindowKeys(60, 50, 400, 600, false));
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(normal)));
  GuiRig::Settle();
  EXPECT_TRUE(rig.main->isMaximized());
  rig.main->setWindowState(Qt::WindowNoState);
  GuiRig::Settle();
  EXPECT_EQ(rig.main->pos(), QPoint(60, 50));
  EXPECT_EQ(rig.main->size(), QSize(600, 400));
}

TEST(MainWindowPlace, AFileCannotPutTheTitleBarOutOfReach) {
  GuiRig rig;
  rig.Show();
  const QRect screen = rig.main->screen()->availableGeometry();
  const struct {
    int left, top;
    QPoint expected;
  } cases[] = {
      {40, 30, {40, 30}},                                   // inside: kept
      {37, -30, {37, screen.top()}},                        // title bar above the screen
      {-2000, 100, {screen.left(), 100}},                   // wholly left of it
      {screen.right() + 50, 100, {screen.right() + 1 - 600, 100}},  // wholly right of it
      {100, screen.bottom() + 10, {100, screen.bottom() + 1 - 400}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.left) + "," + std::to_string(c.top));
    const std::string file = rig.dir.Write("place.cfg", MainWindowKeys(c.left, c.top, 400, 600, false));
    ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(file)));
    GuiRig::Settle();
    EXPECT_EQ(rig.main->pos(), c.expected);
  }
}

TEST(DialogPlace, HardwareAndColorsComeBackToTheSamePlace) {
  GuiRig rig;
  rig.Show();
  ui::TfrmHardware& hardware = rig.main->HardwareWindow();
  ui::TfrmColors& colors = rig.main->ColorsWindow();
  for (QWidget* dialog : std::initializer_list<QWidget*>{&hardware, &colors}) {
    SCOPED_TRACE(dialog->windowTitle().toStdString());
    QPoint first;
    for (int showing = 1; showing <= 3; ++showing) {
      dialog->show();
      GuiRig::Settle();
      if (showing == 1) first = dialog->frameGeometry().topLeft();
      EXPECT_EQ(dialog->frameGeometry().topLeft(), first) << "showing " << showing;
      dialog->hide();
      GuiRig::Settle();
    }
  }
  // The hardware window is centred on the screen.
  const QRect area = hardware.screen()->availableGeometry();
  hardware.show();
  GuiRig::Settle();
  EXPECT_LE(std::abs(hardware.geometry().center().x() - area.center().x()), 4);
  hardware.hide();
}

TEST(ChildPlace, AFirstStartPlacesTheViewsAndChannelWindowsApart) {
  GuiRig rig;
  rig.Show();
  ASSERT_FALSE(QFile::exists(rig.main->LastConfigPath()));
  rig.main->acGraphicView->trigger();
  rig.main->acHexaView->trigger();
  rig.main->acFilterView->trigger();
  for (int i = 0; i < 4; ++i) rig.main->ChannelCommand(i)->trigger();
  GuiRig::Settle();
  EXPECT_EQ(rig.main->GraphicView()->pos(), QPoint(0, 0));
  EXPECT_EQ(rig.main->HexaView()->pos(), QPoint(50, 0));
  EXPECT_EQ(rig.main->FilterView()->pos(), QPoint(100, 0));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(rig.main->ChannelWindow(i)->pos(), QPoint(i * 50 + 150, 0)) << i;

  // What the quit saves is what a later start shows.
  rig.main->close();
  IniDocument ini;
  ASSERT_TRUE(ini.LoadFile(rig.main->LastConfigPath().toStdString()));
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "GRAPHIC_Left", -1), 0);
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "HEXA_Left", -1), 50);
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "CHANNEL3_Left", -1), 300);
}

TEST(ChildPlace, AWindowAFilePutsOutOfReachComesBackInside) {
  GuiRig rig;
  rig.Show();
  const QSize screen = rig.main->screen()->availableGeometry().size();
  const std::string file = rig.dir.Write(
      "children.cfg",
      "[WINDOWS]\r\n"
      "GRAPHIC_Left=-204\r\nGRAPHIC_Top=12\r\nGRAPHIC_Visible=1\r\n"  // partly out: kept
      "HEXA_Left=-5000\r\nHEXA_Top=-300\r\nHEXA_Visible=1\r\n"
      "FILTER_Left=" + std::to_string(screen.width() + 100) + "\r\nFILTER_Top=" +
      std::to_string(screen.height() + 100) + "\r\nFILTER_Visible=1\r\n"
      "CHANNEL1_Left=60\r\nCHANNEL1_Top=-40\r\nCHANNEL1_Visible=1\r\n");
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(file)));
  GuiRig::Settle();
  EXPECT_EQ(rig.main->GraphicView()->pos(), QPoint(-204, 12));
  EXPECT_EQ(rig.main->HexaView()->pos(), QPoint(0, 0));
  const QSize filter = rig.main->FilterView()->size();
  EXPECT_EQ(rig.main->FilterView()->pos(), QPoint(screen.width() - filter.width(), screen.height() - filter.height()));
  EXPECT_EQ(rig.main->ChannelWindow(1)->pos(), QPoint(60, 0));
}

// ---------------------------------------------------------------------------------------
// The program itself under a window manager, which frames its windows only once they are
// shown: the place of a window must not depend on when its frame became known.

namespace {

struct X11Desktop {
  X11Desktop() {
    for (const char* tool : {"Xvfb", "openbox", "xdotool", "xwininfo"})
      if (QStandardPaths::findExecutable(tool).isEmpty()) missing += QString(tool) + " ";
    if (!missing.isEmpty()) return;
    for (int n = 150 + static_cast<int>(QCoreApplication::applicationPid() % 50); n < 400; ++n) {
      if (QFile::exists(QString("/tmp/.X%1-lock").arg(n))) continue;
      display = QString(":%1").arg(n);
      break;
    }
    server.start("Xvfb", {display, "-screen", "0", "1280x900x24", "-nolisten", "tcp"});
    env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    ready = GuiRig::WaitFor([this] { return Run("xwininfo", {"-root"}).contains("Width"); }, 5000);
    if (!ready) return;
    manager.setProcessEnvironment(env);
    manager.start("openbox", {});
    GuiRig::Settle(500);
  }
  ~X11Desktop() {
    for (QProcess* p : {&manager, &server}) {
      p->kill();
      p->waitForFinished(2000);
    }
  }
  QString Run(const QString& tool, const QStringList& args) const {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(tool, args);
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
  }
  // The id of the visible window with this exact title, or empty.
  QString Window(const QString& title) const {
    return Run("xdotool", {"search", "--onlyvisible", "--name", "^" + QRegularExpression::escape(title) + "$"})
        .section('\n', 0, 0)
        .trimmed();
  }
  QString WaitForWindow(const QString& title) const {
    QString id;
    GuiRig::WaitFor([&] { return !(id = Window(title)).isEmpty(); }, 10000);
    GuiRig::Settle(400);  // the window manager frames and places it
    return id;
  }
  // The client area's corner on the screen.
  QPoint Corner(const QString& id) const {
    const QString info = Run("xwininfo", {"-id", id});
    const auto value = [&](const char* name) {
      return QRegularExpression(QString(name) + ":\\s*(-?\\d+)").match(info).captured(1).toInt();
    };
    return QPoint(value("Absolute upper-left X"), value("Absolute upper-left Y"));
  }
  void Keys(const QString& id, const QStringList& keys) const {
    Run("xdotool", QStringList{"windowactivate", "--sync", id, "key", "--clearmodifiers"} + keys);
    GuiRig::Settle(300);
  }

  QString missing;
  QString display;
  QProcessEnvironment env;
  QProcess server;
  QProcess manager;
  bool ready = false;
};

}  // namespace

TEST(WindowManagerPlace, TheProgramComesBackWhereItWasAndSoDoItsDialogs) {
  X11Desktop desktop;
  if (!desktop.missing.isEmpty()) GTEST_SKIP() << "missing " << desktop.missing.toStdString();
  ASSERT_TRUE(desktop.ready);
  TempDir folder;
  const QString program = QString::fromStdString(folder.File("velkor"));
  ASSERT_TRUE(QFile::copy(VELKOR_GUI_PROGRAM, program));
  const std::string last = folder.Write("LastVelkor.cfg", MainWindowKeys(40, 30, 500, 700, false));

  const auto cycle = [&](const std::function<void(const QString&)>& inside) {
    QProcess velkor;
    velkor.setProcessEnvironment(desktop.env);
    velkor.setWorkingDirectory(QString::fromStdString(folder.Path()));
    velkor.start(program, {});
    const QString main = desktop.WaitForWindow("Kivo - Velkor");
    ASSERT_FALSE(main.isEmpty());
    if (inside) inside(main);
    // On a busy machine the window manager may take the key before the window has the
    // focus; a close asked again is still the same quit.
    const auto ended = [&] { return velkor.state() == QProcess::NotRunning; };
    for (int attempt = 0; attempt < 3 && !ended(); ++attempt) {
      desktop.Keys(main, {"alt+F4"});
      GuiRig::WaitFor(ended, 5000);
    }
    ASSERT_TRUE(ended());
  };

  for (const bool maximised : {false, true}) {
    SCOPED_TRACE(maximised);
    folder.Write("LastVelkor.cfg", MainWindowKeys(40, 30, 500, 700, maximised));
    const Keys first = MainKeys(last);
    for (int n = 1; n <= 3; ++n) {
      cycle({});
      ASSERT_EQ(MainKeys(last), first) << "after start and quit " << n;
    }
  }

  // F2 shows the hardware window; the Program menu's fourth item is Colors.
  cycle([&](const QString& main) {
    for (const auto& [title, keys] : {std::pair<QString, QStringList>{"Hardware settings", {"F2"}},
                                      {"Colors", {"alt+p", "Down", "Down", "Down", "Return"}}}) {
      SCOPED_TRACE(title.toStdString());
      QPoint first;
      for (int showing = 1; showing <= 2; ++showing) {
        desktop.Keys(main, keys);
        const QString dialog = desktop.WaitForWindow(title);
        ASSERT_FALSE(dialog.isEmpty());
        if (showing == 1) first = desktop.Corner(dialog);
        EXPECT_EQ(desktop.Corner(dialog), first) << "showing " << showing;
        desktop.Keys(dialog, {"Escape"});
        GuiRig::WaitFor([&] { return desktop.Window(title).isEmpty(); }, 5000);
      }
    }
  });
}
