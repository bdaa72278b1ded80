// The Logical decoder.

#include <gtest/gtest.h>

#include "TestRig.h"
#include "Waveform.h"

using namespace velkor;
using namespace velkor::test;

namespace {
struct LogicalRig : TestRig {
  explicit LogicalRig(bool generation = true) {
    NoDecoderOnAnyChannel();
    settings.channels[0].type = ChannelType::Logical;
    settings.channels[0].active = true;
    settings.channels[0].generation = generation;
  }
};
}  // namespace

TEST(DecodeLogical, OneLineAtStartThenOnePerChange) {
  LogicalRig rig;
  EXPECT_EQ(rig.Dispatch(std::vector<std::uint8_t>(50, 0)), (std::vector<std::string>{"0,0,New Value=0,"}));
  LogicalRig changes;
  EXPECT_EQ(changes.Dispatch({0, 0, 0, 0, 1, 0}),
            (std::vector<std::string>{"0,0,New Value=0,", "0,9,New Value=1,", "0,11,New Value=0,"}));
  EXPECT_EQ(changes.pipeline.Services().fieldNames.Names(0), (std::vector<std::string>{"New Value"}));
}

TEST(DecodeLogical, GenerationOffStillMarksTheTrace) {
  LogicalRig rig(false);
  rig.Dispatch({0, 1, 0});
  EXPECT_TRUE(rig.Lines().empty());
  EXPECT_EQ(rig.pipeline.Services().columnTraceMask, 1u);
  EXPECT_EQ(rig.pipeline.Services().columnEventMask, 1u);
}

TEST(DecodeLogical, MaskFollowsTheSampleLevel) {
  LogicalRig rig;
  rig.Dispatch({1});
  EXPECT_EQ(rig.pipeline.Services().columnTraceMask, 0u);
  EXPECT_EQ(rig.pipeline.Services().columnEventMask, 1u);
}

TEST(DecodeLogical, InactiveChannelDoesNothing) {
  LogicalRig rig;
  rig.Dispatch({0});
  rig.settings.channels[0].active = false;
  rig.Dispatch({1, 0, 1});
  EXPECT_TRUE(rig.Lines().empty());  // cleared on run, and nothing new
  EXPECT_EQ(rig.pipeline.Services().columnTraceMask | rig.pipeline.Services().columnEventMask, 0u);
  EXPECT_EQ(rig.pipeline.logical[0].lastLevel, '0');  // not reset, not used
}

TEST(DecodeLogical, OutputDoesNotDependOnHowInputIsCut) {
  // The same samples as one replay and as live bytes cut in odd slices give the same lines.
  std::vector<std::uint8_t> live;
  for (int i = 0; i < 3000; ++i) live.push_back(static_cast<std::uint8_t>((i * 37) ^ (i >> 3)));
  LogicalRig whole;
  for (auto& ch : whole.settings.channels) ch = whole.settings.channels[0];
  auto expected = whole.Replay(LiveBytesToFileBytes(live));
  for (std::size_t slice : {1u, 7u, 1024u}) {
    LogicalRig rig;
    for (auto& ch : rig.settings.channels) ch = rig.settings.channels[0];
    EXPECT_EQ(rig.DispatchLive(live, slice), expected) << slice;
  }
}
