#pragma once
// The message a description loader shows when it refuses its file. For a file that exists
// the user may open it in the frame description editor, with the reason in its error line.

#include <string>
#include <string_view>

#include "pipeline/DecoderServices.h"

namespace velkor {

// Serial, CAN and LIN loaders: the text names the channel (0..3). Always returns 1.
int FileErrorPrompt(DecoderServices& services, int channel, const std::string& path,
                    std::string_view reason);

// Manchester loader: the same without the channel. Always returns 1.
int ManchesterFileErrorPrompt(DecoderServices& services, const std::string& path,
                              std::string_view reason);

}  // namespace velkor
