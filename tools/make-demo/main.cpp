// velkor-make-demo OUTDIR: writes the demo capture demo.bin, its configuration demo.cfg and
// the frame descriptions it names into OUTDIR.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "Demo.h"
#include "app/IniFile.h"

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
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return static_cast<bool>(out);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "Usage: velkor-make-demo OUTDIR\n";
    return 2;
  }
  const std::string dir = argv[1];
  demo::DemoChannel channels[4] = {demo::DemoChannel1(), demo::DemoChannel2(), demo::DemoChannel3(),
                                   demo::DemoChannel4()};
  test::Capture capture;
  IniDocument cfg;
  for (int i = 0; i < 4; ++i) {
    // Description paths are written relative to where the demo is run from: OUTDIR/name.
    auto& ch = channels[i].settings;
    for (std::string* path : {&ch.serialFile, &ch.canFile, &ch.linFile})
      if (!path->empty()) *path = dir + "/" + *path;
    for (auto& entry : ch.manchesterFiles) entry.path = dir + "/" + entry.path;
    const std::string section = "CHANNEL" + std::to_string(i + 1);
    cfg.WriteInteger(section, "Type", static_cast<int>(ch.type));
    cfg.WriteString(section, "Caption", ch.caption);
    cfg.WriteBool(section, "Activation", ch.active);
    cfg.WriteBool(section, "LOGICAL_Generation", ch.generation);
    for (int k = 0; k < kMaxManchesterFiles; ++k) {
      std::string v;
      if (k < static_cast<int>(ch.manchesterFiles.size()))
        v = std::string(ch.manchesterFiles[k].enabled ? "[X]" : "[ ]") + ch.manchesterFiles[k].path;
      cfg.WriteString(section, "MANCHESTER_fd" + std::to_string(k), v);
    }
    cfg.WriteString(section, "CAN_File", ch.canFile);
    cfg.WriteString(section, "SERIAL_File", ch.serialFile);
    cfg.WriteString(section, "LIN_File", ch.linFile);
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
  if (!WriteFile(dir + "/demo.cfg", cfg.Serialize())) return 1;
  std::cout << "wrote " << dir << "/demo.bin (" << full.size() << " samples) and demo.cfg\n";
  return 0;
}
