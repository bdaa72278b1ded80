// Capture bytes through the four framed decoders with fixed valid descriptions. The first
// byte picks the order of the types over the channels, the descriptions' timing and the
// cuts. A replay (the program's road), the per-sample path and the run-skipping path cut in
// pieces must give the same lines and the same calls of the views, and every line must keep
// the layout.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"

using namespace velkor;
using namespace velkor::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned order = data[0] % 24;
  const Timing timing = (data[0] / 24) % 2 == 0 ? Timing::Demo : Timing::Fast;
  Settings settings;
  ArrangeFramedChannels(settings, order, timing);
  settings.scrolling = ColumnResolution::Ms10;  // the shortest column, so short inputs draw some
  (void)DecodeEveryWay(settings, std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), data[0]);
  return 0;
}
