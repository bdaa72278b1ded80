// Throughput of one Manchester channel: samples per second with 1, 4 and 16 enabled
// descriptions watching the same line.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ManchesterEncoder.h"
#include "TestRig.h"
#include "Waveform.h"
#include "app/Settings.h"
#include "pipeline/DecMain.h"

using namespace velkor;

namespace {

constexpr std::size_t kSamples = 4'000'000;  // about 9.6 s of signal

// Frames of two kinds (3906 bit/s and 9600 bit/s, inverted) on channel 1, 20 ms apart.
const std::vector<std::uint8_t>& ManchesterCapture() {
  static const std::vector<std::uint8_t> bytes = [] {
    test::Capture capture;
    test::SignalBuilder& s = capture.channel[0];
    for (int k = 0; s.Now() < kSamples * test::kSampleMicros - 30000; ++k) {
      s.IdleUntil(k * 20000.0);
      if (k % 2 == 0)
        test::ManchesterEncoder(s, 3906, false).Symbols("0000 M0S0").Field(32, 0xF00058AEu + k).Field(8, 3);
      else
        test::ManchesterEncoder(s, 9600, true).Symbols("1111 M1S1").Field(16, 0x1234u + k);
    }
    auto out = capture.FileBytes();
    out.resize(kSamples, 0x0F);
    return out;
  }();
  return bytes;
}

// Sixteen descriptions: the two kinds on the line and fourteen others at other bit rates.
const std::vector<std::string>& DescriptionPaths() {
  static test::TempDir dir;
  static const std::vector<std::string> paths = [] {
    std::vector<std::string> out;
    const int bauds[] = {3906, 9600, 4800, 2400, 19200, 1200, 7812, 3000};
    for (int i = 0; i < 16; ++i) {
      const int baud = bauds[i % 8];
      const bool invert = i % 2 == 1;
      const std::string preamble = i % 2 == 0 ? "0000 M0S0" : "1111 M1S1";
      std::string content = "[BAUDRATE]\nValue=";
      content += std::to_string(baud);
      content += invert ? "\n[INVERT]\nValue=YES" : "\n[INVERT]\nValue=NO";
      content += "\n[PREAMBLE]\nContent=" + preamble + "\n[FIELDS]\nHead=";
      content += std::to_string(8 + i);
      content += "\nTail=8\n";
      std::string name = std::to_string(i);
      name += ".mfd";
      out.push_back(dir.Write(name, content));
    }
    return out;
  }();
  return paths;
}

void BM_DecodeManchester(benchmark::State& state) {
  const auto& samples = ManchesterCapture();
  Settings settings;
  for (auto& ch : settings.channels) {
    ch.type = ChannelType::None;
    ch.active = true;
  }
  settings.channels[0].type = ChannelType::Manchester;
  const auto& paths = DescriptionPaths();
  for (int i = 0; i < state.range(0); ++i) settings.channels[0].manchesterFiles.push_back({paths[i], true});
  SilentUserInterface ui;
  for (auto _ : state) {
    Pipeline pipeline(settings, ui);
    pipeline.ResetRun();
    SampleIndex index = 0;
    for (std::uint8_t s : samples) pipeline.DispatchSample(s, index++);
    benchmark::DoNotOptimize(pipeline.Lines().size());
  }
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(samples.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DecodeManchester)->Arg(1)->Arg(4)->Arg(16)->ArgName("descriptions")->Unit(benchmark::kMillisecond);

}  // namespace
