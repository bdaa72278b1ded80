// The Graphic view under a fast replay: columns per second drawn while the demo's channels
// decode a long capture at 10 ms per column with the view shown (offscreen), against the same
// replay with no window at all. Also the cost of one column drawn into the shown view.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/ConfigFile.h"
#include "pipeline/DecMain.h"
#include "ui/Dialogs.h"
#include "ui/Main.h"
#include "ui/views/Graphic.h"

using namespace velkor;

namespace {

constexpr int kRepeats = 100;  // the demo capture is 0.6 s of signal: 60 s in all
constexpr int kSamplesPerColumn = 4167;

QTemporaryDir& Folder() {
  static QTemporaryDir folder;
  return folder;
}

// The demo capture played kRepeats times in a row.
const std::string& LongCapture() {
  static const std::string path = [] {
    std::ifstream in("examples/demo.bin", std::ios::binary);
    const std::vector<char> demo((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string out = Folder().filePath("long.bin").toStdString();
    std::ofstream file(out, std::ios::binary);
    for (int i = 0; i < kRepeats; ++i) file.write(demo.data(), static_cast<std::streamsize>(demo.size()));
    return out;
  }();
  return path;
}

std::int64_t CaptureSamples() { return static_cast<std::int64_t>(kRepeats) * 250000; }

class CountingUi : public SilentUserInterface {
 public:
  void DrawColumn(std::uint32_t, std::uint32_t) override { ++columns; }
  std::int64_t columns = 0;
};

void SetColumnCounters(benchmark::State& state, std::int64_t columnsPerReplay) {
  state.counters["columns"] = static_cast<double>(columnsPerReplay);
  state.counters["columns/s"] =
      benchmark::Counter(static_cast<double>(columnsPerReplay), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(CaptureSamples()), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ReplayHeadless(benchmark::State& state) {
  Settings settings;
  if (LoadConfigFile("examples/demo.cfg", settings)) {
    state.SkipWithError("examples/demo.cfg cannot be read");
    return;
  }
  settings.scrolling = ColumnResolution::Ms10;
  CountingUi ui;
  Pipeline pipeline(settings, ui);
  pipeline.Services().configFolder = ConfigFileFolder("examples/demo.cfg");
  std::int64_t columns = 0;
  for (auto _ : state) {
    ui.columns = 0;
    if (!pipeline.ReplayCaptureFile(LongCapture())) state.SkipWithError("no capture");
    columns = ui.columns;
  }
  SetColumnCounters(state, columns);
}
BENCHMARK(BM_ReplayHeadless)->Unit(benchmark::kMillisecond)->Iterations(5);

// The desktop program with the demo's configuration and the Graphic view shown.
struct ShownProgram {
  ShownProgram() {
    ui::MainOptions options;
    options.dialogs = &dialogs;
    options.configFolder = Folder().path();
    main = std::make_unique<ui::TfrmMain>(options);
    main->show();
    QApplication::processEvents();
    loaded = !main->LoadConfiguration("examples/demo.cfg");
    main->showNormal();
    main->resize(1200, 700);
    view = main->GraphicView();
    view->SetClientSize(QSize(843, 115));
    view->show();
    view->ResolutionButton(ColumnResolution::Ms10)->setChecked(true);
    QApplication::processEvents();
  }
  ~ShownProgram() {
    main->GetPipeline().SetRunning(false);
    main->close();
  }
  ui::ScriptedDialogs dialogs;
  std::unique_ptr<ui::TfrmMain> main;
  ui::TfrmGraphicView* view = nullptr;
  bool loaded = false;
};

// Argument 1: the Graphic view shown; 0: hidden (what the rest of the program costs).
void BM_ReplayInTheProgram(benchmark::State& state) {
  ShownProgram program;
  if (!program.loaded) {
    state.SkipWithError("examples/demo.cfg cannot be read");
    return;
  }
  program.view->setVisible(state.range(0) != 0);
  const QString capture = QString::fromStdString(LongCapture());
  for (auto _ : state) {
    program.main->ReplayCaptureFile(capture);
    QApplication::processEvents();  // the last repaint of the picture
  }
  SetColumnCounters(state, CaptureSamples() / kSamplesPerColumn);
}
BENCHMARK(BM_ReplayInTheProgram)->ArgName("graphic_shown")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5);

// One column into the shown view, repaints included (events run every 4096 columns, about
// as often as a replay lets them run).
void BM_DrawColumnShown(benchmark::State& state) {
  ShownProgram program;
  std::uint32_t n = 0;
  for (auto _ : state) {
    program.view->DrawColumn(n & 0xF, (n >> 4) & 0xF);
    if ((++n & 4095) == 0) QApplication::processEvents();
  }
  state.counters["columns/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DrawColumnShown);

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform says so each time a window asks for what it cannot do.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith("This plugin does not support")) return;
  if (defaultHandler) defaultHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  benchmark::Initialize(&argc, argv);
  defaultHandler = qInstallMessageHandler(QuietHandler);
  QApplication app(argc, argv);
  // The demo configuration names its descriptions from the source folder.
  QDir::setCurrent(VELKOR_SOURCE_DIR);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
