#pragma once
// The bundled demo: one function per channel says how that channel is set up and what it
// carries. Each decoder's demo channel lives in its own file.

#include <string>
#include <utility>
#include <vector>

#include "Waveform.h"
#include "app/Settings.h"

namespace velkor::demo {

inline constexpr double kDemoMicros = 600000;  // 0.6 s of signal, 250000 samples

struct DemoChannel {
  ChannelSettings settings;
  // Frame description files to write beside the capture: file name and content.
  std::vector<std::pair<std::string, std::string>> files;
  test::SignalBuilder signal;
};

DemoChannel DemoChannel1();
DemoChannel DemoChannel2();
DemoChannel DemoChannel3();
DemoChannel DemoChannel4();

// A plain Logical channel toggling with the given high and low times (microseconds).
DemoChannel LogicalDemo(int channel, double highMicros, double lowMicros);

}  // namespace velkor::demo
