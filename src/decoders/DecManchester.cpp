#include "decoders/DecManchester.h"

namespace velkor {

int LoadManchesterDescription(DecoderServices&, const std::string&, ManchesterDescriptionSlot&,
                              int) {
  return 0;
}

int ResetManchesterChannel(DecoderServices& services, ManchesterChannelState& state,
                           const ChannelSettings&, int channel) {
  services.fieldNames.Clear(channel);
  state.descriptionCount = 0;
  return 0;
}

int DecodeManchester(DecoderServices& services, ManchesterChannelState&, int channel, char,
                     SampleIndex) {
  services.MarkTrace(channel);
  return 0;
}

}  // namespace velkor
