// velkor-remote, the client tool, against a stand-in for the program (the real server over
// a small host) or against a server in this process: what it prints, its exit status, the
// end of the program it started and the removal of the names it made.

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

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
    return block.Open(base + "SM") == platform::BlockOpenResult::CannotOpen && event.Open(base + "EM");
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
  platform::SharedBlock other;
  ASSERT_FALSE(other.Create(names.base + "SM", kRemoteMinBlockSize));
  const ToolResult r = RunRemoteTool(StandIn(names) + " Show");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("cannot create the block"), std::string::npos) << r.err;
  platform::SharedBlock program;
  EXPECT_EQ(program.Open(names.base + "SM"), platform::BlockOpenResult::Success);
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
  platform::SharedBlock client;
  ASSERT_FALSE(client.Create(names.base + "SM", kRemoteMinBlockSize));
  platform::EventWaiter clientEvent;
  ASSERT_FALSE(clientEvent.Create(names.base + "EM"));

  platform::SharedBlock block;
  ASSERT_EQ(block.Open(names.base + "SM"), platform::BlockOpenResult::Success);
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
