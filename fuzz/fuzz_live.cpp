// The module's live bytes (four samples each) with fixed descriptions on the four channels.
// The first byte picks the order of the types, the timing and how the stream is cut into
// reads. Lines must not depend on the cut, and must be those of a replay of the unpacked
// samples.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "FuzzSupport.h"
#include "pipeline/DecMain.h"
#include "pipeline/UserInterface.h"

using namespace velkor;
using namespace velkor::fuzz;

namespace {

std::vector<std::string> DispatchLive(const Settings& settings, const std::uint8_t* bytes, std::size_t count,
                                      unsigned cutSeed) {
  Settings copy = settings;
  SilentUserInterface ui;
  auto pipeline = std::make_unique<Pipeline>(copy, ui);
  pipeline->sampleIndex = 0;
  pipeline->ResetRun();
  // Reads of 1 to 1024 bytes, as a loaded driver hands them over.
  std::uint32_t state = cutSeed * 2654435761u + 1;
  std::size_t done = 0;
  while (done < count) {
    state = state * 1664525u + 1013904223u;
    std::size_t piece = cutSeed == 0 ? count : 1 + (state >> 8) % (state % 3 == 0 ? 1024 : 16);
    if (piece > count - done) piece = count - done;
    pipeline->DispatchLiveBytes(bytes + done, piece);
    done += piece;
  }
  return CheckedLines(pipeline->Lines());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned order = data[0] % 24;
  const Timing timing = (data[0] / 24) % 2 == 0 ? Timing::Demo : Timing::Fast;
  const unsigned cutSeed = 1u + data[0] / 48;
  const std::uint8_t* live = data + 1;
  const std::size_t count = size - 1;

  Settings settings;
  ArrangeFramedChannels(settings, order, timing);
  const std::vector<std::string> whole = DispatchLive(settings, live, count, 0);
  if (DispatchLive(settings, live, count, cutSeed) != whole) Fail("the lines depend on how the stream is cut");

  std::string samples;
  samples.reserve(4 * count);
  for (std::size_t i = 0; i < count; ++i)
    for (Sample s : UnpackLiveByte(live[i])) samples += static_cast<char>(s);
  SilentUserInterface ui;
  auto replay = std::make_unique<Pipeline>(settings, ui);
  if (!replay->ReplayCaptureFile(WriteScratchFile("unpacked.bin", samples))) Fail("the samples could not be replayed");
  if (CheckedLines(replay->Lines()) != whole) Fail("the live run and the replay of its samples differ");
  return 0;
}
