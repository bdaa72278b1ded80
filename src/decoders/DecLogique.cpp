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

namespace {

// While the level stays the one last seen nothing happens but the marks.
inline std::uint64_t Steady(const DecoderServices& services, const LogicalChannelState& state, int channel,
                            char level) {
  if (!services.IsActive(channel)) return kUnboundedRun;
  return level == state.lastLevel ? kUnboundedRun : 0;
}

inline void Skip(DecoderServices& services, int channel, char level) {
  if (!services.IsActive(channel)) return;
  if (level == '1')
    services.MarkEvent(channel);
  else
    services.MarkTrace(channel);
}

}  // namespace

std::uint64_t LogicalSteadySamples(const DecoderServices& services, const LogicalChannelState& state,
                                   int channel, char level) {
  return Steady(services, state, channel, level);
}

void SkipLogical(DecoderServices& services, LogicalChannelState& /*state*/, int channel, char level,
                 std::uint64_t /*count*/) {
  Skip(services, channel, level);
}

bool RunLogicalLane(DecoderServices& services, LogicalChannelState& state, int channel, Lane& lane,
                    LaneSpan& span) {
  return RunLane(lane, span,
                 LaneDecoder{[&](char level, std::uint64_t /*count*/) { Skip(services, channel, level); },
                             [&](char level, SampleIndex index) {
                               return DecodeLogical(services, state, channel, level, index);
                             },
                             [&](char level) { return Steady(services, state, channel, level); }});
}

}  // namespace velkor
