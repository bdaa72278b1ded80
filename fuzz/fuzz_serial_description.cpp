// Any bytes as a .sfd description, then a short decode of fuzzed capture bytes with it.

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return velkor::fuzz::FuzzDescriptionAndDecode(velkor::ChannelType::Serial, "sfd", data, size);
}
