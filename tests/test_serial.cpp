// The Serial decoder and its frame description.

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "TestRig.h"
#include "UartEncoder.h"
#include "Waveform.h"

using namespace velkor;
using namespace velkor::test;

namespace {

// A *.sfd file; a key left empty is not written.
struct Sfd {
  std::optional<std::string> baudrate = "9600";
  std::optional<std::string> dataBits = "8";
  std::optional<std::string> lsbFirst = "YES";
  std::optional<std::string> invertedStart = "NO";
  std::optional<std::string> invertedData = "YES";
  std::optional<std::string> interFrame = "1000";
  std::optional<std::string> ascii;

  static Sfd For(const UartFormat& f, int interFrameMicros, bool asciiMode = false) {
    Sfd s;
    s.baudrate = std::to_string(static_cast<int>(f.baud));
    s.dataBits = std::to_string(f.dataBits);
    s.lsbFirst = f.lsbFirst ? "YES" : "NO";
    s.invertedStart = f.invertedStart ? "YES" : "NO";
    s.invertedData = f.invertedData ? "YES" : "NO";
    s.interFrame = std::to_string(interFrameMicros);
    s.ascii = asciiMode ? "YES" : "NO";
    return s;
  }

  std::string Text() const {
    std::string t = "; written by the tests\n[PROTOCOL]\n";
    auto key = [&t](const char* name, const std::optional<std::string>& v) {
      if (v) t += std::string(name) + "=" + *v + "\n";
    };
    key("Baudrate", baudrate);
    key("DataBits", dataBits);
    key("LsbFirst", lsbFirst);
    key("InvertedStart", invertedStart);
    key("InvertedData", invertedData);
    key("InterFrame", interFrame);
    key("Ascii", ascii);
    return t;
  }
};

struct SerialRig : TestRig {
  explicit SerialRig(int channel = 0) : channel_(channel) {
    NoDecoderOnAnyChannel();
    settings.channels[channel].type = ChannelType::Serial;
  }
  std::string Describe(const Sfd& sfd) { return Describe(sfd, channel_); }
  std::string Describe(const Sfd& sfd, int channel) {
    std::string path = dir.Write("ch" + std::to_string(channel + 1) + ".sfd", sfd.Text());
    settings.channels[channel].serialFile = path;
    return path;
  }
  SerialChannelState& State() { return pipeline.serial[channel_]; }

 private:
  int channel_;
};

std::vector<std::uint8_t> Samples(const SignalBuilder& line, int channel = 0, std::size_t extra = 3000) {
  Capture c;
  c.channel[channel] = line;
  return c.FileBytes(extra);
}

// The frame field of each line (everything after the date).
std::vector<std::string> Fields(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(l.substr(l.find(',', 2) + 1));
  return out;
}

std::string LineAt(int channel, SampleIndex n, const std::string& field) {
  return std::to_string(channel) + "," + std::to_string(SampleTimeMicros(n)) + "," + field;
}

// Sends a word whose start edge lands on sample `edge`; returns the sample on which a
// receiver sampling each bit in its middle takes the stop bit.
SampleIndex SendAt(UartEncoder& uart, SampleIndex edge, std::uint32_t value) {
  uart.GapUntil(static_cast<double>(edge) * kSampleMicros).Word(value);
  const std::int64_t period = 1000000 / static_cast<std::int64_t>(uart.Format().baud);
  return edge + static_cast<SampleIndex>(BitSamplePosition(period, uart.Format().dataBits + 1) + 1);
}

const std::string kMsg = "\nDo you want to open this file ?";

}  // namespace

// --- bit timing -----------------------------------------------------------------------

TEST(DecodeSerial, BitsAreTakenAtTheirSamplesAt9600) {
  // RS232 as the module sees it: a data bit 1 is level 0, so a quiet line after a start
  // edge reads FF. A single-sample pulse of level 1 turns exactly one symbol around when,
  // and only when, it sits on the sample that takes that symbol.
  constexpr SampleIndex s = 10;
  constexpr SampleIndex kTaken[] = {23, 66, 109, 153, 196, 239, 283, 326, 369, 413};
  auto run = [&](const std::vector<SampleIndex>& highAt) {
    SerialRig rig;
    rig.Describe(Sfd{});
    std::vector<std::uint8_t> samples(s + 840, 0);
    samples[s] = 1;
    for (SampleIndex at : highAt) samples[s + at] = 1;
    return rig.Dispatch(samples);
  };
  auto hex = [](int v) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    return std::string{kHex[v >> 4], kHex[v & 0xF]};
  };
  const SampleIndex lineSample = s + 413 + 416 + 1;  // InterFrame 1000 us is 416 samples
  EXPECT_EQ(run({23}), (std::vector<std::string>{LineAt(0, lineSample, "Data=FF,")}));
  for (int k = 1; k <= 8; ++k) {
    EXPECT_EQ(Fields(run({23, kTaken[k]})), (std::vector<std::string>{"Data=" + hex(0xFF & ~(1 << (k - 1))) + ","}))
        << "data bit " << k;
    EXPECT_EQ(Fields(run({23, kTaken[k] - 1, kTaken[k] + 1})), (std::vector<std::string>{"Data=FF,"}))
        << "data bit " << k;
  }
  const std::string bad = std::string(1, kErrorLineMark) + "Data=" + kErrorMark + ",";
  for (const auto& highAt : std::vector<std::vector<SampleIndex>>{{}, {22}, {24}, {23, 413}})
    EXPECT_EQ(Fields(run(highAt)), (std::vector<std::string>{bad}));
  EXPECT_EQ(Fields(run({23, 412})), (std::vector<std::string>{"Data=FF,"}));
}

TEST(DecodeSerial, ALineAlreadyAtTheStartLevelStartsAWordOnTheFirstSample) {
  SerialRig rig;
  rig.Describe(Sfd{});
  SignalBuilder line = UartLine(UartFormat::Rs232AsSeen(9600));
  UartEncoder(line, UartFormat::Rs232AsSeen(9600)).Word(0x41);
  EXPECT_EQ(rig.Dispatch(Samples(line)), (std::vector<std::string>{LineAt(0, 413 + 417, "Data=41,")}));
  // A new run forgets the level the previous one ended on.
  EXPECT_EQ(rig.Dispatch(Samples(line)), (std::vector<std::string>{LineAt(0, 413 + 417, "Data=41,")}));
}

// --- word formats and polarity ----------------------------------------------------------

TEST(DecodeSerial, WordFormatsAndPolarities) {
  auto with = [](UartFormat f, int bits, bool lsb) {
    f.dataBits = bits;
    f.lsbFirst = lsb;
    return f;
  };
  const UartFormat rs232 = UartFormat::Rs232AsSeen(9600);
  const UartFormat inverter = UartFormat::BehindInverter(9600);
  struct Case {
    const char* name;
    UartFormat format;
    std::vector<std::uint32_t> words;
    std::string field;
  };
  const Case cases[] = {
      {"rs232 as seen", rs232, {0x56, 0x65, 0x00, 0xFF}, "Data=56 65 00 FF,"},
      {"behind an inverter", inverter, {0x56, 0x65, 0x00, 0xFF}, "Data=56 65 00 FF,"},
      {"msb first", with(rs232, 8, false), {0x01, 0x80, 0x3C}, "Data=01 80 3C,"},
      {"1 data bit", with(rs232, 1, true), {0, 1, 1, 0}, "Data=0 1 1 0,"},
      {"4 data bits", with(inverter, 4, true), {0xA, 0x5}, "Data=A 5,"},
      {"5 data bits", with(rs232, 5, true), {0x1F, 0x03}, "Data=1F 03,"},
      {"9 data bits", with(inverter, 9, true), {0x1FF, 0x005}, "Data=1FF 005,"},
      {"16 data bits", with(rs232, 16, true), {0xFFFF, 0x1234, 0x0001}, "Data=FFFF 1234 0001,"},
      {"16 data bits msb first", with(inverter, 16, false), {0x8001, 0xBEEF}, "Data=8001 BEEF,"},
      {"2 stop bits", [&] { UartFormat f = rs232; f.stopBits = 2; return f; }(), {0x12, 0x34}, "Data=12 34,"},
  };
  for (const Case& c : cases) {
    SerialRig rig;
    rig.Describe(Sfd::For(c.format, 3000));
    SignalBuilder line = UartLine(c.format);
    UartEncoder uart(line, c.format);
    uart.Gap(500);
    for (std::uint32_t w : c.words) uart.Word(w).Gap(20);
    EXPECT_EQ(Fields(rig.Dispatch(Samples(line))), (std::vector<std::string>{c.field})) << c.name;
  }
}

TEST(DecodeSerial, SixteenDataBitsTakeEighteenSymbols) {
  UartFormat f = UartFormat::Rs232AsSeen(9600);
  f.dataBits = 16;
  SerialRig rig;
  rig.Describe(Sfd::For(f, 0));
  SignalBuilder line = UartLine(f);
  UartEncoder uart(line, f);
  const SampleIndex stop = SendAt(uart, 50, 0xA5C3);
  EXPECT_EQ(stop, 50u + 759u);  // symbol 17 of a 104 us bit
  EXPECT_EQ(rig.Dispatch(Samples(line)), (std::vector<std::string>{LineAt(0, stop + 1, "Data=A5C3,")}));
}

// --- frames ------------------------------------------------------------------------------

TEST(DecodeSerial, InterFrameZeroMakesEveryWordALine) {
  const UartFormat f = UartFormat::Rs232AsSeen(9600);
  SerialRig rig;
  rig.Describe(Sfd::For(f, 0));
  SignalBuilder line = UartLine(f);
  UartEncoder uart(line, f);
  const SampleIndex first = SendAt(uart, 100, 0x01);
  uart.Word(0x02);  // back to back: its start edge is the first sample after the first word
  const SampleIndex second = static_cast<SampleIndex>(std::ceil((100 * kSampleMicros + f.WordMicros()) / kSampleMicros)) + 413;
  EXPECT_EQ(rig.Dispatch(Samples(line, 0, 50)),
            (std::vector<std::string>{LineAt(0, first + 1, "Data=01,"), LineAt(0, second + 1, "Data=02,")}));
  EXPECT_EQ(rig.pipeline.Services().columnEventMask, 1u);
  EXPECT_EQ(rig.pipeline.Services().columnTraceMask, 1u);
}

TEST(DecodeSerial, TheGapIsFrozenDuringAWord) {
  // InterFrame 1000 us is 416 samples. A start edge d samples after the sample that stored
  // the last word continues the frame when d is below 416; otherwise the frame ends at the
  // latest on the sample after that edge.
  const UartFormat f = UartFormat::Rs232AsSeen(9600);
  struct Case {
    SampleIndex d;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {300, {"Data=11 22,"}},
      {415, {"Data=11 22,"}},  // the idle count passes 416 during the word; the frozen gap doesn't
      {416, {"Data=11,", "Data=22,"}},
      {417, {"Data=11,", "Data=22,"}},
      {600, {"Data=11,", "Data=22,"}},
  };
  for (const Case& c : cases) {
    SerialRig rig;
    rig.Describe(Sfd::For(f, 1000));
    SignalBuilder line = UartLine(f);
    UartEncoder uart(line, f);
    const SampleIndex stop1 = SendAt(uart, 100, 0x11);
    const SampleIndex stop2 = SendAt(uart, stop1 + c.d, 0x22);
    auto lines = rig.Dispatch(Samples(line));
    EXPECT_EQ(Fields(lines), c.fields) << c.d;
    if (lines.size() != 2) continue;
    EXPECT_EQ(lines[0], LineAt(0, stop1 + 417, "Data=11,")) << c.d;
    EXPECT_EQ(lines[1], LineAt(0, stop2 + 417, "Data=22,")) << c.d;
  }
}

TEST(DecodeSerial, TheDateOfTheSampleThatEndsTheFrame) {
  // Channel 3 (index 2), the end of the frame detected on sample 78990.
  const UartFormat f = UartFormat::Rs232AsSeen(9600);
  const SampleIndex lastEdge = 78990 - 417 - 413;
  for (bool ascii : {false, true}) {
    SerialRig rig(2);
    rig.Describe(Sfd::For(f, 1000, ascii));
    SignalBuilder line = UartLine(f);
    UartEncoder uart(line, f);
    SendAt(uart, lastEdge - 500, 0x41);
    SendAt(uart, lastEdge, 0x42);
    EXPECT_EQ(rig.Dispatch(Samples(line, 2)),
              (std::vector<std::string>{ascii ? "2,189575,Data=AB," : "2,189575,Data=41 42,"}));
  }
}

TEST(DecodeSerial, BadWordsShowTheErrorMarkAndMarkTheField) {
  const UartFormat f = UartFormat::Rs232AsSeen(9600);
  const std::string mark(1, kErrorMark);
  const std::string red(1, kErrorLineMark);
  for (bool ascii : {false, true}) {
    SerialRig rig;
    rig.Describe(Sfd::For(f, 2000, ascii));
    SignalBuilder line = UartLine(f);
    UartEncoder uart(line, f);
    uart.Gap(200).WordWithBadStop(0x41).Gap(300).WordWithBadStop(0x41).Gap(300).WordWithBadStop(0x41).Gap(5000);
    uart.Word(0x41).WordWithBadStop(0x42).Gap(100).Word(0x43).Gap(5000);
    uart.Word(0x44);
    auto fields = Fields(rig.Dispatch(Samples(line)));
    if (ascii)
      EXPECT_EQ(fields, (std::vector<std::string>{red + "Data=" + mark + mark + mark + ",",
                                                  red + "Data=A" + mark + "C,", "Data=D,"}));
    else
      EXPECT_EQ(fields, (std::vector<std::string>{red + "Data=" + mark + " " + mark + " " + mark + ",",
                                                  red + "Data=41 " + mark + " 43,", "Data=44,"}));
  }
}

TEST(DecodeSerial, BehindAnInverterABadStopBitStartsAnotherWordAtOnce) {
  // The level remembered on the sample that takes the stop bit is the stored (inverted)
  // symbol, so a stop bit held at the start level looks like a fresh start edge on the
  // next sample. With the start bit at level 1 the stored and raw stop levels agree and
  // nothing follows.
  const std::string mark(1, kErrorMark);
  const std::string red(1, kErrorLineMark);
  for (bool inverter : {true, false}) {
    const UartFormat f = inverter ? UartFormat::BehindInverter(9600) : UartFormat::Rs232AsSeen(9600);
    SerialRig rig;
    rig.Describe(Sfd::For(f, 3000));
    SignalBuilder line = UartLine(f);
    UartEncoder(line, f).Gap(100).WordWithBadStop(0x41).Gap(100);
    EXPECT_EQ(Fields(rig.Dispatch(Samples(line))),
              (std::vector<std::string>{red + "Data=" + mark + (inverter ? " " + mark : "") + ","}))
        << inverter;
  }
}

TEST(DecodeSerial, AsciiCharacters) {
  struct Case {
    int dataBits;
    std::vector<std::uint32_t> words;
    std::string field;
  };
  const Case cases[] = {
      {8, {'H', 'i', '!'}, "Data=Hi!,"},
      {8, {149, 150, 151}, "Data=\x97\x96\x97,"},
      {8, {10, 31, 0, 32, 127, 255}, "Data=\x90\x90\x90 \x7F\xFF,"},
      {8, {'a', ',', 'b'}, "Data=a,b,"},  // a comma stays: the views then see two fields
      {8, {'O', 'K', ' '}, "Data=OK,"},   // the one final blank goes
      {8, {' ', 'x', ' ', ' '}, "Data= x ,"},
      {8, {' '}, "Data=,"},
      // Wider words show their low 8 bits, with the same substitutions as a byte.
      {9, {0x141, 0x100, 0x10A, 0x195, 0x12C}, "Data=A\x90\x90\x97,,"},
  };
  for (const Case& c : cases) {
    UartFormat f = UartFormat::Rs232AsSeen(9600);
    f.dataBits = c.dataBits;
    SerialRig rig;
    rig.Describe(Sfd::For(f, 1000, true));
    SignalBuilder line = UartLine(f);
    UartEncoder uart(line, f);
    uart.Gap(100);
    for (std::uint32_t w : c.words) uart.Word(w);
    EXPECT_EQ(Fields(rig.Dispatch(Samples(line))), (std::vector<std::string>{c.field})) << c.field;
  }
}

TEST(DecodeSerial, AFrameHoldsAtMost512Words) {
  // 600 words 435 samples apart, InterFrame 5000 us (2083 samples). After the 512th word the
  // next ones are dropped and the gap keeps growing from the 512th; the frame ends on the
  // first sample the gap exceeds 2083 (after word 516 completes, still inside the traffic),
  // and word 517 opens the next frame.
  const UartFormat f = UartFormat::Rs232AsSeen(9600);
  SerialRig rig;
  rig.Describe(Sfd::For(f, 5000, true));
  SignalBuilder line = UartLine(f);
  UartEncoder uart(line, f);
  std::vector<SampleIndex> stops;
  std::string first, second;
  for (int j = 0; j < 600; ++j) {
    const char c = static_cast<char>('A' + j % 26);
    stops.push_back(SendAt(uart, 100 + static_cast<SampleIndex>(j) * 435, static_cast<unsigned char>(c)));
    if (j < 512) first += c;
    if (j >= 517) second += c;
  }
  EXPECT_EQ(rig.Dispatch(Samples(line, 0, 5000)),
            (std::vector<std::string>{LineAt(0, stops[516] + 1, "Data=" + first + ","),
                                      LineAt(0, stops[599] + 2084, "Data=" + second + ",")}));
}

TEST(DecodeSerial, TheIdleCountStopsAtAMillionSamples) {
  // 2399999 us is 999999 samples: the gap passes it on the millionth sample after the word.
  // 2400000 us is 1000000 samples, which the held idle count never exceeds.
  const UartFormat f = UartFormat::Rs232AsSeen(9600);
  for (int interFrame : {2399999, 2400000}) {
    SerialRig rig;
    rig.Describe(Sfd::For(f, interFrame));
    SignalBuilder line = UartLine(f);
    UartEncoder uart(line, f);
    const SampleIndex stop = SendAt(uart, 100, 0x5A);
    const auto lines = rig.Dispatch(Samples(line, 0, 1100000));
    if (interFrame == 2399999)
      EXPECT_EQ(lines, (std::vector<std::string>{LineAt(0, stop + 1000000, "Data=5A,")}));
    else
      EXPECT_TRUE(lines.empty());
  }
}

TEST(DecodeSerial, LongHexFramesAreCutBySink) {
  const UartFormat f = UartFormat::Rs232AsSeen(9600);
  SerialRig rig;
  rig.Describe(Sfd::For(f, 1000));
  SignalBuilder line = UartLine(f);
  UartEncoder uart(line, f);
  for (int j = 0; j < 400; ++j) uart.Word(static_cast<std::uint32_t>(j & 0xFF));
  auto lines = rig.Dispatch(Samples(line));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].size(), 1000u);
  EXPECT_EQ(lines[0].substr(lines[0].find(',', 2) + 1, 20), "Data=00 01 02 03 04 ");
  EXPECT_EQ(lines[0].substr(997), "..,");
}

// --- the description ------------------------------------------------------------------

TEST(LoadSerialDescription, RefusalsAndTheirMessages) {
  struct Case {
    const char* name;
    Sfd sfd;
    const char* reason;
  };
  auto edit = [](auto change) {
    Sfd s;
    change(s);
    return s;
  };
  const Case cases[] = {
      {"no baud rate", edit([](Sfd& s) { s.baudrate.reset(); }), "Value of Baudrate"},
      {"baud rate -1", edit([](Sfd& s) { s.baudrate = "-1"; }), "Value of Baudrate"},
      {"baud rate 0", edit([](Sfd& s) { s.baudrate = "0"; }), "Value of Baudrate"},
      {"negative baud rate", edit([](Sfd& s) { s.baudrate = "-9600"; }), "Value of Baudrate"},
      {"baud rate not a number", edit([](Sfd& s) { s.baudrate = "fast"; }), "Value of Baudrate"},
      {"no data bits", edit([](Sfd& s) { s.dataBits.reset(); }), "Value of DataBits"},
      {"0 data bits", edit([](Sfd& s) { s.dataBits = "0"; }), "Value of DataBits"},
      {"17 data bits", edit([](Sfd& s) { s.dataBits = "17"; }), "Value of DataBits"},
      {"no LsbFirst", edit([](Sfd& s) { s.lsbFirst.reset(); }), "Value of LsbFirst"},
      {"LsbFirst neither", edit([](Sfd& s) { s.lsbFirst = "TRUE"; }), "Value of LsbFirst"},
      {"no InvertedStart", edit([](Sfd& s) { s.invertedStart.reset(); }), "Value of InvertedStart"},
      {"InvertedData Y", edit([](Sfd& s) { s.invertedData = "Y"; }), "Value of InvertedData"},
      {"no InterFrame", edit([](Sfd& s) { s.interFrame.reset(); }), "Value of InterFrame"},
      {"InterFrame -1", edit([](Sfd& s) { s.interFrame = "-1"; }), "Value of InterFrame"},
      {"Ascii OUI", edit([](Sfd& s) { s.ascii = "OUI"; }), "Value of Ascii"},
      {"first bad key wins", edit([](Sfd& s) { s.dataBits = "99"; s.ascii = "?"; }), "Value of DataBits"},
  };
  for (const Case& c : cases) {
    SerialRig rig;
    const std::string path = rig.Describe(c.sfd);
    rig.pipeline.Services().fieldNames.Add(0, "Old");
    rig.pipeline.ResetRun();
    EXPECT_TRUE(rig.pipeline.RunSetupFailed()) << c.name;
    ASSERT_EQ(rig.ui.messages.size(), 1u) << c.name;
    EXPECT_EQ(rig.ui.messages[0].text, "Channel 1 : File ''" + path + "'' \n--> " + c.reason + kMsg) << c.name;
    EXPECT_EQ(rig.ui.messages[0].caption, "Error");
    EXPECT_EQ(rig.ui.messages[0].buttons, MessageButtons::YesNo);
    EXPECT_TRUE(rig.ui.editors.empty());
    EXPECT_TRUE(rig.pipeline.Services().fieldNames.Names(0).empty()) << c.name;
  }
}

TEST(LoadSerialDescription, AnswerYesOpensTheEditorWithTheReason) {
  SerialRig rig(3);
  Sfd sfd;
  sfd.dataBits = "17";
  const std::string path = rig.Describe(sfd);
  rig.ui.answers.push_back(MessageAnswer::Yes);
  rig.pipeline.ResetRun();
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text, "Channel 4 : File ''" + path + "'' \n--> Value of DataBits" + kMsg);
  EXPECT_EQ(rig.ui.editors, (std::vector<std::pair<std::string, std::string>>{{path, "Error : Value of DataBits"}}));
}

TEST(LoadSerialDescription, AMissingFileCanNotBeOpened) {
  SerialRig rig(1);
  const std::string path = rig.dir.File("nowhere.sfd");
  rig.settings.channels[1].serialFile = path;
  rig.ui.answers.push_back(MessageAnswer::Yes);
  rig.pipeline.ResetRun();
  EXPECT_TRUE(rig.pipeline.RunSetupFailed());
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text, "Channel 2 : File ''" + path + "'' \n--> The file can not be opened");
  EXPECT_EQ(rig.ui.messages[0].caption, "Error");
  EXPECT_EQ(rig.ui.messages[0].buttons, MessageButtons::Ok);
  EXPECT_TRUE(rig.ui.editors.empty());
}

TEST(LoadSerialDescription, AcceptedValuesAndTheirConversions) {
  struct Case {
    const char* name;
    Sfd sfd;
    std::int32_t interFrameSamples;
    std::int32_t hexDigits;
    bool ascii;
  };
  auto edit = [](auto change) {
    Sfd s;
    change(s);
    return s;
  };
  const Case cases[] = {
      {"defaults", Sfd{}, 416, 2, false},
      {"13000 us", edit([](Sfd& s) { s.interFrame = "13000"; }), 5416, 2, false},
      {"0 us", edit([](Sfd& s) { s.interFrame = "0"; }), 0, 2, false},
      {"-2 us", edit([](Sfd& s) { s.interFrame = "-2"; }), 0, 2, false},
      {"-12 us", edit([](Sfd& s) { s.interFrame = "-12"; }), -5, 2, false},
      {"-13 us", edit([](Sfd& s) { s.interFrame = "-13"; }), -5, 2, false},
      {"1 bit", edit([](Sfd& s) { s.dataBits = "1"; }), 416, 1, false},
      {"4 bits", edit([](Sfd& s) { s.dataBits = "4"; }), 416, 1, false},
      {"5 bits", edit([](Sfd& s) { s.dataBits = "5"; }), 416, 2, false},
      {"9 bits", edit([](Sfd& s) { s.dataBits = "9"; }), 416, 3, false},
      {"12 bits", edit([](Sfd& s) { s.dataBits = "12"; }), 416, 3, false},
      {"16 bits", edit([](Sfd& s) { s.dataBits = "16"; }), 416, 4, false},
      {"any case", edit([](Sfd& s) { s.lsbFirst = "yes"; s.invertedStart = "No"; s.ascii = "yEs"; }), 416, 2, true},
      {"1 baud", edit([](Sfd& s) { s.baudrate = "1"; }), 416, 2, false},
  };
  for (const Case& c : cases) {
    SerialRig rig;
    rig.Describe(c.sfd);
    rig.pipeline.Services().fieldNames.Add(0, "Old");
    rig.pipeline.ResetRun();
    EXPECT_FALSE(rig.pipeline.RunSetupFailed()) << c.name;
    EXPECT_TRUE(rig.ui.messages.empty()) << c.name;
    EXPECT_EQ(rig.State().settings.interFrameSamples, c.interFrameSamples) << c.name;
    EXPECT_EQ(rig.State().settings.hexDigits, c.hexDigits) << c.name;
    EXPECT_EQ(rig.State().settings.ascii, c.ascii) << c.name;
    EXPECT_EQ(rig.pipeline.Services().fieldNames.Names(0), (std::vector<std::string>{"Data"})) << c.name;
  }
}

TEST(LoadSerialDescription, ARefusedFileStopsTheRunSetupAndNothingIsDecoded) {
  const UartFormat f = UartFormat::Rs232AsSeen(9600);
  SerialRig rig(0);
  rig.settings.channels[1].type = ChannelType::Serial;
  Sfd bad;
  bad.lsbFirst.reset();
  rig.Describe(bad, 0);
  rig.Describe(Sfd::For(f, 1000), 1);
  Capture c;
  for (int ch : {0, 1}) {
    c.channel[ch] = UartLine(f);
    UartEncoder(c.channel[ch], f).Gap(100).Text("OK");
  }
  rig.pipeline.Services().fieldNames.Add(1, "Old");
  EXPECT_TRUE(rig.Replay(c.FileBytes(2000)).empty());
  ASSERT_EQ(rig.ui.messages.size(), 1u);  // channel 2's description was not reached
  EXPECT_NE(rig.ui.messages[0].text.find("Value of LsbFirst"), std::string::npos);
  EXPECT_EQ(rig.ui.progress, (std::vector<std::string>{"show:Reload...", "hide"}));
  EXPECT_EQ(rig.pipeline.Services().fieldNames.Names(1), (std::vector<std::string>{"Old"}));
}

TEST(LoadSerialDescription, ARefusedFileKeepsThePreviousSettings) {
  // A live run goes on after a refusal; the channel must go on with what it had, not with
  // a half-read description (here a word wider than the decoder can hold).
  const UartFormat f = UartFormat::Rs232AsSeen(9600);
  SerialRig rig;
  rig.Describe(Sfd::For(f, 1000));
  SignalBuilder line = UartLine(f);
  UartEncoder(line, f).Gap(100).Words({0x12, 0x34});
  const auto samples = Samples(line);
  ASSERT_EQ(Fields(rig.Dispatch(samples)), (std::vector<std::string>{"Data=12 34,"}));
  Sfd wide = Sfd::For(f, 1000);
  wide.dataBits = "17";
  rig.Describe(wide);
  rig.pipeline.ResetRun();
  ASSERT_TRUE(rig.pipeline.RunSetupFailed());
  EXPECT_EQ(rig.State().settings.dataBits, 8);
  for (std::uint8_t s : samples) rig.pipeline.DispatchSample(s & 0x0F, rig.pipeline.sampleIndex++);
  EXPECT_EQ(Fields(rig.Lines()), (std::vector<std::string>{"Data=12 34,"}));
}

TEST(LoadSerialDescription, AChannelWhoseFileWasNeverAcceptedDecodesNothing) {
  // A live run goes on after a refusal; with no accepted description there is no bit
  // rate to time the words with.
  const UartFormat f = UartFormat::Rs232AsSeen(9600);
  SerialRig rig;
  Sfd bad = Sfd::For(f, 1000);
  bad.invertedData = "MAYBE";
  rig.Describe(bad);
  rig.pipeline.ResetRun();
  ASSERT_TRUE(rig.pipeline.RunSetupFailed());
  SignalBuilder line = UartLine(f);
  UartEncoder(line, f).Gap(100).Text("OK");
  for (std::uint8_t s : Samples(line)) rig.pipeline.DispatchSample(s & 0x0F, rig.pipeline.sampleIndex++);
  EXPECT_TRUE(rig.Lines().empty());
  // The reset stopped at channel 1, so only its bits are this decoder's.
  EXPECT_EQ(rig.pipeline.Services().columnTraceMask & 1u, 1u);
  EXPECT_EQ(rig.pipeline.Services().columnEventMask & 1u, 0u);
}

// --- conformance ----------------------------------------------------------------------

TEST(DecodeSerial, InactiveChannelOnlyMarksItsTrace) {
  const UartFormat f = UartFormat::Rs232AsSeen(9600);
  SerialRig rig;
  rig.Describe(Sfd::For(f, 0));
  SignalBuilder line = UartLine(f);
  UartEncoder(line, f).Gap(100).Text("AB");
  const auto samples = Samples(line, 0, 100);
  ASSERT_EQ(rig.Dispatch(samples).size(), 2u);
  rig.settings.channels[0].active = false;
  EXPECT_TRUE(rig.Dispatch(samples).empty());
  EXPECT_EQ(rig.pipeline.Services().columnTraceMask, 1u);
  EXPECT_EQ(rig.pipeline.Services().columnEventMask, 0u);
}

TEST(DecodeSerial, OutputDoesNotDependOnHowInputIsCut) {
  // Channel 1 is sampled on every sample of the live stream, channel 2 on every second one.
  const UartFormat f = UartFormat::BehindInverter(19200);
  Capture c;
  for (int ch : {0, 1}) {
    c.channel[ch] = UartLine(f);
    UartEncoder uart(c.channel[ch], f);
    for (int frame = 0; frame < 6; ++frame) {
      uart.Gap(1500 + 333 * frame + 100 * ch);
      for (int w = 0; w < 5 + frame; ++w) uart.Word(static_cast<std::uint32_t>(frame * 37 + w * 11 + ch)).Gap(w * 13.0);
    }
  }
  const auto live = c.LiveBytes(2000);
  auto configure = [&](SerialRig& rig) {
    rig.settings.channels[1].type = ChannelType::Serial;
    rig.Describe(Sfd::For(f, 1000), 0);
    rig.Describe(Sfd::For(f, 1000), 1);
  };
  SerialRig whole;
  configure(whole);
  const auto expected = whole.Replay(LiveBytesToFileBytes(live));
  ASSERT_EQ(expected.size(), 12u);
  for (std::size_t slice : {1u, 7u, 1024u}) {
    SerialRig rig;
    configure(rig);
    EXPECT_EQ(rig.DispatchLive(live, slice), expected) << slice;
  }
}

// --- velkor-decode on generated captures ----------------------------------------------

namespace {

struct ToolCase {
  double baud;
  int interFrameMicros;
  bool ascii;
};

// Frames of 8N1 traffic with start edges placed on whole samples: gaps inside a frame are
// well below InterFrame, gaps between frames well above. Each line is dated on the sample
// after the one where the gap from the frame's last stop bit first exceeds InterFrame.
void CheckTool(const ToolCase& tc) {
  const UartFormat f = UartFormat::Rs232AsSeen(tc.baud);
  const SampleIndex interFrame = static_cast<SampleIndex>(5 * tc.interFrameMicros / 12);
  const SampleIndex word = static_cast<SampleIndex>(std::ceil(f.WordMicros() / kSampleMicros));
  TempDir dir;
  Settings settings;
  for (auto& ch : settings.channels) ch.active = false;
  settings.channels[0].type = ChannelType::Serial;
  settings.channels[0].active = true;
  settings.channels[0].serialFile = dir.Write("line.sfd", Sfd::For(f, tc.interFrameMicros, tc.ascii).Text());
  const std::string config = WriteChannelConfig(dir, "serial.cfg", settings);

  Capture c;
  c.channel[0] = UartLine(f);
  UartEncoder uart(c.channel[0], f);
  const std::vector<std::string> frames = {"Hi", "8N1", "ok?", "Z"};
  std::string expected;
  SampleIndex edge = 37;
  for (const std::string& frame : frames) {
    SampleIndex stop = 0;
    std::string data;
    for (std::size_t i = 0; i < frame.size(); ++i) {
      stop = SendAt(uart, edge, static_cast<unsigned char>(frame[i]));
      edge += word + interFrame / 3 * (i % 2);  // back to back, or a third of InterFrame apart
      if (tc.ascii) {
        data += frame[i];
      } else {
        static constexpr char kHex[] = "0123456789ABCDEF";
        data += kHex[static_cast<unsigned char>(frame[i]) >> 4];
        data += kHex[static_cast<unsigned char>(frame[i]) & 0xF];
        data += ' ';
      }
    }
    if (!tc.ascii) data.pop_back();
    expected += LineAt(0, stop + interFrame + 1, "Data=" + data + ",") + "\n";
    edge = stop + interFrame + 1 + interFrame / 2 + 11;  // the next frame after a long quiet
  }
  // A last word with a bad stop bit.
  uart.GapUntil(static_cast<double>(edge) * kSampleMicros).WordWithBadStop(0x55).Gap(20);
  const SampleIndex stop = edge + static_cast<SampleIndex>(BitSamplePosition(1000000 / static_cast<int>(tc.baud), 9) + 1);
  expected += LineAt(0, stop + interFrame + 1, std::string(1, kErrorLineMark) + "Data=" + kErrorMark + ",") + "\n";

  const std::string capture = dir.Write("serial.bin", c.FileBytes(interFrame + 10));
  auto r = RunDecodeTool("--raw --config " + config + " " + capture);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected) << tc.baud << (tc.ascii ? " ascii" : " hex");
}

}  // namespace

TEST(DecodeToolSerial, Raw8N1At9600) {
  CheckTool({9600, 5000, false});
  CheckTool({9600, 3000, true});
}

TEST(DecodeToolSerial, Raw8N1At115200) {
  CheckTool({115200, 500, false});
  CheckTool({115200, 1000, true});
}

TEST(DecodeToolSerial, ARefusedDescriptionExitsWithOne) {
  TempDir dir;
  Settings settings;
  for (auto& ch : settings.channels) ch.active = false;
  settings.channels[2].type = ChannelType::Serial;
  settings.channels[2].active = true;
  Sfd sfd;
  sfd.baudrate = "0";
  settings.channels[2].serialFile = dir.Write("zero.sfd", sfd.Text());
  auto r = RunDecodeTool("--raw --config " + WriteChannelConfig(dir, "z.cfg", settings) + " " +
                         dir.Write("x.bin", std::vector<std::uint8_t>(5000, 0x04)));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("Channel 3 : File ''"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--> Value of Baudrate"), std::string::npos) << r.err;
}
