// velkor-decode: the headless decoder. Replays a capture file, or runs live from a Kivo
// module, through the four channel decoders configured in a configuration file and writes
// the decoded lines. It also probes the serial ports for a module.

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <unistd.h>

#include "app/ConfigFile.h"
#include "app/Cp1252.h"
#include "app/FilePath.h"
#include "app/Settings.h"
#include "app/Version.h"
#include "capture/CaptureReader.h"
#include "export/LineExporter.h"
#include "hardware/Hardware.h"
#include "pipeline/DecMain.h"
#include "pipeline/LiveRun.h"
#include "platform/Clock.h"
#include "platform/SystemPort.h"

namespace {

using namespace velkor;

constexpr const char* kUsage =
    "Usage: velkor-decode [--config FILE.cfg] [--format F] [--progress] [--per-sample] [--map MAP] CAPTURE\n"
    "  or:  velkor-decode [--config FILE.cfg] [--format F] [--progress] [--per-sample] --live N [--seconds S]\n"
    "  or:  velkor-decode --probe [N]\n"
    "\n"
    "Replays a capture file (one sample per byte, 2.4 us apart, bit i = channel i+1)\n"
    "through the channel decoders and writes every decoded line to standard output.\n"
    "Captures of other instruments are read too: sigrok sessions (.sr), value change\n"
    "dumps (.vcd) and CSV exports (.csv), put on the 2.4 us grid (each tick takes the\n"
    "last level at or before it). The format goes by the extension, else the content.\n"
    "\n"
    "With --live N it runs live from the Kivo module on port COM<N> (1 to 12) instead:\n"
    "for S seconds (default 10) or until Ctrl-C, then stops; the lines are written as\n"
    "they come. With --probe it tests every present port for a module (Auto find), or\n"
    "only port N, and writes one line per port with its result. COM1 to COM12 are the\n"
    "system's serial devices, USB adapters (ttyUSB*) first, then ACM devices (ttyACM*),\n"
    "then the others; VELKOR_COM<n>=/dev/... puts a given device at port n.\n"
    "\n"
    "Options:\n"
    "  --config FILE   take the four channels' settings (sections CHANNEL1..CHANNEL4)\n"
    "                  from this configuration file; without it every channel is off\n"
    "  --format F      how the lines are written (default text):\n"
    "                    text     the rendered lines, UTF-8\n"
    "                    raw      the stored lines unchanged (Windows-1252 bytes, field\n"
    "                             markers included); --raw is the same\n"
    "                    csv      a CSV table (RFC 4180, UTF-8), one row per line\n"
    "                    jsonl    JSON Lines, one object per line\n"
    "                    candump  a can-utils log of the CAN frames\n"
    "                    asc      a Vector ASC log of the CAN frames\n"
    "                    blf      a Vector BLF log of the CAN frames (binary)\n"
    "                    pcap     a pcap capture of the CAN frames, or of the LIN frames\n"
    "                             when only LIN channels are on (pcap-can, pcap-lin\n"
    "                             choose); binary\n"
    "                  Bus logs leave out the lines of other channels; error lines\n"
    "                  become the format's error records where it has them, and what\n"
    "                  was left out is counted on standard error\n"
    "  --progress      draw a progress bar on standard error (live: the elapsed time)\n"
    "  --per-sample    take every sample through the decoders one by one (the reference\n"
    "                  of the default path, which takes runs of equal samples at once)\n"
    "  --map MAP       which channels of the capture channels 1 to 4 read, by name or by\n"
    "                  1-based number: 1=SDA,2=3 (#3 is always the number); channels\n"
    "                  not named stay low. Default: the first four, in order\n"
    "  --live N        run live from the module on port N (1 to 12)\n"
    "  --seconds S     length of the live run in seconds (default 10)\n"
    "  --probe [N]     probe all present ports, or port N, for a Kivo module\n"
    "  --help          show this text\n"
    "  --version       show the version number\n"
    "\n"
    "Messages the program would show in a message box go to standard error; a Yes/No\n"
    "question is answered No.\n"
    "\n"
    "Exit status: 0 after a replay or a live run, 1 when a frame description was\n"
    "refused at run start, 2 for bad arguments (a file name with a character that\n"
    "Windows-1252 cannot hold among them), a missing or unreadable capture or\n"
    "configuration, or an output that could not be written (also when a capture turns\n"
    "out damaged part way: the lines written are then only those before the damage),\n"
    "3 when the live run could not start (port or module). --probe exits with 0 when\n"
    "a module answered, else 3.\n";

// Standard output as an exporter's sink; a format that mends its header at the end (BLF)
// can do so when the output is a file.
class StdoutSink : public ByteSink {
 public:
  bool Write(std::string_view bytes) override {
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() && std::fflush(stdout) == 0;
  }
  bool Rewrite(std::uint64_t offset, std::string_view bytes) override {
    const off_t end = ftello(stdout);
    if (end < 0 || fseeko(stdout, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    const bool ok = Write(bytes);
    return fseeko(stdout, end, SEEK_SET) == 0 && ok;
  }
};

// Writes the decoded lines as they come and drops them from the list, so that a capture of
// any length runs in bounded memory. A line is written at the end of the sample that made
// it; the written lines leave the list a thousand at a time (each drop lets the list release
// its storage, which is not worth doing for every line).
class LineWriter {
 public:
  LineWriter(const Settings& settings, ExportFormat format, std::optional<std::int64_t> runStart = {}) {
    ExportContext context;
    for (int i = 0; i < kChannelCount; ++i) context.captions[i] = settings.channels[i].caption;
    context.runStartMicros = runStart;
    exporter_ = MakeLineExporter(format, sink_, context);
  }

  void Take(DecodedLineList& lines) {
    if (lines.size() < written_) written_ = 0;  // the run setup emptied the list
    for (; written_ < lines.size(); ++written_) exporter_->Add(lines.Line(written_), lines.Tag(written_));
    if (written_ >= kDropBatch) {
      lines.Clear();
      written_ = 0;
    }
  }

  std::size_t Total() const { return exporter_->Counts().lines; }

  void Flush() { exporter_->Flush(); }
  // Writes the end of the format; false when standard output failed.
  bool Finish() { return exporter_->Finish(); }
  const ExportCounts& Counts() const { return exporter_->Counts(); }

 private:
  static constexpr std::size_t kDropBatch = 1000;
  StdoutSink sink_;
  std::unique_ptr<LineExporter> exporter_;
  std::size_t written_ = 0;  // lines of the list written already
};

class TerminalUi : public UserInterface {
 public:
  explicit TerminalUi(bool progress) : progress_(progress) {}

  // From now on the lines of `lines` go to `writer` as they come.
  void StreamLines(DecodedLineList& lines, LineWriter& writer) {
    lines_ = &lines;
    writer_ = &writer;
  }

  MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                            MessageButtons buttons) override {
    std::cerr << Cp1252ToUtf8(caption) << ": " << Cp1252ToUtf8(text) << '\n';
    if (buttons == MessageButtons::YesNo) {
      std::cerr << "(answered No)\n";
      return MessageAnswer::No;
    }
    return MessageAnswer::Ok;
  }
  void ShowProgress(std::string_view title) override {
    title_ = title;
    shownPercent_ = -1;
    SetProgress(0);
  }
  void SetProgress(int percent) override {
    if (!progress_ || percent == shownPercent_) return;
    shownPercent_ = percent;
    const int width = 40;
    std::string bar(static_cast<std::size_t>(percent * width / 100), '#');
    bar.resize(width, ' ');
    std::fprintf(stderr, "\r%s [%s] %3d%%", title_.c_str(), bar.c_str(), percent);
    std::fflush(stderr);
  }
  void HideProgress() override {
    if (progress_) std::fputc('\n', stderr);
  }
  void RefreshLineCount(std::size_t /*lineCount*/) override {
    if (writer_ != nullptr) writer_->Take(*lines_);
  }

 private:
  bool progress_;
  int shownPercent_ = -1;
  std::string title_;
  DecodedLineList* lines_ = nullptr;
  LineWriter* writer_ = nullptr;
};

struct Options {
  std::string config;   // Windows-1252, as the core takes paths
  std::string capture;  // Windows-1252
  ExportFormat format = ExportFormat::Text;
  bool pcapAuto = false;  // "pcap": CAN or LIN after the channels
  bool progress = false;
  bool perSample = false;
  std::string map;  // --map, as given
  bool hasMap = false;
  int livePort = 0;  // 1..12 for --live
  double seconds = 10;
  bool probe = false;
  int probePort = 0;  // 0: Auto find
};

volatile std::sig_atomic_t interrupted = 0;
extern "C" void OnInterrupt(int) { interrupted = 1; }

bool ParsePort(const char* text, int& port) {
  char* end = nullptr;
  long n = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || n < 1 || n > kPortCount) return false;
  port = static_cast<int>(n);
  return true;
}

int Fail(const std::string& message) {
  std::cerr << "velkor-decode: " << message << '\n';
  return 2;
}

// File names come in the locale's UTF-8; the core takes them as Windows-1252 texts, as the
// Windows program does. A name it could not hold would name another file, or none.
bool ToPathText(std::string& path, const char* what) {
  if (path.empty() || !PathFromUtf8(path, path)) return false;
  Fail("the " + std::string(what) + " file name " + path +
       " has a character that Windows-1252 cannot hold: rename the file or its folder");
  return true;
}

bool ParseFormat(std::string_view name, Options& opt) {
  if (name == "pcap") {
    opt.format = ExportFormat::PcapCan;
    opt.pcapAuto = true;
    return true;
  }
  for (const ExportFormatInfo& info : ExportFormats()) {
    if (name == info.name) {
      opt.format = info.format;
      return true;
    }
  }
  return false;
}

// Ends the output; for a bus log, tells what it left out. False when the output failed.
bool FinishOutput(LineWriter& writer, ExportFormat format) {
  const bool ok = writer.Finish();
  const ExportCounts& c = writer.Counts();
  if (IsBusLog(format)) {
    std::cerr << "velkor-decode: " << FormatInfo(format).name << ": " << c.records << " frames, " << c.errorRecords
              << " error records";
    if (c.dropped != 0) std::cerr << ", " << c.dropped << " lines of the bus left out (no record for them)";
    if (c.otherLines != 0) std::cerr << ", " << c.otherLines << " lines of other channels left out";
    std::cerr << '\n';
  }
  if (!ok) std::cerr << "velkor-decode: cannot write the output\n";
  return ok;
}

int RunLive(const Options& opt, Settings& settings, TerminalUi& ui) {
  settings.port = opt.livePort;
  platform::SystemPortBackend backend;
  platform::SystemClock clock;
  Pipeline pipeline(settings, ui);
  if (!opt.config.empty()) pipeline.Services().configFolder = ConfigFileFolder(opt.config);
  if (opt.perSample) pipeline.SetDispatchPath(DispatchPath::PerSample);
  // The run's wall-clock start, the base time of the formats that have one.
  const std::int64_t runStart = std::chrono::duration_cast<std::chrono::microseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
  LineWriter writer(settings, opt.format, runStart);
  ui.StreamLines(pipeline.Services().lines, writer);
  Hardware hardware(backend, clock, settings, ui);
  LiveRun run(pipeline, hardware);

  std::signal(SIGINT, OnInterrupt);
  run.acRunFromAcqExecute();
  if (!pipeline.Running()) return 3;

  // tmrAcq: one tick every 20 ms until the time is up or Ctrl-C.
  const std::uint64_t start = platform::MonotonicMicros();
  // Compared as a double: a huge --seconds (or "inf", run until Ctrl-C) has no integer value.
  const double length = opt.seconds * 1e6;
  std::uint64_t shownSecond = ~0ull;
  for (;;) {
    const std::uint64_t elapsed = platform::MonotonicMicros() - start;
    if (interrupted != 0 || static_cast<double>(elapsed) >= length) break;
    if (run.TimerEnabled()) run.tmrAcqTimer();
    writer.Flush();
    if (opt.progress && elapsed / 1000000 != shownSecond) {
      shownSecond = elapsed / 1000000;
      std::fprintf(stderr, "\rRunning... %llu s, %zu lines", static_cast<unsigned long long>(shownSecond),
                   writer.Total());
      std::fflush(stderr);
    }
    platform::SleepMilliseconds(kAcquisitionTickMillis);
  }
  run.acStopExecute();
  if (opt.progress) std::fputc('\n', stderr);
  writer.Take(pipeline.Services().lines);
  if (!FinishOutput(writer, opt.format)) return 2;
  return pipeline.RunSetupFailed() ? 1 : 0;
}

// A capture of another instrument, or one of ours through a channel map.
int ReplayCapture(const Options& opt, Pipeline& pipeline, LineWriter& writer) {
  std::string error;
  const std::unique_ptr<CaptureReader> reader = OpenCapture(opt.capture, error);
  if (!reader) return Fail(Cp1252ToUtf8(error));
  if (opt.hasMap) {
    ChannelMap map;
    if (ParseChannelMap(Utf8ToCp1252(opt.map), reader->ChannelNames(), map, error))
      return Fail(Cp1252ToUtf8(opt.capture + ": --map " + Utf8ToCp1252(opt.map) + ": " + error));
    reader->SetMap(map);
  }
  for (const std::string& warning : reader->Warnings()) std::cerr << "Warning: " << Cp1252ToUtf8(warning) << '\n';
  pipeline.ReplaySource(*reader);
  writer.Take(pipeline.Services().lines);
  const bool written = FinishOutput(writer, opt.format);
  if (!reader->Failure().empty())
    return Fail(Cp1252ToUtf8(reader->Failure()) + "\nThe decoding stopped there: the lines written are only those before it.");
  if (!written) return 2;
  return pipeline.RunSetupFailed() ? 1 : 0;
}

int RunProbe(const Options& opt, Settings& settings, TerminalUi& ui) {
  platform::SystemPortBackend backend;
  platform::SystemClock clock;
  Hardware hardware(backend, clock, settings, ui);
  bool found = false;
  auto show = [&](int n) {
    const std::string device = platform::SystemPortBackend::DevicePath(n);
    std::printf("COM%d\t%s\t%s\n", n, device.empty() ? "-" : device.c_str(),
                Cp1252ToUtf8(hardware.Label(n)).c_str());
    found |= hardware.Label(n).starts_with("Version ");
  };
  if (opt.probePort != 0) {
    hardware.chkCOMxMouseDown(opt.probePort);
    show(opt.probePort);
  } else {
    hardware.butFindClick();
    for (int n = 1; n <= kPortCount; ++n) show(n);
  }
  std::fflush(stdout);
  return found ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--version") {
      std::cout << "velkor-decode " << PackageVersion() << '\n';
      return 0;
    } else if (arg == "--raw") {
      opt.format = ExportFormat::Raw;
    } else if (arg == "--format") {
      if (++i >= argc || !ParseFormat(argv[i], opt))
        return Fail("--format needs one of text, raw, csv, jsonl, candump, asc, blf, pcap, pcap-can, pcap-lin");
    } else if (arg == "--progress") {
      opt.progress = true;
    } else if (arg == "--per-sample") {
      opt.perSample = true;
    } else if (arg == "--map") {
      if (++i >= argc) return Fail("--map needs a map such as 1=D0,2=D1");
      opt.map = argv[i];
      opt.hasMap = true;
    } else if (arg == "--config") {
      if (++i >= argc) return Fail("--config needs a file name");
      opt.config = argv[i];
    } else if (arg == "--live") {
      if (++i >= argc || !ParsePort(argv[i], opt.livePort)) return Fail("--live needs a port number 1 to 12");
    } else if (arg == "--seconds") {
      char* end = nullptr;
      if (++i >= argc || (opt.seconds = std::strtod(argv[i], &end), *end != '\0') || !(opt.seconds > 0))
        return Fail("--seconds needs a positive number");
    } else if (arg == "--probe") {
      opt.probe = true;
      if (i + 1 < argc && ParsePort(argv[i + 1], opt.probePort)) ++i;
    } else if (arg.starts_with("--")) {
      return Fail("unknown option " + std::string(arg) + " (see --help)");
    } else if (opt.capture.empty()) {
      opt.capture = std::string(arg);
    } else {
      return Fail("only one capture file may be given (see --help)");
    }
  }
  const int modes = (opt.probe ? 1 : 0) + (opt.livePort != 0 ? 1 : 0) + (opt.capture.empty() ? 0 : 1);
  if (modes == 0) return Fail("no capture file given (see --help)");
  if (modes > 1) return Fail("give one of a capture file, --live or --probe (see --help)");
  if (ToPathText(opt.capture, "capture") || ToPathText(opt.config, "configuration")) return 2;

  Settings settings;
  for (auto& ch : settings.channels) ch.active = false;
  if (!opt.config.empty()) {
    ConfigRefusal refusal = ConfigRefusal::None;
    if (LoadConfigFile(opt.config, settings, &refusal))
      return Fail(Cp1252ToUtf8(refusal == ConfigRefusal::NotAConfiguration
                                   ? opt.config + " is not a Velkor configuration"
                                   : "cannot read the configuration file " + opt.config));
  }
  if (opt.pcapAuto) {
    bool can = false, lin = false;
    for (const ChannelSettings& ch : settings.channels) {
      can |= ch.active && ch.type == ChannelType::Can;
      lin |= ch.active && ch.type == ChannelType::Lin;
    }
    if (lin && !can) opt.format = ExportFormat::PcapLin;
  }
  const bool binary = opt.format == ExportFormat::Blf || opt.format == ExportFormat::PcapCan ||
                      opt.format == ExportFormat::PcapLin;
  if (binary && !opt.probe && isatty(STDOUT_FILENO))
    return Fail(std::string(FormatInfo(opt.format).name) + " is binary: send standard output to a file");
  if (opt.probe) {
    TerminalUi ui(false);
    return RunProbe(opt, settings, ui);
  }
  if (opt.livePort != 0) {
    TerminalUi ui(false);
    return RunLive(opt, settings, ui);
  }

  std::error_code ec;
  if (!std::filesystem::is_regular_file(FilePath(opt.capture), ec))
    return Fail(Cp1252ToUtf8("cannot read the capture file " + opt.capture));

  TerminalUi ui(opt.progress);
  Pipeline pipeline(settings, ui);
  if (!opt.config.empty()) pipeline.Services().configFolder = ConfigFileFolder(opt.config);
  if (opt.perSample) pipeline.SetDispatchPath(DispatchPath::PerSample);
  LineWriter writer(settings, opt.format);
  ui.StreamLines(pipeline.Services().lines, writer);
  if (opt.hasMap || DetectCaptureFormat(opt.capture) != CaptureFormat::Bin)
    return ReplayCapture(opt, pipeline, writer);
  if (!pipeline.ReplayCaptureFile(opt.capture))
    return Fail(Cp1252ToUtf8("cannot read the capture file " + opt.capture));
  writer.Take(pipeline.Services().lines);
  if (!FinishOutput(writer, opt.format)) return 2;
  return pipeline.RunSetupFailed() ? 1 : 0;
}
