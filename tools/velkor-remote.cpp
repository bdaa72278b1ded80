// velkor-remote: a remote client of the program, for scripts and tests. It creates the
// shared block and the line event, starts the program (or attaches to a block that exists),
// sends commands and prints the replies, and can follow the decoded lines as they come.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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
    "commands.\n"
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
    "  --keep           leave a started program running at the end (shown) instead of\n"
    "                   closing it\n"
    "  --raw            send and print Windows-1252 bytes as they are, instead of UTF-8\n"
    "  --help           show this text\n"
    "  --version        show the version number\n"
    "\n"
    "The program looks for the block only when it starts, so the block is created first.\n"
    "A program started here does not outlive the session: unless --keep is given, it is\n"
    "sent Close at the end if it still runs. The block and the event are removed at the\n"
    "end when they were created here. A started program that does not answer within the\n"
    "timeout is ended. The end of a started program is reported on standard error with its\n"
    "exit code (Close ends it with 1).\n"
    "\n"
    "Exit status: 0 when every command was answered, 2 for bad arguments or when the block\n"
    "could not be made or the program not started, 3 when the program did not answer\n"
    "within the timeout or ended before it answered.\n";

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

volatile sig_atomic_t interrupted = 0;
extern "C" void OnInterrupt(int) { interrupted = 1; }

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

class Session {
 public:
  Session(const Options& opt, std::span<std::uint8_t> block, platform::EventWaiter& event)
      : opt_(opt), block_(block), event_(event) {}

  void SetChild(pid_t pid) { child_ = pid; }
  bool ChildRunning() const { return child_ > 0 && !childEnded_; }
  pid_t Child() const { return child_; }

  // Sends one command and returns its reply (Windows-1252), or nothing when the program did
  // not answer in time or ended first.
  std::optional<std::string> Send(std::string_view command) {
    const std::uint64_t deadline = Deadline();
    while (RemoteState(block_) == kRemoteStateCommand) {
      if (!Pause(deadline)) return std::nullopt;
    }
    if (PostRemoteCommand(block_, command)) {
      std::cerr << "velkor-remote: the command does not fit in the block\n";
      return std::nullopt;
    }
    for (;;) {
      if (std::optional<std::string> reply = TakeRemoteReply(block_)) return reply;
      if (!Pause(deadline)) {
        // The reply to "Close" comes just before the end.
        return TakeRemoteReply(block_);
      }
    }
  }

  // Prints a reply or a line.
  void Print(std::string_view text) const {
    const std::string out = opt_.raw ? std::string(text) : Cp1252ToUtf8(text);
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }

  // Asks for the lines until "(nothing)"; waits for the event between rounds. False when
  // the program stopped answering.
  bool Follow(double seconds) {
    const std::uint64_t start = platform::MonotonicMicros();
    for (;;) {
      for (;;) {
        const std::optional<std::string> reply = Send("Ask");
        if (!reply) return false;
        if (*reply == kRemoteReplyNothing) break;
        Print(*reply);
      }
      const double elapsed = static_cast<double>(platform::MonotonicMicros() - start) / 1e6;
      if (interrupted != 0 || elapsed >= seconds) return true;
      const double left = (seconds - elapsed) * 1000;
      const std::uint32_t slice =
          left < kEventSliceMillis ? static_cast<std::uint32_t>(left) + 1 : kEventSliceMillis;
      if (event_.IsOpen()) {
        event_.Wait(slice);
      } else {
        platform::SleepMilliseconds(std::min<std::uint32_t>(slice, 20));
      }
      if (!CheckChild()) return false;
    }
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

  // Waits for a started program to end, at most the timeout, and reports its exit.
  void AwaitChild() {
    const std::uint64_t deadline = Deadline();
    while (CheckChild() && platform::MonotonicMicros() < deadline) platform::SleepMilliseconds(5);
  }

 private:
  std::uint64_t Deadline() const {
    if (!std::isfinite(opt_.timeout) || opt_.timeout > 1e9) return ~0ull;
    return platform::MonotonicMicros() + static_cast<std::uint64_t>(opt_.timeout * 1e6);
  }

  // One short wait; false when the time is up or the program has ended.
  bool Pause(std::uint64_t deadline) {
    if (!CheckChild()) return false;
    if (platform::MonotonicMicros() >= deadline) return false;
    platform::SleepMilliseconds(1);
    return true;
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

  const RemoteNames names = RemoteChannelNames(opt.program, opt.name);
  platform::SharedBlock block;
  platform::EventWaiter event;
  if (opt.attach) {
    if (block.Open(names.block) != platform::BlockOpenResult::Success)
      return Fail("no block " + names.block + " to attach to (" + block.Error() + ")");
    (void)event.Open(names.event);  // without it, --follow polls
  } else {
    if (block.Create(names.block, opt.size))
      return Fail("cannot create the block " + names.block + " (" + block.Error() +
                  "); is another session running?");
    if (event.Create(names.event)) std::cerr << "velkor-remote: no line event (" << event.Error() << ")\n";
  }

  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  Session session(opt, block.Bytes(), event);
  if (!opt.attach) {
    if (!opt.name.empty()) setenv(kRemoteNameVariable, opt.name.c_str(), 1);
    const pid_t pid = StartProgram(opt);
    if (pid < 0) return Fail(std::string("cannot start the program: ") + std::strerror(errno));
    session.SetChild(pid);
  }

  auto send = [&](const std::string& command) {
    const std::optional<std::string> reply = session.Send(opt.raw ? command : Utf8ToCp1252(command));
    if (!reply) {
      std::cerr << "velkor-remote: no answer to " << command << '\n';
      return false;
    }
    session.Print(*reply);
    // The program ends right after this reply; its end is reported before going on.
    if (command == "Close" && *reply == kRemoteReplyOk) session.AwaitChild();
    return true;
  };

  bool answered = true;
  if (opt.items.empty()) {
    std::string line;
    while (answered && interrupted == 0 && std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) answered = send(line);
    }
  } else {
    for (const Item& item : opt.items) {
      if (!answered || interrupted != 0) break;
      if (item.follow) {
        answered = session.Follow(item.seconds);
        interrupted = 0;  // Ctrl-C ended the following, not the session
        if (!answered) std::cerr << "velkor-remote: no answer while following the lines\n";
      } else {
        answered = send(item.command);
      }
    }
  }

  if (session.ChildRunning()) {
    if (answered) (void)session.Send(opt.keep ? "Show" : "Close");
    if (!opt.keep && answered) session.AwaitChild();
    if (!answered) session.EndChild();
  }
  return answered ? 0 : 3;
}
