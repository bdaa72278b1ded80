// A module that goes away during a live run of velkor-decode: kivo-sim on a pseudo-terminal
// closes its side, falls silent for seconds, or floods the line with garbage. The run
// neither hangs nor crashes, the lines decoded before the fault stay, the stop at the end of
// the run works, and a new run starts on a module that is back.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "FakeKivo.h"
#include "KivoSimulator.h"
#include "TestRig.h"
#include "pipeline/LiveRun.h"

using namespace velkor;
using namespace velkor::test;

namespace {

const std::string kSourceDir = VELKOR_SOURCE_DIR;

// The demo capture `copies` times over, as a live run of it decodes it.
std::vector<std::uint8_t> DemoSamples(int copies) {
  const std::string demo = ReadWholeFile(kSourceDir + "/examples/demo.bin");
  std::vector<std::uint8_t> samples;
  for (int c = 0; c < copies; ++c) samples.insert(samples.end(), demo.begin(), demo.end());
  return SamplesAsStreamed(samples);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t nl = text.find('\n', at);
    lines.push_back(text.substr(at, nl - at));
    at = nl == std::string::npos ? text.size() : nl + 1;
  }
  return lines;
}

// The demo's lines from a replay of the samples, as velkor-decode --raw writes them.
std::vector<std::string> ReplayedLines(const TempDir& dir, const std::vector<std::uint8_t>& samples) {
  const std::string file = dir.Write("replayed.bin", samples);
  const ToolResult replay = RunDecodeTool("--raw --config examples/demo.cfg " + file, kSourceDir);
  EXPECT_EQ(replay.status, 0) << replay.err;
  return SplitLines(replay.out);
}

std::uint64_t DateOf(const std::string& line) {
  const std::size_t comma = line.find(',', 2);
  return std::stoull(line.substr(2, comma - 2));
}

// A live run of velkor-decode against the simulator, tried again when a loaded machine kept
// the simulator from answering the version query in time (status 3: a fault fails every try).
ToolResult LiveDecode(const KivoSimulator& sim, double seconds) {
  PortOverride com3(sim.Path());
  ToolResult result;
  for (int attempt = 0; attempt < 3; ++attempt) {
    result = RunDecodeTool("--live 3 --raw --config examples/demo.cfg --seconds " + std::to_string(seconds), kSourceDir);
    if (result.status != 3) break;
  }
  return result;
}

bool IsPrefix(const std::vector<std::string>& prefix, const std::vector<std::string>& whole) {
  return prefix.size() <= whole.size() && std::equal(prefix.begin(), prefix.end(), whole.begin());
}

// After a fault the module is back (a new one on the same port): a new run decodes all.
void ExpectANewRunDecodes(const TempDir& dir) {
  const std::vector<std::uint8_t> samples = DemoSamples(1);
  const std::vector<std::string> expected = ReplayedLines(dir, samples);
  KivoSimulator sim({"--time-limit", "30", dir.Write("again.bin", samples)});
  ASSERT_FALSE(sim.Path().empty());
  const ToolResult run = LiveDecode(sim, 2.5);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(SplitLines(run.out), expected);
}

}  // namespace

TEST(ModuleFault, UnpluggedModuleEndsTheLinesButNotTheRun) {
  TempDir dir;
  const std::vector<std::uint8_t> samples = DemoSamples(4);
  const std::vector<std::string> expected = ReplayedLines(dir, samples);
  ASSERT_GT(expected.size(), 100u);

  KivoSimulator sim({"--time-limit", "30", "--close-after", "1", dir.Write("capture.bin", samples)});
  ASSERT_FALSE(sim.Path().empty());
  const ToolResult run = LiveDecode(sim, 2.5);
  EXPECT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> lines = SplitLines(run.out);
  // What came before the module went stays, whole and in order; nothing comes after.
  EXPECT_TRUE(IsPrefix(lines, expected));
  EXPECT_GT(lines.size(), 10u);
  EXPECT_LT(lines.size(), expected.size());

  ExpectANewRunDecodes(dir);
}

TEST(ModuleFault, SilenceOfSecondsLosesNothing) {
  TempDir dir;
  const std::vector<std::uint8_t> samples = DemoSamples(2);
  const std::vector<std::string> expected = ReplayedLines(dir, samples);

  KivoSimulator sim({"--time-limit", "30", "--pause-after", "0.4", "--pause-for", "2.5", dir.Write("capture.bin", samples)});
  ASSERT_FALSE(sim.Path().empty());
  const ToolResult run = LiveDecode(sim, 6);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(SplitLines(run.out), expected);

  ExpectANewRunDecodes(dir);
}

TEST(ModuleFault, GarbageFloodAtTheWrongRate) {
  TempDir dir;
  const std::vector<std::uint8_t> samples = DemoSamples(2);
  const std::vector<std::string> expected = ReplayedLines(dir, samples);
  // The flood starts 0.6 s into the stream; the lines of its first 0.5 s are surely read.
  std::vector<std::string> before;
  for (const std::string& line : expected)
    if (DateOf(line) < 500000) before.push_back(line);
  ASSERT_GT(before.size(), 10u);

  // Fifty times the module's rate: more than any build decodes, so the driver never runs dry.
  // A machine loaded enough to hold the simulator back past its pacing can cost it bytes of
  // the stream before the flood; a fault in the program fails every try.
  const std::string capture = dir.Write("capture.bin", samples);
  ToolResult run;
  std::vector<std::string> lines;
  for (int attempt = 0; attempt < 3; ++attempt) {
    KivoSimulator sim({"--time-limit", "30", "--garbage-after", "0.6", "--garbage-rate", "50", capture});
    ASSERT_FALSE(sim.Path().empty());
    run = LiveDecode(sim, 2.5);
    lines = SplitLines(run.out);
    if (run.status == 0 && IsPrefix(before, lines)) break;
  }
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(IsPrefix(before, lines));

  ExpectANewRunDecodes(dir);
}

// The tick stops after the driver's queue's worth of bytes: a line that delivers faster than
// the decoders take it must not hold the program in one tick for ever.
TEST(ModuleFault, TickEndsWhenTheLineDeliversFasterThanTheDecoders) {
  FakeClock clock;
  FakePortBackend port(clock);
  Settings settings;
  settings.port = 3;
  port.present[2] = true;
  port.modules[3] = FakeModule{};
  RecordingUi ui;
  Pipeline pipeline(settings, ui);
  Hardware hardware(port, clock, settings, ui);
  LiveRun run(pipeline, hardware);
  run.acRunFromAcqExecute();
  ASSERT_TRUE(pipeline.Running());

  // Far more than one tick may take: the rest waits in the driver for the next ticks.
  const std::size_t queued = 3 * kLiveTickBytes + 100;
  port.Deliver(std::vector<std::uint8_t>(queued, 0xA5));
  run.tmrAcqTimer();
  EXPECT_EQ(pipeline.sampleIndex, 4 * kLiveTickBytes);
  for (int tick = 0; tick < 3; ++tick) run.tmrAcqTimer();
  EXPECT_EQ(pipeline.sampleIndex, 4 * queued);
  run.acStopExecute();
  EXPECT_FALSE(hardware.Connected());
}
