// Throughput of the LIN decoder: samples per second of one LIN channel at 19200 baud on a
// busy bus (frames of 8 data bytes back to back, separated only by the quiet time).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "LinEncoder.h"
#include "Waveform.h"
#include "app/Settings.h"
#include "pipeline/DecMain.h"

using namespace velkor;

namespace {

constexpr int kBaud = 19200;
constexpr int kInterFrameMicros = 1000;

// About 12 seconds of bus, some 2000 frames.
std::vector<std::uint8_t> BusySamples() {
  test::Capture capture;
  test::LinEncoder lin(capture.channel[0], kBaud);
  lin.Signal().Idle(500);
  for (int i = 0; lin.Signal().Now() < 12e6; ++i) {
    test::LinFrame frame;
    frame.id = static_cast<std::uint8_t>(i % 60);
    for (int k = 0; k < 8; ++k) frame.data.push_back(static_cast<std::uint8_t>(i * 31 + k * 7));
    frame.checksumXor = i % 50 == 0 ? 1 : 0;
    lin.Frame(frame);
    lin.Signal().Idle(1.5 * kInterFrameMicros);
  }
  return capture.FileBytes(1000);
}

std::string WriteDescription() {
  const auto path = (std::filesystem::temp_directory_path() / "velkor-bench-lin.lfd").string();
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      << "[BAUDRATE]\nValue=" << kBaud << "\n[INVERT]\nValue=NO\n[PROTOCOL]\nInterFrame=" << kInterFrameMicros
      << "\nChecksumIncludeID=YES\n[ID]\n0A=Named_A\n11=Named_B\n";
  return path;
}

void BM_DecodeLinBusyBus(benchmark::State& state) {
  static const std::vector<std::uint8_t> samples = BusySamples();
  static const std::string description = WriteDescription();
  Settings settings;
  for (auto& ch : settings.channels) {
    ch.type = ChannelType::None;
    ch.active = true;
  }
  settings.channels[0].type = ChannelType::Lin;
  settings.channels[0].linFile = description;
  SilentUserInterface ui;
  std::size_t lines = 0;
  for (auto _ : state) {
    Pipeline pipeline(settings, ui);
    pipeline.ResetRun();
    SampleIndex index = 0;
    for (std::uint8_t s : samples) pipeline.DispatchSample(s, index++);
    lines = pipeline.Lines().size();
    benchmark::DoNotOptimize(lines);
  }
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(samples.size()), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_DecodeLinBusyBus)->Unit(benchmark::kMillisecond);

}  // namespace
