#pragma once
// LIN decoder and its frame description loader.

#include <string>

#include "pipeline/DecoderServices.h"

namespace velkor {

struct LinChannelState {};

// Loads the channel's description at run start; nonzero when the file was refused
// (the user has then been told why).
[[nodiscard]] int LoadLinDescription(DecoderServices& services, LinChannelState& state,
                                     const std::string& path, int channel);

int DecodeLin(DecoderServices& services, LinChannelState& state, int channel, char level,
               SampleIndex index);

}  // namespace velkor
