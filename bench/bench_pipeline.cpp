// Throughput of the dispatch: samples per second through four Logical channels.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "app/Settings.h"
#include "pipeline/DecMain.h"

using namespace velkor;

namespace {

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
    ch.generation = state.range(0) != 0;
  }
  SilentUserInterface ui;
  for (auto _ : state) {
    Pipeline pipeline(settings, ui);
    pipeline.ResetRun();
    SampleIndex index = 0;
    for (std::uint8_t s : samples) pipeline.DispatchSample(s, index++);
    benchmark::DoNotOptimize(pipeline.Lines().size());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * samples.size()));
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(samples.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DispatchLogical)->Arg(0)->Arg(1)->ArgName("generation")->Unit(benchmark::kMillisecond);

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
    pipeline.ResetRun();
    pipeline.sampleIndex = 0;
    pipeline.DispatchLiveBytes(bytes.data(), bytes.size());
    benchmark::DoNotOptimize(pipeline.Lines().size());
  }
  state.counters["samples/s"] = benchmark::Counter(static_cast<double>(bytes.size() * 4),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DispatchLiveBytes)->Unit(benchmark::kMillisecond);

}  // namespace
