// velkor-remote: a remote client of the program, for scripts and tests. It creates the
// shared block and the line event, starts the program (or attaches to a block that exists),
// sends commands and prints the replies, and can follow the decoded lines as they come.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Cp1252.h"
#include "app/FilePath.h"
#include "app/Version.h"
#include "platform/Clock.h"
#include "platform/SharedMemory.h"
#include "remote/RemoteBlock.h"
#include "remote/RemoteCommands.h"

namespace {

using namespace velkor;

constexpr const char* kUsage =
    "Usage: velkor-remote [options] [COMMAND | --follow[=SECONDS]]...\n"
    "\n"
    "Drives the Velkor program through its remote command channel. It creates the shared\n"
    "block and the line event, starts the program, sends each COMMAND in turn and prints\n"
    "each reply on a line of its own. Without any COMMAND or --follow it reads the commands\n"
    "from standard input, one per line (empty lines are skipped).\n"
    "\n"
    "Commands (exact case): Close, Hide, Show, Ask, Run, Stop, Com>N (N = 1 to 12),\n"
    "LoadConfiguration>PATH. Replies: OK, a decoded line, (nothing), (File not found),\n"
    "(Error port), ERROR. The program hides its main window half a second after it has\n"
    "started; Show brings it back.\n"
    "\n"
    "--follow, placed among the commands, waits for decoded lines and asks for them (Ask\n"
    "until (nothing)), printing each line, for SECONDS seconds or, without them, until\n"
    "Ctrl-C; the commands after it are then sent. Ctrl-C elsewhere skips the remaining\n"
    "commands, and Ctrl-C while a reply is awaited stops waiting at once.\n"
    "\n"
    "Options:\n"
    "  --program PATH   the program to start (default: velkor, looked up on PATH)\n"
    "  --arg ARG        an argument for the program (repeat for several)\n"
    "  --attach         start nothing: use the block of a program that runs already\n"
    "  --name NAME      the block is NAMESM and the event NAMEEM, instead of the program's\n"
    "                   file name followed by SM and the event VelkorEM; the started program\n"
    "                   is given the same name through VELKOR_REMOTE_NAME (which is also\n"
    "                   the default of this option)\n"
    "  --size BYTES     the size of the block to create (default 4096, at least 1037)\n"
    "  --timeout S      how long to wait for each reply (default 20 seconds)\n"
    "  --keep           leave a started program running at the end, shown, instead of\n"
    "                   closing it, with its block, for a later --attach\n"
    "  --raw            send and print Windows-1252 bytes as they are, instead of UTF-8\n"
    "  --help           show this text\n"
    "  --version        show the version number\n"
    "\n"
    "The program looks for the block only when it starts, so the block is created first.\n"
    "One client drives a block at a time: a second session on the same block, started or\n"
    "attaching, is refused. A block that no process holds any more (its session was killed)\n"
    "is removed with a note, and the session goes on. A program started here does not\n"
    "outlive the session: unless --keep is given, it is sent Close at the end if it still\n"
    "runs, also on SIGTERM, SIGHUP or when nobody reads the output any more. At the end\n"
    "(on Ctrl-C too) the block is removed unless a program still holds it, and the event\n"
    "when it was created here. With --keep the\n"
    "program is shown only after its own hiding half a second after its start. A started\n"
    "program that does not answer within the timeout is ended. The end of a started\n"
    "program is reported on standard error with its exit code (Close ends it with 1).\n"
    "\n"
    "Exit status: 0 when every command was answered, 2 for bad arguments, a command too\n"
    "long for the block (not sent), when the block could not be made or is another\n"
    "session's, or the program not started; 3 when the program did not answer within the\n"
    "timeout, ended before it answered, or the wait for its reply was interrupted.\n";

constexpr std::size_t kDefaultBlockSize = 4096;
constexpr std::uint32_t kEventSliceMillis = 100;

struct Item {
  bool follow = false;
  std::string command;
  double seconds = INFINITY;
};

struct Options {
  std::string program = "velkor";
  std::vector<std::string> programArgs;
  bool attach = false;
  std::string name;
  std::size_t size = kDefaultBlockSize;
  double timeout = 20;
  bool keep = false;
  bool raw = false;
  bool version = false;
  std::vector<Item> items;
};

// Every signal counts: a wait in progress ends when the count moves. SIGTERM and SIGHUP
// also end the session.
volatile sig_atomic_t signalCount = 0;
volatile sig_atomic_t terminating = 0;
extern "C" void OnSignal(int signal) {
  signalCount = signalCount + 1;
  if (signal != SIGINT) terminating = 1;
}

// Waiting a little longer than the program's own hiding after its first reply, so that a
// "Show" is not undone by it.
constexpr std::uint64_t kHideMarginMicros = 250000;
// A program between two commands keeps polling this long: a "Show" sent later meets its
// event loop, where its hiding timer runs first.
constexpr std::uint64_t kServingWindowMarginMicros = kRemoteServingWindowMicros + 20000;
constexpr std::uint64_t kLateReplyMicros = 300000;

int Fail(const std::string& message) {
  std::cerr << "velkor-remote: " << message << '\n';
  return 2;
}

bool ParseSeconds(const char* text, double& seconds) {
  char* end = nullptr;
  seconds = std::strtod(text, &end);
  return *text != '\0' && *end == '\0' && seconds >= 0;
}

// Returns an error text, empty when the arguments are good.
std::string ParseArguments(int argc, char** argv, Options& opt, bool& help) {
  auto value = [&](int& i) -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    const char* v = nullptr;
    if (a == "--help") {
      help = true;
    } else if (a == "--version") {
      opt.version = true;
    } else if (a == "--program") {
      if ((v = value(i)) == nullptr) return "--program needs a path";
      opt.program = v;
    } else if (a == "--arg") {
      if ((v = value(i)) == nullptr) return "--arg needs a value";
      opt.programArgs.emplace_back(v);
    } else if (a == "--attach") {
      opt.attach = true;
    } else if (a == "--name") {
      if ((v = value(i)) == nullptr || *v == '\0') return "--name needs a name";
      opt.name = v;
    } else if (a == "--size") {
      char* end = nullptr;
      if ((v = value(i)) == nullptr) return "--size needs a number of bytes";
      const unsigned long long n = std::strtoull(v, &end, 10);
      if (*end != '\0' || n < kRemoteMinBlockSize || n > (1u << 30))
        return "--size must be a number of bytes from 1037 on";
      opt.size = static_cast<std::size_t>(n);
    } else if (a == "--timeout") {
      if ((v = value(i)) == nullptr || !ParseSeconds(v, opt.timeout)) return "--timeout needs seconds";
    } else if (a == "--keep") {
      opt.keep = true;
    } else if (a == "--raw") {
      opt.raw = true;
    } else if (a == "--follow") {
      opt.items.push_back({true, {}, INFINITY});
    } else if (a.starts_with("--follow=")) {
      Item item{true, {}, 0};
      if (!ParseSeconds(argv[i] + 9, item.seconds)) return "--follow= needs seconds";
      opt.items.push_back(item);
    } else if (a.starts_with("--")) {
      return "unknown option " + std::string(a);
    } else {
      opt.items.push_back({false, std::string(a), 0});
    }
  }
  return {};
}

enum class Outcome { Answered, NoAnswer, Interrupted };

struct Exchange {
  Outcome outcome = Outcome::NoAnswer;
  std::string reply;
};

class Session {
 public:
  Session(const Options& opt, std::span<std::uint8_t> block, platform::EventWaiter& event)
      : opt_(opt), block_(block), event_(event) {}

  void SetChild(pid_t pid) { child_ = pid; }
  bool ChildRunning() const { return child_ > 0 && !childEnded_; }
  pid_t Child() const { return child_; }

  // The longest command the block and the program's buffer take.
  std::size_t MaxCommandLength() const {
    return std::min(kRemoteMaxCommandLength, block_.size() - kRemoteTextOffset - 1);
  }
  bool CommandWaiting() const { return RemoteState(block_) == kRemoteStateCommand; }

  // After a wait that a signal cut short: a program that is only a little late (an "Ask"
  // of a --follow, say) gets a moment to answer before it is taken for a stuck one.
  bool LateReplyCame() {
    const std::uint64_t until = platform::MonotonicMicros() + kLateReplyMicros;
    while (CommandWaiting()) {
      if (!CheckChild() || platform::MonotonicMicros() >= until) return false;
      platform::SleepMilliseconds(1);
    }
    return true;
  }

  // Sends one command (Windows-1252, known to fit) and returns its reply. A signal ends the
  // wait at once.
  Exchange Send(std::string_view command) {
    const std::uint64_t deadline = Deadline();
    const sig_atomic_t signals = signalCount;
    Outcome wait = Outcome::Answered;
    while (CommandWaiting()) {
      if ((wait = Pause(deadline, signals)) != Outcome::Answered) return {wait, {}};
    }
    if (PostRemoteCommand(block_, command)) return {Outcome::NoAnswer, {}};
    for (;;) {
      if (std::optional<std::string> reply = TakeRemoteReply(block_)) return Answered(std::move(*reply));
      if ((wait = Pause(deadline, signals)) != Outcome::Answered) {
        // The reply to "Close" comes just before the end.
        if (std::optional<std::string> reply = TakeRemoteReply(block_)) return Answered(std::move(*reply));
        return {wait, {}};
      }
    }
  }

  // Prints a reply or a line.
  void Print(std::string_view text) const {
    const std::string out = opt_.raw ? std::string(text) : Cp1252ToUtf8(text);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fputc('\n', stdout);
    if (std::fflush(stdout) != 0 && errno == EPIPE) {
      // Nobody reads any more (| head): the session ends in order, as on SIGTERM.
      terminating = 1;
      signalCount = signalCount + 1;
    }
  }

  // Asks for the lines until "(nothing)"; waits for the event between rounds, until the
  // time is up or a signal comes.
  Outcome Follow(double seconds) {
    const std::uint64_t start = platform::MonotonicMicros();
    const sig_atomic_t signals = signalCount;
    for (;;) {
      for (;;) {
        const Exchange ask = Send("Ask");
        if (ask.outcome != Outcome::Answered) return ask.outcome;
        if (ask.reply == kRemoteReplyNothing) break;
        Print(ask.reply);
      }
      const double elapsed = static_cast<double>(platform::MonotonicMicros() - start) / 1e6;
      if (signalCount != signals || elapsed >= seconds) return Outcome::Answered;
      const double left = (seconds - elapsed) * 1000;
      const std::uint32_t slice =
          left < kEventSliceMillis ? static_cast<std::uint32_t>(left) + 1 : kEventSliceMillis;
      if (event_.IsOpen()) {
        event_.Wait(slice);
      } else {
        platform::SleepMilliseconds(std::min<std::uint32_t>(slice, 20));
      }
      if (!CheckChild()) return Outcome::NoAnswer;
    }
  }

  // With --keep: a "Show" that comes after the program's own hiding (half a second after
  // its start, which is before its first reply), so that the window stays on the screen.
  Outcome ShowAfterHiding() {
    if (!firstReply_) {
      const Exchange first = Send("Show");
      if (first.outcome != Outcome::Answered) return first.outcome;
    }
    const std::uint64_t until =
        std::max(*firstReply_ + static_cast<std::uint64_t>(kRemoteHideDelayMillis) * 1000 + kHideMarginMicros,
                 lastReply_ + kServingWindowMarginMicros);
    const sig_atomic_t signals = signalCount;
    while (platform::MonotonicMicros() < until) {
      if (signalCount != signals) return Outcome::Interrupted;
      if (!CheckChild()) return Outcome::NoAnswer;
      platform::SleepMilliseconds(5);
    }
    return Send("Show").outcome;
  }

  // A started program that stopped answering would be left without a client (and hidden):
  // it is ended.
  void EndChild() {
    if (!ChildRunning()) return;
    std::cerr << "velkor-remote: ending the program, which does not answer\n";
    kill(child_, SIGTERM);
    const std::uint64_t deadline = platform::MonotonicMicros() + 5000000;
    while (CheckChild() && platform::MonotonicMicros() < deadline) platform::SleepMilliseconds(5);
    if (ChildRunning()) {
      kill(child_, SIGKILL);
      while (CheckChild()) platform::SleepMilliseconds(5);
    }
  }

  // Waits until no other process holds the block, at most the timeout.
  void AwaitRelease(const platform::SharedBlock& block) {
    const std::uint64_t deadline = Deadline();
    while (block.HeldByOthers() && platform::MonotonicMicros() < deadline) platform::SleepMilliseconds(10);
  }

  // Waits for a started program to end, at most the timeout, and reports its exit.
  void AwaitChild() {
    if (child_ <= 0) return;
    const std::uint64_t deadline = Deadline();
    while (CheckChild() && platform::MonotonicMicros() < deadline) platform::SleepMilliseconds(5);
  }

 private:
  Exchange Answered(std::string reply) {
    lastReply_ = platform::MonotonicMicros();
    if (!firstReply_) firstReply_ = lastReply_;
    return {Outcome::Answered, std::move(reply)};
  }

  std::uint64_t Deadline() const {
    if (!std::isfinite(opt_.timeout) || opt_.timeout > 1e9) return ~0ull;
    return platform::MonotonicMicros() + static_cast<std::uint64_t>(opt_.timeout * 1e6);
  }

  // One short wait: Answered to go on waiting; otherwise why the wait is over.
  Outcome Pause(std::uint64_t deadline, sig_atomic_t signals) {
    if (signalCount != signals) return Outcome::Interrupted;
    if (!CheckChild()) return Outcome::NoAnswer;
    if (platform::MonotonicMicros() >= deadline) return Outcome::NoAnswer;
    platform::SleepMilliseconds(1);
    return signalCount != signals ? Outcome::Interrupted : Outcome::Answered;
  }

  // False once a started program has ended (reported once).
  bool CheckChild() {
    if (child_ <= 0) return true;
    if (childEnded_) return false;
    int status = 0;
    const pid_t r = waitpid(child_, &status, WNOHANG);
    if (r == 0) return true;
    childEnded_ = true;
    if (r < 0) return false;
    if (WIFEXITED(status)) {
      std::cerr << "velkor-remote: the program ended with exit code " << WEXITSTATUS(status) << '\n';
    } else if (WIFSIGNALED(status)) {
      std::cerr << "velkor-remote: the program ended by signal " << WTERMSIG(status) << '\n';
    }
    return false;
  }

  const Options& opt_;
  std::span<std::uint8_t> block_;
  platform::EventWaiter& event_;
  pid_t child_ = -1;
  bool childEnded_ = false;
  std::optional<std::uint64_t> firstReply_;
  std::uint64_t lastReply_ = 0;
};

pid_t StartProgram(const Options& opt) {
  std::vector<std::string> args;
  args.push_back(opt.program);
  args.insert(args.end(), opt.programArgs.begin(), opt.programArgs.end());
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // Its own process group: Ctrl-C in the terminal is for this tool, which then ends the
  // session in order.
  setpgid(0, 0);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  std::fprintf(stderr, "velkor-remote: cannot start %s: %s\n", argv[0], std::strerror(errno));
  _exit(127);
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  bool help = false;
  if (const char* name = std::getenv(kRemoteNameVariable); name != nullptr) opt.name = name;
  const std::string error = ParseArguments(argc, argv, opt, help);
  if (help) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (opt.version && error.empty()) {
    std::cout << "velkor-remote " << PackageVersion() << '\n';
    return 0;
  }
  if (!error.empty()) return Fail(error + " (see --help)");

  // The name the program is started by, as the program takes it: a link keeps its own name.
  const RemoteNames names = RemoteChannelNames(opt.program, opt.name);
  platform::SharedBlock block;
  platform::EventWaiter event;
  bool removedStale = false;
  const platform::BlockClaim claim = opt.attach ? block.AttachForSession(names.block, removedStale)
                                                : block.CreateForSession(names.block, opt.size, removedStale);
  if (removedStale)
    std::cerr << "velkor-remote: removed the block " << names.block
              << " that no process held any more (a session that was killed left it)\n";
  switch (claim) {
    case platform::BlockClaim::Claimed:
      break;
    case platform::BlockClaim::OtherClient:
      return Fail("another velkor-remote session drives the block " + names.block + "; one client at a time");
    case platform::BlockClaim::ProgramOnly:
      return Fail("cannot create the block " + names.block +
                  ": a program that runs without its client holds it; drive it with --attach");
    case platform::BlockClaim::Missing:
      return Fail("no block " + names.block + " to attach to (" + block.Error() + ")");
    case platform::BlockClaim::Failed:
      return Fail(std::string(opt.attach ? "cannot open" : "cannot create") + " the block " + names.block + " (" +
                  block.Error() + ")");
  }
  if (opt.attach) {
    (void)event.Open(names.event);  // without it, --follow polls
  } else if (event.Create(names.event)) {
    std::cerr << "velkor-remote: no line event (" << event.Error() << ")\n";
  }

  struct sigaction action {};
  action.sa_handler = OnSignal;  // no SA_RESTART: a signal ends the wait it falls in
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  // A reader that goes away must not kill the session before it has closed its program.
  signal(SIGPIPE, SIG_IGN);

  Session session(opt, block.Bytes(), event);
  // Refused before anything is sent: the program would cut it.
  auto fits = [&](const std::string& command) {
    std::string bytes = command;
    // The program takes Windows-1252 texts, as on Windows: a file name it could not hold
    // would load another file, or none.
    if (!opt.raw && PathFromUtf8(command, bytes)) {
      std::cerr << "velkor-remote: the command " << command
                << " has a character that Windows-1252 cannot hold: not sent\n";
      return false;
    }
    if (bytes.size() <= session.MaxCommandLength()) return true;
    std::cerr << "velkor-remote: a command of " << bytes.size() << " characters is too long (at most "
              << session.MaxCommandLength() << "): not sent\n";
    return false;
  };
  for (const Item& item : opt.items)
    if (!item.follow && !fits(item.command)) return 2;

  if (!opt.attach) {
    if (!opt.name.empty()) setenv(kRemoteNameVariable, opt.name.c_str(), 1);
    const pid_t pid = StartProgram(opt);
    if (pid < 0) return Fail(std::string("cannot start the program: ") + std::strerror(errno));
    session.SetChild(pid);
  }

  Outcome outcome = Outcome::Answered;
  bool refused = false;
  auto send = [&](const std::string& command) {
    if (!fits(command)) {
      refused = true;
      return;
    }
    const Exchange exchange = session.Send(opt.raw ? command : Utf8ToCp1252(command));
    outcome = exchange.outcome;
    if (outcome == Outcome::Interrupted) {
      std::cerr << "velkor-remote: interrupted while waiting for the reply to " << command << '\n';
      return;
    }
    if (outcome != Outcome::Answered) {
      std::cerr << "velkor-remote: no answer to " << command << '\n';
      return;
    }
    session.Print(exchange.reply);
    // The program ends right after this reply; its end is reported before going on. An
    // attached session waits for it too, so that the block goes with this session.
    if (command == "Close" && exchange.reply == kRemoteReplyOk) {
      session.AwaitChild();
      if (opt.attach) session.AwaitRelease(block);
    }
  };

  // A signal outside a --follow ends the list of commands.
  sig_atomic_t handled = signalCount;
  auto goOn = [&] { return outcome == Outcome::Answered && !refused && terminating == 0 && signalCount == handled; };
  if (opt.items.empty()) {
    std::string line;
    while (goOn() && std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) send(line);
    }
  } else {
    for (const Item& item : opt.items) {
      if (!goOn()) break;
      if (item.follow) {
        outcome = session.Follow(item.seconds);
        if (outcome == Outcome::Interrupted) outcome = Outcome::Answered;
        handled = signalCount;  // Ctrl-C ended the following, not the session
        if (outcome != Outcome::Answered) std::cerr << "velkor-remote: no answer while following the lines\n";
      } else {
        send(item.command);
      }
    }
  }

  if (session.ChildRunning()) {
    // A program that let the timeout pass is ended, kept or not. A command still waits when
    // a signal cut its wait short: the program may only be busy (a message box).
    const bool stuck = outcome == Outcome::NoAnswer;
    const bool idle = !stuck && session.LateReplyCame();
    if (opt.keep && !stuck) {
      if (idle && session.ShowAfterHiding() != Outcome::Answered)
        std::cerr << "velkor-remote: the program could not be shown\n";
      std::cerr << "velkor-remote: the program runs on (process " << session.Child() << "), with its block "
                << names.block << " for --attach\n";
    } else {
      if (idle && session.Send("Close").outcome == Outcome::Answered) session.AwaitChild();
      session.EndChild();
    }
  }
  if (refused) return 2;
  return outcome == Outcome::Answered ? 0 : 3;
}
