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

int AdvanceLogical(DecoderServices& services, LogicalChannelState& state, int channel, char runLevel,
                   std::uint64_t runCount, char level, SampleIndex index, std::uint64_t& steady) {
  if (runCount > 0) SkipLogical(services, state, channel, runLevel, runCount);
  const int result = DecodeLogical(services, state, channel, level, index);
  steady = LogicalSteadySamples(services, state, channel, level);
  return result;
}

}  // namespace velkor
