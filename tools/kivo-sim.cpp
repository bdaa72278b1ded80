// kivo-sim: a stand-in for the Kivo module on a pseudo-terminal. It prints the device
// path of the terminal on its first line, answers the version query as the module does
// and, after the start command, streams a capture file as the module's live bytes (four
// samples per byte, one byte every 9.6 microseconds). It ends when the host closes the
// port after the stream has started, or when the time limit has passed. Faults on demand:
// the module goes away, falls silent for a while, or floods the line with garbage.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr const char* kUsage =
    "Usage: kivo-sim [options] [CAPTURE.bin]\n"
    "\n"
    "Opens a pseudo-terminal, prints its device path on the first line of standard output\n"
    "and acts as a Kivo module on it: the version query (0x07 0x00) is answered with the\n"
    "marker 0xF8, the major and the minor version; after the start command (0x04 0x02)\n"
    "the capture file (one sample per byte) is streamed as live bytes, four samples per\n"
    "byte, at one byte every 9.6 microseconds.\n"
    "\n"
    "Options:\n"
    "  --firmware MAJ.MIN        the firmware version to answer (default 1.4); also\n"
    "                            accepted as --version MAJ.MIN\n"
    "  --silent                  never answer the version query\n"
    "  --wrong-marker            answer with 0x55 instead of the marker 0xF8\n"
    "  --marker-and-major-only   answer only the marker and the major version\n"
    "  --time-limit SECONDS      end after this time in any case (default 300)\n"
    "\n"
    "Faults, timed from the start command:\n"
    "  --close-after SECONDS     close the pseudo-terminal and end (the module is unplugged)\n"
    "  --pause-after SECONDS     send nothing from then on for --pause-for SECONDS (default\n"
    "                            5), then go on with the capture where it stopped\n"
    "  --pause-for SECONDS       the length of that silence\n"
    "  --garbage-after SECONDS   from then on send pseudo-random bytes instead of the\n"
    "                            capture, at --garbage-rate times the module's byte rate,\n"
    "                            as a line at the wrong baud would deliver them\n"
    "  --garbage-rate FACTOR     that rate as a multiple of the module's (default 8)\n"
    "  --help                    show this text\n"
    "  --version                 show the version number of this program\n"
    "\n"
    "It ends by itself when the host closes the port once the stream has started.\n";

enum class Answer { Normal, Silent, WrongMarker, MarkerAndMajor };

constexpr double kNever = -1;

struct Options {
  Answer answer = Answer::Normal;
  int major = 1;
  int minor = 4;
  double timeLimit = 300;
  double closeAfter = kNever;
  double pauseAfter = kNever;
  double pauseFor = 5;
  double garbageAfter = kNever;
  double garbageRate = 8;
  std::string capture;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "kivo-sim: %s\n", message.c_str());
  return 2;
}

bool ParseVersion(std::string_view text, int& major, int& minor) {
  const std::size_t dot = text.find('.');
  if (dot == std::string_view::npos) return false;
  char* end = nullptr;
  const std::string a(text.substr(0, dot)), b(text.substr(dot + 1));
  long ma = std::strtol(a.c_str(), &end, 10);
  if (a.empty() || *end != '\0' || ma < 0 || ma > 255) return false;
  long mi = std::strtol(b.c_str(), &end, 10);
  if (b.empty() || *end != '\0' || mi < 0 || mi > 255) return false;
  major = static_cast<int>(ma);
  minor = static_cast<int>(mi);
  return true;
}

// The old spelling of --firmware, "--version MAJ.MIN", stays for the scripts that use it; a
// --version followed by anything else asks for this program's version.
bool LooksLikeFirmware(std::string_view text) {
  return !text.empty() && text.front() >= '0' && text.front() <= '9' && text.find('.') != std::string_view::npos &&
         !text.ends_with(".bin");
}

// Four samples per byte: channel 1 from every sample, channel 2 from the first and third,
// channels 3 and 4 from the first. A last group of fewer than four samples repeats its
// last sample.
std::vector<std::uint8_t> PackLiveBytes(const std::vector<std::uint8_t>& samples) {
  std::vector<std::uint8_t> out;
  out.reserve((samples.size() + 3) / 4);
  for (std::size_t k = 0; k < samples.size(); k += 4) {
    std::uint8_t s[4];
    for (std::size_t j = 0; j < 4; ++j) s[j] = samples[k + j < samples.size() ? k + j : samples.size() - 1];
    auto bit = [](std::uint8_t sample, int channel, int pos) {
      return static_cast<std::uint8_t>(((sample >> channel) & 1) << pos);
    };
    out.push_back(bit(s[0], 0, 0) | bit(s[0], 1, 1) | bit(s[1], 0, 2) | bit(s[0], 2, 3) | bit(s[2], 0, 4) |
                  bit(s[2], 1, 5) | bit(s[3], 0, 6) | bit(s[0], 3, 7));
  }
  return out;
}

// A number of seconds, zero or more (a rate factor must be above zero).
bool ParseSeconds(const char* text, double& out, bool positive = false) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(v >= 0) || (positive && !(v > 0))) return false;
  out = v;
  return true;
}

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--silent") {
      opt.answer = Answer::Silent;
    } else if (arg == "--wrong-marker") {
      opt.answer = Answer::WrongMarker;
    } else if (arg == "--marker-and-major-only") {
      opt.answer = Answer::MarkerAndMajor;
    } else if (arg == "--version" && (i + 1 >= argc || !LooksLikeFirmware(argv[i + 1]))) {
      std::printf("kivo-sim %s\n", VELKOR_PACKAGE_VERSION);
      return 0;
    } else if (arg == "--firmware" || arg == "--version") {
      if (++i >= argc || !ParseVersion(argv[i], opt.major, opt.minor))
        return Fail(std::string(arg) + " needs MAJ.MIN, each 0 to 255");
    } else if (arg == "--time-limit") {
      if (++i >= argc || !ParseSeconds(argv[i], opt.timeLimit, true)) return Fail("--time-limit needs a number of seconds");
    } else if (arg == "--close-after" || arg == "--pause-after" || arg == "--pause-for" || arg == "--garbage-after") {
      double& value = arg == "--close-after"   ? opt.closeAfter
                      : arg == "--pause-after" ? opt.pauseAfter
                      : arg == "--pause-for"   ? opt.pauseFor
                                               : opt.garbageAfter;
      if (++i >= argc || !ParseSeconds(argv[i], value)) return Fail(std::string(arg) + " needs a number of seconds");
    } else if (arg == "--garbage-rate") {
      if (++i >= argc || !ParseSeconds(argv[i], opt.garbageRate, true)) return Fail("--garbage-rate needs a factor above 0");
    } else if (arg.starts_with("--")) {
      return Fail("unknown option " + std::string(arg) + " (see --help)");
    } else if (opt.capture.empty()) {
      opt.capture = std::string(arg);
    } else {
      return Fail("only one capture file may be given");
    }
  }

  std::vector<std::uint8_t> live;
  if (!opt.capture.empty()) {
    std::ifstream in(opt.capture, std::ios::binary);
    if (!in) return Fail("cannot read the capture file " + opt.capture);
    live = PackLiveBytes(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}));
  }

  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return Fail("cannot open a pseudo-terminal");
  const char* slave = ptsname(master);
  if (slave == nullptr) return Fail("cannot name the pseudo-terminal");
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  std::printf("%s\n", slave);
  std::fflush(stdout);

  const Clock::time_point begin = Clock::now();
  bool streaming = false;
  Clock::time_point streamStart;
  std::size_t sent = 0;
  std::uint64_t garbageSent = 0;
  std::uint32_t garbageState = 0x2545F491;
  int previous = -1;

  while (SecondsSince(begin) < opt.timeLimit) {
    pollfd p{master, POLLIN, 0};
    (void)poll(&p, 1, 1);
    bool hostClosed = (p.revents & POLLHUP) != 0;
    if (!hostClosed && (p.revents & POLLIN) != 0) {
      std::uint8_t buffer[256];
      ssize_t n = read(master, buffer, sizeof buffer);
      if (n < 0 && errno == EIO) hostClosed = true;
      for (ssize_t k = 0; k < n; ++k) {
        const int b = buffer[k];
        if (previous == 0x07 && b == 0x00 && opt.answer != Answer::Silent) {
          std::vector<std::uint8_t> answer{static_cast<std::uint8_t>(opt.answer == Answer::WrongMarker ? 0x55 : 0xF8),
                                           static_cast<std::uint8_t>(opt.major)};
          if (opt.answer != Answer::MarkerAndMajor) answer.push_back(static_cast<std::uint8_t>(opt.minor));
          // A lost answer looks to the host like a silent module, which it handles.
          const ssize_t written = write(master, answer.data(), answer.size());
          (void)written;
        } else if (previous == 0x04 && b == 0x02 && !streaming) {
          streaming = true;
          streamStart = Clock::now();
        }
        previous = b;
      }
    }
    if (hostClosed) {
      // A probe closes the port between its queries; only a run's stop ends the module.
      if (streaming) return 0;
      previous = -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    if (!streaming) continue;
    const double elapsed = SecondsSince(streamStart);
    if (opt.closeAfter != kNever && elapsed >= opt.closeAfter) {
      close(master);  // the host's reads now find the line hung up
      return 0;
    }
    if (opt.garbageAfter != kNever && elapsed >= opt.garbageAfter) {
      const auto due = static_cast<std::uint64_t>((elapsed - opt.garbageAfter) * 1e6 / 9.6 * opt.garbageRate);
      std::uint8_t junk[4096];
      while (garbageSent < due) {
        for (std::uint8_t& b : junk) {
          garbageState ^= garbageState << 13;
          garbageState ^= garbageState >> 17;
          garbageState ^= garbageState << 5;
          b = static_cast<std::uint8_t>(garbageState);
        }
        const std::uint64_t want = due - garbageSent < sizeof junk ? due - garbageSent : sizeof junk;
        ssize_t n = write(master, junk, static_cast<std::size_t>(want));
        if (n <= 0) break;  // the host is behind: the line stays full
        garbageSent += static_cast<std::uint64_t>(n);
      }
      continue;
    }
    double streamed = elapsed;
    if (opt.pauseAfter != kNever && elapsed >= opt.pauseAfter) {
      if (elapsed < opt.pauseAfter + opt.pauseFor) continue;
      streamed -= opt.pauseFor;  // the capture goes on where it stopped
    }
    if (sent < live.size()) {
      const auto micros = static_cast<std::int64_t>(streamed * 1e6);
      std::size_t due = static_cast<std::size_t>(micros * 10 / 96);
      if (due > live.size()) due = live.size();
      while (sent < due) {
        ssize_t n = write(master, live.data() + sent, due - sent);
        if (n <= 0) break;  // the host reads slower than the module sends: try again later
        sent += static_cast<std::size_t>(n);
      }
    }
  }
  return 0;
}
