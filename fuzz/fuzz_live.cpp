// The module's live bytes (four samples each) with fixed descriptions on the four channels.
// The first byte picks the order of the types, the timing and how the stream is cut into
// reads. The per-sample path in one go, the stream cut anywhere on either path, and a replay
// of the unpacked samples must give the same lines and the same calls of the views.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"

using namespace velkor;
using namespace velkor::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned order = data[0] % 24;
  const Timing timing = (data[0] / 24) % 2 == 0 ? Timing::Demo : Timing::Fast;
  const std::string_view live(reinterpret_cast<const char*>(data + 1), size - 1);
  Settings settings;
  ArrangeFramedChannels(settings, order, timing);
  settings.scrolling = ColumnResolution::Ms10;

  const DecodeOutcome whole = Decode(settings, live, Feed::LivePerSample, data[0]);
  if (!(Decode(settings, live, Feed::LivePieces, data[0]) == whole)) Fail("the lines depend on how the stream is cut");

  std::string samples;
  samples.reserve(4 * live.size());
  for (const char byte : live)
    for (Sample s : UnpackLiveByte(static_cast<std::uint8_t>(byte))) samples += static_cast<char>(s);
  if (!(Decode(settings, samples, Feed::Replay, data[0]) == whole)) Fail("the live run and the replay of its samples differ");
  return 0;
}
