#include "decoders/DecSerial.h"

namespace velkor {

int LoadSerialDescription(DecoderServices& services, SerialChannelState&, const std::string&,
                        int channel) {
  services.fieldNames.Clear(channel);
  return 0;
}

int DecodeSerial(DecoderServices& services, SerialChannelState&, int channel, char, SampleIndex) {
  services.MarkTrace(channel);
  return 0;
}

}  // namespace velkor
