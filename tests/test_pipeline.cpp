// The dispatch, the run setup, the replay and the live byte format.

#include <gtest/gtest.h>

#include "TestRig.h"
#include "Waveform.h"
#include "pipeline/Types.h"

using namespace velkor;
using namespace velkor::test;

TEST(SampleTime, DatesFollowTruncatedProduct) {
  EXPECT_EQ(SampleTimeMicros(0), 0u);
  EXPECT_EQ(SampleTimeMicros(1), 2u);
  EXPECT_EQ(SampleTimeMicros(4), 9u);
  EXPECT_EQ(SampleTimeMicros(5), 11u);
  EXPECT_EQ(SampleTimeMicros(13916), 33398u);
  // Past 32 bits nothing wraps: (12n - 1) div 5 for n = 2^32.
  EXPECT_EQ(SampleTimeMicros(4294967296ull), (12ull * 4294967296ull - 1) / 5);
}

TEST(SampleTime, BitPositionsRoundHalfUp) {
  // 9600 baud: P = 104 us.
  const int expected[] = {22, 65, 108, 152, 195, 238, 282, 325, 368, 412, 455};
  for (int k = 0; k < 11; ++k) EXPECT_EQ(BitSamplePosition(104, k), expected[k]) << k;
  EXPECT_EQ(QuietSamples(13000), 5416);
  EXPECT_EQ(QuietSamples(1000), 416);
}

TEST(LiveBytes, UnpackTable) {
  using S = std::array<Sample, 4>;
  EXPECT_EQ(UnpackLiveByte(0xA5), (S{0x9, 0x9, 0xA, 0xA}));
  EXPECT_EQ(UnpackLiveByte(0x5A), (S{0x6, 0x6, 0x5, 0x5}));
  EXPECT_EQ(UnpackLiveByte(0x01), (S{0x1, 0x0, 0x0, 0x0}));
  EXPECT_EQ(UnpackLiveByte(0x04), (S{0x0, 0x1, 0x0, 0x0}));
}

TEST(LiveBytes, WaveformPackingRoundTrips) {
  Capture c;
  c.channel[0].Idle(10).Hold(0, 24).Idle(30);
  c.channel[1].Hold(0, 48).Idle(48);
  c.channel[2].Idle(9.6 * 3).Hold(0, 9.6 * 2);
  c.channel[3].Hold(0, 9.6);
  auto live = c.LiveBytes();
  auto file = c.FileBytes((live.size() * 4) - c.SampleCount());
  EXPECT_EQ(LiveBytesToFileBytes(live), file);
}

namespace {

void SetLogical(Settings& s, int channel, bool generation = true) {
  s.channels[channel].type = ChannelType::Logical;
  s.channels[channel].active = true;
  s.channels[channel].generation = generation;
}

}  // namespace

TEST(Replay, EmptyCaptureClearsAndDispatchesNothing) {
  TestRig rig;
  SetLogical(rig.settings, 0);
  rig.pipeline.Services().lines.Append("0,1,old,");
  rig.pipeline.sampleIndex = 77;
  auto lines = rig.Replay({});
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(rig.pipeline.sampleIndex, 0u);
  EXPECT_EQ(rig.ui.progress, (std::vector<std::string>{"show:Reload...", "hide"}));
  EXPECT_EQ(rig.ui.graphicClears, 1);
  EXPECT_FALSE(rig.pipeline.Running());
  EXPECT_TRUE(rig.ui.resolutionEnabled);
}

TEST(Replay, BlocksAndProgress) {
  {
    TestRig rig;
    rig.Replay(std::vector<std::uint8_t>(2048, 0));
    EXPECT_EQ(rig.ui.progress, (std::vector<std::string>{"show:Reload...", "50%", "100%", "hide"}));
    EXPECT_EQ(rig.pipeline.sampleIndex, 2048u);
  }
  {
    TestRig rig;
    rig.Replay(std::vector<std::uint8_t>(1500, 0));
    EXPECT_EQ(rig.ui.progress, (std::vector<std::string>{"show:Reload...", "68%", "hide"}));
    EXPECT_EQ(rig.pipeline.sampleIndex, 1500u);
  }
  // Files of several reads, sizes that divide unevenly: each block shows its percentage, on
  // both paths.
  for (const std::size_t size : {kReplayReadSize * 2 + 3 * 1024 + 517, std::size_t{137 * 1024 + 99}}) {
    for (const DispatchPath path : {DispatchPath::PerSample, DispatchPath::RunSkipping}) {
      TestRig rig;
      rig.pipeline.SetDispatchPath(path);
      rig.Replay(std::vector<std::uint8_t>(size, 0));
      std::vector<std::string> expected{"show:Reload..."};
      for (std::size_t at = 1024; at <= size; at += 1024) expected.push_back(std::to_string(100 * at / size) + "%");
      expected.push_back("hide");
      EXPECT_EQ(rig.ui.progress, expected) << size;
    }
  }
}

TEST(Replay, StopRequestEndsAfterCurrentBlock) {
  TestRig rig;
  rig.ui.stopAfterBlocks = 1;
  rig.Replay(std::vector<std::uint8_t>(5000, 0));
  EXPECT_EQ(rig.pipeline.sampleIndex, 2048u);
}

TEST(Replay, MissingFileResetsNothing) {
  TestRig rig;
  rig.pipeline.Services().lines.Append("0,1,old,");
  EXPECT_FALSE(rig.pipeline.ReplayCaptureFile(rig.dir.File("absent.bin")));
  EXPECT_EQ(rig.pipeline.Lines().size(), 1u);
  EXPECT_TRUE(rig.ui.progress.empty());
}

TEST(Replay, UpperBitsIgnoredAndDatesExact) {
  TestRig rig;
  SetLogical(rig.settings, 0);
  SetLogical(rig.settings, 1);
  std::vector<std::uint8_t> bytes(14000, 0xF0);
  bytes[5] = 0xF1;  // channel 1 high for one sample
  for (std::size_t n = 13916; n < bytes.size(); ++n) bytes[n] |= 0x02;
  auto lines = rig.Replay(bytes);
  EXPECT_EQ(lines, (std::vector<std::string>{"0,0,New Value=0,", "1,0,New Value=0,", "0,11,New Value=1,",
                                             "0,14,New Value=0,", "1,33398,New Value=1,"}));
}

TEST(Dispatch, TwoLinesOnOneSampleRefreshOnce) {
  TestRig rig;
  SetLogical(rig.settings, 0);
  SetLogical(rig.settings, 2);
  auto lines = rig.Dispatch({0x0, 0x0, 0x5});
  EXPECT_EQ(lines, (std::vector<std::string>{"0,0,New Value=0,", "2,0,New Value=0,", "0,4,New Value=1,",
                                             "2,4,New Value=1,"}));
  EXPECT_EQ(rig.ui.refreshes, (std::vector<std::size_t>{2, 4}));
}

TEST(Dispatch, UnselectedTypeReachesNoDecoder) {
  TestRig rig;
  rig.settings.channels[0].type = ChannelType::None;
  rig.settings.channels[0].active = true;
  rig.Dispatch(std::vector<std::uint8_t>(100, 0x1));
  EXPECT_EQ(rig.pipeline.Services().table[0].type, ChannelType::None);
  EXPECT_EQ((rig.pipeline.Services().columnTraceMask | rig.pipeline.Services().columnEventMask) & 1u, 0u);
  EXPECT_TRUE(rig.Lines().empty());
}

TEST(Dispatch, InactiveChannelKeepsItsEarlierType) {
  TestRig rig;
  SetLogical(rig.settings, 1);
  rig.Dispatch({0});
  rig.settings.channels[1].active = false;
  rig.settings.channels[1].type = ChannelType::Serial;
  rig.pipeline.ResetRun();
  EXPECT_EQ(rig.pipeline.Services().table[1].type, ChannelType::Logical);
  EXPECT_FALSE(rig.pipeline.Services().table[1].active);
}

TEST(Dispatch, ColumnEvery8334SamplesAt20ms) {
  TestRig rig;
  SetLogical(rig.settings, 0, false);
  for (int c = 1; c < 4; ++c) {  // no decoder on the other channels
    rig.settings.channels[c].type = ChannelType::None;
    rig.settings.channels[c].active = true;
  }
  rig.settings.scrolling = ColumnResolution::Ms20;
  std::vector<std::uint8_t> samples(8334 * 2 + 10, 0);
  samples[8334] = 1;  // first sample of the second column
  rig.Dispatch(samples);
  ASSERT_EQ(rig.ui.columns.size(), 2u);
  EXPECT_EQ(rig.ui.columns[0], (std::pair<std::uint32_t, std::uint32_t>{1, 0}));
  EXPECT_EQ(rig.ui.columns[1], (std::pair<std::uint32_t, std::uint32_t>{1, 1}));
  EXPECT_EQ(rig.pipeline.columnClock, 10u * 24);
}

TEST(Dispatch, ColumnPeriods) {
  const std::pair<ColumnResolution, std::size_t> cases[] = {
      {ColumnResolution::Ms10, 4167}, {ColumnResolution::Ms50, 20834}, {ColumnResolution::Ms100, 41667}};
  for (auto [resolution, samples] : cases) {
    TestRig rig;
    rig.settings.scrolling = resolution;
    rig.Dispatch(std::vector<std::uint8_t>(samples - 1, 0));
    EXPECT_TRUE(rig.ui.columns.empty());
    rig.pipeline.DispatchSample(0, samples);
    EXPECT_EQ(rig.ui.columns.size(), 1u);
  }
}

TEST(Dispatch, SampleIndexPasses32Bits) {
  TestRig rig;
  SetLogical(rig.settings, 0);
  rig.pipeline.ResetRun();
  rig.pipeline.sampleIndex = 4294967295ull;
  const std::uint8_t bytes[] = {0x00, 0xFF};
  rig.pipeline.DispatchLiveBytes(bytes, 2);
  EXPECT_EQ(rig.pipeline.sampleIndex, 4294967295ull + 8);
  auto lines = rig.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "0," + std::to_string(SampleTimeMicros(4294967295ull + 4)) + ",New Value=1,");
}

TEST(RunCommands, SecondRunWhileRunningIsRefused) {
  TestRig rig;
  rig.pipeline.SetRunning(true);
  rig.pipeline.RunFromFile(rig.dir.Write("c.bin", std::vector<std::uint8_t>(10, 1)));
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text, "Program is still running !");
  EXPECT_EQ(rig.ui.messages[0].caption, "Error");
  EXPECT_TRUE(rig.ui.progress.empty());
}

TEST(RunSetup, ClearOnRunFollowsTheOption) {
  TestRig rig;
  rig.pipeline.Services().lines.Append("0,1,old,");
  rig.settings.hexaClear = false;
  rig.pipeline.ResetRun();
  EXPECT_EQ(rig.pipeline.Lines().size(), 1u);
  rig.settings.hexaClear = true;
  rig.pipeline.ResetRun();
  EXPECT_EQ(rig.pipeline.Lines().size(), 0u);
}
