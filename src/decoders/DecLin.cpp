#include "decoders/DecLin.h"

namespace velkor {

int LoadLinDescription(DecoderServices& services, LinChannelState&, const std::string&,
                        int channel) {
  services.fieldNames.Clear(channel);
  return 0;
}

int DecodeLin(DecoderServices& services, LinChannelState&, int channel, char, SampleIndex) {
  services.MarkTrace(channel);
  return 0;
}

}  // namespace velkor
