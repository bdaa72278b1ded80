#pragma once
// Serial decoder and its frame description loader.

#include <string>

#include "pipeline/DecoderServices.h"

namespace velkor {

struct SerialChannelState {};

// Loads the channel's description at run start; nonzero when the file was refused
// (the user has then been told why).
[[nodiscard]] int LoadSerialDescription(DecoderServices& services, SerialChannelState& state,
                                     const std::string& path, int channel);

int DecodeSerial(DecoderServices& services, SerialChannelState& state, int channel, char level,
               SampleIndex index);

}  // namespace velkor
