// Live runs: the run start and its refusals, the acquisition tick, Stop, the probe refused
// while a run holds the port, and a whole run against kivo-sim on a pseudo-terminal.

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "FakeKivo.h"
#include "KivoSimulator.h"
#include "TestRig.h"
#include "Waveform.h"
#include "pipeline/LiveRun.h"

using namespace velkor;
using namespace velkor::test;

namespace {

// A message box is a nested event loop: a timer tick, a remote command or a click can run
// while it is open. `during` runs once, from inside the next box.
class NestingUi : public RecordingUi {
 public:
  MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                            MessageButtons buttons) override {
    const MessageAnswer answer = RecordingUi::ShowMessage(text, caption, buttons);
    if (during) {
      const std::function<void()> action = std::move(during);
      during = nullptr;
      action();
    }
    return answer;
  }
  std::function<void()> during;
};

struct LiveRig {
  LiveRig() : port(clock), pipeline(settings, ui), hardware(port, clock, settings, ui), run(pipeline, hardware) {
    SetAllLogical(settings);
    settings.port = 3;
    module = &port.modules[3];
    port.present[2] = true;
    port.logReads = true;
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < pipeline.Lines().size(); ++i) out.emplace_back(pipeline.Lines().Line(i));
    return out;
  }

  FakeClock clock;
  FakePortBackend port;
  Settings settings;
  NestingUi ui;
  Pipeline pipeline;
  Hardware hardware;
  LiveRun run;
  FakeModule* module;
};

}  // namespace

TEST(LiveRun, StreamsIntoThePipelineLikeAReplay) {
  const Capture capture = FourChannelCapture();
  const std::vector<std::uint8_t> live = capture.LiveBytes();
  ASSERT_GT(live.size(), 2 * kLiveBlockSize);

  LiveRig rig;
  rig.module->stream = live;
  rig.pipeline.sampleIndex = 77;
  rig.run.acRunFromAcqExecute();
  ASSERT_TRUE(rig.pipeline.Running());
  EXPECT_TRUE(rig.ui.messages.empty());
  EXPECT_TRUE(rig.run.TimerEnabled());
  EXPECT_EQ(rig.pipeline.sampleIndex, 0u);
  EXPECT_EQ(rig.port.baud, kStreamBaudRate);
  EXPECT_EQ(rig.ui.runStatus, "Running...");
  EXPECT_FALSE(rig.ui.resolutionEnabled);
  EXPECT_EQ(rig.ui.graphicClears, 1);

  rig.port.log.clear();
  rig.run.tmrAcqTimer();
  // Blocks of 1024 until a short read ends the tick.
  const std::size_t tail = live.size() % kLiveBlockSize;
  std::vector<std::string> reads(live.size() / kLiveBlockSize, "read 1024/1024");
  reads.push_back("read 1024/" + std::to_string(tail));
  EXPECT_EQ(rig.port.log, reads);
  EXPECT_EQ(rig.pipeline.sampleIndex, 4 * live.size());
  rig.run.tmrAcqTimer();  // nothing waiting: one empty read
  EXPECT_EQ(rig.pipeline.sampleIndex, 4 * live.size());

  rig.run.acStopExecute();
  EXPECT_FALSE(rig.pipeline.Running());
  EXPECT_FALSE(rig.run.TimerEnabled());
  EXPECT_FALSE(rig.hardware.Connected());
  EXPECT_EQ(rig.port.openPort, 0);
  EXPECT_EQ(rig.ui.runStatus, "");
  EXPECT_TRUE(rig.ui.resolutionEnabled);
  EXPECT_EQ(rig.pipeline.sampleIndex, 4 * live.size());  // a stop keeps the count

  TestRig replay;
  SetAllLogical(replay.settings);
  const auto expected = replay.Replay(LiveBytesToFileBytes(live));
  EXPECT_GE(expected.size(), 12u);
  EXPECT_EQ(rig.Lines(), expected);
}

TEST(LiveRun, StartRefusals) {
  struct Case {
    const char* name;
    int port;
    bool unopenable;
    bool refuseBaud;
    bool silent;
    const char* message;
  };
  const Case cases[] = {
      {"no port", 0, false, false, false, "You must choose a port COM"},
      {"cannot open", 3, true, false, false, "This COM port can not be opened"},
      {"silent module", 3, false, false, true, "No response from Kivo module"},
      {"baud refused", 3, false, true, false, "This COM port can not be changed to 1228800 bauds"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LiveRig rig;
    rig.settings.port = c.port;
    if (c.unopenable) rig.port.unopenable.insert(3);
    if (c.refuseBaud) rig.port.refusedBauds.insert(kStreamBaudRate);
    if (c.silent) rig.module->answer = ModuleAnswer::Silent;
    rig.module->stream = {0x01, 0x02};
    rig.run.acRunFromAcqExecute();
    ASSERT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_EQ(rig.ui.messages[0].text, c.message);
    EXPECT_FALSE(rig.pipeline.Running());
    EXPECT_FALSE(rig.run.TimerEnabled());
    EXPECT_FALSE(rig.hardware.Connected());
    EXPECT_EQ(rig.port.openPort, 0);
    EXPECT_EQ(rig.ui.runStatus, "");
    EXPECT_EQ(rig.ui.graphicClears, 0);
    rig.run.tmrAcqTimer();
    EXPECT_TRUE(rig.Lines().empty());
  }
}

TEST(LiveRun, RefusedBaudSwitchClosesBeforeTelling) {
  LiveRig rig;
  rig.port.refusedBauds.insert(kStreamBaudRate);
  rig.run.acRunFromAcqExecute();
  const auto& log = rig.port.log;
  auto start = std::find(log.begin(), log.end(), "write 04");
  ASSERT_NE(start, log.end());
  EXPECT_EQ(std::vector<std::string>(start, log.end()),
            (std::vector<std::string>{"write 04", "write 02", "baud 1228800", "dtr 0", "rts 0", "baud 115200", "close"}));
}

TEST(LiveRun, SecondStartWhileRunningChangesNothing) {
  LiveRig rig;
  rig.module->stream = FourChannelCapture().LiveBytes();
  rig.run.acRunFromAcqExecute();
  ASSERT_TRUE(rig.pipeline.Running());
  rig.run.tmrAcqTimer();
  const SampleIndex index = rig.pipeline.sampleIndex;
  const auto lines = rig.Lines();
  const int opens = rig.port.opens;

  rig.run.acRunFromAcqExecute();
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text, "Program is still running !");
  EXPECT_EQ(rig.ui.messages[0].caption, "Error");
  EXPECT_EQ(rig.port.opens, opens);
  EXPECT_EQ(rig.pipeline.sampleIndex, index);
  EXPECT_EQ(rig.Lines(), lines);
  EXPECT_TRUE(rig.pipeline.Running());
  EXPECT_EQ(rig.port.openPort, 3);
}

TEST(LiveRun, RefusedDescriptionAndWhatRunsInsideItsMessage) {
  enum class Nested { Nothing, Stop, SecondStart };
  struct Case {
    const char* name;
    Nested nested;
    bool running;
    const char* lastMessage;
  };
  const Case cases[] = {
      {"the run goes on", Nested::Nothing, true, nullptr},
      {"a stop ends the start", Nested::Stop, false, nullptr},
      {"a second start is refused", Nested::SecondStart, true, "Program is still running !"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LiveRig rig;
    rig.settings.channels[1].type = ChannelType::Serial;
    rig.settings.channels[1].serialFile = "/nonexistent/absent.sfd";
    rig.module->stream = FourChannelCapture().LiveBytes();
    if (c.nested == Nested::Stop) rig.ui.during = [&] { rig.run.acStopExecute(); };
    if (c.nested == Nested::SecondStart) rig.ui.during = [&] { rig.run.acRunFromAcqExecute(); };
    rig.run.acRunFromAcqExecute();

    ASSERT_GE(rig.ui.messages.size(), 1u);
    if (c.lastMessage != nullptr) {
      EXPECT_EQ(rig.ui.messages.back().text, c.lastMessage);
    }
    EXPECT_TRUE(rig.pipeline.RunSetupFailed());
    EXPECT_EQ(rig.port.opens, 1);
    EXPECT_EQ(rig.pipeline.Running(), c.running);
    EXPECT_EQ(rig.run.TimerEnabled(), c.running);
    EXPECT_EQ(rig.hardware.Connected(), c.running);
    EXPECT_EQ(rig.ui.runStatus, c.running ? "Running..." : "");
    EXPECT_EQ(rig.ui.resolutionEnabled, !c.running);
    rig.run.tmrAcqTimer();
    // Channel 1 was set up before the refusal and decodes; the others were not reached.
    const auto lines = rig.Lines();
    EXPECT_EQ(lines.empty(), !c.running);
    for (const auto& line : lines) EXPECT_EQ(line.substr(0, 2), "0,");
  }
}

TEST(LiveRun, SecondStartInsideTheModulesMessageIsRefused) {
  // The first start is still in Connect, its port open, when the box about the silent
  // module lets a second start run; that one must not take the port over, or the first
  // start's Disconnect would leave a run reading a closed port.
  LiveRig rig;
  rig.module->answer = ModuleAnswer::Silent;
  rig.ui.during = [&] {
    rig.module->answer = ModuleAnswer::Normal;
    rig.run.acRunFromAcqExecute();
  };
  rig.run.acRunFromAcqExecute();
  ASSERT_EQ(rig.ui.messages.size(), 2u);
  EXPECT_EQ(rig.ui.messages[0].text, "No response from Kivo module");
  EXPECT_EQ(rig.ui.messages[1].text, "Program is still running !");
  EXPECT_EQ(rig.port.opens, 1);
  EXPECT_FALSE(rig.pipeline.Running());
  EXPECT_FALSE(rig.run.TimerEnabled());
  EXPECT_FALSE(rig.hardware.Connected());
  EXPECT_EQ(rig.port.openPort, 0);
  EXPECT_EQ(rig.ui.runStatus, "");

  // The link is free again for the next start.
  rig.run.acRunFromAcqExecute();
  EXPECT_TRUE(rig.pipeline.Running());
  EXPECT_EQ(rig.port.openPort, 3);
}

TEST(LiveRun, StopWithNoRun) {
  LiveRig rig;
  rig.ui.runStatus = "stale";
  rig.ui.resolutionEnabled = false;
  rig.run.acStopExecute();
  EXPECT_FALSE(rig.pipeline.Running());
  EXPECT_FALSE(rig.run.TimerEnabled());
  EXPECT_EQ(rig.ui.runStatus, "");
  EXPECT_TRUE(rig.ui.resolutionEnabled);
  EXPECT_TRUE(rig.port.log.empty());
  EXPECT_TRUE(rig.ui.messages.empty());
  // A tick with the timer off reads nothing.
  rig.run.tmrAcqTimer();
  EXPECT_TRUE(rig.port.log.empty());
}

TEST(LiveRun, ProbeIsRefusedWhileARunHoldsThePort) {
  LiveRig rig;
  rig.port.present[4] = true;
  rig.port.modules[5] = FakeModule{};
  rig.run.acRunFromAcqExecute();
  ASSERT_TRUE(rig.pipeline.Running());
  const int opens = rig.port.opens;

  rig.hardware.chkCOMxMouseDown(5);
  rig.hardware.butFindClick();
  EXPECT_EQ(rig.hardware.ProbeModule(3).outcome, ProbeOutcome::PortBusy);
  ASSERT_EQ(rig.ui.messages.size(), 2u);
  for (const auto& m : rig.ui.messages) {
    EXPECT_EQ(m.text, kProbeRefusedText);
    EXPECT_EQ(m.caption, "Error");
  }
  EXPECT_EQ(rig.port.opens, opens);
  EXPECT_EQ(rig.port.openPort, 3);
  EXPECT_EQ(rig.port.baud, kStreamBaudRate);
  EXPECT_EQ(rig.hardware.Label(5), "-");
  EXPECT_TRUE(rig.hardware.PortButtonEnabled(5));

  // The run still reads its own port.
  rig.port.Deliver({0x00, 0xFF, 0x00});
  rig.run.tmrAcqTimer();
  EXPECT_EQ(rig.pipeline.sampleIndex, 12u);

  rig.run.acStopExecute();
  rig.hardware.chkCOMxMouseDown(5);
  EXPECT_EQ(rig.hardware.Label(5), "Version 2.7");
}

namespace {

// The module has 50 ms to answer the version query. A machine loaded enough to keep
// kivo-sim off the processor that long makes a probe or a run start fail with status 3; a
// fault fails every try, so a few tries tell the two apart.
ToolResult RunUntilTheModuleAnswers(const std::string& args) {
  ToolResult result;
  for (int attempt = 0; attempt < 3; ++attempt) {
    result = RunDecodeTool(args);
    if (result.status != 3) break;
  }
  return result;
}



}  // namespace

TEST(LiveRunEndToEnd, ProbeAnswersOfTheSimulator) {
  struct Case {
    std::vector<std::string> args;
    const char* label;
    int status;
  };
  const Case cases[] = {
      {{"--silent"}, "No response", 3},
      {{"--wrong-marker"}, "No response", 3},
      {{"--marker-and-major-only", "--version", "5.2"}, "Version 5.0", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--time-limit", "20"});
    KivoSimulator sim(args);
    ASSERT_FALSE(sim.Path().empty());
    PortOverride com3(sim.Path());
    const ToolResult probe =
        c.status == 0 ? RunUntilTheModuleAnswers("--probe 3") : RunDecodeTool("--probe 3");
    EXPECT_EQ(probe.status, c.status) << probe.err;
    EXPECT_EQ(probe.out, "COM3\t" + sim.Path() + "\t" + c.label + "\n");
  }
}

// A whole run through the serial layer: kivo-sim on a pseudo-terminal placed at COM3.
TEST(LiveRunEndToEnd, SimulatorStreamDecodesAsTheUnpackedReplay) {
  TempDir dir;
  Settings settings;
  SetAllLogical(settings);
  const std::string config = WriteChannelConfig(dir, "live.cfg", settings);
  const Capture capture = FourChannelCapture();
  const std::vector<std::uint8_t> live = capture.LiveBytes();
  // The simulator packs the file's samples itself; give it whole bytes' worth.
  const std::string file = dir.Write("capture.bin", capture.FileBytes(live.size() * 4 - capture.SampleCount()));
  const std::string unpacked = dir.Write("unpacked.bin", LiveBytesToFileBytes(live));

  KivoSimulator sim({"--version", "3.9", "--time-limit", "30", file});
  ASSERT_FALSE(sim.Path().empty());
  PortOverride com3(sim.Path());
  // The probe closes the port between its queries; the module is still there for the run.
  const ToolResult probe = RunUntilTheModuleAnswers("--probe 3");
  const ToolResult run = RunUntilTheModuleAnswers("--live 3 --seconds 3 --raw --config " + config);

  EXPECT_EQ(probe.status, 0) << probe.err;
  EXPECT_EQ(probe.out, "COM3\t" + sim.Path() + "\tVersion 3.9\n");
  EXPECT_EQ(run.status, 0) << run.err;
  const ToolResult replay = RunDecodeTool("--raw --config " + config + " " + unpacked);
  ASSERT_EQ(replay.status, 0);
  EXPECT_FALSE(replay.out.empty());
  EXPECT_EQ(run.out, replay.out);
}
