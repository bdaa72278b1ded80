// Exporting ten million decoded lines: CSV and candump against the rendered text that Save
// and velkor-decode write. The bytes go to a sink that only counts them, so the figures are
// the exporters' own work, not the disk's.

#include <benchmark/benchmark.h>

#include <string>

#include "export/LineExporter.h"

using namespace velkor;

namespace {

class CountingSink : public ByteSink {
 public:
  bool Write(std::string_view bytes) override {
    bytes_ += bytes.size();
    return true;
  }
  std::uint64_t bytes_ = 0;
};

constexpr std::size_t kLines = 10'000'000;

// A mix of what a CAN bus and a Logical channel give: frames of 8, 2 and 0 bytes, a named
// frame, an error line and a level change.
struct Line {
  const char* text;
  FrameTag tag;
};
const Line kMix[] = {
    {"0,1523642,ID=12A,DLC=8,DataFrame=00 01 02 03 04 05 06 07,", FrameTag::Can(0x12A, false)},
    {"0,1523905,ID=PIC_StatusFrame,DLC=2,DataFrame=00 01,", FrameTag::Can(0x131, false)},
    {"0,1524100,ID=07F,DLC=0,DataFrame=,", FrameTag::Can(0x7F, false)},
    {"1,1524377,New Value=1,", {}},
    {"0,1524960,\xA3" "Error frame,", FrameTag::NoId(FrameBus::Can)},
    {"0,1525311,ID=250,DLC=8,RemoteFrame,", FrameTag::Can(0x250, false)},
    {"0,1525790,ID=12A,DLC=8,DataFrame=10 11 12 13 14 15 16 17,", FrameTag::Can(0x12A, false)},
    {"0,1526150,ID=3FF,DLC=4,DataFrame=DE AD BE EF,", FrameTag::Can(0x3FF, false)},
};

void BM_Export(benchmark::State& state, ExportFormat format) {
  ExportContext context;
  context.captions[0] = "CAN";
  context.captions[1] = "Door";
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    CountingSink sink;
    auto exporter = MakeLineExporter(format, sink, context);
    for (std::size_t i = 0; i < kLines; ++i) {
      const Line& line = kMix[i % std::size(kMix)];
      exporter->Add(line.text, line.tag);
    }
    benchmark::DoNotOptimize(exporter->Finish());
    bytes = sink.bytes_;
  }
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(kLines), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["output_MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK_CAPTURE(BM_Export, Text, ExportFormat::Text)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Export, Csv, ExportFormat::Csv)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Export, Candump, ExportFormat::Candump)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Export, JsonLines, ExportFormat::JsonLines)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Export, Blf, ExportFormat::Blf)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
