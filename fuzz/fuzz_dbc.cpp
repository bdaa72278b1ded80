// Any bytes as a DBC bus database, then the signal fields of every message it defines.

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return velkor::fuzz::FuzzBusDatabase(false, data, size);
}
