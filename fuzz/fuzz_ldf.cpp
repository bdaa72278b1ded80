// Any bytes as an LDF bus database, then the signal fields of every frame it defines.

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return velkor::fuzz::FuzzBusDatabase(true, data, size);
}
