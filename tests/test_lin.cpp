// The LIN decoder and its frame description.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "LinEncoder.h"
#include "TestRig.h"
#include "Waveform.h"

using namespace velkor;
using namespace velkor::test;

namespace {

constexpr int kInterFrameMicros = 2000;
constexpr std::int64_t kInterFrameSamples = 833;  // 2000 us / 2.4 us, truncated

std::string Description(int baud, std::string_view includeId = "YES", std::string_view ids = "",
                        std::string_view invert = "NO") {
  std::string d = "[BAUDRATE]\nValue=" + std::to_string(baud) + "\n[INVERT]\nValue=" + std::string(invert) +
                  "\n[PROTOCOL]\nInterFrame=" + std::to_string(kInterFrameMicros) + "\n";
  if (!includeId.empty()) d += "ChecksumIncludeID=" + std::string(includeId) + "\n";
  d += "[ID]\n";
  d += ids;
  return d;
}

struct LinRig : TestRig {
  explicit LinRig(const std::string& description, int channel = 0) {
    NoDecoderOnAnyChannel();
    settings.channels[channel].type = ChannelType::Lin;
    settings.channels[channel].linFile = dir.Write("bus.lfd", description);
  }
};

// The text after "<channel>,<date>,".
std::string FrameText(const std::string& line) {
  return line.substr(line.find(',', line.find(',') + 1) + 1);
}

std::vector<std::string> FrameTexts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(FrameText(l));
  return out;
}

// Frames on channel 0, each followed by more than the quiet time.
std::vector<std::uint8_t> Frames(int baud, const std::vector<LinFrame>& frames, bool inverted = false) {
  Capture capture;
  capture.channel[0] = SignalBuilder(inverted ? 0 : 1);
  LinEncoder lin(capture.channel[0], baud, inverted);
  lin.Signal().Idle(500);
  for (const auto& f : frames) {
    lin.Frame(f);
    lin.Signal().Idle(3 * kInterFrameMicros);
  }
  return capture.FileBytes();
}

std::vector<std::string> DecodeFrames(const std::string& description, int baud,
                                      const std::vector<LinFrame>& frames) {
  LinRig rig(description);
  return FrameTexts(rig.Replay(Frames(baud, frames)));
}

// The first sample that sees a level change at this time (the builder's sampling rule).
std::int64_t FirstSampleAtOrAfter(double micros) {
  std::int64_t n = static_cast<std::int64_t>(micros / kSampleMicros);
  while (n > 0 && (n - 1) * kSampleMicros + 1e-7 >= micros) --n;
  while (n * kSampleMicros + 1e-7 < micros) ++n;
  return n;
}

LinFrame Frame(std::uint8_t id, std::vector<std::uint8_t> data) {
  LinFrame f;
  f.id = id;
  f.data = std::move(data);
  return f;
}

}  // namespace

TEST(LinEncoder, ProtectedIdentifiersAndChecksums) {
  // 28 -> A8, 39 -> 39, 3C -> 3C, 10 -> 50 (two parity bits above the six identifier bits).
  EXPECT_EQ(LinEncoder::ProtectedId(0x28), 0xA8);
  EXPECT_EQ(LinEncoder::ProtectedId(0x39), 0x39);
  EXPECT_EQ(LinEncoder::ProtectedId(0x3C), 0x3C);
  EXPECT_EQ(LinEncoder::ProtectedId(0x10), 0x50);
  EXPECT_EQ(LinEncoder::Checksum(0x50, {0x80, 0x90}, false), 0xEE);
  EXPECT_EQ(LinEncoder::Checksum(0xA8, {0, 0, 0, 0}, true), 0x57);
}

TEST(DecodeLin, BreakLimitIsARealNumberOfSamples) {
  // 11 bit times: 477.93 samples at 9600 baud, 239.22 at 19200.
  struct Case {
    int baud;
    std::int64_t lowSamples;
    bool isBreak;
  };
  for (const Case& c : {Case{9600, 477, false}, Case{9600, 478, true}, Case{19200, 239, false},
                        Case{19200, 240, true}}) {
    Capture capture;
    LinEncoder lin(capture.channel[0], c.baud);
    lin.Signal().HoldSamples(1, 100).HoldSamples(0, c.lowSamples);
    lin.Recessive(1);
    for (std::uint8_t b : {0x55, 0x39, 0x12, 0xB4}) lin.Byte(b);
    LinRig rig(Description(c.baud));
    auto lines = FrameTexts(rig.Replay(capture.FileBytes(1000)));
    EXPECT_EQ(lines, c.isBreak ? std::vector<std::string>{"ID=39,Data=12,Checksum=B4,"}
                               : std::vector<std::string>{})
        << c.baud << " baud, " << c.lowSamples << " samples";
  }
}

TEST(DecodeLin, BitsAreTakenAtTheirSamplePositions) {
  // At 9600 baud each bit is read on one sample only: 23, 66, 109, 153, 196, 239, 283, 326,
  // 369 and 413 samples after the start edge. Every other sample of the byte holds the
  // opposite of what the decoder should read, so reading one sample early or late shows.
  constexpr std::array<int, 10> kAt = {23, 66, 109, 153, 196, 239, 283, 326, 369, 413};
  for (std::uint8_t background : {0, 1}) {
    std::vector<std::uint8_t> s(200, 1);
    s.insert(s.end(), 480, 0);  // break
    s.insert(s.end(), 20, 1);
    std::size_t lastEdge = 0;
    for (int value : {0x55, 0x39, 0xA5, 0x21}) {
      lastEdge = s.size();
      std::vector<std::uint8_t> byte(414, background);
      byte[0] = 0;
      for (int k = 0; k < 10; ++k) byte[kAt[k]] = k == 0 ? 0 : k == 9 ? 1 : (value >> (k - 1)) & 1;
      s.insert(s.end(), byte.begin(), byte.end());
      s.insert(s.end(), 5, 1);
    }
    s.insert(s.end(), 2000, 1);
    LinRig rig(Description(9600));
    const std::int64_t lineAt = static_cast<std::int64_t>(lastEdge) + 413 + kInterFrameSamples + 1;
    EXPECT_EQ(rig.Dispatch(s),
              (std::vector<std::string>{"0," + std::to_string(SampleTimeMicros(lineAt)) +
                                        ",ID=39,Data=A5,Checksum=21,"}))
        << "background " << int(background);
  }
}

TEST(DecodeLin, LineTextsAndChecksums) {
  const std::string named = "A8=BCM_Status\n3C=Master_Request_Frame\n";
  LinFrame classic = Frame(0x10, {0x80, 0x90});
  classic.checksum = LinChecksumModel::Classic;
  LinFrame wrong = Frame(0x28, {1, 2});
  wrong.checksumXor = 0x01;
  LinFrame badSync = Frame(0x28, {1, 2});
  badSync.sync = 0x54;
  LinFrame wraps = Frame(0x10, {0xFF, 0x01});
  wraps.checksum = LinChecksumModel::Classic;
  LinFrame wrapsToFF = Frame(0x10, {0xFF, 0xFF});
  wrapsToFF.checksum = LinChecksumModel::Classic;
  struct Case {
    std::string includeId;
    LinFrame frame;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"YES", Frame(0x28, {0, 0, 0, 0}), "ID=BCM_Status,Data=00 00 00 00,Checksum=57,"},
      {"YES", Frame(0x39, {0, 0, 0, 0}), "ID=39,Data=00 00 00 00,Checksum=C6,"},
      // A diagnostic frame carries the classic checksum, which an enhanced channel flags.
      {"YES", Frame(0x3C, std::vector<std::uint8_t>(8, 0)),
       "ID=Master_Request_Frame,Data=00 00 00 00 00 00 00 00,Checksum=FF,\xA3" "Error Checksum,"},
      {"NO", classic, "ID=50,Data=80 90,Checksum=EE,"},
      {"yes", classic, "ID=50,Data=80 90,Checksum=EE,\xA3" "Error Checksum,"},
      {"No", Frame(0x10, {0x80, 0x90}), "ID=50,Data=80 90,Checksum=9E,\xA3" "Error Checksum,"},
      {"NO", wraps, "ID=50,Data=FF 01,Checksum=FE,"},
      {"NO", wrapsToFF, "ID=50,Data=FF FF,Checksum=00,"},
      {"YES", wrong, "ID=BCM_Status,Data=01 02,Checksum=55,\xA3" "Error Checksum,"},
      {"YES", badSync, "\xA3" "Bad Synchro byte,"},
      {"", Frame(0x28, {0x11}), "ID=BCM_Status,Data=11,Checksum=46,"},  // missing key: enhanced
      {"", classic, "ID=50,Data=80 90,Checksum=EE,\xA3" "Error Checksum,"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecodeFrames(Description(19200, c.includeId, named), 19200, {c.frame}),
              std::vector<std::string>{c.expected})
        << c.expected;
}

TEST(DecodeLin, FaultyBytesShowTheErrorMark) {
  struct Case {
    int badStopAt;
    std::string expected;
  };
  // Wire bytes: 0 sync, 1 identifier, 2 to 5 data, 6 checksum. The checksum still covers the
  // 8 value bits of a faulty byte.
  for (const Case& c : std::vector<Case>{
           {4, "ID=39,Data=11 22 \x95  44,Checksum=1C,"},
           {5, "ID=39,Data=11 22 33 \x95 ,Checksum=1C,"},
           // The rest of a dominant stop bit, after its sample point, starts one more byte,
           // whose start bit is then read recessive: the bad checksum is followed by a faulty
           // byte of FF.
           {6, "ID=39,Data=11 22 33 44 \x95 ,Checksum=\x95,"},
           {1, "ID=39,Data=11 22 33 44,Checksum=1C,"},
       }) {
    LinFrame f = Frame(0x39, {0x11, 0x22, 0x33, 0x44});
    f.badStopAt = c.badStopAt;
    EXPECT_EQ(DecodeFrames(Description(9600), 9600, {f}), std::vector<std::string>{c.expected}) << c.badStopAt;
  }
}

TEST(DecodeLin, AFrameWithoutAProperStartIsDropped) {
  // A break shorter than 11 bit times, and a first byte with a bad stop bit: neither makes a
  // line, and the frame after each is decoded.
  LinFrame shortBreak = Frame(0x39, {0x22});
  shortBreak.breakBits = 10;
  LinFrame badFirst = Frame(0x39, {0x11});
  badFirst.badStopAt = 0;
  badFirst.sendBytes = 1;
  for (const LinFrame& bad : {shortBreak, badFirst})
    EXPECT_EQ(DecodeFrames(Description(19200), 19200, {bad, Frame(0x39, {0x33})}),
              std::vector<std::string>{"ID=39,Data=33,Checksum=93,"});
}

TEST(DecodeLin, ShortFrames) {
  LinFrame header = Frame(0x3C, {});
  header.sendBytes = 2;  // no slave answered: the identifier is also the last byte
  LinFrame syncOnly = Frame(0x3C, {});
  syncOnly.sendBytes = 1;
  EXPECT_EQ(DecodeFrames(Description(19200), 19200, {header, syncOnly}),
            (std::vector<std::string>{"ID=3C,Data=,Checksum=3C,\xA3" "Error Checksum,",
                                      "\xA3" "No identifier,"}));
}

TEST(DecodeLin, IdentifierNames) {
  struct Case {
    std::string ids;
    std::string expected;
  };
  for (const Case& c : std::vector<Case>{{"a8=Lower\n", "ID=Lower,"},
                                         {"A8=Upper\n", "ID=Upper,"},
                                         {"28=Unprotected\n", "ID=A8,"},
                                         {"A8=\n", "ID=A8,"}}) {
    auto lines = DecodeFrames(Description(9600, "YES", c.ids), 9600, {Frame(0x28, {0})});
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, c.expected.size()), c.expected) << c.ids;
  }
}

TEST(DecodeLin, NameAddedDuringTheRunShowsInLaterLines) {
  LinRig rig(Description(19200));
  auto bytes = Frames(19200, {Frame(0x28, {1})});
  rig.pipeline.ResetRun();
  for (std::uint8_t s : bytes) rig.pipeline.DispatchSample(s, rig.pipeline.sampleIndex++);
  rig.dir.Write("bus.lfd", Description(19200, "YES", "A8=Added\n"));
  for (std::uint8_t s : bytes) rig.pipeline.DispatchSample(s, rig.pipeline.sampleIndex++);
  EXPECT_EQ(FrameTexts(rig.Lines()),
            (std::vector<std::string>{"ID=A8,Data=01,Checksum=56,", "ID=Added,Data=01,Checksum=56,"}));
}

TEST(DecodeLin, InvertedChannel) {
  EXPECT_EQ(FrameTexts(LinRig(Description(9600, "YES", "", "yes"))
                           .Replay(Frames(9600, {Frame(0x39, {0xC0})}, true))),
            std::vector<std::string>{"ID=39,Data=C0,Checksum=06,"});
}

TEST(DecodeLin, BreakCloserThanTheQuietTimeJoinsTheFrame) {
  for (double gapMicros : {100.0, 2.0 * kInterFrameMicros}) {
    Capture capture;
    LinEncoder lin(capture.channel[0], 19200);
    lin.Signal().Idle(500);
    lin.Frame(Frame(0x28, {0, 0, 0, 0}));
    lin.Signal().Idle(gapMicros);
    lin.Frame(Frame(0x39, {0x11}));
    LinRig rig(Description(19200));
    auto lines = FrameTexts(rig.Replay(capture.FileBytes(2000)));
    if (gapMicros > kInterFrameMicros) {
      EXPECT_EQ(lines, (std::vector<std::string>{"ID=A8,Data=00 00 00 00,Checksum=57,",
                                                 "ID=39,Data=11,Checksum=B5,"}));
    } else {
      // The break is read as bytes with a bad stop bit; the second frame is lost in the first.
      ASSERT_EQ(lines.size(), 1u);
      const std::string head = "ID=A8,Data=00 00 00 00 57 \x95  ";
      EXPECT_EQ(lines[0].substr(0, head.size()), head) << lines[0];
    }
  }
}

TEST(DecodeLin, BreakCounterCarriesOverToTheNextRun) {
  // The first run ends with the line held low; the next run takes its first low samples as
  // the end of that break.
  Capture tail;
  tail.channel[0].HoldSamples(1, 100).HoldSamples(0, 600);
  Capture next;
  LinEncoder lin(next.channel[0], 9600);
  next.channel[0].HoldSamples(0, 3);
  lin.Recessive(1);
  for (std::uint8_t b : {0x55, 0x39, 0x12, 0xB4}) lin.Byte(b);
  LinRig rig(Description(9600));
  rig.Replay(tail.FileBytes());
  EXPECT_EQ(FrameTexts(rig.Replay(next.FileBytes(1000))), std::vector<std::string>{"ID=39,Data=12,Checksum=B4,"});
  LinRig fresh(Description(9600));
  EXPECT_TRUE(fresh.Replay(next.FileBytes(1000)).empty());
}

TEST(DecodeLin, DatesTheLineWhenTheQuietTimeRunsOut) {
  Capture capture;
  LinEncoder lin(capture.channel[0], 19200);
  lin.Signal().Idle(500);
  auto timing = lin.Frame(Frame(0x39, {0x42}));
  LinRig rig(Description(19200));
  auto lines = rig.Replay(capture.FileBytes(2000));
  // P = 52 us: the stop bit is read 207 samples after its byte's start edge.
  const std::int64_t at = FirstSampleAtOrAfter(timing.byteStarts.back()) + 207 + kInterFrameSamples + 1;
  EXPECT_EQ(lines, std::vector<std::string>{"0," + std::to_string(SampleTimeMicros(at)) +
                                            ",ID=39,Data=42,Checksum=84,"});
  EXPECT_EQ(rig.pipeline.Services().columnEventMask, 1u);
  EXPECT_EQ(rig.pipeline.Services().columnTraceMask, 1u);
}

TEST(LoadLinDescription, RefusalsAndTheirMessages) {
  const std::string good = Description(9600);
  auto replace = [&](std::string from, std::string to) {
    std::string d = good;
    d.replace(d.find(from), from.size(), to);
    return d;
  };
  struct Case {
    std::string description;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {replace("[BAUDRATE]\nValue=9600\n", ""), "Value of BAUDRATE"},
      {replace("Value=9600", "Value=fast"), "Value of BAUDRATE"},
      {replace("Value=9600", "Value=0"), "Value of BAUDRATE"},
      {replace("Value=9600", "Value=-5"), "Value of BAUDRATE"},
      {replace("Value=NO", "Value="), "Value of INVERT"},
      {replace("[INVERT]\nValue=NO\n", ""), "Value of INVERT"},
      {replace("Value=NO", "Value=maybe"), "Value of INVERT"},
      {replace("InterFrame=2000", "InterFrame=-1"), "Value of InterFrame"},
      {replace("InterFrame=2000", "Inter=2000"), "Value of InterFrame"},
      {replace("ChecksumIncludeID=YES", "ChecksumIncludeID=enhanced"), "Value of ChecksumIncludeID"},
      {replace("ChecksumIncludeID=YES", "ChecksumIncludeID=YES\nCheckParity=1"), "Value of CheckParity"},
      {replace("ChecksumIncludeID=YES", "CheckParity=yes\nDiagnosticClassic="), "Value of DiagnosticClassic"},
  };
  for (const Case& c : cases) {
    LinRig rig(c.description, 1);
    rig.ui.answers.push_back(MessageAnswer::Yes);
    rig.pipeline.ResetRun();
    EXPECT_TRUE(rig.pipeline.RunSetupFailed()) << c.reason;
    const std::string path = rig.settings.channels[1].linFile;
    ASSERT_EQ(rig.ui.messages.size(), 1u) << c.reason;
    EXPECT_EQ(rig.ui.messages[0].text,
              "Channel 2 : File ''" + path + "'' \n--> " + c.reason + "\nDo you want to open this file ?");
    EXPECT_EQ(rig.ui.messages[0].caption, "Error");
    EXPECT_EQ(rig.ui.editors, (std::vector<std::pair<std::string, std::string>>{{path, "Error : " + c.reason}}));
    EXPECT_TRUE(rig.pipeline.Services().fieldNames.Names(1).empty());
  }
}

TEST(LoadLinDescription, MissingFileAndFieldNames) {
  LinRig rig(Description(9600), 3);
  rig.pipeline.ResetRun();
  EXPECT_FALSE(rig.pipeline.RunSetupFailed());
  EXPECT_EQ(rig.pipeline.Services().fieldNames.Names(3), (std::vector<std::string>{"Checksum", "Data", "ID"}));
  rig.settings.channels[3].linFile = rig.dir.File("missing.lfd");
  rig.pipeline.ResetRun();
  EXPECT_TRUE(rig.pipeline.RunSetupFailed());
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text,
            "Channel 4 : File ''" + rig.dir.File("missing.lfd") + "'' \n--> The file can not be opened");
  EXPECT_EQ(rig.ui.messages[0].buttons, MessageButtons::Ok);
  EXPECT_TRUE(rig.pipeline.Services().fieldNames.Names(3).empty());
}

TEST(DecodeLin, RefusedRateDecodesNothing) {
  // A live run goes on after a refused description; a channel without a usable bit rate must
  // stay silent rather than divide by zero.
  LinRig rig(Description(0));
  EXPECT_TRUE(rig.Dispatch(Frames(9600, {Frame(0x39, {1})})).empty());
  EXPECT_TRUE(rig.pipeline.RunSetupFailed());
  EXPECT_EQ(rig.pipeline.Services().columnTraceMask & 1u, 1u);
}

TEST(DecodeLin, LiveRunAfterARefusedFileKeepsTheEarlierSettings) {
  // A live run goes on after a refusal: the channel keeps the rate, polarity and quiet time
  // of the last accepted file, but names identifiers from the file it was given.
  LinRig rig(Description(19200));
  const auto bytes = Frames(19200, {Frame(0x28, {1})});
  EXPECT_EQ(FrameTexts(rig.Dispatch(bytes)), std::vector<std::string>{"ID=A8,Data=01,Checksum=56,"});
  // Rate and polarity are read before the quiet time that is refused.
  rig.settings.channels[0].linFile = rig.dir.Write(
      "refused.lfd", "[BAUDRATE]\nValue=9600\n[INVERT]\nValue=YES\n[PROTOCOL]\nInterFrame=-1\n[ID]\nA8=Named\n");
  EXPECT_EQ(FrameTexts(rig.Dispatch(bytes)), std::vector<std::string>{"ID=Named,Data=01,Checksum=56,"});
  EXPECT_TRUE(rig.pipeline.RunSetupFailed());
}

TEST(DecodeLin, InactiveChannelOnlyMarksItsTrace) {
  LinRig rig(Description(9600));
  auto bytes = Frames(9600, {Frame(0x39, {1})});
  EXPECT_EQ(rig.Replay(bytes).size(), 1u);
  rig.settings.channels[0].active = false;
  const LinState before = rig.pipeline.lin[0].state;
  EXPECT_TRUE(rig.Replay(bytes).empty());
  EXPECT_EQ(rig.pipeline.Services().columnTraceMask, 1u);
  EXPECT_EQ(rig.pipeline.Services().columnEventMask, 0u);
  EXPECT_EQ(rig.pipeline.lin[0].state, before);
}

TEST(DecodeLin, OutputDoesNotDependOnHowInputIsCut) {
  Capture capture;
  LinEncoder lin(capture.channel[0], 19200);
  lin.Signal().Idle(300);
  for (int i = 0; i < 6; ++i) {
    LinFrame f = Frame(static_cast<std::uint8_t>(i * 7), {static_cast<std::uint8_t>(i), 0x5A, 0xC3});
    f.badStopAt = i == 3 ? 3 : -1;
    f.interByteBits = i % 3;
    lin.Frame(f);
    lin.Signal().Idle(2500 + 300 * i);
  }
  const auto live = capture.LiveBytes();
  LinRig whole(Description(19200));
  const auto expected = whole.Replay(LiveBytesToFileBytes(live));
  ASSERT_EQ(expected.size(), 6u);
  for (std::size_t slice : {1u, 7u, 1024u}) {
    LinRig rig(Description(19200));
    EXPECT_EQ(rig.DispatchLive(live, slice), expected) << slice;
  }
}

TEST(DecodeTool, LinCapturesGiveTheExactLines) {
  struct Bus {
    int baud;
    std::int64_t stopBitSample;  // samples from a byte's start edge to the sample that reads its stop bit
  };
  // P = 104 us at 9600 baud, 52 us at 19200: the stop bit, 9.5 bit times in, rounded half up
  // to whole samples, is read on the sample after that.
  for (const Bus& bus : {Bus{9600, 413}, Bus{19200, 207}}) {
    TempDir dir;
    Settings settings;
    for (auto& ch : settings.channels) {
      ch.type = ChannelType::None;
      ch.active = true;
    }
    settings.channels[2].type = ChannelType::Lin;
    settings.channels[2].linFile =
        dir.Write("bus.lfd", Description(bus.baud, "YES", "a8=BCM_Status\n3C=Master_Request_Frame\n"));
    const std::string config = WriteChannelConfig(dir, "lin.cfg", settings);

    LinFrame diagnostic = Frame(0x3C, std::vector<std::uint8_t>(8, 0));
    LinFrame badSync = Frame(0x28, {0x01});
    badSync.sync = 0x54;
    LinFrame badStop = Frame(0x10, {0x80, 0x90, 0x55});
    badStop.badStopAt = 3;
    LinFrame wrongChecksum = Frame(0x39, {0xFE});
    wrongChecksum.checksumXor = 0xFF;
    LinFrame headerOnly = Frame(0x21, {});
    headerOnly.sendBytes = 2;
    LinFrame spaced = Frame(0x28, {0x01, 0x02, 0x03, 0x04});
    spaced.interByteBits = 2;
    const std::vector<std::pair<LinFrame, std::string>> frames = {
        {Frame(0x28, {0x01, 0x02, 0x03, 0x04}), "ID=BCM_Status,Data=01 02 03 04,Checksum=4D,"},
        {diagnostic, "ID=Master_Request_Frame,Data=00 00 00 00 00 00 00 00,Checksum=FF,\xA3" "Error Checksum,"},
        {badSync, "\xA3" "Bad Synchro byte,"},
        {badStop, "ID=50,Data=80 \x95  55,Checksum=49,"},
        {wrongChecksum, "ID=39,Data=FE,Checksum=38,\xA3" "Error Checksum,"},
        {headerOnly, "ID=61,Data=,Checksum=61,\xA3" "Error Checksum,"},
        {spaced, "ID=BCM_Status,Data=01 02 03 04,Checksum=4D,"},
    };
    Capture capture;
    LinEncoder lin(capture.channel[2], bus.baud);
    lin.Signal().Idle(1000);
    std::string expected;
    for (const auto& [frame, text] : frames) {
      const double lastByte = lin.Frame(frame).byteStarts.back();
      lin.Signal().Idle(5000);
      const std::int64_t at = FirstSampleAtOrAfter(lastByte) + bus.stopBitSample + kInterFrameSamples + 1;
      expected += "2," + std::to_string(SampleTimeMicros(at)) + "," + text + "\n";
    }
    const std::string capturePath = dir.Write("lin.bin", capture.FileBytes());
    auto result = RunDecodeTool("--raw --config " + config + " " + capturePath);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, expected) << bus.baud << " baud";
  }
}

TEST(DecodeLin, ParityOfEveryIdentifier) {
  // Every identifier sent right, then with each parity bit wrong; the checksum is classic so
  // that only the parity can be at fault.
  std::vector<LinFrame> frames;
  std::vector<std::string> checked, unchecked;
  for (int id = 0; id < 64; ++id) {
    for (std::uint8_t flip : {0x00, 0x40, 0x80}) {
      LinFrame f = Frame(static_cast<std::uint8_t>(id), {0x80, 0x90});
      f.checksum = LinChecksumModel::Classic;
      f.identifierXor = flip;
      frames.push_back(f);
      char idText[3];
      std::snprintf(idText, sizeof idText, "%02X", LinEncoder::ProtectedId(f.id) ^ flip);
      const std::string text = std::string("ID=") + idText + ",";
      unchecked.push_back(text + "Data=80 90,Checksum=EE,");
      checked.push_back(text + (flip != 0 ? "\xA3" "Error Parity," : "") + "Data=80 90,Checksum=EE,");
    }
  }
  std::string description = Description(19200, "NO");
  EXPECT_EQ(DecodeFrames(description, 19200, frames), unchecked);
  description.insert(description.find("[ID]"), "CheckParity=YES\n");
  EXPECT_EQ(DecodeFrames(description, 19200, frames), checked);
  // A faulty identifier byte is checked as well, over its eight bits.
  LinFrame faulty = Frame(0x10, {1});
  faulty.badStopAt = 1;
  faulty.identifierXor = 0x80;
  faulty.checksum = LinChecksumModel::Classic;
  EXPECT_EQ(DecodeFrames(description, 19200, {faulty}),
            std::vector<std::string>{"ID=D0,\xA3" "Error Parity,Data=01,Checksum=FE,"});
}

TEST(DecodeLin, DiagnosticFramesWithTheClassicChecksum) {
  // LIN 2.x: enhanced checksums, but classic ones for the master request 3C and the slave
  // response 3D (protected identifier 7D).
  LinFrame request = Frame(0x3C, {0x7F, 0x06, 0xB2, 0x00, 0xFF, 0x7F, 0xFF, 0xFF});
  LinFrame response = Frame(0x3D, {0x7F, 0x06, 0xF2, 0x00, 0x12, 0x34, 0x56, 0x78});
  LinFrame status = Frame(0x28, {0x11, 0x22});
  LinFrame enhancedRequest = request;
  enhancedRequest.checksum = LinChecksumModel::Enhanced;
  const std::vector<LinFrame> frames = {request, response, status, enhancedRequest};
  const std::string requestText = "ID=3C,Data=7F 06 B2 00 FF 7F FF FF,Checksum=";
  const std::string responseText = "ID=7D,Data=7F 06 F2 00 12 34 56 78,Checksum=";
  auto hex = [](std::uint8_t v) {
    char t[3];
    std::snprintf(t, sizeof t, "%02X", v);
    return std::string(t) + ",";
  };
  const std::string classicRequest = hex(LinEncoder::Checksum(0x3C, request.data, false));
  const std::string enhancedRequestSum = hex(LinEncoder::Checksum(0x3C, request.data, true));
  const std::string classicResponse = hex(LinEncoder::Checksum(0x7D, response.data, false));
  const std::string statusText = "ID=A8,Data=11 22,Checksum=" + hex(LinEncoder::Checksum(0xA8, {0x11, 0x22}, true));
  const std::string error = "\xA3" "Error Checksum,";
  const struct {
    std::string protocol;
    std::vector<std::string> expected;
  } cases[] = {
      {"ChecksumIncludeID=YES\n",
       {requestText + classicRequest + error, responseText + classicResponse + error, statusText,
        requestText + enhancedRequestSum}},
      {"ChecksumIncludeID=YES\nDiagnosticClassic=YES\n",
       {requestText + classicRequest, responseText + classicResponse, statusText,
        requestText + enhancedRequestSum + error}},
      {"ChecksumIncludeID=NO\nDiagnosticClassic=yes\n",
       {requestText + classicRequest, responseText + classicResponse, statusText + error,
        requestText + enhancedRequestSum + error}},
  };
  for (const auto& c : cases) {
    const std::string description = "[BAUDRATE]\nValue=19200\n[INVERT]\nValue=NO\n[PROTOCOL]\nInterFrame=" +
                                    std::to_string(kInterFrameMicros) + "\n" + c.protocol;
    EXPECT_EQ(DecodeFrames(description, 19200, frames), c.expected) << c.protocol;
  }
}
