// Throughput of one Serial channel on a busy line: samples per second through the dispatch.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TestRig.h"
#include "UartEncoder.h"
#include "Waveform.h"
#include "app/Settings.h"
#include "pipeline/DecMain.h"

using namespace velkor;

namespace {

struct SerialCapture {
  explicit SerialCapture(double baud);
  test::TempDir dir;
  std::string description;
  std::vector<std::uint8_t> samples;
};

// About 10 million samples (24 s of signal) of 8N1 traffic on channel 1: frames of 16 words
// sent back to back, a frame every 20 ms at 9600 baud (the line is busy about 83% of the
// time) or every 2 ms at 115200 baud (about 70%).
SerialCapture::SerialCapture(double baud) {
  const test::UartFormat format = test::UartFormat::Rs232AsSeen(baud);
  description = dir.Write("bench.sfd",
                              "[PROTOCOL]\nBaudrate=" + std::to_string(static_cast<int>(baud)) +
                                  "\nDataBits=8\nLsbFirst=YES\nInvertedStart=NO\nInvertedData=YES\n"
                                  "InterFrame=500\nAscii=NO\n");
  test::Capture capture;
  capture.channel[0] = test::UartLine(format);
  test::UartEncoder uart(capture.channel[0], format);
  const double frameMicros = baud < 20000 ? 20000 : 2000;
  std::uint32_t value = 0;
  for (double at = 100; at < 24e6; at += frameMicros) {
    uart.GapUntil(at);
    for (int w = 0; w < 16; ++w) uart.Word(value++ & 0xFF);
  }
  samples = capture.FileBytes(1000);
}

const SerialCapture& CaptureFor(int baud) {
  if (baud == 9600) {
    static const SerialCapture slow(9600);
    return slow;
  }
  static const SerialCapture fast(115200);
  return fast;
}

void BM_DispatchSerial(benchmark::State& state) {
  const SerialCapture& capture = CaptureFor(static_cast<int>(state.range(0)));
  Settings settings;
  for (auto& ch : settings.channels) {
    ch.type = ChannelType::None;
    ch.active = false;
  }
  settings.channels[0].type = ChannelType::Serial;
  settings.channels[0].active = true;
  settings.channels[0].serialFile = capture.description;
  SilentUserInterface ui;
  std::size_t lines = 0;
  for (auto _ : state) {
    Pipeline pipeline(settings, ui);
    pipeline.ResetRun();
    if (pipeline.RunSetupFailed()) {
      state.SkipWithError("description refused");
      break;
    }
    SampleIndex index = 0;
    for (std::uint8_t s : capture.samples) pipeline.DispatchSample(s, index++);
    lines = pipeline.Lines().size();
    benchmark::DoNotOptimize(lines);
  }
  state.counters["lines"] = static_cast<double>(lines);
  state.counters["samples/s"] = benchmark::Counter(static_cast<double>(capture.samples.size()),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DispatchSerial)->Arg(9600)->Arg(115200)->ArgName("baud")->Unit(benchmark::kMillisecond);

}  // namespace
