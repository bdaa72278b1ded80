// The line list under load: appending tens of millions of lines and serving the remote
// client's "oldest line" requests. Reports the peak memory per line held.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>

#include "views/DecodedLine.h"

using namespace velkor;

namespace {

long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void BM_AppendTwentyMillionLines(benchmark::State& state) {
  const std::size_t count = 20'000'000;
  const std::string line = "0,1523642,ID=12A,DLC=2,DataFrame=00 01,";  // a typical CAN line
  for (auto _ : state) {
    const long before = PeakRssKiB();
    DecodedLineList list;
    for (std::size_t i = 0; i < count; ++i) list.Append(line);
    benchmark::DoNotOptimize(list.Line(count - 1).size());
    state.counters["peak_bytes_per_line"] =
        static_cast<double>(PeakRssKiB() - before) * 1024.0 / static_cast<double>(count);
    state.counters["text_bytes_per_line"] = static_cast<double>(line.size());
  }
  state.counters["lines/s"] = benchmark::Counter(static_cast<double>(count), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AppendTwentyMillionLines)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_RemoveOldest(benchmark::State& state) {
  DecodedLineList list;
  for (int i = 0; i < 1'000'000; ++i) list.Append("1,33398,New Value=1,");
  for (auto _ : state) {
    if (list.empty()) {
      state.PauseTiming();
      for (int i = 0; i < 1'000'000; ++i) list.Append("1,33398,New Value=1,");
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(list.Line(0).size());
    list.RemoveFirst();
  }
}
BENCHMARK(BM_RemoveOldest);

}  // namespace
