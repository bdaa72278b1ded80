// The program's live run when the module goes away: kivo-sim on a pseudo-terminal closes its
// side, falls silent for seconds, or floods the line with garbage, while the window's timer
// reads it. The window keeps answering, the lines decoded before the fault stay, Stop ends
// the run, and a new run on a module that is back decodes everything.

#include <QAction>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GuiRig.h"
#include "KivoSimulator.h"
#include "TestRig.h"
#include "app/ConfigFile.h"
#include "app/Installation.h"

using namespace velkor;
using namespace velkor::test;

namespace {

const std::string kSourceDir = VELKOR_SOURCE_DIR;

// The demo's channels, with their descriptions found from any current folder.
void UseDemoChannels(Settings& settings) {
  Settings demo;
  ASSERT_FALSE(LoadConfigFile(kSourceDir + "/examples/demo.cfg", demo));
  AnchorDescriptionPaths(demo, kSourceDir + "/examples");
  settings.channels = demo.channels;
}

std::vector<std::uint8_t> DemoSamples(int copies) {
  const std::string demo = ReadWholeFile(kSourceDir + "/examples/demo.bin");
  std::vector<std::uint8_t> samples;
  for (int c = 0; c < copies; ++c) samples.insert(samples.end(), demo.begin(), demo.end());
  return SamplesAsStreamed(samples);
}

std::vector<std::string> Lines(GuiRig& rig) {
  std::vector<std::string> out;
  const DecodedLineList& list = rig.main->GetPipeline().Lines();
  for (std::size_t i = 0; i < list.size(); ++i) out.emplace_back(list.Line(i));
  return out;
}

bool IsPrefix(const std::vector<std::string>& prefix, const std::vector<std::string>& whole) {
  return prefix.size() <= whole.size() && std::equal(prefix.begin(), prefix.end(), whole.begin());
}

// Starts a run from the window's command; a loaded machine may keep kivo-sim from answering
// the version query in time, which fails a start but not every one of a few.
bool StartRun(GuiRig& rig) {
  for (int attempt = 0; attempt < 3 && !rig.main->Running(); ++attempt) {
    rig.dialogs.messages.clear();
    rig.main->acRunFromAcq->trigger();
  }
  return rig.main->Running();
}

enum class Kind { Unplugged, Silent, Garbage };

struct Fault {
  const char* name;
  Kind kind;
  std::vector<std::string> args;
  int copies;           // of the demo capture in the stream
  double faultSeconds;  // into the stream
  int runMillis;        // how long the run goes on at least
};

}  // namespace

TEST(ModuleFaultWindow, RunSurvivesTheModuleGoingAway) {
  const Fault faults[] = {
      {"unplugged", Kind::Unplugged, {"--close-after", "1"}, 4, 1.0, 2500},
      {"silent for seconds", Kind::Silent, {"--pause-after", "0.4", "--pause-for", "2.5"}, 2, 0.4, 4500},
      {"garbage flood", Kind::Garbage, {"--garbage-after", "0.6", "--garbage-rate", "50"}, 2, 0.6, 2500},
  };
  GuiRig rig({}, /*systemPorts=*/true);
  rig.Show();
  UseDemoChannels(rig.main->GetSettings());
  rig.main->GetSettings().port = 3;

  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    const std::vector<std::uint8_t> samples = DemoSamples(fault.copies);
    TestRig replay;
    UseDemoChannels(replay.settings);
    const std::vector<std::string> expected = replay.Replay(samples);
    // The lines dated well before the fault surely came in before it.
    std::vector<std::string> before;
    for (const std::string& line : expected)
      if (std::stod(line.substr(2, line.find(',', 2) - 2)) < (fault.faultSeconds - 0.1) * 1e6) before.push_back(line);
    ASSERT_GT(before.size(), 10u);

    std::vector<std::string> args{"--time-limit", "30"};
    args.insert(args.end(), fault.args.begin(), fault.args.end());
    args.push_back(rig.dir.Write("capture.bin", samples));
    KivoSimulator sim(args);
    ASSERT_FALSE(sim.Path().empty());
    PortOverride com3(sim.Path());
    ASSERT_TRUE(StartRun(rig));
    // The window's event loop keeps running all along: these waits go through it.
    GuiRig::Settle(fault.runMillis);
    if (fault.kind == Kind::Silent)
      GuiRig::WaitFor([&] { return rig.main->GetPipeline().Lines().size() >= expected.size(); }, 15000);
    const std::vector<std::string> lines = Lines(rig);
    EXPECT_TRUE(IsPrefix(before, lines));
    if (fault.kind == Kind::Unplugged) {
      // Nothing comes after the module went.
      EXPECT_TRUE(IsPrefix(lines, expected));
      EXPECT_LT(lines.size(), expected.size());
    }
    if (fault.kind == Kind::Silent) {
      EXPECT_EQ(lines, expected);  // nothing lost over the silence
    }

    rig.main->acStop->trigger();
    EXPECT_FALSE(rig.main->Running());
    EXPECT_FALSE(rig.main->GetHardware().Connected());
    EXPECT_EQ(Lines(rig), lines);  // a stop keeps the lines
  }

  // The module is back: a new run decodes it whole.
  const std::vector<std::uint8_t> samples = DemoSamples(1);
  TestRig replay;
  UseDemoChannels(replay.settings);
  const std::vector<std::string> expected = replay.Replay(samples);
  KivoSimulator sim({"--time-limit", "30", rig.dir.Write("again.bin", samples)});
  ASSERT_FALSE(sim.Path().empty());
  PortOverride com3(sim.Path());
  ASSERT_TRUE(StartRun(rig));
  GuiRig::WaitFor([&] { return rig.main->GetPipeline().Lines().size() >= expected.size(); }, 5000);
  GuiRig::Settle(200);
  rig.main->acStop->trigger();
  EXPECT_EQ(Lines(rig), expected);
}
