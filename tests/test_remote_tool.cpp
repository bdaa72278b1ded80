// velkor-remote, the client tool, against a stand-in for the program (the real server over
// a small host) or against a server in this process: what it prints, its exit status, the
// end of the program it started and the removal of the names it made.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "BackgroundProcess.h"
#include "LineServingHost.h"
#include "TestRig.h"
#include "platform/Clock.h"
#include "platform/SharedMemory.h"
#include "remote/RemoteCommands.h"

using namespace velkor;
using namespace velkor::test;

namespace {

struct Names {
  Names() {
    static int counter = 0;
    base = "velkorToolTest" + std::to_string(getpid()) + "_" + std::to_string(++counter);
  }
  // Nothing the tool made is left behind.
  bool AllRemoved() const {
    platform::SharedBlock block;
    platform::EventWaiter event;
    return !BlockExists() && event.Open(base + "EM");
  }
  bool BlockExists() const {
    platform::SharedBlock block;
    return block.Open(base + "SM") != platform::BlockOpenResult::CannotOpen;
  }
  std::string base;
};

// Runs the tool through the shell (arguments already quoted), with a text on its input.
ToolResult RunRemoteTool(const std::string& args, const std::string& input = "") {
  TempDir tmp;
  const std::string in = tmp.Write("stdin.txt", input);
  const std::string err = tmp.File("stderr.txt");
  return RunShellCommand("timeout -k 10 120 " + std::string(VELKOR_REMOTE_TOOL) + " " + args + " <" + in + " 2>" + err,
                         err);
}

std::string StandIn(const Names& names) {
  return "--program " + std::string(VELKOR_REMOTE_STANDIN) + " --name " + names.base;
}

// A session beside the test, its output in files: the stand-in answers "Show", then stays
// in "Hide" for good, so that the session waits for a reply.
struct WaitingSession {
  explicit WaitingSession(const Names& names)
      : process(std::string(VELKOR_REMOTE_TOOL) + " " + StandIn(names) + " --timeout 60 Show Hide >" +
                dir.File("out") + " 2>" + dir.File("err")) {}
  // True once the program answered "Show": it holds the block and waits in "Hide".
  bool Waiting() {
    return Eventually([&] { return ReadWholeFile(dir.File("out")) == "OK\n"; });
  }
  // The program the session started.
  pid_t Program() const {
    std::ifstream children("/proc/" + std::to_string(process.Pid()) + "/task/" + std::to_string(process.Pid()) +
                           "/children");
    pid_t pid = -1;
    children >> pid;
    return pid;
  }
  std::string Err() const { return ReadWholeFile(dir.File("err")); }
  TempDir dir;
  BackgroundProcess process;
};

// The stand-in's three lines as the tool prints them (UTF-8).
const std::string kLine0 = "Cha1          0.000 Count=0 \xC2\xB5s\n";
const std::string kLine1 = "Cha1          1.000 Count=1 \xC2\xB5s\n";
const std::string kLine2 = "Cha1          2.000 Count=2 \xC2\xB5s\n";

}  // namespace

TEST(RemoteTool, CommandsFollowAndCloseInTheirOrder) {
  Names names;
  const ToolResult r = RunRemoteTool(StandIn(names) +
                                     " 'Com>3' 'Com>13' 'LoadConfiguration>' 'LoadConfiguration>a>b' nope"
                                     " Run --follow=0.5 Ask Close");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "OK\n(Error port)\n(File not found)\nOK\nERROR\nOK\n" + kLine0 + kLine1 + kLine2 + "(nothing)\nOK\n");
  EXPECT_NE(r.err.find("the program ended with exit code 1"), std::string::npos) << r.err;
  EXPECT_TRUE(names.AllRemoved());
}

TEST(RemoteTool, CommandsFromStandardInputAndTheProgramClosedAtTheEnd) {
  Names names;
  const ToolResult r = RunRemoteTool(StandIn(names), "Run\n\nAsk\r\nAsk\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "OK\n" + kLine0 + kLine1);
  // Not left running without a client: the session's end closed it.
  EXPECT_NE(r.err.find("the program ended with exit code 1"), std::string::npos) << r.err;
  EXPECT_TRUE(names.AllRemoved());
}

TEST(RemoteTool, AProgramThatStopsAnsweringFailsTheSessionAndIsEnded) {
  Names names;
  const ToolResult r = RunRemoteTool(StandIn(names) + " --timeout 1 Show Hide Show");
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "OK\n");
  EXPECT_NE(r.err.find("no answer to Hide"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("the program ended by signal"), std::string::npos) << r.err;
  EXPECT_TRUE(names.AllRemoved());
}

TEST(RemoteTool, RefusesWhatItCannotSetUp) {
  Names names;
  EXPECT_EQ(RunRemoteTool("--attach --name " + names.base + " Show").status, 2);
  EXPECT_EQ(RunRemoteTool(StandIn(names) + " --size 1000 Show").status, 2);
  EXPECT_EQ(RunRemoteTool(StandIn(names) + " --follow=x").status, 2);

  // Another session's block is left alone.
  auto other = std::make_optional<platform::SharedBlock>();
  ASSERT_FALSE(other->Create(names.base + "SM", kRemoteMinBlockSize));
  ToolResult r = RunRemoteTool(StandIn(names) + " Show");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("another velkor-remote session drives the block"), std::string::npos) << r.err;
  platform::SharedBlock program;
  EXPECT_EQ(program.OpenHeld(names.base + "SM"), platform::BlockOpenResult::Success);

  // So is a program's whose client has gone: it is for --attach.
  other.reset();
  r = RunRemoteTool(StandIn(names) + " Show");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("drive it with --attach"), std::string::npos) << r.err;
  EXPECT_TRUE(names.BlockExists());
}

namespace {

// Kills a session and its program: the block stays behind, held by nobody. (So does the
// event, which no program looks at again: removed here.)
void KillWaitingSession(const Names& names) {
  WaitingSession killed(names);
  ASSERT_TRUE(killed.Waiting()) << killed.Err();
  kill(killed.Program(), SIGKILL);
  killed.process.Signal(SIGKILL);
  ASSERT_TRUE(killed.process.Wait(10000));
  (void)platform::EventWaiter::Remove(names.base + "EM");
}

}  // namespace

TEST(RemoteTool, ABlockLeftByAKilledSessionIsRemovedAndTheNextSessionRuns) {
  Names names;
  KillWaitingSession(names);
  ASSERT_TRUE(names.BlockExists());
  const ToolResult r = RunRemoteTool(StandIn(names) + " Show");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "OK\n");
  EXPECT_NE(r.err.find("removed the block " + names.base + "SM"), std::string::npos) << r.err;
  EXPECT_FALSE(names.BlockExists());

  // Attaching to such a block finds no program, and removes it too.
  KillWaitingSession(names);
  EXPECT_EQ(RunRemoteTool("--attach --name " + names.base + " Show").status, 2);
  EXPECT_FALSE(names.BlockExists());
}

TEST(RemoteTool, AKilledProgramsBlockGoesWithItsClient) {
  Names names;
  WaitingSession session(names);
  ASSERT_TRUE(session.Waiting()) << session.Err();
  kill(session.Program(), SIGKILL);
  EXPECT_EQ(session.process.ExitCode(10000), 3);
  EXPECT_NE(session.Err().find("the program ended by signal 9"), std::string::npos) << session.Err();
  EXPECT_TRUE(names.AllRemoved());
}

// One client at a time: the replies of two would cross. Ctrl-C then ends the first one's
// wait for its reply at once; the program, which does not answer, is ended.
TEST(RemoteTool, ASecondClientIsRefusedAndCtrlCEndsTheFirstOnesWait) {
  Names names;
  WaitingSession first(names);
  ASSERT_TRUE(first.Waiting()) << first.Err();
  for (const std::string& second : {"--attach --name " + names.base, StandIn(names)}) {
    const ToolResult r = RunRemoteTool(second + " Show");
    EXPECT_EQ(r.status, 2) << second;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("another velkor-remote session drives the block"), std::string::npos) << r.err;
  }
  const pid_t program = first.Program();
  first.process.Signal(SIGINT);
  EXPECT_EQ(first.process.ExitCode(10000), 3);
  EXPECT_NE(first.Err().find("interrupted while waiting for the reply to Hide"), std::string::npos) << first.Err();
  EXPECT_NE(kill(program, 0), 0);
  EXPECT_TRUE(names.AllRemoved());
}

TEST(RemoteTool, SignalsEndTheSessionInOrder) {
  for (int signal : {SIGTERM, SIGHUP}) {
    Names names;
    TempDir dir;
    BackgroundProcess session(std::string(VELKOR_REMOTE_TOOL) + " " + StandIn(names) + " Show --follow >" +
                              dir.File("out") + " 2>" + dir.File("err"));
    ASSERT_TRUE(Eventually([&] { return ReadWholeFile(dir.File("out")) == "OK\n"; }));
    session.Signal(signal);
    EXPECT_EQ(session.ExitCode(10000), 0) << signal;
    // The program was closed, not killed, and nothing is left.
    EXPECT_NE(ReadWholeFile(dir.File("err")).find("exit code 1"), std::string::npos) << ReadWholeFile(dir.File("err"));
    EXPECT_TRUE(names.AllRemoved()) << signal;
  }
}

// A reader that stops reading (| head) ends the session in order: the program is closed.
// (The pause gives head the time to go before the lines come.)
TEST(RemoteTool, AReaderThatGoesAwayEndsTheSessionInOrder) {
  Names names;
  TempDir dir;
  const ToolResult r = RunShellCommand("timeout -k 10 120 " + std::string(VELKOR_REMOTE_TOOL) + " " + StandIn(names) +
                                           " Show --follow=1 Run --follow 2>" + dir.File("err") + " | head -1",
                                       dir.File("err"));
  EXPECT_EQ(r.out, "OK\n");
  EXPECT_NE(r.err.find("the program ended with exit code 1"), std::string::npos) << r.err;
  EXPECT_TRUE(names.AllRemoved());
}

// The program cuts a command longer than its buffer: such a command is refused before
// it is sent, and the session then ends in order, without ending a program that answers.
TEST(RemoteTool, ACommandTooLongIsRefusedBeforeItIsSent) {
  Names names;
  const std::string longest(kRemoteMaxCommandLength, 'x');
  ToolResult r = RunRemoteTool(StandIn(names) + " " + longest + " Show");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "ERROR\nOK\n");

  r = RunRemoteTool(StandIn(names) + " Show " + longest + "x");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");  // nothing started
  EXPECT_NE(r.err.find("too long"), std::string::npos) << r.err;

  r = RunRemoteTool(StandIn(names), "Show\n" + std::string(5000, 'x') + "\nAsk\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "OK\n");
  EXPECT_NE(r.err.find("the program ended with exit code 1"), std::string::npos) << r.err;
  EXPECT_TRUE(names.AllRemoved());
}

TEST(RemoteTool, AFileNameWindows1252CannotHoldIsRefusedBeforeItIsSent) {
  Names names;
  // "Данные.cfg": sent as Windows-1252, it would name another file.
  const std::string command = "'LoadConfiguration \xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5.cfg'";
  const ToolResult r = RunRemoteTool(StandIn(names) + " Show " + command);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");  // nothing started
  EXPECT_NE(r.err.find("Windows-1252"), std::string::npos) << r.err;
  EXPECT_TRUE(names.AllRemoved());
}

namespace {

// A program served from a thread of this test: "Run" appends lines and sets the event.
class ThreadHost final : public LineServingHost {
 public:
  using LineServingHost::LineServingHost;

  void Run() override {
    for (int i = 0; i < 2; ++i) AppendLine("1," + std::to_string(i) + ",New Value=" + std::to_string(i) + ",");
  }
  std::string ChannelCaption(int) override { return "Door"; }
};

}  // namespace

TEST(RemoteTool, AttachesToARunningProgramAndLeavesItsNames) {
  Names names;
  // The session that started the program has ended.
  auto client = std::make_optional<platform::SharedBlock>();
  ASSERT_FALSE(client->Create(names.base + "SM", kRemoteMinBlockSize));
  platform::EventWaiter clientEvent;
  ASSERT_FALSE(clientEvent.Create(names.base + "EM"));

  platform::SharedBlock block;
  ASSERT_EQ(block.OpenHeld(names.base + "SM"), platform::BlockOpenResult::Success);
  client.reset();
  platform::NamedEvent event(names.base + "EM");
  ThreadHost host(event);
  RemoteServer server(host);
  server.Attach(block.Bytes());
  std::atomic<bool> done = false;
  bool closed = false;
  std::thread program([&] {
    while (!done && !closed) {
      closed = server.ServeBurst();
      platform::SleepMilliseconds(1);
    }
  });
  const ToolResult r = RunRemoteTool("--attach --name " + names.base + " Run --follow=0.3 Stop");
  done = true;
  program.join();

  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "OK\nDoor          0.000 New Value=0\nDoor          0.001 New Value=1\nOK\n");
  EXPECT_FALSE(closed);  // an attached session does not close the program
  platform::SharedBlock again;
  EXPECT_EQ(again.Open(names.base + "SM"), platform::BlockOpenResult::Success);
}
