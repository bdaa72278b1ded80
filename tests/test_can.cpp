// The CAN decoder and its frame description, against signals from a protocol encoder. The
// expected dates come from the encoder's bit times: a frame line is decided on the first
// sample that sees the end of the run holding the ninth bit after the data.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <limits>

#include "CanEncoder.h"
#include "TestRig.h"
#include "Waveform.h"
#include "decoders/DecCan.h"

using namespace velkor;
using namespace velkor::test;

namespace {

constexpr int kBitsBeforeData = 19;  // SOF, 11 identifier bits, RTR, IDE, r0, 4 DLC bits

const char* const kDescription =
    "; bus of the test bench\r\n"
    "[BAUDRATE]\r\nValue=125000\r\n"
    "[ID]\r\n0fa=Lowercase_Key\r\n112=\r\n131=PIC_StatusFrame\r\n";

std::string Hex(unsigned value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
  return buffer;
}

std::string Date(double micros) { return std::to_string(SampleTimeMicros(FirstSampleAtOrAfter(micros))); }

std::string FrameText(const CanFrame& f, const std::string& idText) {
  std::string s = "ID=" + idText + ",DLC=" + std::to_string(f.dlc) + ",";
  if (f.remote) return s + "RemoteFrame,";
  s += "DataFrame=";
  for (int i = 0; i < f.dlc; ++i) s += (i ? " " : "") + Hex(f.data[i], 2);
  return s + ",";
}

// The line a receiver gives for a good frame: the ninth bit after the data ends its run.
std::string FrameLine(int channel, const CanWireFrame& w, const CanFrame& f, std::string idText = "") {
  if (idText.empty()) idText = Hex(f.id, 3);
  const int ninthAfterData = kBitsBeforeData + 8 * CanDataBytes(f) + 8;
  return std::to_string(channel) + "," + Date(w.RunEndAfter(w.wireIndexOfBit[ninthAfterData])) + "," +
         FrameText(f, idText);
}

// A bit of the data field in the middle of a run of three equal bits or more.
int MiddleOfLongRun(const CanWireFrame& w) {
  for (int k = w.wireIndexOfBit[kBitsBeforeData] + 1; k + 1 < static_cast<int>(w.wire.size()); ++k)
    if (w.wire[k - 1] == w.wire[k] && w.wire[k] == w.wire[k + 1]) return k;
  return -1;
}

struct CanRig : TestRig {
  explicit CanRig(std::string_view description = kDescription) {
    NoDecoderOnAnyChannel();
    settings.channels[0].type = ChannelType::Can;
    settings.channels[0].active = true;
    settings.channels[0].canFile = dir.Write("bus.cfd", description);
  }
  std::vector<std::string> Decode(const SignalBuilder& signal) {
    Capture capture;
    capture.channel[0] = signal;
    return Dispatch(capture.FileBytes(50));
  }
  CanChannelState& State() { return pipeline.can[0]; }
  // The lines of the per-sample path, checked against a replay through the run-skipping one.
  std::vector<std::string> DecodeBothWays(const SignalBuilder& signal) {
    Capture capture;
    capture.channel[0] = signal;
    const auto bytes = capture.FileBytes(50);
    auto lines = Dispatch(bytes);
    EXPECT_EQ(Replay(bytes), lines);
    return lines;
  }
};

std::string OptionsDescription(int bitRate, std::string_view options, std::string_view ids = "") {
  return "[BAUDRATE]\nValue=" + std::to_string(bitRate) + "\n[OPTIONS]\n" + std::string(options) + "[ID]\n" +
         std::string(ids);
}

// A checked frame's line: its last end-of-frame bit read where a receiver reads it.
std::string CheckedLine(const CanWireFrame& w, const std::string& text) {
  return "0," + std::to_string(SampleTimeMicros(w.SampleOfBit(w.LastEndOfFrameBit()))) + "," + text;
}

std::vector<std::uint8_t> Bytes(int count, int seed) {
  std::vector<std::uint8_t> data;
  for (int i = 0; i < count; ++i) data.push_back(static_cast<std::uint8_t>(seed * 37 + i * 101));
  return data;
}

}  // namespace

TEST(CanEncoder, CrcAndStuffingFollowTheProtocol) {
  // A CRC-15 appended to its message leaves a remainder of zero.
  const CanFrame f{0x123, false, 2, {0x11, 0x22}};
  const std::string bits = CanFrameBits(f);
  EXPECT_EQ(bits.size(), 19u + 16 + 15);
  EXPECT_EQ(CanCrc15(bits), 0);
  std::string ascii;  // the catalogue check of CRC-15/CAN: "123456789" gives 059E
  for (char c : std::string_view("123456789"))
    for (int i = 7; i >= 0; --i) ascii += (c >> i & 1) ? '1' : '0';
  EXPECT_EQ(CanCrc15(ascii), 0x059E);
  SignalBuilder signal;
  CanEncoder enc(signal, 125000);
  const auto w = enc.Frame({0x000, false, 1, {0x00}});
  EXPECT_EQ(w.wire.substr(0, 12), "000001000001");  // a stuff bit after every five equal bits
  EXPECT_FALSE(w.stuffBits.empty());
  EXPECT_EQ(w.wire.find("000000"), std::string::npos);
}

TEST(LoadCan, ThresholdsFollowTheBitRate) {
  const struct {
    int bitRate;
    std::array<std::int32_t, 7> thresholds;
  } cases[] = {
      {125000, {2, 5, 8, 12, 15, 18, 22}},       {100000, {2, 6, 10, 15, 19, 23, 27}},
      {50000, {4, 13, 21, 29, 38, 46, 54}},      {20000, {10, 31, 52, 73, 94, 115, 135}},
      {10000, {21, 63, 104, 146, 188, 229, 271}},
  };
  for (const auto& c : cases) {
    CanRig rig("[BAUDRATE]\nValue=" + std::to_string(c.bitRate) + "\n");
    rig.pipeline.ResetRun();
    EXPECT_FALSE(rig.pipeline.RunSetupFailed());
    EXPECT_EQ(rig.State().thresholds, c.thresholds) << c.bitRate;
    EXPECT_EQ(rig.State().bitRate, c.bitRate);
    EXPECT_EQ(rig.pipeline.Services().fieldNames.Names(0), (std::vector<std::string>{"DataFrame", "DLC", "ID"}));
  }
}

TEST(LoadCan, RefusalsShowWhyAndKeepTheChannelAsItWas) {
  for (const char* value : {"", "Value=0\n", "Value=-5\n", "Value=fast\n"}) {
    CanRig rig;
    rig.pipeline.ResetRun();
    rig.State().frameState = CanFrameState::Data;
    const auto thresholds = rig.State().thresholds;
    const std::string path = rig.dir.Write("bad.cfd", std::string("[BAUDRATE]\n") + value);
    rig.ui.answers.push_back(MessageAnswer::Yes);
    EXPECT_EQ(LoadCanDescription(rig.pipeline.Services(), rig.State(), path, 2), 1) << value;
    ASSERT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_EQ(rig.ui.messages[0].text, "Channel 3 : File ''" + path +
                                           "'' \n--> Value of BAUDRATE\nDo you want to open this file ?");
    EXPECT_EQ(rig.ui.messages[0].caption, "Error");
    EXPECT_EQ(rig.ui.editors, (std::vector<std::pair<std::string, std::string>>{{path, "Error : Value of BAUDRATE"}}));
    EXPECT_EQ(rig.State().thresholds, thresholds);
    EXPECT_EQ(rig.State().bitRate, 125000);
    EXPECT_EQ(rig.State().frameState, CanFrameState::Data);
  }
  CanRig missing;
  missing.settings.channels[0].canFile = missing.dir.File("none.cfd");
  missing.pipeline.ResetRun();
  EXPECT_TRUE(missing.pipeline.RunSetupFailed());
  ASSERT_EQ(missing.ui.messages.size(), 1u);
  EXPECT_EQ(missing.ui.messages[0].text,
            "Channel 1 : File ''" + missing.dir.File("none.cfd") + "'' \n--> The file can not be opened");
  EXPECT_EQ(missing.ui.messages[0].buttons, MessageButtons::Ok);
  EXPECT_TRUE(missing.pipeline.Services().fieldNames.Names(0).empty());
}

TEST(DecodeCan, DataFramesOfEveryLength) {
  for (int bitRate : {125000, 50000}) {
    CanRig rig("[BAUDRATE]\nValue=" + std::to_string(bitRate) + "\n");
    SignalBuilder signal;
    CanEncoder enc(signal, bitRate);
    enc.IdleBits(20);
    std::vector<std::string> expected;
    for (int dlc = 0; dlc <= 8; ++dlc) {
      const CanFrame f{static_cast<std::uint16_t>(0x100 + dlc * 0x55), false, dlc, Bytes(dlc, dlc)};
      expected.push_back(FrameLine(0, enc.Frame(f), f));
    }
    const CanFrame zeros{0x000, false, 8, std::vector<std::uint8_t>(8, 0x00)};  // stuff bits all along
    expected.push_back(FrameLine(0, enc.Frame(zeros), zeros));
    const CanFrame ones{0x7FF, false, 8, std::vector<std::uint8_t>(8, 0xFF)};
    expected.push_back(FrameLine(0, enc.Frame(ones), ones));
    const CanFrame empty{0x2B4, false, 0, {}};  // no bytes of the frame before may show
    expected.push_back(FrameLine(0, enc.Frame(empty), empty));
    const auto lines = rig.Decode(signal);
    EXPECT_EQ(lines, expected) << bitRate;
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines[0].ends_with(",DLC=0,DataFrame=,")) << lines[0];
    EXPECT_TRUE(lines.back().ends_with(",DLC=0,DataFrame=,")) << lines.back();
  }
}

TEST(DecodeCan, RemoteFramesAndIdentifierNames) {
  CanRig rig;
  SignalBuilder signal;
  CanEncoder enc(signal, 125000);
  enc.IdleBits(20);
  std::vector<std::string> expected;
  const struct {
    CanFrame frame;
    std::string idText;
  } cases[] = {
      {{0x250, true, 8, {}}, "250"},
      {{0x07F, true, 15, {}}, "07F"},                   // no entry: three digits, leading zero kept
      {{0x131, false, 2, {0x00, 0x01}}, "PIC_StatusFrame"},
      {{0x0FA, false, 1, {0x5A}}, "Lowercase_Key"},     // key written in lower case
      {{0x112, false, 1, {0x01}}, "112"},               // entry with an empty name
  };
  for (const auto& c : cases) expected.push_back(FrameLine(0, enc.Frame(c.frame), c.frame, c.idText));
  EXPECT_EQ(rig.Decode(signal), expected);
  EXPECT_EQ(rig.pipeline.Services().columnEventMask, 1u);
}

TEST(DecodeCan, LongNamesAreCutToThirtyCharacters) {
  const std::string name40 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";
  CanRig rig("[BAUDRATE]\nValue=100000\n[ID]\n123=" + name40 + "\n");
  SignalBuilder signal;
  CanEncoder enc(signal, 100000);
  enc.IdleBits(20);
  const CanFrame f{0x123, false, 1, {0x42}};
  const auto w = enc.Frame(f);
  EXPECT_EQ(rig.Decode(signal), (std::vector<std::string>{FrameLine(0, w, f, name40.substr(0, 30))}));
}

TEST(DecodeCan, NameAddedDuringTheRunShowsInLaterLines) {
  CanRig rig("[BAUDRATE]\nValue=125000\n");
  SignalBuilder signal;
  CanEncoder enc(signal, 125000);
  enc.IdleBits(20);
  const CanFrame f{0x2A0, false, 1, {0x33}};
  const auto first = enc.Frame(f);
  const double between = signal.Now() + 100;
  enc.IdleBits(40);
  const auto second = enc.Frame(f);
  Capture capture;
  capture.channel[0] = signal;
  const auto samples = capture.FileBytes(50);

  rig.pipeline.ResetRun();
  SampleIndex n = 0;
  for (; n < static_cast<SampleIndex>(FirstSampleAtOrAfter(between)); ++n) rig.pipeline.DispatchSample(samples[n], n);
  rig.dir.Write("bus.cfd", "[BAUDRATE]\nValue=125000\n[ID]\n2a0=Door_Status\n");
  for (; n < samples.size(); ++n) rig.pipeline.DispatchSample(samples[n], n);
  EXPECT_EQ(rig.Lines(), (std::vector<std::string>{FrameLine(0, first, f), FrameLine(0, second, f, "Door_Status")}));
}

TEST(DecodeCan, EachErrorLine) {
  for (int bitRate : {125000, 100000, 50000}) {
    CanRig rig("[BAUDRATE]\nValue=" + std::to_string(bitRate) + "\n");
    SignalBuilder signal;
    CanEncoder enc(signal, bitRate);
    enc.IdleBits(20);
    std::vector<std::string> expected;
    auto errorAt = [](double micros, const std::string& text) { return "0," + Date(micros) + ",\xA3" + text; };

    const CanFrame stuffed{0x000, false, 1, {0x00}};
    auto w = enc.FrameWithSixEqualBits(stuffed);  // the sixth equal bit ends at the stuff bit
    expected.push_back(errorAt(w.BitStart(w.stuffBits[0]), "Error frame,"));

    const CanFrame data{0x555, false, 4, {0x0F, 0xF0, 0x3C, 0xC3}};
    const int glitchBit = MiddleOfLongRun(enc.Plan(data));
    ASSERT_GT(glitchBit, 0);
    const double glitch = 0.45 * enc.BitMicros();
    w = enc.FrameWithGlitch(data, glitchBit, glitch);
    expected.push_back(errorAt(w.BitStart(glitchBit) + (enc.BitMicros() + glitch) / 2, "Error bit too small,"));

    // Error flags of several nodes overlapping: twelve dominant bits after a recessive one.
    w = enc.FrameCutByErrorFlag(data, 2, 12);
    ASSERT_EQ(w.wire.substr(0, 2), "01");
    expected.push_back(errorAt(w.BitStart(14), "Error bit too big,"));

    for (int dlc = 9; dlc <= 15; ++dlc) {
      const CanFrame bad{0x131, false, dlc, Bytes(8, dlc)};
      w = enc.Frame(bad);
      expected.push_back("0," + Date(w.RunEndAfter(w.wireIndexOfBit[kBitsBeforeData - 1])) + ",ID=" +
                         Hex(bad.id, 3) + ",\xA3" + "Error DLC,");
    }
    // After every error the bus goes idle and the next frame is read whole.
    const CanFrame after{0x321, false, 3, {1, 2, 3}};
    expected.push_back(FrameLine(0, enc.Frame(after), after));
    EXPECT_EQ(rig.Decode(signal), expected) << bitRate;
  }
}

TEST(DecodeCan, FirstFrameNeedsMoreThanSixAndAHalfBitsOfIdle) {
  for (int extra : {0, 1}) {
    CanRig rig;
    rig.pipeline.ResetRun();
    const int t6 = rig.State().thresholds[6];
    SignalBuilder signal;
    signal.HoldSamples(1, t6 + extra);
    CanEncoder enc(signal, 125000);
    const CanFrame f{0x0AB, false, 2, {0xDE, 0xAD}};
    const auto w = enc.Frame(f);
    const auto lines = rig.Decode(signal);
    if (extra == 0)
      EXPECT_TRUE(lines.empty());
    else
      EXPECT_EQ(lines, (std::vector<std::string>{FrameLine(0, w, f)}));
  }
}

TEST(DecodeCan, InactiveChannelMarksItsTraceAndDecodesNothing) {
  CanRig rig;
  SignalBuilder signal;
  CanEncoder enc(signal, 125000);
  enc.IdleBits(20);
  enc.Frame({0x0AB, false, 2, {0xDE, 0xAD}});
  EXPECT_EQ(rig.Decode(signal).size(), 1u);
  rig.settings.channels[0].active = false;  // the table keeps type Can from the run before
  EXPECT_TRUE(rig.Decode(signal).empty());
  EXPECT_EQ(rig.pipeline.Services().columnTraceMask, 1u);
  EXPECT_EQ(rig.pipeline.Services().columnEventMask, 0u);
}

TEST(DecodeCan, BusStuckDominantStaysALongRun) {
  CanRig rig;
  rig.pipeline.ResetRun();
  CanChannelState& s = rig.State();
  s.frameState = CanFrameState::Data;
  s.lastLevel = '0';
  s.run = std::numeric_limits<std::int32_t>::max() - 1;
  auto& services = rig.pipeline.Services();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(DecodeCan(services, s, 0, '0', 10), 0);
  EXPECT_EQ(DecodeCan(services, s, 0, '1', 11), 1);
  EXPECT_EQ(rig.Lines(), (std::vector<std::string>{"0,26,\xA3" "Error bit too big,"}));
}

TEST(DecodeCan, OutputDoesNotDependOnHowInputIsCut) {
  SignalBuilder signal;
  CanEncoder enc(signal, 125000);
  enc.IdleBits(20);
  for (int i = 0; i < 12; ++i) {
    const int dlc = i % 9;
    enc.Frame({static_cast<std::uint16_t>(i * 0x93 & 0x7FF), i % 5 == 4, dlc, Bytes(dlc, i)});
    enc.IdleBits(3 + i);
  }
  enc.FrameWithSixEqualBits({0x000, false, 0, {}});
  enc.IdleBits(12);
  Capture capture;
  capture.channel[0] = signal;
  const auto live = capture.LiveBytes(50);
  CanRig whole;
  const auto expected = whole.Replay(LiveBytesToFileBytes(live));
  ASSERT_EQ(expected.size(), 13u);
  for (std::size_t slice : {1u, 7u, 1024u}) {
    CanRig rig;
    EXPECT_EQ(rig.DispatchLive(live, slice), expected) << slice;
  }
}

TEST(DecodeTool, CanTrafficAtThreeBitRates) {
  for (int bitRate : {50000, 100000, 125000}) {
    TempDir dir;
    Settings settings;
    for (auto& ch : settings.channels) ch.active = false;
    settings.channels[2].type = ChannelType::Can;
    settings.channels[2].active = true;
    settings.channels[2].caption = "Bus";
    settings.channels[2].canFile =
        dir.Write("bus.cfd", "[BAUDRATE]\nValue=" + std::to_string(bitRate) + "\n[ID]\n131=PIC_StatusFrame\n");
    const std::string config = WriteChannelConfig(dir, "can.cfg", settings);

    Capture capture;
    CanEncoder enc(capture.channel[2], bitRate);
    enc.IdleBits(30);
    std::string expected;
    const CanFrame named{0x131, false, 2, {0x00, 0x01}};
    expected += FrameLine(2, enc.Frame(named), named, "PIC_StatusFrame") + "\n";
    const CanFrame remote{0x250, true, 8, {}};
    expected += FrameLine(2, enc.Frame(remote), remote) + "\n";
    enc.IdleBits(17);
    const CanFrame full{0x07F, false, 8, {0xFF, 0x00, 0x80, 0x7F, 0x01, 0xFE, 0x55, 0xAA}};
    expected += FrameLine(2, enc.Frame(full), full) + "\n";
    const CanFrame bad{0x131, false, 12, Bytes(8, 3)};
    const auto w = enc.Frame(bad);
    expected += "2," + Date(w.RunEndAfter(w.wireIndexOfBit[kBitsBeforeData - 1])) + ",ID=PIC_StatusFrame,\xA3" +
                "Error DLC,\n";
    const std::string bin = dir.Write("can.bin", capture.FileBytes(100));

    const auto r = RunDecodeTool("--raw --config " + config + " " + bin);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected) << bitRate;
  }
}

TEST(DecodeCan, ChannelWithoutAnAcceptedDescriptionOnlyDrawsItsTrace) {
  // A live run goes on after a refused description; with no bit time ever loaded the channel
  // must not turn every edge into an error line.
  CanRig rig("[BAUDRATE]\nValue=0\n");
  SignalBuilder signal;
  CanEncoder enc(signal, 125000);
  enc.IdleBits(20);
  enc.Frame({0x0AB, false, 2, {0xDE, 0xAD}});
  Capture capture;
  capture.channel[0] = signal;
  rig.pipeline.ResetRun();
  ASSERT_TRUE(rig.pipeline.RunSetupFailed());
  rig.pipeline.sampleIndex = 0;
  for (std::uint8_t s : capture.FileBytes(50)) rig.pipeline.DispatchSample(s, rig.pipeline.sampleIndex++);
  EXPECT_TRUE(rig.Lines().empty());
  EXPECT_EQ(rig.pipeline.Services().columnTraceMask & 1u, 1u);
}

TEST(CanEncoder, ExtendedFramesFollowTheProtocol) {
  const CanFrame f{0x14611234, false, 1, {0xA5}, true};
  const std::string bits = CanFrameBits(f);
  EXPECT_EQ(bits.size(), 39u + 8 + 15);
  EXPECT_EQ(bits.substr(0, 14), "0" "10100011000" "11");  // SOF, the high 11 bits (518), SRR, IDE
  EXPECT_EQ(bits.substr(14, 18), "010001001000110100");   // the low 18 bits
  EXPECT_EQ(bits.substr(32, 7), "000" "0001");            // RTR, r1, r0, DLC
  EXPECT_EQ(CanCrc15(bits), 0);
}

TEST(LoadCan, OptionsAreYesOrNoInAnyCaseAndNoWhenMissing) {
  const struct {
    std::string options;
    bool extended, check;
    const char* refusal;
  } cases[] = {
      {"", false, false, nullptr},
      {"ExtendedFrames=yes\n", true, false, nullptr},
      {"checkframe=Yes\nExtendedFrames=NO\n", false, true, nullptr},
      {"ExtendedFrames=1\n", false, false, "Value of ExtendedFrames"},
      {"ExtendedFrames=YES\nCheckFrame=\n", false, false, "Value of CheckFrame"},
      {"CheckFrame=TRUE\n", false, false, "Value of CheckFrame"},
  };
  for (const auto& c : cases) {
    CanRig rig(OptionsDescription(125000, c.options));
    rig.ui.answers.push_back(MessageAnswer::No);
    rig.pipeline.ResetRun();
    if (c.refusal == nullptr) {
      EXPECT_FALSE(rig.pipeline.RunSetupFailed()) << c.options;
      EXPECT_TRUE(rig.ui.messages.empty()) << c.options;
      EXPECT_EQ(rig.State().extendedFrames, c.extended) << c.options;
      EXPECT_EQ(rig.State().checkFrame, c.check) << c.options;
    } else {
      EXPECT_TRUE(rig.pipeline.RunSetupFailed()) << c.options;
      ASSERT_EQ(rig.ui.messages.size(), 1u) << c.options;
      EXPECT_EQ(rig.ui.messages[0].text, "Channel 1 : File ''" + rig.settings.channels[0].canFile + "'' \n--> " +
                                             c.refusal + "\nDo you want to open this file ?");
      EXPECT_FALSE(rig.State().loaded) << "a refused file sets nothing";
    }
  }
}

TEST(DecodeCan, OptionsSetToNoDecodeAsWithout) {
  // Extended frames and faulty frame ends included: what a bus without the options gives.
  SignalBuilder signal;
  CanEncoder enc(signal, 125000);
  enc.IdleBits(20);
  enc.Frame({0x14611234, false, 8, Bytes(8, 1), true});
  enc.Frame({0x0ABCDEF, true, 3, {}, true});
  enc.Frame({0x131, false, 2, {0x00, 0x01}}, {.flippedBit = 21});
  enc.Frame({0x131, false, 2, {0x00, 0x01}}, {.acknowledged = false});
  enc.Frame({0x250, true, 8, {}});
  CanRig without(kDescription);
  const auto expected = without.DecodeBothWays(signal);
  EXPECT_EQ(expected.size(), 5u);
  CanRig no(OptionsDescription(125000, "ExtendedFrames=NO\nCheckFrame=no\n", "131=PIC_StatusFrame\n"));
  EXPECT_EQ(no.DecodeBothWays(signal), expected);
}

TEST(DecodeCan, ExtendedFrames) {
  for (int bitRate : {125000, 50000}) {
    CanRig rig(OptionsDescription(bitRate, "ExtendedFrames=YES\n", "14611234=Body_Extended\n131=PIC_StatusFrame\n"
                                                                  "00000131=Extended_131\n"));
    SignalBuilder signal;
    CanEncoder enc(signal, bitRate);
    enc.IdleBits(20);
    const struct {
      CanFrame frame;
      std::string idText;
    } cases[] = {
        {{0x14611234, false, 2, {0x12, 0x34}, true}, "Body_Extended"},
        {{0x1FFFFFFF, false, 8, std::vector<std::uint8_t>(8, 0xFF), true}, "1FFFFFFF"},
        {{0x0000ABC, false, 0, {}, true}, "00000ABC"},  // stuff bits in the identifier
        {{0x0ABCDEF, true, 5, {}, true}, "00ABCDEF"},    // remote
        {{0x131, false, 2, {0x00, 0x01}}, "PIC_StatusFrame"},  // standard frames are read as before
        {{0x00000131, false, 1, {0x07}, true}, "Extended_131"},
        {{0x250, true, 8, {}}, "250"},
    };
    std::vector<std::string> expected;
    for (const auto& c : cases) {
      const CanWireFrame w = enc.Frame(c.frame);
      const int ninthAfterData = CanBitsBeforeData(c.frame) + 8 * CanDataBytes(c.frame) + 8;
      expected.push_back("0," + Date(w.RunEndAfter(w.wireIndexOfBit[ninthAfterData])) + "," +
                         FrameText(c.frame, c.idText));
    }
    const CanFrame badDlc{0x1234567, false, 11, Bytes(8, 2), true};
    const CanWireFrame w = enc.Frame(badDlc);
    expected.push_back("0," + Date(w.RunEndAfter(w.wireIndexOfBit[CanBitsBeforeData(badDlc) - 1])) +
                       ",ID=01234567,\xA3" "Error DLC,");
    EXPECT_EQ(rig.DecodeBothWays(signal), expected) << bitRate;
  }
}

// A frame whose stuffing puts a stuff bit at a chosen place of the frame's end: inside the
// CRC sequence, or right after its last bit.
CanFrame FrameWithStuffBit(bool afterCrc, bool extended) {
  for (std::uint32_t seed = 1; seed < 100000; ++seed) {
    const CanFrame f{extended ? seed * 0x9E3779u & 0x1FFFFFFF : seed * 0x2Du & 0x7FF, false, 2,
                     {static_cast<std::uint8_t>(seed * 7), static_cast<std::uint8_t>(seed >> 3)}, extended};
    SignalBuilder scratch;
    const CanWireFrame w = CanEncoder(scratch, 125000).Plan(f);
    const int crcStart = w.wireIndexOfBit[CanBitsBeforeData(f) + 16];
    for (int stuff : w.stuffBits)
      if (afterCrc ? stuff == w.crcDelimiter - 1 : stuff > crcStart && stuff < w.crcDelimiter - 1) return f;
  }
  ADD_FAILURE() << "no such frame";
  return {};
}

TEST(DecodeCan, CheckedFramesEndAtTheirEndOfFrame) {
  for (int bitRate : {125000, 100000, 20000}) {
    CanRig rig(OptionsDescription(bitRate, "CheckFrame=YES\nExtendedFrames=YES\n", "131=PIC_StatusFrame\n"));
    SignalBuilder signal;
    CanEncoder enc(signal, bitRate);
    enc.IdleBits(20);
    std::vector<std::string> expected;
    const CanFrame named{0x131, false, 2, {0x00, 0x01}};
    const CanFrame cases[] = {
        named,
        {0x250, true, 8, {}},
        {0x000, false, 8, std::vector<std::uint8_t>(8, 0)},
        {0x14611234, false, 3, {1, 2, 3}, true},
        {0x0ABCDEF, true, 2, {}, true},
        FrameWithStuffBit(false, false),
        FrameWithStuffBit(true, false),
        FrameWithStuffBit(false, true),
        FrameWithStuffBit(true, true),
    };
    for (const CanFrame& f : cases) {
      const CanWireFrame w = enc.Frame(f);
      expected.push_back(CheckedLine(w, FrameText(f, f.extended ? Hex(f.id, 8) : f.id == 0x131 ? "PIC_StatusFrame"
                                                                                                : Hex(f.id, 3))));
    }
    EXPECT_EQ(rig.DecodeBothWays(signal), expected) << bitRate;
  }
}

TEST(DecodeCan, CheckedFrameFaults) {
  const int bitRate = 125000;
  const CanFrame data{0x131, false, 2, {0x00, 0x01}};
  const std::string text = "ID=131,DLC=2,DataFrame=00 01,";
  auto dated = [](std::int64_t sample, const std::string& line) {
    return "0," + std::to_string(SampleTimeMicros(sample)) + "," + line;
  };
  // The CRC sequence is complete where the run holding its last bit ends, or where that run
  // reaches the delimiter.
  auto crcSeen = [](const CanWireFrame& w) {
    const int last = w.crcDelimiter - 1;
    return w.wire[last] != w.wire[last + 1] ? FirstSampleAtOrAfter(w.BitStart(last + 1)) : w.SampleOfBit(last + 1);
  };
  for (bool extended : {false, true}) {
    CanFrame f = data;
    f.extended = extended;
    const std::string idText = extended ? "00000131" : "131";
    const std::string line = "ID=" + idText + text.substr(6);
    CanRig rig(OptionsDescription(bitRate, "CheckFrame=YES\nExtendedFrames=YES\n"));
    SignalBuilder signal;
    CanEncoder enc(signal, bitRate);
    enc.IdleBits(20);
    std::vector<std::string> expected;
    const struct {
      int bit;
      std::string shown;
    } flips[] = {
        {CanBitsBeforeData(f) + 3, "10 01"},
        {CanBitsBeforeData(f) + 15, "00 00"},
        {CanBitsBeforeData(f) + 20, "00 01"},  // inside the CRC sequence itself
    };
    for (const auto& flip : flips) {
      const CanWireFrame w = enc.Frame(f, {.flippedBit = flip.bit});
      expected.push_back(dated(crcSeen(w), "ID=" + idText + ",DLC=2,DataFrame=" + flip.shown + ",\xA3" "Error CRC,"));
    }
    CanWireFrame w = enc.Frame(f, {.dominantCrcDelimiter = true});
    expected.push_back(dated(w.SampleOfBit(w.crcDelimiter), line + "\xA3" "Error form,"));
    w = enc.Frame(f, {.acknowledged = false});
    expected.push_back(dated(w.SampleOfBit(w.AckSlot()), line + "\xA3" "Error ACK,"));
    // A node that breaks in on the end of frame with an error flag.
    enc.IdleBits(12);
    w = enc.Plan(f);
    const int flag = w.LastEndOfFrameBit() - 2;
    w.wire = w.wire.substr(0, flag) + "000000" "11111111111";
    signal.Bits(w.wire, enc.BitMicros());
    expected.push_back(dated(w.SampleOfBit(flag), line + "\xA3" "Error form,"));
    // After each fault the bus goes idle, and the next frame is read whole.
    w = enc.Frame(f);
    expected.push_back(CheckedLine(w, line));
    EXPECT_EQ(rig.DecodeBothWays(signal), expected) << idText;
  }
}

TEST(DecodeCan, CheckedFramesAtFullBusLoad) {
  // Only the three bits of the intermission between frames: none may be lost.
  SignalBuilder signal;
  CanEncoder enc(signal, 125000);
  enc.IdleBits(20);
  std::vector<std::string> expected;
  for (int i = 0; i < 40; ++i) {
    const int dlc = i % 9;
    const CanFrame f{i % 3 == 0 ? 0x1234567u * static_cast<std::uint32_t>(i) & 0x1FFFFFFF
                                : static_cast<std::uint32_t>(i * 0x93 & 0x7FF),
                     i % 5 == 4, dlc, Bytes(dlc, i), i % 3 == 0};
    expected.push_back(CheckedLine(enc.Frame(f), FrameText(f, Hex(f.id, f.extended ? 8 : 3))));
  }
  CanRig rig(OptionsDescription(125000, "CheckFrame=YES\nExtendedFrames=YES\n"));
  EXPECT_EQ(rig.DecodeBothWays(signal), expected);
}
