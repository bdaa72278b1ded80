// Throughput of the CAN decoder: samples per second of one channel at 125 kbit/s on a busy
// bus (frames back to back, separated by the interframe space only).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "CanEncoder.h"
#include "TestRig.h"
#include "decoders/DecCan.h"

using namespace velkor;

namespace {

// About 12 s of bus time, some 11000 frames of every length, one in seven a remote frame.
std::vector<std::uint8_t> BusySamples() {
  test::SignalBuilder signal;
  test::CanEncoder bus(signal, 125000);
  bus.IdleBits(20);
  for (int i = 0; signal.Now() < 12e6; ++i) {
    const int dlc = i % 9;
    std::vector<std::uint8_t> data;
    for (int b = 0; b < dlc; ++b) data.push_back(static_cast<std::uint8_t>(i * 31 + b * 7));
    bus.Frame({static_cast<std::uint16_t>((i * 0x135) & 0x7FF), i % 7 == 6, dlc, data});
  }
  return signal.Levels(signal.SampleCount());
}

void BM_DecodeCanBusyBus(benchmark::State& state) {
  static const std::vector<std::uint8_t> levels = BusySamples();
  test::TempDir dir;
  const std::string path =
      dir.Write("bus.cfd", "[BAUDRATE]\nValue=125000\n[ID]\n135=Engine\n26A=Doors\n");
  SilentUserInterface ui;
  std::size_t lines = 0;
  std::size_t errors = 0;
  for (auto _ : state) {
    DecoderServices services(ui);
    services.table[0] = {ChannelType::Can, true};
    CanChannelState can;
    if (LoadCanDescription(services, can, path, 0) != 0) {
      state.SkipWithError("description refused");
      return;
    }
    SampleIndex index = 0;
    for (std::uint8_t level : levels) DecodeCan(services, can, 0, level ? '1' : '0', index++);
    lines = services.lines.size();
    benchmark::DoNotOptimize(lines);
    state.PauseTiming();
    errors = 0;
    for (std::size_t i = 0; i < lines; ++i) errors += services.lines.Line(i).find('\xA3') != std::string_view::npos;
    state.ResumeTiming();
  }
  state.counters["lines"] = static_cast<double>(lines);
  state.counters["error lines"] = static_cast<double>(errors);
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(levels.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DecodeCanBusyBus)->Unit(benchmark::kMillisecond);

}  // namespace
