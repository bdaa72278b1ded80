// The remote channel in the program: the block looked for at the first showing, the menu
// and the hiding that follow from it, commands served by tmrDll, the log window, and a
// whole session of velkor-remote driving the program against kivo-sim.

#include <QAction>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "BackgroundProcess.h"
#include "GuiRig.h"
#include "KivoSimulator.h"
#include "Waveform.h"
#include "app/Cp1252.h"
#include "platform/SharedMemory.h"
#include "remote/RemoteCommands.h"
#include "ui/remote/Remote.h"
#include "ui/remote/RemoteLink.h"

using namespace velkor;
using namespace velkor::test;

namespace {

std::string UniqueName() {
  static int counter = 0;
  return "velkorGuiTest" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

// The names the next main window takes, for the lifetime of the object.
struct RemoteName {
  RemoteName() : base(UniqueName()) { setenv(kRemoteNameVariable, base.c_str(), 1); }
  ~RemoteName() { unsetenv(kRemoteNameVariable); }
  std::string base;
};

// A client's side: the block made before the program starts, commands sent and answered
// while the program's events run.
struct Client {
  explicit Client(const RemoteName& name) {
    created = !block.Create(name.base + "SM", kRemoteMinBlockSize);
    eventCreated = !event.Create(name.base + "EM");
  }
  std::optional<std::string> Send(std::string_view command) {
    if (PostRemoteCommand(block.Bytes(), command)) return std::nullopt;
    if (!GuiRig::WaitFor([&] { return RemoteState(block.Bytes()) == kRemoteStateIdle; })) return std::nullopt;
    return TakeRemoteReply(block.Bytes());
  }
  platform::SharedBlock block;
  platform::EventWaiter event;
  bool created = false;
  bool eventCreated = false;
};

bool RemoteMenuVisible(GuiRig& rig) { return rig.main->mnuRemote->menuAction()->isVisible(); }

std::vector<std::string> LogLines(ui::TfrmMain& main) { return main.Remote().LogWindow().Log().Lines(); }

bool BlockExists(const std::string& base) {
  platform::SharedBlock block;
  return block.Open(base + "SM") != platform::BlockOpenResult::CannotOpen;
}

pid_t ChildOf(pid_t pid) {
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  pid_t child = -1;
  children >> child;
  return child;
}

// A client killed together with the program it started (which never answered) leaves its
// block behind, held by nobody.
void LeaveABlockOfAKilledClient(const std::string& base) {
  BackgroundProcess client(std::string(VELKOR_REMOTE_TOOL) + " --program sleep --arg 60 --name " + base +
                           " --timeout 60 Show 2>/dev/null");
  pid_t program = -1;
  ASSERT_TRUE(Eventually([&] { return BlockExists(base) && (program = ChildOf(client.Pid())) > 0; }));
  kill(program, SIGKILL);
  client.Signal(SIGKILL);
  ASSERT_TRUE(client.Wait(10000));
  (void)platform::EventWaiter::Remove(base + "EM");
}

}  // namespace

TEST(RemoteWindow, ABlockLeftByAKilledClientDoesNotHideTheProgramAndIsRemoved) {
  RemoteName name;
  LeaveABlockOfAKilledClient(name.base);
  ASSERT_TRUE(BlockExists(name.base));
  GuiRig rig;
  rig.Show();
  EXPECT_FALSE(RemoteMenuVisible(rig));
  EXPECT_FALSE(rig.main->Remote().tmrDll->isActive());
  EXPECT_FALSE(BlockExists(name.base));
  GuiRig::Settle(700);
  EXPECT_TRUE(rig.main->isVisible());
}

TEST(RemoteWindow, TheProgramsEndLeavesTheBlockOfAClientThatHoldsIt) {
  RemoteName name;
  Client client(name);
  {
    GuiRig rig;
    rig.Show();
    ASSERT_TRUE(RemoteMenuVisible(rig));
  }
  EXPECT_TRUE(BlockExists(name.base));
  EXPECT_EQ(RemoteState(client.block.Bytes()), kRemoteStateIdle);
}

TEST(RemoteWindow, WithoutABlockTheProgramShowsItselfAndHasNoRemoteMenu) {
  RemoteName name;
  GuiRig rig;
  rig.Show();
  EXPECT_FALSE(RemoteMenuVisible(rig));
  EXPECT_FALSE(rig.main->Remote().tmrDll->isActive());
  GuiRig::Settle(700);
  EXPECT_TRUE(rig.main->isVisible());
  EXPECT_FALSE(rig.main->tmrRemote->isActive());
}

TEST(RemoteWindow, ABlockFoundAtTheFirstShowingIsServedAndTheWindowHides) {
  RemoteName name;
  Client client(name);
  ASSERT_TRUE(client.created);
  GuiRig rig;
  rig.Show();
  EXPECT_TRUE(RemoteMenuVisible(rig));
  EXPECT_TRUE(rig.main->Remote().tmrDll->isActive());
  EXPECT_EQ(rig.main->Remote().tmrDll->interval(), 1);
  EXPECT_TRUE(GuiRig::WaitFor([&] { return !rig.main->isVisible(); }, 3000));
  // A message box closed while the main window is hidden must not end the program.
  EXPECT_FALSE(QApplication::quitOnLastWindowClosed());

  EXPECT_EQ(client.Send("Show"), "OK");
  EXPECT_TRUE(rig.main->isVisible());
  EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
  EXPECT_EQ(client.Send("Com>3"), "OK");
  EXPECT_EQ(rig.main->GetHardware().SelectedPort(), 3);
  EXPECT_EQ(client.Send("Com>03"), "(Error port)");
  EXPECT_EQ(rig.main->GetHardware().SelectedPort(), 3);
  EXPECT_EQ(client.Send("close"), "ERROR");
  EXPECT_EQ(client.Send("LoadConfiguration>" + rig.dir.File("none.cfg")), "(File not found)");
  // Files that are no configuration answer as a missing one, silently, and change nothing.
  const Settings before = rig.main->GetSettings();
  for (const std::string& wrong :
       {rig.dir.Write("capture.bin", std::vector<std::uint8_t>(2 << 20, 0x03)), rig.dir.Write("empty.cfg", ""),
        rig.dir.Write("notes.txt", "Caption=Door\r\n"), rig.dir.Write("nul.cfg", std::string(64, '\0'))}) {
    EXPECT_EQ(client.Send("LoadConfiguration>" + wrong), "(File not found)") << wrong;
    EXPECT_EQ(rig.main->GetSettings(), before) << wrong;
  }
  EXPECT_TRUE(rig.dialogs.messages.empty());

  // A configuration's captions are those the lines are rendered with.
  Settings captions;
  captions.channels[1].caption = "Door";
  const std::string config = WriteChannelConfig(rig.dir, "door.cfg", captions);
  EXPECT_EQ(client.Send("LoadConfiguration>" + config), "OK");
  EXPECT_EQ(rig.main->GetSettings().channels[1].caption, "Door");

  // Lines wake the client and go to it oldest first, leaving the list.
  DecoderServices& services = rig.main->GetPipeline().Services();
  ASSERT_TRUE(client.eventCreated);
  services.AppendDecodedLine("1,33398,New Value=1,");
  services.AppendDecodedLine("1,33400,New Value=0,");
  EXPECT_TRUE(client.event.Wait(0));
  EXPECT_EQ(client.Send("Ask"), "Door         33.398 New Value=1");
  EXPECT_EQ(client.Send("Ask>x"), "Door         33.400 New Value=0");
  EXPECT_EQ(client.Send("Ask"), "(nothing)");
  EXPECT_TRUE(services.lines.empty());
  EXPECT_EQ(rig.main->Remote().Server().LastWord(), "Ask");

  EXPECT_EQ(client.Send("Hide"), "OK");
  EXPECT_FALSE(rig.main->isVisible());
}

TEST(RemoteWindow, TheLogTakesLinesOnlyWhileItIsShown) {
  RemoteName name;
  Client client(name);
  GuiRig rig;
  rig.Show();
  ui::TfrmRemote& log = rig.main->Remote().LogWindow();
  EXPECT_EQ(log.windowTitle(), "Remote");
  EXPECT_EQ(log.size(), QSize(456, 179));
  EXPECT_TRUE(log.windowFlags().testFlag(Qt::Tool));
  EXPECT_EQ(log.butClear->size(), QSize(41, 17));
  EXPECT_EQ(log.butClear->text(), "Clear");
  EXPECT_FALSE(log.isVisible());
  EXPECT_FALSE(log.testAttribute(Qt::WA_QuitOnClose));

  EXPECT_EQ(client.Send("Com>13"), "(Error port)");
  EXPECT_TRUE(LogLines(*rig.main).empty());

  rig.main->mnuRemote->actions().first()->trigger();  // "Display log"
  EXPECT_TRUE(log.isVisible());
  EXPECT_EQ(client.Send("Com>3"), "OK");
  EXPECT_EQ(client.Send("Hide>now"), "OK");
  EXPECT_EQ(LogLines(*rig.main),
            (std::vector<std::string>{"Com>3 (3):", "->OK", "Hide>now (now):", "->OK"}));
  EXPECT_EQ(log.lstRemote->model()->rowCount(), 4);
  // Hiding the main window leaves the log as it was.
  EXPECT_FALSE(rig.main->isVisible());
  EXPECT_TRUE(log.isVisible());

  QTest::mouseClick(log.butClear, Qt::LeftButton);
  EXPECT_TRUE(LogLines(*rig.main).empty());
  EXPECT_EQ(log.lstRemote->model()->rowCount(), 0);

  log.hide();
  EXPECT_EQ(client.Send("Show"), "OK");
  EXPECT_TRUE(LogLines(*rig.main).empty());
}

TEST(RemoteWindow, RunDuringARunRepliesOnceItsMessageIsAnswered) {
  RemoteName name;
  Client client(name);
  GuiRig rig;
  rig.Show();
  ASSERT_TRUE(GuiRig::WaitFor([&] { return !rig.main->isVisible(); }, 3000));
  rig.main->GetPipeline().SetRunning(true);
  EXPECT_EQ(client.Send("Run"), "OK");
  // Shown while the main window is hidden.
  ASSERT_EQ(rig.dialogs.messages.size(), 1u);
  EXPECT_EQ(rig.dialogs.messages[0].text, "Program is still running !");
  rig.main->GetPipeline().SetRunning(false);
}

namespace {

struct ProgramResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

// velkor-remote starts the program (offscreen), loads a configuration, selects COM3 where
// kivo-sim streams, runs, follows the lines, stops and closes. The lines are the first ones
// of the headless decoding of the same live bytes; the program ends with 1 and leaves its
// LastVelkor.cfg as it was.
TEST(RemoteEndToEnd, ClientDrivesALiveRunAndClosesTheProgram) {
  TempDir dir;
  // The program keeps LastVelkor.cfg beside itself: a copy of it in the test's folder.
  const std::string program = dir.File("velkor");
  std::filesystem::copy_file(VELKOR_GUI_PROGRAM, program);
  Settings off;
  const std::string lastConfig = WriteChannelConfig(dir, "LastVelkor.cfg", off);
  const std::string lastBefore = ReadWholeFile(lastConfig);

  Settings logical;
  SetAllLogical(logical);
  // A configuration names its port too (COM5 here): the client chooses COM3 after it.
  const std::string config =
      dir.Write("live.cfg", ReadWholeFile(WriteChannelConfig(dir, "live.cfg", logical)) + "\n[PORT]\nPortCom=COM5\n");
  const Capture c = FourChannelCapture();
  const std::vector<std::uint8_t> live = c.LiveBytes();
  const std::string capture = dir.Write("capture.bin", c.FileBytes(live.size() * 4 - c.SampleCount()));

  TestRig headless;
  headless.settings = logical;
  std::vector<std::string> expected;
  for (const std::string& line : headless.Replay(LiveBytesToFileBytes(live))) {
    const std::string captions[4] = {"Cha1", "Cha2", "Cha3", "Cha4"};
    expected.push_back(Cp1252ToUtf8(RenderDecodedLine(line, captions)));
  }
  ASSERT_FALSE(expected.empty());

  ProgramResult result;
  // A machine loaded enough to keep kivo-sim from answering the version query within 50 ms
  // fails the run start with a message box, which nobody closes here: the client's timeout
  // then ends the program. A fault fails every try.
  for (int attempt = 0; attempt < 3; ++attempt) {
    KivoSimulator sim({"--version", "3.9", "--time-limit", "60", capture});
    ASSERT_FALSE(sim.Path().empty());
    PortOverride com3(sim.Path());
    const std::string err = dir.File("stderr.txt");
    const std::string command = "timeout -k 10 120 " + std::string(VELKOR_REMOTE_TOOL) + " --program " + program +
                                " --name " + UniqueName() + " --timeout 15 'LoadConfiguration>" + config +
                                "' 'Com>3' Run --follow=3 Stop Close 2>" + err;
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    result.out.clear();
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) result.out.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = ReadWholeFile(err);
    if (result.status != 3) break;
  }
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("the program ended with exit code 1"), std::string::npos) << result.err;

  std::vector<std::string> out = SplitLines(result.out);
  ASSERT_GE(out.size(), 5u) << result.out;
  EXPECT_EQ(std::vector<std::string>(out.begin(), out.begin() + 3), (std::vector<std::string>{"OK", "OK", "OK"}));
  EXPECT_EQ(std::vector<std::string>(out.end() - 2, out.end()), (std::vector<std::string>{"OK", "OK"}));
  const std::vector<std::string> received(out.begin() + 3, out.end() - 2);
  ASSERT_FALSE(received.empty());
  ASSERT_LE(received.size(), expected.size());
  EXPECT_EQ(received, std::vector<std::string>(expected.begin(), expected.begin() + received.size()));

  EXPECT_EQ(ReadWholeFile(lastConfig), lastBefore);
}


namespace {

// The program in a folder of its own (it keeps LastVelkor.cfg beside itself), reached through
// a symbolic link whose name is not the program's, as a packaged program may be.
struct LinkedProgram {
  LinkedProgram() {
    std::filesystem::copy_file(VELKOR_GUI_PROGRAM, dir.File("velkor"));
    link = dir.File("vlk" + std::to_string(getpid()));
    std::filesystem::create_symlink(dir.File("velkor"), link);
    base = "vlk" + std::to_string(getpid());
  }
  TempDir dir;
  std::string link;
  std::string base;  // the block is named after the link
};

}  // namespace

// Started through a link by a --keep session, the program is served under the link's name,
// is shown again after its own hiding and stays reachable: a later --attach closes it. The
// default names are used (no VELKOR_REMOTE_NAME), as a user would.
TEST(RemoteEndToEnd, AKeptProgramStartedThroughALinkStaysShownAndReachable) {
  LinkedProgram program;
  const std::string tool = "env -u VELKOR_REMOTE_NAME QT_QPA_PLATFORM=xcb " + std::string(VELKOR_REMOTE_TOOL) +
                           " --program " + program.link + " --timeout 30";
  const std::string script = program.dir.Write(
      "session.sh", tool + " --keep Ask >" + program.dir.File("keep.out") + " 2>" + program.dir.File("keep.err") +
                        "\necho keep=$?\nsleep 1\n"
                        "xdotool search --onlyvisible --name '^Kivo - Velkor$' >/dev/null && echo shown\n" +
                        tool + " --attach Close 2>" + program.dir.File("attach.err") + "\necho attach=$?\n");
  const ToolResult r =
      RunShellCommand("timeout -k 10 120 xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' sh " + script,
                      program.dir.File("keep.err"));
  EXPECT_EQ(r.out, "keep=0\nshown\nOK\nattach=0\n") << r.err << ReadWholeFile(program.dir.File("attach.err"));
  EXPECT_EQ(ReadWholeFile(program.dir.File("keep.out")), "(nothing)\n");
  EXPECT_FALSE(BlockExists(program.base));
}

TEST(RemoteWindow, TheLogFollowsItsNewestLineUnlessScrolledBack) {
  ui::TfrmRemote log;
  log.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&log));
  const auto newestShown = [&log] {
    const QAbstractItemModel* model = log.lstRemote->model();
    const QRect row = log.lstRemote->visualRect(model->index(model->rowCount() - 1, 0));
    return log.lstRemote->viewport()->rect().contains(row);
  };
  for (int i = 0; i < 60; ++i) {
    log.AddLine("Ask (" + std::to_string(i) + "):");
    ASSERT_TRUE(newestShown()) << i;
  }
  ASSERT_GT(log.lstRemote->verticalScrollBar()->maximum(), 0);

  log.lstRemote->verticalScrollBar()->setValue(0);
  log.AddLine("->(nothing)");
  EXPECT_EQ(log.lstRemote->verticalScrollBar()->value(), 0);
  EXPECT_FALSE(newestShown());
}
