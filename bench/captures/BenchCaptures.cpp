#include "BenchCaptures.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "CanEncoder.h"
#include "LinEncoder.h"
#include "UartEncoder.h"
#include "Waveform.h"

namespace velkor::bench {

namespace {

constexpr int kCanRate = 125000;
constexpr int kLinBaud = 19200;
constexpr double kSerialBaud = 9600;

test::UartFormat SerialFormat() { return test::UartFormat::Rs232AsSeen(kSerialBaud); }

constexpr int kDatabaseMessages = 300;
constexpr int kDatabaseLinFrames = 60;

// The identifier of message k of the bench DBC.
std::uint16_t DatabaseCanId(int k) { return static_cast<std::uint16_t>((k * 6 + 1) & 0x7FF); }

void AddCanFrame(test::CanEncoder& can, std::mt19937& rng, int i, bool knownIds = false) {
  const int dlc = static_cast<int>(rng() % 9);
  std::vector<std::uint8_t> data;
  for (int b = 0; b < dlc; ++b) data.push_back(static_cast<std::uint8_t>(rng()));
  const auto id = knownIds ? DatabaseCanId(static_cast<int>(rng() % kDatabaseMessages))
                           : static_cast<std::uint16_t>(rng() & 0x7FF);
  can.Frame({id, i % 7 == 6, dlc, data});
}

// 300 messages: the first 200 with 7 signals, the others with 6; a byte each, of four kinds.
std::string BenchDbc() {
  std::string text = "VERSION \"\"\n\nNS_ :\n\tCM_\n\tVAL_\n\nBU_: Ecu Dash\n\n";
  std::string values;
  char line[160];
  for (int k = 0; k < kDatabaseMessages; ++k) {
    std::snprintf(line, sizeof line, "BO_ %d Message_%d: 8 Ecu\n", DatabaseCanId(k), k);
    text += line;
    const int count = k < 200 ? 7 : 6;
    for (int j = 0; j < count; ++j) {
      const char* kinds[] = {"%d|8@1+ (0.1,-40) [-40|215] \"degC\"", "%d|8@0- (1,0) [-128|127] \"\"",
                             "%d|8@1+ (1,0) [0|255] \"\"", "%d|8@1+ (0.25,0) [0|63.75] \"rpm\""};
      char layout[64];
      std::snprintf(layout, sizeof layout, kinds[j % 4], j % 4 == 1 ? 8 * j + 7 : 8 * j);
      std::snprintf(line, sizeof line, " SG_ Signal_%d_%d : %s Dash\n", k, j, layout);
      text += line;
      if (j % 4 == 2) {
        std::snprintf(line, sizeof line, "VAL_ %d Signal_%d_%d 0 \"Off\" 1 \"On\" 2 \"Error\" 3 \"Unknown\" ;\n",
                      DatabaseCanId(k), k, j);
        values += line;
      }
    }
    text += "\n";
  }
  return text + values;
}

// 60 frames of 8 bytes, four signals each: a counter, a state, a voltage and a 12-bit speed.
std::string BenchLdf() {
  std::string signals, frames, representation;
  char line[160];
  for (int f = 0; f < kDatabaseLinFrames; ++f) {
    std::snprintf(line, sizeof line,
                  "  Counter_%d: 4, 0, M, S;\n  State_%d: 2, 0, M, S;\n  Volts_%d: 8, 0, M, S;\n  Speed_%d: 12, 0, M, S;\n",
                  f, f, f, f);
    signals += line;
    std::snprintf(line, sizeof line,
                  "  Frame_%d: %d, M, 8 { Counter_%d, 0; State_%d, 4; Volts_%d, 8; Speed_%d, 16; }\n", f, f, f, f, f, f);
    frames += line;
    std::snprintf(line, sizeof line, "  StateEncoding: State_%d;\n  VoltEncoding: Volts_%d;\n", f, f);
    representation += line;
  }
  return "LIN_description_file;\nLIN_protocol_version = \"2.1\";\nLIN_speed = 19.2 kbps;\n"
         "Signals {\n" + signals + "}\nFrames {\n" + frames +
         "}\nSignal_encoding_types {\n"
         "  StateEncoding { logical_value, 0, \"off\"; logical_value, 1, \"on\"; logical_value, 2, \"error\"; }\n"
         "  VoltEncoding { physical_value, 0, 250, 0.1, 0, \"V\"; }\n}\n"
         "Signal_representation {\n" + representation + "}\n";
}

}  // namespace

std::string_view TrafficName(Traffic traffic) {
  switch (traffic) {
    case Traffic::Idle:
      return "idle";
    case Traffic::Mixed:
      return "mixed";
    case Traffic::DenseCan:
      return "dense CAN";
    case Traffic::MixedKnownIds:
      return "mixed, known identifiers";
  }
  return "";
}

void SetUpChannels(const std::string& folder, Settings& settings, int moreCanNames, bool checks,
                   bool databases) {
  auto write = [&folder](const std::string& name, const std::string& text) {
    const std::string path = folder + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f != nullptr) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
    return path;
  };
  for (auto& ch : settings.channels) ch.active = false;
  ChannelSettings& can = settings.channels[0];
  can.type = ChannelType::Can;
  can.active = true;
  can.caption = "CAN";
  std::string canNames = "[BAUDRATE]\nValue=125000\n";
  if (checks) canNames += "[OPTIONS]\nExtendedFrames=YES\nCheckFrame=YES\n";
  canNames += "[ID]\n135=Engine\n26A=Doors\n";
  for (int k = 0; k < moreCanNames; ++k) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%03X=Node_%d\n", (k * 0x7FF / moreCanNames) & 0x7FF, k);
    canNames += entry;
  }
  if (databases) {
    write("bench.dbc", BenchDbc());
    canNames += "[DATABASE]\nFile=bench.dbc\n";
  }
  can.canFile = write("bench.cfd", canNames);
  ChannelSettings& lin = settings.channels[1];
  lin.type = ChannelType::Lin;
  lin.active = true;
  lin.caption = "LIN";
  lin.linFile = write("bench.lfd",
                      std::string("[BAUDRATE]\nValue=19200\n[INVERT]\nValue=NO\n[PROTOCOL]\nInterFrame=2000\n"
                                  "ChecksumIncludeID=YES\n") +
                          (checks ? "CheckParity=YES\nDiagnosticClassic=YES\n" : "") + "[ID]\n10=Wiper\n" +
                          (databases ? "[DATABASE]\nFile=bench.ldf\n" : ""));
  if (databases) write("bench.ldf", BenchLdf());
  ChannelSettings& serial = settings.channels[2];
  serial.type = ChannelType::Serial;
  serial.active = true;
  serial.caption = "Serial";
  serial.serialFile = write("bench.sfd",
                            "[PROTOCOL]\nBaudrate=9600\nDataBits=8\nLsbFirst=YES\nInvertedStart=NO\n"
                            "InvertedData=YES\nInterFrame=5000\nAscii=NO\n");
  ChannelSettings& logical = settings.channels[3];
  logical.type = ChannelType::Logical;
  logical.active = true;
  logical.caption = "Door";
  logical.generation = true;
}

std::vector<std::uint8_t> MakeTraffic(Traffic traffic, std::size_t samples) {
  const double end = static_cast<double>(samples) * test::kSampleMicros;
  test::Capture capture;
  capture.channel[2] = test::UartLine(SerialFormat());
  capture.channel[3] = test::SignalBuilder(0);
  std::mt19937 rng(18);
  if (traffic == Traffic::Mixed || traffic == Traffic::MixedKnownIds) {
    const bool known = traffic == Traffic::MixedKnownIds;
    test::CanEncoder can(capture.channel[0], kCanRate);
    for (int i = 0; capture.channel[0].Now() < end; ++i) {
      // A frame is about 110 bits with its stuff bits and the space after it.
      can.IdleBits(200 + rng() % 400);
      AddCanFrame(can, rng, i, known);
    }
    test::LinEncoder lin(capture.channel[1], kLinBaud);
    for (double at = 1000; at < end; at += 10000) {
      capture.channel[1].IdleUntil(at);
      test::LinFrame frame;
      frame.id = static_cast<std::uint8_t>(rng() % (known ? kDatabaseLinFrames : 60));
      for (int b = 2 + static_cast<int>(rng() % 7); b > 0; --b)
        frame.data.push_back(static_cast<std::uint8_t>(rng()));
      lin.Frame(frame);
    }
    test::UartEncoder uart(capture.channel[2], SerialFormat());
    for (double at = 3000; at < end; at += 100000) {
      uart.GapUntil(at);
      for (int w = 0; w < 16; ++w) uart.Word(rng() & 0xFF);
    }
    for (int level = 1; capture.channel[3].Now() < end; level = 1 - level)
      capture.channel[3].Hold(level, 20000 + rng() % 60000);
  } else if (traffic == Traffic::DenseCan) {
    test::CanEncoder can(capture.channel[0], kCanRate);
    can.IdleBits(20);
    for (int i = 0; capture.channel[0].Now() < end; ++i) AddCanFrame(can, rng, i);
  }
  std::vector<std::uint8_t> bytes = capture.FileBytes();
  bytes.resize(samples, bytes.empty() ? 0x03 : bytes.back());
  // Idle levels past the end of what was built: CAN and LIN recessive, Serial and Logical low.
  if (traffic == Traffic::Idle) std::fill(bytes.begin(), bytes.end(), 0x03);
  return bytes;
}

}  // namespace velkor::bench
