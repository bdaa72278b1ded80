#include "decoders/DecCan.h"

namespace velkor {

int LoadCanDescription(DecoderServices& services, CanChannelState&, const std::string&,
                        int channel) {
  services.fieldNames.Clear(channel);
  return 0;
}

int DecodeCan(DecoderServices& services, CanChannelState&, int channel, char, SampleIndex) {
  services.MarkTrace(channel);
  return 0;
}

}  // namespace velkor
