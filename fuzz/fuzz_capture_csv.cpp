// Any text as a CSV export: read onto the grid whole and in pieces.

#include "CaptureFuzz.h"

using namespace velkor::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckCapture(WriteScratchFile("input.csv", {reinterpret_cast<const char*>(data), size}));
  return 0;
}
