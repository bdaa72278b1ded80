// The module link against an in-memory port and module: probes, Auto find, the run's
// connect and its messages, and which device each COM port is.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "FakeKivo.h"
#include "TestRig.h"
#include "hardware/Hardware.h"
#include "platform/PortEnumeration.h"

using namespace velkor;
using namespace velkor::test;

namespace {

class LabelWindow : public HardwareWindow {
 public:
  explicit LabelWindow(const Hardware*& hw) : hw_(hw) {}
  void Repaint() override {
    std::string shot;
    for (int n = 1; n <= kPortCount; ++n) shot += hw_->Label(n) + (hw_->PortButtonEnabled(n) ? "|" : "/");
    shots.push_back(shot);
  }
  std::vector<std::string> shots;

 private:
  const Hardware*& hw_;
};

struct HardwareRig {
  HardwareRig() : port(clock), hardware(port, clock, settings, ui) {}
  FakeClock clock;
  FakePortBackend port;
  Settings settings;
  RecordingUi ui;
  Hardware hardware;

  FakeModule& ModuleOn(int n, ModuleAnswer answer = ModuleAnswer::Normal) {
    port.present[n - 1] = true;
    FakeModule& m = port.modules[n];
    m.answer = answer;
    return m;
  }
  bool LogHasErrors() const {
    return std::any_of(port.log.begin(), port.log.end(), [](const std::string& s) { return s.starts_with("error"); });
  }
};

}  // namespace

TEST(ModuleProbe, OutcomesAndLabels) {
  struct Case {
    const char* name;
    ModuleAnswer answer;
    bool openable;
    ProbeOutcome outcome;
    const char* label;
  };
  const Case cases[] = {
      {"module", ModuleAnswer::Normal, true, ProbeOutcome::ModuleFound, "Version 2.7"},
      {"wrong marker", ModuleAnswer::WrongMarker, true, ProbeOutcome::NoAnswer, "No response"},
      {"silent", ModuleAnswer::Silent, true, ProbeOutcome::NoAnswer, "No response"},
      {"marker and major", ModuleAnswer::MarkerAndMajor, true, ProbeOutcome::ModuleFound, "Version 2.0"},
      {"cannot open", ModuleAnswer::Normal, false, ProbeOutcome::CannotOpen, "COM port error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HardwareRig rig;
    rig.ModuleOn(4, c.answer);
    if (!c.openable) rig.port.unopenable.insert(4);
    ProbeResult r = rig.hardware.ProbeModule(4);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_FALSE(rig.hardware.PortOpen());
    EXPECT_EQ(rig.port.openPort, 0);

    rig.settings.port = 1;
    rig.hardware.chkCOMxMouseDown(4);
    EXPECT_EQ(rig.hardware.Label(4), c.label);
    EXPECT_EQ(rig.hardware.SelectedPort(), 4);
    EXPECT_TRUE(rig.ui.messages.empty());
    EXPECT_FALSE(rig.LogHasErrors());
  }
}

TEST(ModuleProbe, WireSequence) {
  HardwareRig rig;
  rig.ModuleOn(2);
  const Hardware* hw = &rig.hardware;
  LabelWindow window(hw);
  rig.hardware.SetWindow(&window);
  rig.hardware.chkCOMxMouseDown(2);
  // Opened with the lines low, woken, queried; the port goes back to 115200 before it is
  // closed, and DTR and RTS are not lowered by a probe.
  const std::vector<std::string> expected = {"open 2",   "dtr 1",       "rts 1", "write 07",
                                             "write 00", "baud 115200", "close"};
  EXPECT_EQ(rig.port.log, expected);
  ASSERT_FALSE(window.shots.empty());
  EXPECT_EQ(window.shots.front().substr(0, 6), "-|...|");
  EXPECT_EQ(rig.clock.sleeps, std::vector<std::uint32_t>{100});
  EXPECT_EQ(rig.hardware.Label(2), "Version 2.7");
}

TEST(ModuleProbe, AutoFindEnablesOnlyTheModules) {
  HardwareRig rig;
  rig.ModuleOn(3);
  rig.ModuleOn(5, ModuleAnswer::Silent);
  rig.ModuleOn(6, ModuleAnswer::WrongMarker);
  rig.port.present[0] = true;
  rig.port.unopenable.insert(1);
  rig.port.modules[9] = FakeModule{};  // answers, but the system does not list the port
  rig.hardware.chkCOMxMouseDown(9);
  ASSERT_EQ(rig.hardware.Label(9), "Version 2.7");
  rig.settings.port = 9;

  rig.hardware.butFindClick();
  for (int n = 1; n <= kPortCount; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(rig.hardware.Label(n), n == 3 ? "Version 2.7" : "-");
    EXPECT_EQ(rig.hardware.PortButtonEnabled(n), n == 3);
  }
  EXPECT_EQ(rig.hardware.SelectedPort(), 0);
  EXPECT_TRUE(rig.hardware.FindButtonEnabled());
  EXPECT_EQ(std::count(rig.port.log.begin(), rig.port.log.end(), "open 9"), 1);

  // A disabled button refuses the click; an enabled one probes and selects.
  const std::size_t before = rig.port.log.size();
  rig.hardware.chkCOMxMouseDown(5);
  EXPECT_EQ(rig.port.log.size(), before);
  EXPECT_EQ(rig.hardware.SelectedPort(), 0);
  rig.hardware.chkCOMxMouseDown(3);
  EXPECT_EQ(rig.hardware.SelectedPort(), 3);
}

TEST(ModuleProbe, NoPortListed) {
  HardwareRig rig;
  rig.hardware.butFindClick();
  for (int n = 1; n <= kPortCount; ++n) {
    EXPECT_EQ(rig.hardware.Label(n), "-");
    EXPECT_FALSE(rig.hardware.PortButtonEnabled(n));
  }
  EXPECT_TRUE(rig.port.log.empty());
}

TEST(ModuleLink, ConnectMessages) {
  struct Case {
    const char* name;
    int selected;
    ModuleAnswer answer;
    int major;
    bool openable;
    bool connected;
    const char* message;
    const char* caption;
  };
  const Case cases[] = {
      {"no port", 0, ModuleAnswer::Normal, 2, true, false, "You must choose a port COM", "Error"},
      {"cannot open", 4, ModuleAnswer::Normal, 2, false, false, "This COM port can not be opened", "Error"},
      {"silent", 4, ModuleAnswer::Silent, 2, true, false, "No response from Kivo module", "Velkor"},
      {"major 0 without minor", 4, ModuleAnswer::MarkerAndMajor, 0, true, false, "No response from Kivo module",
       "Velkor"},
      {"major 1 without minor", 4, ModuleAnswer::MarkerAndMajor, 1, true, true, nullptr, nullptr},
      {"wrong marker still runs", 4, ModuleAnswer::WrongMarker, 2, true, true, nullptr, nullptr},
      {"module", 4, ModuleAnswer::Normal, 2, true, true, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HardwareRig rig;
    rig.ModuleOn(4, c.answer).major = c.major;
    if (!c.openable) rig.port.unopenable.insert(4);
    rig.settings.port = c.selected;
    rig.hardware.Connect();
    EXPECT_EQ(rig.hardware.Connected(), c.connected);
    EXPECT_EQ(rig.hardware.PortOpen(), c.connected);
    EXPECT_EQ(rig.port.openPort != 0, c.connected);
    if (c.message == nullptr) {
      EXPECT_TRUE(rig.ui.messages.empty());
      EXPECT_TRUE(rig.port.dtr && rig.port.rts);
      // The wake-up chatter and the answer are gone: nothing is left to read.
      std::uint8_t b;
      EXPECT_EQ(rig.port.Read(&b, 1), 0u);
    } else {
      ASSERT_EQ(rig.ui.messages.size(), 1u);
      EXPECT_EQ(rig.ui.messages[0].text, c.message);
      EXPECT_EQ(rig.ui.messages[0].caption, c.caption);
      EXPECT_EQ(rig.ui.messages[0].buttons, MessageButtons::Ok);
    }
  }
}

TEST(ModuleLink, OldFirmwareIsClosed) {
  HardwareRig rig;
  rig.ModuleOn(2).major = 1;
  ASSERT_FALSE(rig.hardware.OpenPort(2, kProbeBaudRate, LineControl::Disabled, LineControl::Disabled));
  EXPECT_FALSE(rig.hardware.CheckVersion(2, 5));
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text,
            "You must update Kivo module firmware before use this program.\nVersion must be >= 2.5");
  EXPECT_FALSE(rig.hardware.PortOpen());
  EXPECT_EQ(rig.port.openPort, 0);
}

TEST(ModuleLink, DisconnectLowersLinesThenCloses) {
  HardwareRig rig;
  rig.ModuleOn(2);
  rig.settings.port = 2;
  rig.hardware.Connect();
  ASSERT_TRUE(rig.hardware.Connected());
  rig.port.log.clear();
  rig.hardware.Disconnect();
  EXPECT_EQ(rig.port.log, (std::vector<std::string>{"dtr 0", "rts 0", "baud 115200", "close"}));
  EXPECT_FALSE(rig.hardware.Connected());
  rig.port.log.clear();
  rig.hardware.Disconnect();  // nothing open: only the flag
  EXPECT_TRUE(rig.port.log.empty());
}

TEST(ModuleLink, RunLinkWireSequenceAndWaits) {
  HardwareRig rig;
  rig.ModuleOn(2);
  rig.settings.port = 2;
  rig.port.logReads = true;
  rig.hardware.Connect();
  ASSERT_TRUE(rig.hardware.Connected());
  ASSERT_FALSE(rig.hardware.StartStreaming());
  rig.hardware.Disconnect();
  const std::vector<std::string> expected = {
      "open 2",   "dtr 1",        "rts 1",    "read 256/3", "read 256/0",  "write 07",
      "write 00", "read 1/1",     "read 1/1", "read 1/1",   "read 256/0",  "write 04",
      "write 02", "baud 1228800", "dtr 0",    "rts 0",      "baud 115200", "close"};
  ASSERT_EQ(rig.port.log, expected);
  // The waits on the simulated clock, each between the two steps it separates.
  auto gapAfter = [&](const std::string& entry) -> std::uint64_t {
    const auto& t = rig.port.timeline;
    for (std::size_t i = 0; i + 1 < t.size(); ++i)
      if (t[i].second == entry) return t[i + 1].first - t[i].first;
    return 0;
  };
  EXPECT_GE(gapAfter("rts 1"), 300000u);
  EXPECT_GE(gapAfter("write 00"), 50000u);
  EXPECT_GE(gapAfter("write 02"), 1000u);
  EXPECT_GE(gapAfter("rts 0"), 300000u);
}

TEST(ModuleLink, OneHandleAtATime) {
  HardwareRig rig;
  rig.ModuleOn(2);
  rig.ModuleOn(3);
  ASSERT_FALSE(rig.hardware.OpenPort(2, kProbeBaudRate, LineControl::Disabled, LineControl::Disabled));
  ASSERT_FALSE(rig.hardware.OpenPort(3, kProbeBaudRate, LineControl::Disabled, LineControl::Disabled));
  EXPECT_FALSE(rig.LogHasErrors());
  EXPECT_EQ(rig.port.openPort, 3);
  EXPECT_TRUE(rig.hardware.OpenPort(13, kProbeBaudRate, LineControl::Disabled, LineControl::Disabled));
  EXPECT_FALSE(rig.hardware.PortOpen());
}

TEST(ModuleLink, SelectionAndCancel) {
  HardwareRig rig;
  rig.ModuleOn(5);
  rig.settings.port = 2;
  rig.hardware.FormShow();
  rig.hardware.chkCOMxMouseDown(5);
  EXPECT_EQ(rig.hardware.SelectedPort(), 5);
  rig.hardware.butCancelClick();
  EXPECT_EQ(rig.hardware.SelectedPort(), 2);

  rig.settings.port = 0;
  rig.hardware.FormShow();
  rig.hardware.chkCOMxMouseDown(5);
  rig.hardware.butCancelClick();
  EXPECT_EQ(rig.hardware.SelectedPort(), 5);

  rig.hardware.SelectPort(13);
  rig.hardware.SelectPort(0);
  EXPECT_EQ(rig.hardware.SelectedPort(), 5);
}

namespace {

void Touch(const std::filesystem::path& p, const std::string& content = "") {
  std::ofstream(p) << content;
}

}  // namespace

TEST(PortEnumeration, AdaptersFirstInNaturalOrder) {
  TempDir dir;
  namespace fs = std::filesystem;
  const fs::path root = dir.Path();
  auto add = [&](const char* name, const char* type = nullptr, bool device = true) {
    fs::create_directories(root / name);
    if (device) fs::create_directories(root / name / "device");
    if (type != nullptr) Touch(root / name / "type", type);
  };
  add("tty0", nullptr, false);  // a virtual console
  add("ttyS0", "4\n");
  add("ttyS1", "0\n");  // a legacy port with no hardware
  add("ttyACM0");
  add("ttyUSB10");
  add("ttyUSB2");
  add("ttyAMA0", "1\n");
  add("ptmx", nullptr, false);
  EXPECT_EQ(platform::ListSerialDevices(root.string()),
            (std::vector<std::string>{"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0", "/dev/ttyAMA0", "/dev/ttyS0"}));
}

TEST(PortEnumeration, OverridesTakeTheirPortsAndTheRestFills) {
  const std::map<std::string, std::string> env = {{"VELKOR_COM1", "/dev/ttyACM0"}, {"VELKOR_COM3", "/dev/pts/7"},
                                                  {"VELKOR_COM13", "/dev/ignored"}};
  auto overrides = platform::PortOverrides([&](const char* key) -> const char* {
    auto it = env.find(key);
    return it == env.end() ? nullptr : it->second.c_str();
  });
  std::vector<std::string> listed = {"/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS0"};
  for (int i = 0; i < 14; ++i) listed.push_back("/dev/ttyX" + std::to_string(i));
  auto ports = platform::AssignPorts(listed, overrides);
  EXPECT_EQ(ports[0], "/dev/ttyACM0");
  EXPECT_EQ(ports[1], "/dev/ttyUSB0");
  EXPECT_EQ(ports[2], "/dev/pts/7");
  EXPECT_EQ(ports[3], "/dev/ttyS0");
  EXPECT_EQ(ports[4], "/dev/ttyX0");
  EXPECT_EQ(ports[11], "/dev/ttyX7");
  EXPECT_EQ(std::count(ports.begin(), ports.end(), "/dev/ttyACM0"), 1);
}
