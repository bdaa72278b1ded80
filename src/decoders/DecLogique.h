#pragma once
// Logical decoder: a plain logic line; reports every change of level as "New Value=<level>"
// when the channel's message generation is on, and feeds the Graphic view's trace.

#include <cstdint>

#include "pipeline/DecoderServices.h"

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

// One event of the run-skipping path: `runCount` samples at `runLevel` in one step (at most
// the steady count), then sample `index` at `level` through DecodeLogical. Returns what that
// returned; `steady` is then the steady count at `level`.
int AdvanceLogical(DecoderServices& services, LogicalChannelState& state, int channel, char runLevel,
                   std::uint64_t runCount, char level, SampleIndex index, std::uint64_t& steady);

}  // namespace velkor
