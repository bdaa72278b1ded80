// velkor_gui_bench [--lines N] [--scroll-lines M] [--repeat R] [--dense] [--event]
//                  [--files DIR] [--no-scroll]
//
// What the Hexa view costs a replay, and what a page of it costs to paint.
//
// 1. Builds a capture from a demo-like tile: the demo's four channels and descriptions
//    (CAN 125 kbit/s, Manchester, Serial 9600, LIN 19200) with their traffic packed close,
//    0.6 s per tile, repeated until the replay gives at least N lines (2 million by default).
//    --dense puts a Logical channel toggling every 29 microseconds in place of the LIN bus:
//    about 25 times the lines per sample, the hardest case for the view's share of the time.
// 2. Replays it headless (the pipeline with a silent user interface) and through the desktop
//    program offscreen with the Hexa view shown and AutoScroll on; best of R runs each.
// 3. Grows the list to M lines (10 million by default) by repeating the decoded lines, then
//    scrolls the Hexa list from top to bottom a page at a time and times each page's paint.
//
// With --event a client's line event exists during the desktop replay (the program sets it
// for each line); --files DIR keeps the capture and a configuration for velkor-decode there
// (and takes them from there when they exist); --no-scroll stops after step 2. Replays are
// given in processor time as well (the process's, so the program's other threads count).
// bench/gui/gui-vs-decode.sh puts the desktop program beside velkor-decode on the same file.
//
// Not a test: it prints figures and checks nothing.

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CanEncoder.h"
#include "LinEncoder.h"
#include "ManchesterEncoder.h"
#include "TestRig.h"
#include "UartEncoder.h"
#include "Waveform.h"
#include "app/ConfigFile.h"
#include "app/Installation.h"
#include "pipeline/DecMain.h"
#include "platform/SharedMemory.h"
#include "remote/RemoteBlock.h"
#include "ui/Dialogs.h"
#include "ui/Main.h"
#include "ui/views/HexaView.h"
#include "ui/views/LineList.h"

using namespace velkor;

namespace {

constexpr double kTileMicros = 600000;  // as the demo: 250000 samples
constexpr double kQuietAtEnd = 20000;   // every channel idle at a tile's end

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// CAN frames back to back with the demo's identifiers and payloads.
void CanTraffic(test::SignalBuilder& line) {
  test::CanEncoder bus(line, 125000);
  bus.IdleBits(50);
  const test::CanFrame frames[] = {
      {0x112, false, 4, {0xA5, 0x01, 0x00, 0x3C}},
      {0x131, false, 2, {0x00, 0x01}},
      {0x250, true, 8, {}},
      {0x07F, false, 8, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}},
      {0x3E8, false, 0, {}},
  };
  for (int k = 0;; ++k) {
    test::CanFrame frame = frames[k % 5];
    if (!frame.remote && !frame.data.empty()) frame.data.back() = static_cast<std::uint8_t>(k);
    if (bus.Plan(frame).BitStart(static_cast<int>(bus.Plan(frame).wire.size())) > kTileMicros - kQuietAtEnd) break;
    bus.Frame(frame);
    bus.IdleBits(3);
  }
}

// The demo's receiver and key frames, one every 14 ms; every fourth receiver frame short.
void ManchesterTraffic(test::SignalBuilder& line) {
  for (int k = 0; (k + 1) * 14000.0 < kTileMicros - kQuietAtEnd; ++k) {
    line.IdleUntil(k * 14000.0 + 500);
    if (k % 2 == 0) {
      test::ManchesterEncoder rxa(line, 3906, false);
      rxa.Symbols("0000 M0S0").Field(32, 0xF0005800u + static_cast<std::uint32_t>(k));
      if (k % 8 == 6)
        rxa.Field(4, 0x0);
      else
        rxa.Field(8, static_cast<std::uint64_t>(k / 2 % 4));
    } else {
      test::ManchesterEncoder key(line, 9600, true);
      key.Symbols("1111 M1S1").Field(4, static_cast<std::uint64_t>(k % 16)).Field(12, 0x100u + 0x11u * k);
    }
  }
}

// The demo's text frames, each 6 ms after the end of the one before.
void SerialTraffic(test::SignalBuilder& line) {
  const test::UartFormat format = test::UartFormat::Rs232AsSeen(9600);
  test::UartEncoder uart(line, format);
  const char* texts[] = {"HELLO", "VELKOR SERIAL", "TEMP 21.5C", "OK", "PING 42", "BYE"};
  for (int k = 0;; ++k) {
    const char* text = texts[k % 6];
    const double length = static_cast<double>(std::strlen(text)) * (format.WordMicros() + 150);
    if (line.Now() + 6000 + length > kTileMicros - kQuietAtEnd) break;
    uart.Gap(6000);
    for (const char* c = text; *c != '\0'; ++c) uart.Word(static_cast<unsigned char>(*c)).Gap(150);
  }
}

// The demo's three LIN frames in turn, one every 10 ms.
void LinTraffic(test::SignalBuilder& line) {
  test::LinEncoder lin(line, 19200);
  for (int slot = 0; (slot + 1) * 10000.0 < kTileMicros - kQuietAtEnd; ++slot) {
    line.IdleUntil(slot * 10000.0 + 1000);
    test::LinFrame frame;
    const auto n = static_cast<std::uint8_t>(slot);
    switch (slot % 3) {
      case 0: frame.id = 0x28; frame.data = {n, 0x00, 0x10, 0x80}; break;
      case 1: frame.id = 0x39; frame.data = {static_cast<std::uint8_t>(n & 1), 0x00}; break;
      default: frame.id = 0x12; frame.data = {0x5A, static_cast<std::uint8_t>(0xA0 + n), 0x01, 0xFF, 0x00, 0x33}; break;
    }
    if (slot % 17 == 7) frame.checksumXor = 0x20;
    lin.Frame(frame);
  }
}

void LogicalTraffic(test::SignalBuilder& line) {
  for (int level = 1; line.Now() < kTileMicros - kQuietAtEnd; level = 1 - level) line.Hold(level, 28.8);
}

std::vector<std::uint8_t> Tile(bool dense) {
  test::Capture capture;
  CanTraffic(capture.channel[0]);
  ManchesterTraffic(capture.channel[1]);
  capture.channel[2] = test::UartLine(test::UartFormat::Rs232AsSeen(9600));
  SerialTraffic(capture.channel[2]);
  if (dense) {
    capture.channel[3] = test::SignalBuilder(0);
    LogicalTraffic(capture.channel[3]);
  } else {
    LinTraffic(capture.channel[3]);
  }
  const auto samples = static_cast<std::size_t>(kTileMicros / test::kSampleMicros);
  std::vector<std::uint8_t> bytes = capture.FileBytes(samples > capture.SampleCount() ? samples - capture.SampleCount() : 0);
  bytes.resize(samples);
  return bytes;
}

// The demo's configuration with absolute description paths; channel 4 Logical when dense.
Settings BenchSettings(bool dense) {
  Settings settings;
  const std::string source = VELKOR_SOURCE_DIR;
  if (LoadConfigFile(source + "/examples/demo.cfg", settings)) {
    std::fprintf(stderr, "cannot read %s/examples/demo.cfg\n", source.c_str());
    std::exit(2);
  }
  AnchorDescriptionPaths(settings, source + "/examples");
  if (dense) {
    settings.channels[3].type = ChannelType::Logical;
    settings.channels[3].caption = "Log4";
    settings.channels[3].generation = true;
  }
  settings.hexaClear = true;
  settings.hexaAutoScroll = true;
  settings.mainMaximized = false;
  settings.main = WindowPlacement{0, 0, 1000, 1280, true};
  settings.hexa = WindowPlacement{0, 0, 900, 1200, true};
  return settings;
}

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

std::size_t HeadlessLines(const Settings& settings, const std::string& path, double& seconds,
                          double* cpuSeconds = nullptr) {
  Settings copy = settings;
  SilentUserInterface ui;
  Pipeline pipeline(copy, ui);
  const double cpuStart = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  if (!pipeline.ReplayCaptureFile(path)) {
    std::fprintf(stderr, "cannot replay %s\n", path.c_str());
    std::exit(2);
  }
  seconds = Seconds(std::chrono::steady_clock::now() - start);
  if (cpuSeconds != nullptr) *cpuSeconds = ProcessCpuSeconds() - cpuStart;
  return pipeline.Lines().size();
}

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Times of the page paints on one clock: the wall clock, or the thread's processor time,
// which the other programs of a loaded machine do not inflate.
struct Spread {
  double median = 0, p99 = 0, max = 0;
  std::size_t over16 = 0;
  int maxTop = 0;
  static Spread Of(std::vector<std::pair<double, int>> times) {
    Spread s;
    std::sort(times.begin(), times.end());
    s.median = times[times.size() / 2].first;
    s.p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)].first;
    s.max = times.back().first;
    s.maxTop = times.back().second;
    s.over16 = static_cast<std::size_t>(std::count_if(times.begin(), times.end(), [](auto& t) { return t.first > 16; }));
    return s;
  }
};

void Report(const char* clock, const Spread& s) {
  std::printf("  %-9s median %.3f ms, 99th %.3f ms, slowest %.3f ms (top row %d), %zu pages above 16 ms\n", clock,
              s.median, s.p99, s.max, s.maxTop, s.over16);
}

double RepaintMs(ui::LineListView& list, int top) {
  list.SetTopRow(top);
  QElapsedTimer timer;
  timer.start();
  list.viewport()->repaint();
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Scrolls from the top to the bottom a page at a time and times each page's paint; then
// paints the slowest page again, and draws a few hundred pages' rows with the delegate
// alone, without the widget.
void ScrollByPages(ui::LineListView& list, ui::LinePanel& panel) {
  const int rows = list.model()->rowCount();
  const int page = list.PageRows();
  std::vector<std::pair<double, int>> wall, cpu;
  for (int top = 0; top < rows; top += page) {
    list.SetTopRow(top);
    const double cpuStart = ThreadCpuMs();
    QElapsedTimer timer;
    timer.start();
    list.viewport()->repaint();
    wall.emplace_back(static_cast<double>(timer.nsecsElapsed()) / 1e6, top);
    cpu.emplace_back(ThreadCpuMs() - cpuStart, top);
  }
  const Spread w = Spread::Of(wall);
  const Spread c = Spread::Of(cpu);
  std::printf("scroll %d rows, %zu pages of %d rows:\n", rows, wall.size(), page);
  Report("wall", w);
  Report("processor", c);
  double again = 1e30;
  for (int i = 0; i < 5; ++i) again = std::min(again, RepaintMs(list, c.maxTop));
  std::printf("  the page slowest in processor time, painted again: %.3f ms (best of 5)\n", again);

  std::vector<double> rowsOnly;
  QImage image(list.viewport()->size(), QImage::Format_RGB32);
  const auto& model = panel.Model();
  for (int k = 0; k < 500; ++k) {
    const int top = static_cast<int>(static_cast<long long>(k) * std::max(1, rows - page) / 500);
    QPainter painter(&image);
    QElapsedTimer timer;
    timer.start();
    for (int r = 0; r < page && top + r < rows; ++r)
      panel.Delegate().PaintLine(painter, QRect(0, r * ui::kLineRowHeight, image.width(), ui::kLineRowHeight),
                                 model.Line(top + r), (r % 7) == 0);
    rowsOnly.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
  }
  std::sort(rowsOnly.begin(), rowsOnly.end());
  std::printf("  rows alone (the delegate into an image): median %.3f ms a page\n", rowsOnly[rowsOnly.size() / 2]);
}

long PeakRssMiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6) / 1024;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t wantLines = 2'000'000;
  std::size_t scrollLines = 10'000'000;
  int repeat = 3;
  bool dense = false;
  bool event = false;
  bool scroll = true;
  std::string files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--lines" && i + 1 < argc) wantLines = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--scroll-lines" && i + 1 < argc) scrollLines = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
    else if (a == "--dense") dense = true;
    else if (a == "--event") event = true;
    else if (a == "--no-scroll") scroll = false;
    else if (a == "--files" && i + 1 < argc) files = argv[++i];
    else {
      std::fprintf(stderr,
                   "usage: velkor_gui_bench [--lines N] [--scroll-lines M] [--repeat R] [--dense] [--event]\n"
                   "                        [--files DIR] [--no-scroll]\n");
      return 2;
    }
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);

  test::TempDir dir;
  const Settings settings = BenchSettings(dense);
  const std::string capture = files.empty() ? dir.File("capture.bin") : files + "/capture.bin";
  std::size_t samples = 0;
  if (!files.empty() && std::filesystem::exists(capture)) {
    samples = std::filesystem::file_size(capture);
    std::printf("capture: %s (%zu samples)\n", capture.c_str(), samples);
  } else {
    const std::string tilePath = dir.Write("tile.bin", Tile(dense));
    double seconds = 0;
    const std::size_t tileLines = HeadlessLines(settings, tilePath, seconds);
    if (tileLines == 0) {
      std::fprintf(stderr, "the tile decodes to no line\n");
      return 2;
    }
    const std::size_t tiles = (wantLines + tileLines - 1) / tileLines;
    {
      const std::string tile = test::ReadWholeFile(tilePath);
      std::ofstream out(capture, std::ios::binary);
      for (std::size_t t = 0; t < tiles; ++t) out.write(tile.data(), static_cast<std::streamsize>(tile.size()));
    }
    samples = tiles * static_cast<std::size_t>(kTileMicros / test::kSampleMicros);
    std::printf("capture: %s tile of %zu lines x %zu = %zu samples (%.1f MB)\n", dense ? "dense" : "demo-like",
                tileLines, tiles, samples, static_cast<double>(samples) / 1e6);
    if (!files.empty() && SaveConfigFile(files + "/bench.cfg", settings)) {
      std::fprintf(stderr, "cannot write %s/bench.cfg\n", files.c_str());
      return 2;
    }
  }
  double seconds = 0;

  double headless = 1e30, headlessCpu = 1e30;
  std::size_t lines = 0;
  for (int r = 0; r < repeat; ++r) {
    double cpu = 0;
    lines = HeadlessLines(settings, capture, seconds, &cpu);
    headless = std::min(headless, seconds);
    headlessCpu = std::min(headlessCpu, cpu);
  }
  std::printf("headless replay: %zu lines in %.3f s (%.1f M samples/s), processor %.3f s\n", lines, headless,
              static_cast<double>(samples) / headless / 1e6, headlessCpu);

  // The program's names are this run's own, so that a client of another program is not
  // woken; with --event a client's event waits under them.
  const std::string remoteName = "velkorBench" + std::to_string(getpid());
  setenv(kRemoteNameVariable, remoteName.c_str(), 1);
  platform::EventWaiter clientEvent;
  if (event && clientEvent.Create(remoteName + "EM")) {
    std::fprintf(stderr, "cannot create the line event: %s\n", clientEvent.Error().c_str());
    return 2;
  }

  ui::ScriptedDialogs dialogs;
  ui::MainOptions options;
  options.dialogs = &dialogs;
  options.configFolder = QString::fromStdString(dir.Path());
  ui::TfrmMain main(options);
  main.show();
  QApplication::processEvents();
  const std::string cfg = dir.File("bench.cfg");
  if (SaveConfigFile(cfg, settings) || main.LoadConfiguration(QString::fromStdString(cfg))) {
    std::fprintf(stderr, "cannot apply the configuration\n");
    return 2;
  }
  QApplication::processEvents();
  ui::TfrmHexaView& hexa = *main.HexaView();
  ui::LineListView& list = *hexa.Panel().lstHexa;

  double gui = 1e30, guiCpu = 1e30;
  for (int r = 0; r < repeat; ++r) {
    const double cpuStart = ProcessCpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    main.ReplayCaptureFile(QString::fromStdString(capture));
    gui = std::min(gui, Seconds(std::chrono::steady_clock::now() - start));
    QApplication::processEvents();
    guiCpu = std::min(guiCpu, ProcessCpuSeconds() - cpuStart);
  }
  std::printf("desktop replay (Hexa view shown, AutoScroll on%s): %d rows, status \"%s\", top row %d, in %.3f s\n",
              event ? ", a client's line event" : "", list.model()->rowCount(),
              hexa.Panel().StatusText(2).toUtf8().constData(), list.TopRow(), gui);
  std::printf("  processor %.3f s\n", guiCpu);
  std::printf("  ratio to headless: %.3f (processor %.3f)\n", gui / headless, guiCpu / headlessCpu);
  if (!scroll) {
    main.GetPipeline().SetRunning(false);
    return 0;
  }
  std::printf("list viewport %d x %d: %d rows a page\n", list.viewport()->width(), list.viewport()->height(),
              list.PageRows());

  ScrollByPages(list, hexa.Panel());

  // Grown to the scroll size by repeating the decoded lines.
  DecodedLineList& store = main.GetPipeline().Services().lines;
  const std::size_t decoded = store.size();
  std::string copy;
  for (std::size_t i = 0; store.size() < scrollLines; ++i) {
    copy.assign(store.Line(i % decoded));
    store.Append(copy);
  }
  QElapsedTimer syncTimer;
  syncTimer.start();
  hexa.SyncLines();
  std::printf("grown to %zu lines; one sync of the new rows: %.3f ms\n", store.size(),
              static_cast<double>(syncTimer.nsecsElapsed()) / 1e6);
  ScrollByPages(list, hexa.Panel());
  std::printf("peak memory: %ld MiB\n", PeakRssMiB());
  main.GetPipeline().SetRunning(false);
  return 0;
}
