#pragma once
// CAN decoder and its frame description loader.

#include <string>

#include "pipeline/DecoderServices.h"

namespace velkor {

struct CanChannelState {};

// Loads the channel's description at run start; nonzero when the file was refused
// (the user has then been told why).
[[nodiscard]] int LoadCanDescription(DecoderServices& services, CanChannelState& state,
                                     const std::string& path, int channel);

int DecodeCan(DecoderServices& services, CanChannelState& state, int channel, char level,
               SampleIndex index);

}  // namespace velkor
