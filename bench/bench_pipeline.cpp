// Throughput of the whole pipeline, per-sample path against run-skipping path: capture files
// replayed from the page cache through four decoders (an idle bus, everyday traffic, a CAN bus
// at full load), and the dispatch of samples and live bytes through four Logical channels.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "BenchCaptures.h"
#include "TestRig.h"
#include "app/Settings.h"
#include "pipeline/DecMain.h"

using namespace velkor;

namespace {

DispatchPath PathOf(const benchmark::State& state) {
  return state.range(0) != 0 ? DispatchPath::RunSkipping : DispatchPath::PerSample;
}

// 20 million samples (48 s of signal) of each traffic, written once as a capture file.
struct ReplayFile {
  ReplayFile(bench::Traffic traffic, int moreCanNames, bool checks, bool databases) {
    bench::SetUpChannels(dir.Path(), settings, moreCanNames, checks, databases);
    const auto bytes = bench::MakeTraffic(traffic, 20'000'000);
    samples = bytes.size();
    path = dir.Write("capture.bin", bytes);
  }
  test::TempDir dir;
  Settings settings;
  std::string path;
  std::size_t samples = 0;
};

const ReplayFile& FileFor(bench::Traffic traffic, int moreCanNames, bool checks, bool databases) {
  static std::map<std::tuple<bench::Traffic, int, bool, bool>, ReplayFile> files;
  const auto key = std::make_tuple(traffic, moreCanNames, checks, databases);
  auto it = files.find(key);
  if (it == files.end())
    it = files.emplace(std::piecewise_construct, std::forward_as_tuple(key),
                       std::forward_as_tuple(traffic, moreCanNames, checks, databases))
             .first;
  return it->second;
}

void BM_Replay(benchmark::State& state, bench::Traffic traffic, int moreCanNames = 0, bool checks = false,
               bool databases = false) {
  const ReplayFile& file = FileFor(traffic, moreCanNames, checks, databases);
  Settings settings = file.settings;
  SilentUserInterface ui;
  std::size_t lines = 0;
  for (auto _ : state) {
    Pipeline pipeline(settings, ui);
    pipeline.SetDispatchPath(PathOf(state));
    if (!pipeline.ReplayCaptureFile(file.path) || pipeline.RunSetupFailed()) {
      state.SkipWithError("replay failed");
      break;
    }
    lines = pipeline.Lines().size();
    benchmark::DoNotOptimize(lines);
  }
  state.counters["lines"] = static_cast<double>(lines);
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(file.samples), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK_CAPTURE(BM_Replay, idle, bench::Traffic::Idle)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("runSkipping")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Replay, mixed, bench::Traffic::Mixed)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("runSkipping")
    ->Unit(benchmark::kMillisecond);
// The same traffic with a CAN description of 300 names, as a car's bus has.
BENCHMARK_CAPTURE(BM_Replay, mixedManyNames, bench::Traffic::Mixed, 298)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("runSkipping")
    ->Unit(benchmark::kMillisecond);
// Traffic whose every CAN and LIN frame a database describes, without the databases and with
// them (a DBC of 300 messages and 2000 signals, an LDF of 60 frames): the cost of the signals.
BENCHMARK_CAPTURE(BM_Replay, mixedKnownIds, bench::Traffic::MixedKnownIds, 0, false, false)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("runSkipping")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Replay, mixedKnownIdsDatabases, bench::Traffic::MixedKnownIds, 0, false, true)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("runSkipping")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Replay, denseCan, bench::Traffic::DenseCan)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("runSkipping")
    ->Unit(benchmark::kMillisecond);
// The same captures with every option of the CAN and LIN descriptions on.
BENCHMARK_CAPTURE(BM_Replay, mixedChecked, bench::Traffic::Mixed, 0, true)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("runSkipping")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Replay, denseCanChecked, bench::Traffic::DenseCan, 0, true)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("runSkipping")
    ->Unit(benchmark::kMillisecond);

// 50 million samples; channel c toggles every `period << c` samples.
std::vector<std::uint8_t> ToggleSamples(std::size_t count, std::size_t period) {
  std::vector<std::uint8_t> s(count);
  for (std::size_t n = 0; n < count; ++n) {
    std::uint8_t v = 0;
    for (int c = 0; c < 4; ++c) v |= static_cast<std::uint8_t>(((n / (period << c)) & 1) << c);
    s[n] = v;
  }
  return s;
}

void BM_DispatchLogical(benchmark::State& state) {
  static const std::vector<std::uint8_t> samples = ToggleSamples(50'000'000, 3000);
  Settings settings;
  for (auto& ch : settings.channels) {
    ch.type = ChannelType::Logical;
    ch.active = true;
    ch.generation = state.range(1) != 0;
  }
  SilentUserInterface ui;
  for (auto _ : state) {
    Pipeline pipeline(settings, ui);
    pipeline.SetDispatchPath(PathOf(state));
    pipeline.ResetRun();
    pipeline.DispatchSamples(samples.data(), samples.size());
    benchmark::DoNotOptimize(pipeline.Lines().size());
  }
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(samples.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DispatchLogical)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"runSkipping", "generation"})
    ->Unit(benchmark::kMillisecond);

void BM_DispatchLiveBytes(benchmark::State& state) {
  static const std::vector<std::uint8_t> bytes = ToggleSamples(12'500'000, 700);
  Settings settings;
  for (auto& ch : settings.channels) {
    ch.type = ChannelType::Logical;
    ch.active = true;
    ch.generation = true;
  }
  SilentUserInterface ui;
  for (auto _ : state) {
    Pipeline pipeline(settings, ui);
    pipeline.SetDispatchPath(PathOf(state));
    pipeline.ResetRun();
    pipeline.sampleIndex = 0;
    // As the acquisition tick reads them: 1024 bytes at a time.
    for (std::size_t at = 0; at < bytes.size(); at += kLiveBlockSize)
      pipeline.DispatchLiveBytes(bytes.data() + at, std::min(kLiveBlockSize, bytes.size() - at));
    benchmark::DoNotOptimize(pipeline.Lines().size());
  }
  state.counters["samples/s"] = benchmark::Counter(static_cast<double>(bytes.size() * 4),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DispatchLiveBytes)->Arg(0)->Arg(1)->ArgName("runSkipping")->Unit(benchmark::kMillisecond);

}  // namespace
