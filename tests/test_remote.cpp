// The remote command channel: the command table, the block protocol at its limits, the
// serving of a burst of commands, and the platform's shared block and line event.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "BackgroundProcess.h"
#include "platform/SharedMemory.h"
#include "remote/RemoteBlock.h"
#include "remote/RemoteCommands.h"
#include "views/DecodedLine.h"

using namespace velkor;

namespace {

// Records what the commands do to the program; its clock moves only when events run.
class RecordingHost : public RemoteHost {
 public:
  void Hide() override { calls.push_back("Hide"); }
  void Show() override { calls.push_back("Show"); }
  bool LoadConfiguration(const std::string& path) override {
    calls.push_back("Load " + path);
    return !loadSucceeds;
  }
  void Run() override { calls.push_back("Run"); }
  void Stop() override { calls.push_back("Stop"); }
  void SelectPort(int port) override { calls.push_back("SelectPort " + std::to_string(port)); }
  void DrawPortIndicator() override { calls.push_back("DrawPortIndicator"); }

  std::size_t LineCount() override { return lines.size(); }
  std::string_view OldestLine() override { return lines.Line(0); }
  void RemoveOldestLine() override {
    calls.push_back("RemoveOldestLine");
    lines.RemoveFirst();
  }
  std::string ChannelCaption(int channel) override { return captions[channel]; }

  bool LogVisible() override { return logVisible; }
  void AddLogLine(std::string_view line) override { log.emplace_back(line); }

  void ProcessPendingEvents() override {
    ++eventRounds;
    now += microsPerRound;
    if (duringEvents) duringEvents();
  }
  std::uint64_t MonotonicMicros() override { return now; }

  std::vector<std::string> calls;
  DecodedLineList lines;
  std::string captions[4] = {"CAN", "Door", "Cha3", "Cha4"};
  bool loadSucceeds = true;
  bool logVisible = false;
  std::vector<std::string> log;
  std::uint64_t now = 1000000;
  std::uint64_t microsPerRound = 1000;
  int eventRounds = 0;
  std::function<void()> duringEvents;
};

// A block the size a client would make it, or any other size.
struct Block {
  explicit Block(std::size_t size = kRemoteMinBlockSize) : bytes(size, 0) {}
  std::span<std::uint8_t> Span() { return bytes; }
  std::string Text() const {
    std::string t;
    for (std::size_t i = 1; i < bytes.size() && bytes[i] != 0; ++i) t += static_cast<char>(bytes[i]);
    return t;
  }
  std::vector<std::uint8_t> bytes;
};

RemoteOutcome Execute(std::string_view text, RemoteHost& host) {
  return ExecuteRemoteCommand(SplitRemoteCommand(text), host);
}

}  // namespace

TEST(RemoteCommands, TableOfWordsArgumentsAndReplies) {
  struct Case {
    std::string_view text;
    std::string_view reply;
    std::vector<std::string> calls;
    bool end = false;
  };
  const std::vector<std::string> none;
  const Case cases[] = {
      {"Com>3", "OK", {"SelectPort 3", "DrawPortIndicator"}},
      {"Com>1", "OK", {"SelectPort 1", "DrawPortIndicator"}},
      {"Com>10", "OK", {"SelectPort 10", "DrawPortIndicator"}},
      {"Com>12", "OK", {"SelectPort 12", "DrawPortIndicator"}},
      {"Com>13", "(Error port)", none},
      {"Com>03", "(Error port)", none},
      {"Com> 3", "(Error port)", none},
      {"Com>3 ", "(Error port)", none},
      {"Com>0", "(Error port)", none},
      {"Com>+3", "(Error port)", none},
      {"Com>1a", "(Error port)", none},
      {"Com>3>", "(Error port)", none},
      {"Com>", "(Error port)", none},
      {"Com", "(Error port)", none},
      {"com>3", "ERROR", none},
      {"Close", "OK", none, true},
      {"Close>later", "OK", none, true},
      {"close", "ERROR", none},
      {"Close ", "ERROR", none},
      {"Hide", "OK", {"Hide"}},
      {"Show>x", "OK", {"Show"}},
      {"Run", "OK", {"Run"}},
      {"Stop", "OK", {"Stop"}},
      {"RUN", "ERROR", none},
      {"", "ERROR", none},
      {">Run", "ERROR", none},
      {"LoadConfiguration>/tmp/a>b.cfg", "OK", {"Load /tmp/a>b.cfg"}},
      {"LoadConfiguration", "OK", {"Load "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    RecordingHost host;
    const RemoteOutcome outcome = Execute(c.text, host);
    EXPECT_EQ(outcome.reply, c.reply);
    EXPECT_EQ(host.calls, c.calls);
    EXPECT_EQ(outcome.endAfterReply, c.end);
  }
}

TEST(RemoteCommands, FailedLoadRepliesFileNotFound) {
  RecordingHost host;
  host.loadSucceeds = false;
  EXPECT_EQ(Execute("LoadConfiguration>missing.cfg", host).reply, "(File not found)");
}

TEST(RemoteCommands, SplitKeepsLaterMarksAndCutsTheArgument) {
  const RemoteCommand c = SplitRemoteCommand("LoadConfiguration>a>b>c");
  EXPECT_EQ(c.word, "LoadConfiguration");
  EXPECT_EQ(c.argument, "a>b>c");

  const std::string longArgument(1200, 'p');
  const std::string text = "LoadConfiguration>" + longArgument;
  const RemoteCommand cut = SplitRemoteCommand(text);
  EXPECT_EQ(cut.argument, longArgument.substr(0, 1000));
}

TEST(RemoteCommands, AskHandsOutTheOldestLineAndRemovesIt) {
  RecordingHost host;
  EXPECT_EQ(Execute("Ask", host).reply, "(nothing)");
  EXPECT_TRUE(host.calls.empty());

  host.lines.Append("0,1523642,ID=12A,DLC=2,DataFrame=00 01,");
  host.lines.Append("1,33398,New Value=1,");
  EXPECT_EQ(Execute("Ask", host).reply, "CAN        1523.642 ID=12A DLC=2 DataFrame=00 01");
  // A caption changed since decoding is the one rendered.
  host.captions[1] = "Gate";
  EXPECT_EQ(Execute("Ask>anything", host).reply, "Gate         33.398 New Value=1");
  EXPECT_EQ(Execute("Ask", host).reply, "(nothing)");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"RemoveOldestLine", "RemoveOldestLine"}));
}

TEST(RemoteServer, LogsBothLinesOnlyWhileTheLogIsVisible) {
  RecordingHost host;
  Block block;
  RemoteServer server(host);
  server.Attach(block.Span());

  ASSERT_FALSE(PostRemoteCommand(block.Span(), "Com>3"));
  EXPECT_EQ(server.ServeOne(), RemoteServer::Served::Command);
  EXPECT_TRUE(host.log.empty());
  EXPECT_EQ(TakeRemoteReply(block.Span()), "OK");

  host.logVisible = true;
  ASSERT_FALSE(PostRemoteCommand(block.Span(), "Com>3"));
  EXPECT_EQ(server.ServeOne(), RemoteServer::Served::Command);
  ASSERT_FALSE(PostRemoteCommand(block.Span(), "Nope>a>b"));
  EXPECT_EQ(server.ServeOne(), RemoteServer::Served::Command);
  EXPECT_EQ(host.log, (std::vector<std::string>{"Com>3 (3):", "->OK", "Nope>a>b (a>b):", "->ERROR"}));
  EXPECT_EQ(server.LastWord(), "Nope");
  EXPECT_EQ(server.LastArgument(), "a>b");
  EXPECT_EQ(server.LastReply(), "ERROR");
  EXPECT_EQ(TakeRemoteReply(block.Span()), "ERROR");
}

TEST(RemoteServer, ActsOnlyOnStateOneAndLeavesTheBlockAlone) {
  RecordingHost host;
  Block block;
  RemoteServer server(host);
  EXPECT_FALSE(server.ServeBurst());  // nothing attached yet
  server.Attach(block.Span());
  const std::string command = "Hide";
  std::copy(command.begin(), command.end(), block.bytes.begin() + 1);
  for (std::uint8_t state : {0, 2, 255}) {
    block.bytes[0] = state;
    EXPECT_EQ(server.ServeOne(), RemoteServer::Served::Nothing);
    EXPECT_EQ(block.bytes[0], state);
    EXPECT_EQ(block.Text(), "Hide");
  }
  EXPECT_TRUE(host.calls.empty());
}

TEST(RemoteServer, BurstServesCommandsUntilFiftyMillisecondsWithoutOne) {
  RecordingHost host;
  Block block;
  RemoteServer server(host);
  server.Attach(block.Span());

  // An idle tick: one look, one round of events.
  EXPECT_FALSE(server.ServeBurst());
  EXPECT_EQ(host.eventRounds, 1);

  // The client sends its next command while events run, 10 ms after the reply.
  std::deque<std::string> script = {"Com>4", "Run", "Hide"};
  int roundsSinceReply = 0;
  std::vector<std::uint64_t> servedAt;
  host.duringEvents = [&] {
    if (++roundsSinceReply < 10 || script.empty() || RemoteState(block.Span()) != 0) return;
    roundsSinceReply = 0;
    ASSERT_FALSE(PostRemoteCommand(block.Span(), script.front()));
    script.pop_front();
  };
  ASSERT_FALSE(PostRemoteCommand(block.Span(), "Stop"));
  host.eventRounds = 0;
  const std::uint64_t start = host.now;
  EXPECT_FALSE(server.ServeBurst());
  EXPECT_TRUE(script.empty());
  EXPECT_EQ(host.calls,
            (std::vector<std::string>{"Stop", "SelectPort 4", "DrawPortIndicator", "Run", "Hide"}));
  // The last command came at 30 ms; the burst ended once 50 ms more had passed.
  EXPECT_GT(host.now - start, 30000u + kRemoteServingWindowMicros);
  EXPECT_LE(host.now - start, 30000u + kRemoteServingWindowMicros + 2 * host.microsPerRound);
}

TEST(RemoteServer, CloseRepliesThenEndsTheBurstAtOnce) {
  RecordingHost host;
  Block block;
  RemoteServer server(host);
  server.Attach(block.Span());
  ASSERT_FALSE(PostRemoteCommand(block.Span(), "Close"));
  EXPECT_TRUE(server.ServeBurst());
  EXPECT_EQ(TakeRemoteReply(block.Span()), "OK");
  EXPECT_EQ(host.eventRounds, 0);
  EXPECT_TRUE(host.calls.empty());
}

TEST(RemoteServer, AServingCalledFromInsideItselfDoesNothing) {
  RecordingHost host;
  Block block;
  RemoteServer server(host);
  server.Attach(block.Span());
  int nested = 0;
  host.duringEvents = [&] {
    if (nested++ > 0) return;
    // A tick of the poll timer inside a message box of a command.
    ASSERT_FALSE(PostRemoteCommand(block.Span(), "Show"));
    EXPECT_FALSE(server.ServeBurst());
    EXPECT_EQ(RemoteState(block.Span()), kRemoteStateCommand);
  };
  EXPECT_FALSE(server.ServeBurst());
  EXPECT_TRUE(host.calls.empty());
  // The next tick serves it.
  EXPECT_FALSE(server.ServeBurst());
  EXPECT_EQ(host.calls, std::vector<std::string>{"Show"});
  EXPECT_EQ(TakeRemoteReply(block.Span()), "OK");
}

// Out-of-bounds cases: each block is a heap vector of its exact size, so the sanitizers
// catch a read or write past it.
TEST(RemoteBlock, LongCommandIsCutToTheBuffer) {
  Block block(6000);
  const std::string command = "LoadConfiguration>" + std::string(5000 - 18, 'c');
  ASSERT_FALSE(PostRemoteCommand(block.Span(), command));
  RemoteCommandBuffer buffer;
  const std::optional<std::string_view> text = ReadRemoteCommand(block.Span(), buffer);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, command.substr(0, kRemoteMaxCommandLength));
  EXPECT_EQ(buffer[kRemoteMaxCommandLength], '\0');
  EXPECT_EQ(SplitRemoteCommand(*text).argument.size(), kRemoteMaxArgumentLength);

  RecordingHost host;
  RemoteServer server(host);
  server.Attach(block.Span());
  host.logVisible = true;
  EXPECT_EQ(server.ServeOne(), RemoteServer::Served::Command);
  EXPECT_EQ(host.calls, std::vector<std::string>{"Load " + std::string(1000, 'c')});
  EXPECT_EQ(TakeRemoteReply(block.Span()), "OK");
}

TEST(RemoteBlock, TextWithoutZeroIsCutAtTheBlockEnd) {
  Block block(40);
  std::fill(block.bytes.begin(), block.bytes.end(), 'x');
  block.bytes[0] = kRemoteStateCommand;
  RemoteCommandBuffer buffer;
  const std::optional<std::string_view> text = ReadRemoteCommand(block.Span(), buffer);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, std::string(39, 'x'));
}

TEST(RemoteBlock, ReplyIsCutToFitWithItsZeroAndStillPublished) {
  RecordingHost host;
  host.lines.Append("0,1," + std::string(990, 'A') + ",");
  Block block(40);
  RemoteServer server(host);
  server.Attach(block.Span());
  ASSERT_FALSE(PostRemoteCommand(block.Span(), "Ask"));
  EXPECT_EQ(server.ServeOne(), RemoteServer::Served::Command);
  EXPECT_EQ(server.LastReply().size(), 6u + 13u + 1u + 990u);
  EXPECT_EQ(block.bytes[0], kRemoteStateIdle);
  EXPECT_EQ(block.bytes[39], 0);
  EXPECT_EQ(TakeRemoteReply(block.Span()), server.LastReply().substr(0, 38));

  // The smallest blocks: one byte holds only the state, two only the zero.
  for (std::size_t size : {1u, 2u}) {
    Block tiny(size);
    tiny.bytes[0] = kRemoteStateCommand;
    WriteRemoteReply(tiny.Span(), "OK");
    EXPECT_EQ(tiny.bytes[0], kRemoteStateIdle);
    EXPECT_EQ(TakeRemoteReply(tiny.Span()), "");
  }
  // Nor does a client write past its block.
  Block small(5);
  EXPECT_TRUE(PostRemoteCommand(small.Span(), "Show"));
  EXPECT_FALSE(PostRemoteCommand(small.Span(), "Ask"));
  EXPECT_TRUE(PostRemoteCommand(small.Span(), "Ask"));  // the first is still waiting
}

TEST(RemoteBlock, NamesFromTheExecutable) {
  struct Case {
    std::string_view path, override, block, event;
  };
  const Case cases[] = {
      {"/usr/local/bin/velkor", "", "velkorSM", "VelkorEM"},
      {"C:\\Kivo\\Velkor.exe", "", "VelkorSM", "VelkorEM"},
      {"./build/velkor.v2.bin", "", "velkor.v2SM", "VelkorEM"},
      {"velkor", "", "velkorSM", "VelkorEM"},
      {"/usr/local/bin/velkor", "t1", "t1SM", "t1EM"},
  };
  for (const Case& c : cases) {
    const RemoteNames names = RemoteChannelNames(c.path, c.override);
    EXPECT_EQ(names.block, c.block) << c.path;
    EXPECT_EQ(names.event, c.event) << c.path;
  }
}

namespace {

// Names of this test process only, so that tests running side by side never meet.
std::string UniqueName(std::string_view what) {
  static int counter = 0;
  return "velkorTest" + std::string(what) + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

}  // namespace

TEST(SharedMemory, ProgramOpensTheClientsBlockAndServesThroughIt) {
  const std::string name = UniqueName("SM");
  platform::SharedBlock client;
  ASSERT_FALSE(client.Create(name, 2000)) << client.Error();
  EXPECT_TRUE(client.Create(name, 2000));  // one block per object

  platform::SharedBlock program;
  ASSERT_EQ(program.Open(name), platform::BlockOpenResult::Success) << program.Error();
  EXPECT_EQ(program.Open(name), platform::BlockOpenResult::AlreadyOpen);
  ASSERT_EQ(program.Bytes().size(), 2000u);
  EXPECT_EQ(program.Bytes()[0], 0);
  platform::SharedBlock other;
  EXPECT_TRUE(other.Create(name, 2000));  // the name is taken

  RecordingHost host;
  RemoteServer server(host);
  server.Attach(program.Bytes());
  ASSERT_FALSE(PostRemoteCommand(client.Bytes(), "Com>7"));
  EXPECT_FALSE(server.ServeBurst());
  EXPECT_EQ(TakeRemoteReply(client.Bytes()), "OK");
  EXPECT_EQ(host.calls, (std::vector<std::string>{"SelectPort 7", "DrawPortIndicator"}));
}

TEST(SharedMemory, MissingOrEmptyBlocksAreNotOpened) {
  const std::string name = UniqueName("SM");
  {
    platform::SharedBlock client;
    ASSERT_FALSE(client.Create(name, kRemoteMinBlockSize));
  }
  // The client's end removed the name.
  platform::SharedBlock program;
  EXPECT_EQ(program.Open(name), platform::BlockOpenResult::CannotOpen);
  EXPECT_EQ(program.Open("bad/name"), platform::BlockOpenResult::CannotOpen);

  // An object the client never sized has nothing to map.
  const int fd = shm_open(("/" + name).c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_EQ(program.Open(name), platform::BlockOpenResult::CannotMap);
  EXPECT_FALSE(program.IsOpen());
  EXPECT_TRUE(platform::SharedBlock::Remove(name));
}

TEST(SharedMemory, LineEventActsAsOneSetEvent) {
  const std::string name = UniqueName("EM");
  platform::NamedEvent program(name);
  program.Signal();  // no client: nothing happens

  {
    platform::EventWaiter client;
    ASSERT_FALSE(client.Create(name)) << client.Error();
    EXPECT_FALSE(client.Wait(0));
    // A client that makes its event after the program's first lines is woken by later ones.
    ASSERT_TRUE(test::Eventually([&] {
      program.Signal();
      return client.Wait(1);
    }));
    // However many lines came, one wake-up.
    for (int i = 0; i < 5; ++i) program.Signal();
    EXPECT_TRUE(client.Wait(1000));
    EXPECT_FALSE(client.Wait(10));
    program.Signal();
    EXPECT_TRUE(client.Wait(1000));

    // A second client of the same event does not remove it at its end.
    platform::EventWaiter second;
    ASSERT_FALSE(second.Create(name));
  }
  platform::EventWaiter late;
  EXPECT_TRUE(late.Open(name));  // the creator's end removed it

  // The event of the next client is a new one: the program lets the old one go.
  platform::EventWaiter next;
  ASSERT_FALSE(next.Create(name));
  EXPECT_TRUE(test::Eventually([&] {
    program.Signal();
    return next.Wait(1);
  }));
}

namespace {

bool BlockExists(const std::string& name) {
  platform::SharedBlock block;
  return block.Open(name) != platform::BlockOpenResult::CannotOpen;
}

// Runs `body` in a child process that ends without the clean-up of this one.
pid_t InChild(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  return pid;
}

}  // namespace

TEST(SharedMemory, ABlockThatNobodyHoldsIsNotOpenedButRemoved) {
  const std::string name = UniqueName("SM");
  // A client killed before it could remove its block.
  const pid_t killed = InChild([&] {
    auto* client = new platform::SharedBlock;  // never ended
    return client->Create(name, kRemoteMinBlockSize) ? 1 : 0;
  });
  int status = 0;
  ASSERT_EQ(waitpid(killed, &status, 0), killed);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(BlockExists(name));
  EXPECT_FALSE(platform::SharedBlock::Held(name));

  platform::SharedBlock program;
  EXPECT_EQ(program.OpenHeld(name), platform::BlockOpenResult::Unheld);
  EXPECT_FALSE(program.IsOpen());
  EXPECT_FALSE(BlockExists(name));

  // Held by a mapping alone (a program whose client has gone), a block is live.
  auto client = std::make_optional<platform::SharedBlock>();
  ASSERT_FALSE(client->Create(name, kRemoteMinBlockSize));
  platform::SharedBlock mapped;
  ASSERT_EQ(mapped.Open(name), platform::BlockOpenResult::Success);
  client.reset();
  EXPECT_TRUE(BlockExists(name));
  EXPECT_TRUE(platform::SharedBlock::Held(name));
  EXPECT_EQ(program.OpenHeld(name), platform::BlockOpenResult::Success);
}

// The program's end, however it comes, takes the block's name with it unless its client
// still holds the block.
TEST(SharedMemory, TheProgramsEndRemovesTheBlockUnlessItsClientHoldsIt) {
  struct Case {
    int signal;  // 0: the program ends normally
    bool clientStays;
  };
  for (const Case c : {Case{0, false}, Case{SIGTERM, false}, Case{SIGHUP, false}, Case{SIGINT, false},
                       Case{0, true}, Case{SIGTERM, true}}) {
    SCOPED_TRACE(testing::Message() << "signal " << c.signal << (c.clientStays ? ", client stays" : ""));
    const std::string name = UniqueName("SM");
    int created[2], opened[2], go[2];
    ASSERT_EQ(pipe(created), 0);
    ASSERT_EQ(pipe(opened), 0);
    ASSERT_EQ(pipe(go), 0);
    // Started before the client makes its block, so that it inherits none of it.
    const pid_t program = InChild([&] {
      char byte = 0;
      if (read(created[0], &byte, 1) != 1) return 5;
      {
        platform::SharedBlock block;
        if (block.OpenHeld(name) != platform::BlockOpenResult::Success) return 3;
        block.ReleaseOnTerminationSignals();
        if (write(opened[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 1) return 4;
      }
      return 0;
    });
    auto client = std::make_optional<platform::SharedBlock>();
    ASSERT_FALSE(client->Create(name, kRemoteMinBlockSize));
    ASSERT_EQ(write(created[1], "x", 1), 1);
    char byte = 0;
    ASSERT_EQ(read(opened[0], &byte, 1), 1);
    if (!c.clientStays) client.reset();
    EXPECT_TRUE(BlockExists(name));
    if (c.signal != 0) kill(program, c.signal);
    EXPECT_EQ(write(go[1], &byte, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(program, &status, 0), program);
    if (c.signal != 0) {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal);  // ended as before
    } else {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(BlockExists(name), c.clientStays);
    for (int fd : {created[0], created[1], opened[0], opened[1], go[0], go[1]}) close(fd);
  }
}
