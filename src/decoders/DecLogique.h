#pragma once
// Logical decoder: a plain logic line; reports every change of level as "New Value=<level>"
// when the channel's message generation is on, and feeds the Graphic view's trace.

#include <cstdint>

#include "pipeline/DecoderServices.h"
#include "pipeline/LaneRun.h"

namespace velkor {

struct LogicalChannelState {
  std::int32_t lastLevel = -1;  // code of the last level character; -1 before the first sample
  bool generation = false;
};

// Run start of an active Logical channel: forget the level, take the generation option and
// register the field name "New Value".
void ResetLogical(DecoderServices& services, LogicalChannelState& state, int channel,
                  bool generation);

int DecodeLogical(DecoderServices& services, LogicalChannelState& state, int channel, char level,
                  SampleIndex index);

// The run-skipping path: while the level stays the one last seen nothing happens but the
// marks. SkipLogical takes `count` such samples in one step.
std::uint64_t LogicalSteadySamples(const DecoderServices& services, const LogicalChannelState& state,
                                   int channel, char level);
void SkipLogical(DecoderServices& services, LogicalChannelState& state, int channel, char level,
                 std::uint64_t count);

// The channel's lane of the run-skipping dispatch (see RunLane).
bool RunLogicalLane(DecoderServices& services, LogicalChannelState& state, int channel, Lane& lane,
                    LaneSpan& span);

}  // namespace velkor
