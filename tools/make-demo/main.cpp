// velkor-make-demo OUTDIR: writes the demo capture demo.bin, its configuration demo.cfg and
// the frame descriptions it names into OUTDIR.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "Demo.h"
#include "app/ConfigFile.h"
#include "app/FilePath.h"

using namespace velkor;

namespace velkor::demo {

DemoChannel LogicalDemo(int channel, double highMicros, double lowMicros) {
  DemoChannel d;
  d.settings.type = ChannelType::Logical;
  d.settings.caption = "Log" + std::to_string(channel + 1);
  d.settings.active = true;
  d.settings.generation = true;
  d.signal = test::SignalBuilder(0);
  d.signal.Idle(1000);
  while (d.signal.Now() < kDemoMicros - highMicros - lowMicros) d.signal.Hold(1, highMicros).Hold(0, lowMicros);
  return d;
}

}  // namespace velkor::demo

static bool WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(FilePath(path), std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(out);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "Usage: velkor-make-demo OUTDIR\n";
    return 2;
  }
  // The folder comes in the locale's UTF-8; the core takes paths as Windows-1252 texts.
  std::string dir;
  if (PathFromUtf8(argv[1], dir)) {
    std::cerr << "velkor-make-demo: the folder name " << argv[1]
              << " has a character that Windows-1252 cannot hold\n";
    return 2;
  }
  demo::DemoChannel channels[4] = {demo::DemoChannel1(), demo::DemoChannel2(), demo::DemoChannel3(),
                                   demo::DemoChannel4()};
  test::Capture capture;
  Settings settings;
  for (int i = 0; i < 4; ++i) {
    // The descriptions are named by their bare names: beside the configuration, they are
    // found from whatever folder the demo runs in.
    settings.channels[i] = channels[i].settings;
    for (const auto& [name, content] : channels[i].files)
      if (!WriteFile(dir + "/" + name, content)) return 1;
    capture.channel[i] = channels[i].signal;
  }
  // Channels that end early stay at their idle level up to the common end.
  const std::size_t samples = static_cast<std::size_t>(demo::kDemoMicros / test::kSampleMicros);
  const std::size_t have = capture.SampleCount();
  auto full = capture.FileBytes(samples > have ? samples - have : 0);
  full.resize(samples);
  if (!WriteFile(dir + "/demo.bin", std::string(full.begin(), full.end()))) return 1;
  // The demo opens on the chart above the lines.
  settings.graphic = WindowPlacement{0, 0, 115, 843, true};
  settings.hexa = WindowPlacement{0, 115, 440, 843, true};
  const std::string config = dir + "/demo.cfg";
  std::filesystem::remove(FilePath(config));  // a fresh file, not one merged with an older demo
  if (SaveConfigFile(config, settings)) return 1;
  std::cout << "wrote " << argv[1] << "/demo.bin (" << full.size() << " samples) and demo.cfg\n";
  return 0;
}
