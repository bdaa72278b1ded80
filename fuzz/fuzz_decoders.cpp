// Capture bytes through the four framed decoders with fixed valid descriptions. The first
// byte picks the order of the types over the channels and the descriptions' timing. The
// replay of a capture file (the program's road) must give the same lines as the same
// samples dispatched one at a time, and every line must keep the layout.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "FuzzSupport.h"
#include "pipeline/DecMain.h"
#include "pipeline/UserInterface.h"

using namespace velkor;
using namespace velkor::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned order = data[0] % 24;
  const Timing timing = (data[0] / 24) % 2 == 0 ? Timing::Demo : Timing::Fast;
  const std::string_view capture(reinterpret_cast<const char*>(data + 1), size - 1);

  Settings settings;
  ArrangeFramedChannels(settings, order, timing);
  SilentUserInterface ui;

  auto replay = std::make_unique<Pipeline>(settings, ui);
  if (!replay->ReplayCaptureFile(WriteScratchFile("capture.bin", capture))) Fail("the capture could not be replayed");
  if (replay->RunSetupFailed()) Fail("a fixed description was refused");
  const std::vector<std::string> lines = CheckedLines(replay->Lines());

  auto single = std::make_unique<Pipeline>(settings, ui);
  single->ResetRun();
  for (std::size_t i = 0; i < capture.size(); ++i)
    single->DispatchSample(static_cast<Sample>(capture[i] & 0x0F), static_cast<SampleIndex>(i));
  if (CheckedLines(single->Lines()) != lines) Fail("the replay and the sample-by-sample dispatch differ");
  return 0;
}
