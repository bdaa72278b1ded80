// The Manchester frame descriptions and the Manchester decoder.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <utility>

#include "ManchesterEncoder.h"
#include "TestRig.h"
#include "Waveform.h"

using namespace velkor;
using namespace velkor::test;

namespace {

constexpr int kBaud = 3906;
constexpr char kRxaPreamble[] = "0000 M0S0";

std::string Mfd(std::string_view preamble, std::string_view fields, std::string_view more = "",
                int baud = kBaud, bool invert = false) {
  std::string text = "[BAUDRATE]\nValue=" + std::to_string(baud) + "\n[INVERT]\nValue=" + (invert ? "YES" : "NO") +
                     "\n[PREAMBLE]\nContent=" + std::string(preamble) + "\n[FIELDS]\n" + std::string(fields);
  return text + std::string(more);
}

// The first sample that sees a level change made at `micros`, sampled as the builder does.
SampleIndex FirstSampleAt(double micros) {
  SampleIndex n = micros > 2 * kSampleMicros ? static_cast<SampleIndex>(micros / kSampleMicros) - 1 : 0;
  while (static_cast<double>(n) * kSampleMicros + 1e-7 < micros) ++n;
  return n;
}

// A frame is found complete when the idle run after its last change of level has grown
// past the sixth run-length threshold.
SampleIndex FrameEndSample(double lastEdgeMicros, int baud) {
  return FirstSampleAt(lastEdgeMicros) + static_cast<SampleIndex>(BitSamplePosition(500000 / baud, 5)) + 1;
}

std::string LineStart(int channel, SampleIndex n) {
  return std::to_string(channel) + "," + std::to_string(SampleTimeMicros(n)) + ",";
}

using Fields = std::initializer_list<std::pair<int, std::uint64_t>>;

// Idle, preamble, fields, extra symbols, idle again; returns the sample that ends the frame.
SampleIndex AddFrame(SignalBuilder& s, std::string_view preamble, Fields fields, std::string_view tail = "",
                     int baud = kBaud, bool invert = false) {
  ManchesterEncoder enc(s, baud, invert);
  enc.IdleHalfBits(20).Symbols(preamble);
  for (auto [bits, value] : fields) enc.Field(bits, value);
  enc.Symbols(tail).IdleHalfBits(20);
  return FrameEndSample(enc.LastEdgeMicros(), baud);
}

struct LoaderRig {
  int Load(std::string_view name, std::string_view content) {
    path = dir.Write(name, content);
    return LoadManchesterDescription(services, path, slot, 2);
  }
  const std::vector<std::string>& Names() const { return services.fieldNames.Names(2); }

  TempDir dir;
  RecordingUi ui;
  DecoderServices services{ui};
  ManchesterDescriptionSlot slot;
  std::string path;
};

struct ManchesterRig : TestRig {
  explicit ManchesterRig(int channel = 0) : ch(channel) {
    NoDecoderOnAnyChannel();
    settings.channels[ch].type = ChannelType::Manchester;
  }
  std::string List(std::string_view name, std::string_view content, bool enabled = true) {
    std::string path = dir.Write(name, content);
    settings.channels[ch].manchesterFiles.push_back({path, enabled});
    return path;
  }
  std::vector<std::string> Run(const SignalBuilder& signal) {
    Capture capture;
    capture.channel[ch] = signal;
    return Replay(capture.FileBytes(1000));
  }
  int ch;
};

}  // namespace

// ---- Loading a description ----

TEST(LoadManchesterDescription, ReadsEverySetting) {
  LoaderRig rig;
  ASSERT_EQ(rig.Load("FD_RXA.mfd", Mfd(kRxaPreamble, "IDE=32\nAcc=8\n")), 0);
  const auto& s = rig.slot;
  EXPECT_EQ(std::string(s.name.data(), 6), "FD_RXA");
  EXPECT_EQ(s.baud, 3906);
  EXPECT_FALSE(s.invert);
  EXPECT_EQ(s.timeout, 5);  // no [TIMEOUT] section
  EXPECT_EQ(s.thresholds, (std::array<std::int32_t, 6>{27, 80, 133, 187, 240, 293}));
  EXPECT_EQ(s.preamble.View(), "0101010111010001");
  ASSERT_EQ(s.fieldCount, 2);
  EXPECT_EQ(s.fieldNames[0].View(), "IDE");
  EXPECT_EQ(s.fieldLengths[1], 8);
  EXPECT_EQ(s.total, 80);
  EXPECT_EQ(rig.Names(), (std::vector<std::string>{"Acc", "FD", "IDE"}));
  EXPECT_TRUE(rig.ui.messages.empty());
}

TEST(LoadManchesterDescription, NameIsTheFileNameCutToSixCharacters) {
  for (auto [file, name] : {std::pair{"FD_RXA.mfd", "FD_RXA"}, {"A.mfd", "A     "}, {"LongName.mfd", "LongNa"}}) {
    LoaderRig rig;
    ASSERT_EQ(rig.Load(file, Mfd("01", "D=8\n")), 0);
    EXPECT_EQ(std::string(rig.slot.name.data(), 6), name) << file;
  }
}

TEST(LoadManchesterDescription, AcceptedVariants) {
  struct Case {
    std::string content;
    std::string preamble;  // expected half-bit levels
    int timeout;
  };
  const Case cases[] = {
      {Mfd("01MS", "D=8\n"), "01101100", 5},
      {Mfd("01MS", "D=8\n", "", kBaud, true), "10011100", 5},
      {Mfd(kRxaPreamble, "D=8\n"), "0101010111010001", 5},
      {"[baudrate]\nvalue=3906\n[invert]\nvalue=no\n[preamble]\ncontent=0000m0s0\n[fields]\nD=8\n",
       "0101010111010001", 5},
      {Mfd("0", "D=8\n", "[TIMEOUT]\nValue=2\n"), "01", 2},
      {Mfd("0", "D=8\n", "[TIMEOUT]\nValue=abc\n"), "01", 5},
      {Mfd(std::string(16, '1') + " " + std::string(16, '0'), "D=8\n"),
       ManchesterHalfBits(std::string(16, '1') + std::string(16, '0'), false), 5},
      {Mfd("1", "ABCDEFGHIJKLMNOP=16\nB=496\n"), "10", 5},
      {Mfd("1", "N0=1\nN1=1\nN2=1\nN3=1\nN4=1\nN5=1\nN6=1\nN7=1\nN8=1\nN9=1\nNA=1\nNB=1\nNC=1\nND=1\nNE=1\nNF=1\n"),
       "10", 5},
  };
  for (const Case& c : cases) {
    LoaderRig rig;
    EXPECT_EQ(rig.Load("ok.mfd", c.content), 0) << c.content;
    EXPECT_EQ(rig.slot.preamble.View(), c.preamble) << c.content;
    EXPECT_EQ(rig.slot.timeout, c.timeout) << c.content;
    EXPECT_TRUE(rig.ui.messages.empty()) << c.content;
  }
}

TEST(LoadManchesterDescription, RefusalsAndTheirMessages) {
  const std::string fields = "D=8\n";
  const std::pair<std::string, std::string> cases[] = {
      {"[INVERT]\nValue=NO\n[PREAMBLE]\nContent=0\n[FIELDS]\nD=8\n", "Value of BAUDRATE"},
      {Mfd("0", fields, "", 0), "Value of BAUDRATE"},  // no half-bit period
      {Mfd("0", fields, "", -300), "Value of BAUDRATE"},
      {"[BAUDRATE]\nValue=3906\n[INVERT]\nValue=maybe\n[PREAMBLE]\nContent=0\n[FIELDS]\nD=8\n", "Value of INVERT"},
      {"[BAUDRATE]\nValue=3906\n[PREAMBLE]\nContent=0\n[FIELDS]\nD=8\n", "Value of INVERT"},
      {Mfd("0", fields, "[TIMEOUT]\nValue=1\n"), "Value of TIMEOUT (2..5)"},
      {Mfd("0", fields, "[TIMEOUT]\nValue=6\n"), "Value of TIMEOUT (2..5)"},
      {Mfd("", fields), "Content of PREAMBLE"},
      {Mfd("01X0", fields), "Content of PREAMBLE ('0', '1', 'M', 'S')"},
      {Mfd("0X" + std::string(40, '1'), fields), "Content of PREAMBLE ('0', '1', 'M', 'S')"},
      {Mfd(std::string(33, '1'), fields), "Content of PREAMBLE (Length)"},
      {Mfd(std::string(33, '1') + "X", fields), "Content of PREAMBLE (Length)"},
      {Mfd("0", ""), "Fields are missing"},
      {Mfd("0", "ABCDEFGHIJKLMNOPQ=8\n"), "Length of field name ''ABCDEFGHIJKLMNOPQ'' > 16 characters"},
      {Mfd("0", "A=8\nLen=\n"), "Length of field ''Len''"},
      {Mfd("0", "Len=x\n"), "Length of field ''Len''"},
      {Mfd("0", "Len=0\n"), "Length of field ''Len''"},
      {Mfd("0", "A=16\nB=497\n"), "Sum of length fields must not exceed 512 Manchester bits"},
      {Mfd("0", "A=2000000000\nB=2000000000\n"), "Sum of length fields must not exceed 512 Manchester bits"},
      {Mfd("0", "N0=1\nN1=1\nN2=1\nN3=1\nN4=1\nN5=1\nN6=1\nN7=1\nN8=1\nN9=1\nNA=1\nNB=1\nNC=1\nND=1\nNE=1\nNF=1\n"
                "NG=1\n"),
       "More than 16 fields"},
  };
  for (const auto& [content, reason] : cases) {
    LoaderRig rig;
    EXPECT_EQ(rig.Load("bad.mfd", content), 1) << content;
    ASSERT_EQ(rig.ui.messages.size(), 1u) << content;
    EXPECT_EQ(rig.ui.messages[0].text,
              "File ''" + rig.path + "'' \n--> " + reason + "\nDo you want to open this file ?");
    EXPECT_EQ(rig.ui.messages[0].caption, "Error");
    EXPECT_EQ(rig.ui.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(rig.ui.editors.empty());  // answered No
    EXPECT_NE(std::find(rig.Names().begin(), rig.Names().end(), "FD"), rig.Names().end()) << content;
    EXPECT_FALSE(rig.slot.loaded);
  }
}

TEST(LoadManchesterDescription, YesOpensTheEditorWithTheReason) {
  LoaderRig rig;
  rig.ui.answers.push_back(MessageAnswer::Yes);
  EXPECT_EQ(rig.Load("bad.mfd", Mfd("0", "D=8\n", "[TIMEOUT]\nValue=9\n")), 1);
  ASSERT_EQ(rig.ui.editors.size(), 1u);
  EXPECT_EQ(rig.ui.editors[0], (std::pair<std::string, std::string>{rig.path, "Error : Value of TIMEOUT (2..5)"}));
}

TEST(LoadManchesterDescription, MissingFileAndNamesRegisteredBeforeARefusal) {
  LoaderRig rig;
  const std::string missing = rig.dir.File("none.mfd");
  EXPECT_EQ(LoadManchesterDescription(rig.services, missing, rig.slot, 2), 1);
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text, "File ''" + missing + "'' \n--> File can not be opened");
  EXPECT_EQ(rig.ui.messages[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(rig.Names(), (std::vector<std::string>{"FD"}));

  LoaderRig fields;
  EXPECT_EQ(fields.Load("f.mfd", Mfd("0", "A=8\nB=x\nC=8\n")), 1);
  EXPECT_EQ(fields.Names(), (std::vector<std::string>{"A", "B", "FD"}));
}

// ---- Run measurement ----

TEST(DecodeManchester, RunLengthsBecomeRunCharacters) {
  // Run characters are read back from the preamble window of a slot whose preamble (32
  // spaces) can never match.
  struct Case {
    int timeout;
    int samples;  // run of '0' ended by a '1'
    std::string characters;
  };
  const Case cases[] = {
      {5, 20, "<"},    {5, 27, "<"},      {5, 28, "0"},       {5, 53, "0"},     {5, 80, "0"},
      {5, 81, "00"},   {5, 107, "00"},    {5, 133, "00"},     {5, 134, "000"},  {5, 188, "0000"},
      {5, 241, "00000"}, {5, 293, "00000"}, {5, 294, "0>"},   {2, 133, "00"},   {2, 134, "0>"},
      {3, 187, "000"}, {3, 188, "0>"},    {4, 240, "0000"},   {4, 241, "0>"},
  };
  for (const Case& c : cases) {
    LoaderRig rig;
    ASSERT_EQ(rig.Load("w.mfd", Mfd(std::string(32, 'S'), "D=8\n", "[TIMEOUT]\nValue=" + std::to_string(c.timeout))),
              0);
    ManchesterChannelState state;
    state.descriptionCount = 1;
    state.slots[0] = rig.slot;
    state.slots[0].enabled = true;
    SampleIndex n = 0;
    auto feed = [&](char level, int samples) {
      for (int i = 0; i < samples; ++i) DecodeManchester(rig.services, state, 0, level, n++);
    };
    feed('1', 100);  // the first sample is a change (a '<'), then a two half-bit run
    feed('0', c.samples);
    feed('1', 1);
    EXPECT_EQ(state.slots[0].window.View(), "<11" + c.characters) << c.timeout << " " << c.samples;
  }
}

TEST(DecodeManchester, ConstantLevelEndsTheRunPastTheLastThreshold) {
  LoaderRig rig;
  ASSERT_EQ(rig.Load("w.mfd", Mfd(std::string(32, 'S'), "D=8\n")), 0);
  ManchesterChannelState state;
  state.descriptionCount = 1;
  state.slots[0] = rig.slot;
  state.slots[0].enabled = true;
  SampleIndex n = 0;
  for (int i = 0; i < 100; ++i) DecodeManchester(rig.services, state, 0, '1', n++);
  for (int i = 0; i < 294; ++i) DecodeManchester(rig.services, state, 0, '0', n++);
  EXPECT_EQ(state.slots[0].window.View(), "<11");
  DecodeManchester(rig.services, state, 0, '0', n++);  // the 295th sample of the run
  EXPECT_EQ(state.slots[0].window.View(), "<110>");
  for (int i = 0; i < 294; ++i) DecodeManchester(rig.services, state, 0, '0', n++);
  EXPECT_EQ(state.slots[0].window.View(), "<110>0>");  // and again every 294 samples
}

// ---- Frames and lines ----

TEST(DecodeManchester, ExactFrameAndFrameFourBitsShort) {
  for (bool invert : {false, true}) {
    ManchesterRig rig(1);
    rig.List("FD_RXA.mfd", Mfd(kRxaPreamble, "IDE=32\nAcc=8\n", "", kBaud, invert));
    SignalBuilder s;
    const SampleIndex exact = AddFrame(s, kRxaPreamble, {{32, 0xF00058AE}, {8, 0x03}}, "", kBaud, invert);
    const SampleIndex shortFrame = AddFrame(s, kRxaPreamble, {{32, 0xF00058AE}, {4, 0x0}}, "", kBaud, invert);
    EXPECT_EQ(rig.Run(s), (std::vector<std::string>{LineStart(1, exact) + "FD=FD_RXA,$IDE=F00058AE,$Acc=03,",
                                                    LineStart(1, shortFrame) + "FD=FD_RXA,\xA3" "F00058AE0,"}))
        << invert;
    EXPECT_EQ(rig.pipeline.Services().fieldNames.Names(1), (std::vector<std::string>{"Acc", "FD", "IDE"}));
  }
}

TEST(DecodeManchester, FieldsArePaddedToWholeDigits) {
  // 7 + 6 bits: never a whole number of digits, so always the faulty block; 7 + 9 bits
  // give digits of 2 and 3 with the leading bits padded.
  ManchesterRig odd;
  odd.List("Odd.mfd", Mfd(kRxaPreamble, "A=7\nB=6\n"));
  SignalBuilder s1;
  const SampleIndex e1 = AddFrame(s1, kRxaPreamble, {{7, 0x55}, {6, 0x2A}});
  EXPECT_EQ(odd.Run(s1), (std::vector<std::string>{LineStart(0, e1) + "FD=Odd   ,\xA3" "AB5,"}));

  ManchesterRig padded;
  padded.List("Pad.mfd", Mfd(kRxaPreamble, "A=7\nB=9\n"));
  SignalBuilder s2;
  const SampleIndex e2 = AddFrame(s2, kRxaPreamble, {{7, 0x55}, {9, 0x1A5}});
  EXPECT_EQ(padded.Run(s2), (std::vector<std::string>{LineStart(0, e2) + "FD=Pad   ,$A=55,$B=1A5,"}));
}

TEST(DecodeManchester, TimeoutOfTwoEndsTheFrameAtTheThirdHalfBit) {
  // After the byte A5 the line holds low for three half-bits, then toggles on: with T = 2
  // the frame ends on the change, with the run's first half-bit as its last one. (With
  // T = 2 a preamble holding a mark next to a 0 could never match.)
  constexpr char kPreamble[] = "0000 1011";
  ManchesterRig rig;
  rig.List("T2.mfd", Mfd(kPreamble, "B=8\n", "[TIMEOUT]\nValue=2\n"));
  SignalBuilder s;
  ManchesterEncoder enc(s, kBaud, false);
  enc.IdleHalfBits(20).Symbols(kPreamble).Field(8, 0xA5).HalfBits("00");
  const SampleIndex change = FirstSampleAt(s.Now());
  enc.Symbols("1010").IdleHalfBits(20);
  EXPECT_EQ(rig.Run(s), (std::vector<std::string>{LineStart(0, change) + "FD=T2    ,$B=A5,"}));

  // With T = 5 the same run is three half-bits of the frame, which goes on until the line
  // falls idle; the space symbol that the run makes then ends the data.
  ManchesterRig five;
  five.List("T5.mfd", Mfd(kPreamble, "B=8\n"));
  const SampleIndex idle = FrameEndSample(enc.LastEdgeMicros(), kBaud);
  EXPECT_EQ(five.Run(s), (std::vector<std::string>{LineStart(0, idle) + "FD=T5    ,$B=A5,"}));

  // Listed together, both gather the same frame and each completes on its own.
  ManchesterRig both;
  both.List("T2.mfd", Mfd(kPreamble, "B=8\n", "[TIMEOUT]\nValue=2\n"));
  both.List("T5.mfd", Mfd(kPreamble, "B=8\n"));
  EXPECT_EQ(both.Run(s), (std::vector<std::string>{LineStart(0, change) + "FD=T2    ,$B=A5,",
                                                   LineStart(0, idle) + "FD=T5    ,$B=A5,"}));
}

TEST(DecodeManchester, GlitchEndsTheFrameAtOnce) {
  // 14 bits, then a low pulse far shorter than a half-bit: the frame ends when the pulse
  // does, and its first 12 bits make the faulty block.
  ManchesterRig rig;
  rig.List("G.mfd", Mfd(kRxaPreamble, "D=16\n"));
  SignalBuilder s;
  ManchesterEncoder enc(s, kBaud, false);
  enc.IdleHalfBits(20).Symbols(kRxaPreamble).Field(14, 0x48C);
  s.Hold(0, 30);
  const SampleIndex glitchEnd = FirstSampleAt(s.Now());
  enc.IdleHalfBits(20);
  EXPECT_EQ(rig.Run(s), (std::vector<std::string>{LineStart(0, glitchEnd) + "FD=G     ,\xA3" "123,"}));
}

TEST(DecodeManchester, ClosestDescriptionWinsAndTheFirstOnATie) {
  struct Case {
    std::vector<std::string> order;  // descriptions listed, by name
    int frameBits;
    std::string text;
  };
  const Case cases[] = {
      {{"Long", "Short"}, 40, "FD=Long  ,$L=123456789A,"},
      {{"Long", "Short"}, 32, "FD=Short ,$S=12345678,"},
      {{"Long", "Short"}, 36, "FD=Long  ,\xA3" "123456789,"},  // 4 bits from each
      {{"Short", "Long"}, 36, "FD=Short ,\xA3" "123456789,"},
      {{"Short", "Long"}, 44, "FD=Long  ,\xA3" "123456789AB,"},
  };
  for (const Case& c : cases) {
    ManchesterRig rig;
    for (const std::string& name : c.order)
      rig.List(name + ".mfd", Mfd(kRxaPreamble, name == "Long" ? "L=40\n" : "S=32\n"));
    SignalBuilder s;
    const std::uint64_t value = 0x123456789ABCull >> (48 - c.frameBits);
    const SampleIndex end = AddFrame(s, kRxaPreamble, {{c.frameBits, value}});
    EXPECT_EQ(rig.Run(s), (std::vector<std::string>{LineStart(0, end) + c.text})) << c.frameBits;
  }
}

TEST(DecodeManchester, MarkOrSpaceSymbolEndsTheData) {
  // Symbols after a mark or a space are not part of the frame, even when the line goes on
  // toggling long enough to make whole digits of them.
  for (std::string tail : {"S0101", "M0101", "S", "SS", "M"}) {
    ManchesterRig rig;
    rig.List("Stop.mfd", Mfd(kRxaPreamble, "D=32\n"));
    SignalBuilder s;
    const SampleIndex end = AddFrame(s, kRxaPreamble, {{32, 0xCAFE0F0E}}, tail);
    EXPECT_EQ(rig.Run(s), (std::vector<std::string>{LineStart(0, end) + "FD=Stop  ,$D=CAFE0F0E,"})) << tail;
  }
}

TEST(DecodeManchester, FrameStopsAt512Bits) {
  ManchesterRig rig;
  rig.List("Max.mfd", Mfd(kRxaPreamble, "A=64\nB=64\nC=64\nD=64\nE=64\nF=64\nG=64\nH=64\n"));
  SignalBuilder s;
  ManchesterEncoder enc(s, kBaud, false);
  enc.IdleHalfBits(20).Symbols(kRxaPreamble);
  std::string expected = "FD=Max   ,";
  for (int i = 0; i < 8; ++i) {
    enc.Field(64, 0x0123456789ABCDEFull + i);
    char field[32];
    std::snprintf(field, sizeof field, "$%c=%016llX,", 'A' + i, 0x0123456789ABCDEFull + i);
    expected += field;
  }
  // The 1024th half-bit (high) runs on into the first half-bit of the next bit: the frame is
  // complete when that run of two ends, long before the line falls idle.
  const SampleIndex complete = FirstSampleAt(s.Now() + enc.HalfBitMicros());
  enc.Field(16, 0xFFFF).IdleHalfBits(20);
  EXPECT_EQ(rig.Run(s), (std::vector<std::string>{LineStart(0, complete) + expected}));
}

TEST(DecodeManchester, DisabledDescriptionDecodesNothing) {
  ManchesterRig rig;
  rig.List("Off.mfd", Mfd(kRxaPreamble, "D=8\n"), false);
  SignalBuilder s;
  AddFrame(s, kRxaPreamble, {{8, 0x42}});
  EXPECT_TRUE(rig.Run(s).empty());
  EXPECT_EQ(rig.pipeline.Services().columnTraceMask & 1u, 1u);
  EXPECT_EQ(rig.pipeline.Services().columnEventMask & 1u, 0u);
}

// ---- Run start ----

TEST(ResetManchesterChannel, MissingFileStopsTheListButNotTheRun) {
  ManchesterRig rig;
  rig.settings.channels[1].type = ChannelType::Logical;  // set up after the Manchester channel
  const std::string a = rig.List("KindA.mfd", Mfd(kRxaPreamble, "A=8\n"));
  const std::string b = rig.List("KindB.mfd", Mfd("1111 M1S1", "B=8\n"));
  SignalBuilder s;
  const SampleIndex endA = AddFrame(s, kRxaPreamble, {{8, 0x11}});
  const SampleIndex endB = AddFrame(s, "1111 M1S1", {{8, 0x22}});
  EXPECT_EQ(rig.Run(s), (std::vector<std::string>{"1,0,New Value=1,", LineStart(0, endA) + "FD=KindA ,$A=11,",
                                                  LineStart(0, endB) + "FD=KindB ,$B=22,"}));

  // The slot that held KindB now stands for a missing file; KindB itself is not loaded.
  const std::string missing = rig.dir.File("Gone.mfd");
  rig.settings.channels[0].manchesterFiles = {{a, true}, {missing, true}, {b, true}};
  rig.ui.messages.clear();
  EXPECT_EQ(rig.Run(s), (std::vector<std::string>{"1,0,New Value=1,", LineStart(0, endA) + "FD=KindA ,$A=11,"}));
  EXPECT_FALSE(rig.pipeline.RunSetupFailed());
  EXPECT_EQ(rig.pipeline.manchester[0].descriptionCount, 3);
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text, "Channel 1 : The file ''" + missing + "'' can not be opened");
  EXPECT_EQ(rig.ui.messages[0].caption, "Error");
  EXPECT_EQ(rig.ui.messages[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(rig.pipeline.Services().fieldNames.Names(0), (std::vector<std::string>{"A", "FD"}));
}

TEST(ResetManchesterChannel, RefusedDescriptionStopsTheSetup) {
  ManchesterRig rig;
  rig.settings.channels[1].type = ChannelType::Logical;
  rig.List("Good.mfd", Mfd(kRxaPreamble, "A=8\n"));
  rig.List("Bad.mfd", Mfd(kRxaPreamble, "A=8\n", "[TIMEOUT]\nValue=7\n"), false);  // refused even when off
  SignalBuilder s;
  AddFrame(s, kRxaPreamble, {{8, 0x11}});
  EXPECT_TRUE(rig.Run(s).empty());
  EXPECT_TRUE(rig.pipeline.RunSetupFailed());
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_NE(rig.ui.messages[0].text.find("Value of TIMEOUT (2..5)"), std::string::npos);
}

TEST(ResetManchesterChannel, RunStartKeepsTheLastLevel) {
  // The second run starts at the level the first one ended with: no change on its first
  // sample, so its first run is 101 samples long (two half-bits), with no '<' before it.
  ManchesterRig rig;
  rig.List("W.mfd", Mfd(std::string(32, 'S'), "D=8\n"));
  rig.Dispatch(std::vector<std::uint8_t>(100, 0x1));
  EXPECT_EQ(rig.pipeline.manchester[0].slots[0].window.View(), "<");
  std::vector<std::uint8_t> second(100, 0x1);
  second.push_back(0x0);
  rig.Dispatch(second);
  EXPECT_EQ(rig.pipeline.manchester[0].slots[0].window.View(), "11");
}

TEST(ResetManchesterChannel, InactiveChannelOrEmptyListGivesOnlyTheTrace) {
  for (bool active : {false, true}) {
    ManchesterRig rig;
    rig.settings.channels[0].active = active;
    if (!active) rig.List("A.mfd", Mfd(kRxaPreamble, "A=8\n"));
    SignalBuilder s;
    AddFrame(s, kRxaPreamble, {{8, 0x11}});
    EXPECT_TRUE(rig.Run(s).empty()) << active;
    EXPECT_EQ(rig.pipeline.manchester[0].descriptionCount, 0);
    EXPECT_EQ(rig.pipeline.Services().columnEventMask & 1u, 0u);
  }
}

TEST(DecodeManchester, OutputDoesNotDependOnHowInputIsCut) {
  auto setUp = [](ManchesterRig& rig) {
    rig.List("KindA.mfd", Mfd(kRxaPreamble, "A=16\n"));
    rig.List("KindB.mfd", Mfd("1111 M1S1", "B=8\n", "", 9600, true));
    for (int c = 1; c < 4; ++c) rig.settings.channels[c] = rig.settings.channels[0];
  };
  Capture capture;
  for (int c = 0; c < 4; ++c) {
    for (int k = 0; k < 3; ++k) {
      AddFrame(capture.channel[c], kRxaPreamble, {{16, 0x1234u + 0x1111u * (k + c)}});
      AddFrame(capture.channel[c], "1111 M1S1", {{8, 0x5Au + 3u * (k + c)}}, "", 9600, true);
    }
  }
  const auto live = capture.LiveBytes(2000);
  ManchesterRig whole;
  setUp(whole);
  const auto expected = whole.Replay(LiveBytesToFileBytes(live));
  EXPECT_GE(expected.size(), 6u);  // channel 1 is sampled at every sample: all its frames
  for (std::size_t slice : {1u, 7u, 1024u}) {
    ManchesterRig rig;
    setUp(rig);
    EXPECT_EQ(rig.DispatchLive(live, slice), expected) << slice;
  }
}

// ---- velkor-decode on a capture of two kinds of frame ----

TEST(DecodeManchester, ToolGivesTheExactLines) {
  TempDir dir;
  Settings settings;
  for (auto& c : settings.channels) c.active = false;
  ChannelSettings& ch = settings.channels[2];
  ch.type = ChannelType::Manchester;
  ch.active = true;
  ch.manchesterFiles = {{dir.Write("FD_RXA.mfd", Mfd(kRxaPreamble, "IDE=32\nAcc=8\n")), true},
                        {dir.Write("Door.mfd", Mfd("1111 M1S1", "Cmd=4\nArg=12\n", "[TIMEOUT]\nValue=3\n", 9600, true)),
                         true}};
  const std::string config = WriteChannelConfig(dir, "man.cfg", settings);

  Capture capture;
  SignalBuilder& s = capture.channel[2];
  const SampleIndex e1 = AddFrame(s, kRxaPreamble, {{32, 0xF00058AE}, {8, 0x03}});
  const SampleIndex e2 = AddFrame(s, "1111 M1S1", {{4, 0xC}, {12, 0x3A7}}, "", 9600, true);
  const SampleIndex e3 = AddFrame(s, kRxaPreamble, {{32, 0x12345678}, {4, 0x9}});
  const SampleIndex e4 = AddFrame(s, "1111 M1S1", {{4, 0x1}, {12, 0xFFF}}, "", 9600, true);
  const std::string capturePath = dir.Write("frames.bin", capture.FileBytes(500));

  const auto r = RunDecodeTool("--raw --config " + config + " " + capturePath);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, LineStart(2, e1) + "FD=FD_RXA,$IDE=F00058AE,$Acc=03,\n" +  //
                       LineStart(2, e2) + "FD=Door  ,$Cmd=C,$Arg=3A7,\n" +        //
                       LineStart(2, e3) + "FD=FD_RXA,\xA3" "123456789,\n" +       //
                       LineStart(2, e4) + "FD=Door  ,$Cmd=1,$Arg=FFF,\n");
}
