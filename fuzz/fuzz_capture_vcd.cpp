// Any text as a value change dump: read onto the grid whole and in pieces.

#include "CaptureFuzz.h"

using namespace velkor::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckCapture(WriteScratchFile("input.vcd", {reinterpret_cast<const char*>(data), size}));
  return 0;
}
