#include "decoders/DecLogique.h"

namespace velkor {

void ResetLogical(DecoderServices& services, LogicalChannelState& state, int channel,
                  bool generation) {
  state.lastLevel = -1;
  state.generation = generation;
  services.fieldNames.Clear(channel);
  services.fieldNames.Add(channel, "New Value");
}

int DecodeLogical(DecoderServices& services, LogicalChannelState& state, int channel, char level,
                  SampleIndex index) {
  if (!services.IsActive(channel)) return 0;
  int result = 0;
  if (level != state.lastLevel) {
    if (state.generation) {
      std::string& line = services.NewLine(channel, index);
      line += "New Value=";
      line += level;
      line += ',';
      services.AppendDecodedLine(line);
      result = 1;
    }
    state.lastLevel = level;
  }
  if (level == '1')
    services.MarkEvent(channel);
  else
    services.MarkTrace(channel);
  return result;
}

std::uint64_t LogicalSteadySamples(const DecoderServices& services, const LogicalChannelState& state,
                                   int channel, char level) {
  if (!services.IsActive(channel)) return kUnboundedRun;
  return level == state.lastLevel ? kUnboundedRun : 0;
}

void SkipLogical(DecoderServices& services, LogicalChannelState& /*state*/, int channel, char level,
                 std::uint64_t /*count*/) {
  if (!services.IsActive(channel)) return;
  if (level == '1')
    services.MarkEvent(channel);
  else
    services.MarkTrace(channel);
}

bool RunLogicalLane(DecoderServices& services, LogicalChannelState& state, int channel, Lane& lane, const LaneSpan& span) {
  return RunLane(
      lane, span,
      [&](char level, std::uint64_t count) { SkipLogical(services, state, channel, level, count); },
      [&](char level, SampleIndex index) { return DecodeLogical(services, state, channel, level, index); },
      [&](char level) { return LogicalSteadySamples(services, state, channel, level); });
}

}  // namespace velkor
