// The run-skipping dispatch against the per-sample dispatch: random bit-like signals on four
// channels, random valid descriptions of every decoder type (CAN and LIN ones often with a
// random bus database, whose frames the traffic sends), fed in random pieces through
// both paths, must give the same lines, the same calls of the user interface and the same
// field names. VELKOR_DIFFERENTIAL_SAMPLES raises the number of samples per decoder type
// (VELKOR_DIFFERENTIAL_SEED picks another sequence) for a long run.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "CanEncoder.h"
#include "LinEncoder.h"
#include "ManchesterEncoder.h"
#include "TestRig.h"
#include "UartEncoder.h"
#include "Waveform.h"
#include "pipeline/SampleScan.h"

using namespace velkor;
using namespace velkor::test;

namespace {

using Rng = std::mt19937_64;

int Uniform(Rng& rng, int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
bool Chance(Rng& rng, double p) { return std::bernoulli_distribution(p)(rng); }
template <typename T, std::size_t N>
T Pick(Rng& rng, const T (&choices)[N]) {
  return choices[Uniform(rng, 0, static_cast<int>(N) - 1)];
}

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

// ---- one channel: its description and a signal that a line of that kind could carry ----

struct ChannelPlan {
  ChannelType type = ChannelType::None;
  double bitSamples = 40;  // the decoder's bit (half-bit for Manchester) in samples
  int idleLevel = 1;
  UartFormat uart;
  int canRate = 125000;
  int linBaud = 19200;
  bool linInverted = false;
  int manchesterBaud = 10000;
  bool manchesterInvert = false;
  std::string preamble;
  std::vector<int> fieldBits;
  // CAN messages or LIN frames of the channel's bus database: the traffic sends them often,
  // so that their signal fields come out of both paths.
  struct KnownFrame {
    std::uint32_t id = 0;
    bool extended = false;
    int length = 0;
  };
  std::vector<KnownFrame> knownFrames;
};

// How often a CAN or LIN channel names a random bus database, and how many more frames such a
// channel sends (the share of extra frames among what fills its signal).
struct DatabaseMix {
  double chance = 0.6;
  double extraFrames = 0.4;
};

// ---- random bus databases ----

// A DBC of a few messages whose signals take every form the reader knows: both byte orders,
// signed, float, scaled with decimals, units, value texts, multiplexing, extended identifiers.
std::string RandomDbc(Rng& rng, std::vector<ChannelPlan::KnownFrame>& frames) {
  static const char* const kFactors[] = {"1", "1",   "0.5",   "0.25", "0.1", "0.01", "0.001",
                                         "2", "1.5", "0.125", "1E-6", "3.3", "-0.5"};
  static const char* const kOffsets[] = {"0", "0", "-40", "0.5", "100", "-0.25", "1E3"};
  static const char* const kUnits[] = {"", "", "rpm", "degC", "km,h", "%"};
  // Now and then a signal named like a field of the decoder's own.
  static const char* const kOwnFields[] = {"ID", "DLC", "DataFrame", "RemoteFrame"};
  std::string text = "VERSION \"\"\n\nNS_ :\n\tCM_\n\tVAL_\n\nBU_: Ecu Dash\n\n";
  std::string after;  // VAL_ and SIG_VALTYPE_ statements, after the messages
  std::vector<std::uint32_t> keys;
  for (int m = Uniform(rng, 1, 12); m > 0; --m) {
    const bool extended = Chance(rng, 0.3);
    const auto id = static_cast<std::uint32_t>(Uniform(rng, 0, extended ? 0x1FFFFFFF : 0x7FF));
    const std::uint32_t key = extended ? id | 0x80000000u : id;
    if (std::find(keys.begin(), keys.end(), key) != keys.end()) continue;
    keys.push_back(key);
    const int length = Uniform(rng, 0, 8);
    frames.push_back({id, extended, length});
    const std::string message = std::to_string(key);
    text += "BO_ " + message + " Message" + std::to_string(keys.size()) + ": " + std::to_string(length) +
            " Ecu\n";
    const bool multiplexed = Chance(rng, 0.3);
    for (int k = 0, count = Uniform(rng, 1, 8); k < count; ++k) {
      const std::string name = Chance(rng, 0.03)
                                   ? Pick(rng, kOwnFields)
                                   : "S" + std::to_string(keys.size()) + "_" + std::to_string(k);
      const int kind = Uniform(rng, 0, 19);  // 0: a 32-bit float, 1: a 64-bit one
      const int bits = kind == 0          ? 32
                       : kind == 1        ? 64
                       : Chance(rng, 0.7) ? Uniform(rng, 1, 16)
                                          : Uniform(rng, 1, 64);
      const bool bigEndian = Chance(rng, 0.5);
      // The signal's place in the word with byte 0 lowest (little-endian) or highest: mostly
      // within the message's bytes, else anywhere in the eight, now and then past them (where
      // it is never shown).
      const int dataBits = 8 * length;
      int lowest = Uniform(rng, 0, 64 - bits);
      if (Chance(rng, 0.05))
        lowest = Uniform(rng, 0, 63);
      else if (bits <= dataBits && Chance(rng, 0.8))
        lowest = bigEndian ? Uniform(rng, 64 - dataBits, 64 - bits) : Uniform(rng, 0, dataBits - bits);
      int start = lowest;
      if (bigEndian) {
        const int msb = std::min(lowest + bits - 1, 63);
        start = 8 * (7 - msb / 8) + msb % 8;
      }
      std::string mux;
      if (multiplexed && k == 0 && kind > 1)
        mux = " M";
      else if (multiplexed && k > 0 && Chance(rng, 0.6))
        mux = " m" + std::to_string(Uniform(rng, 0, 3));
      text += " SG_ " + name + mux + " : " + std::to_string(start) + "|" + std::to_string(bits) + "@" +
              (bigEndian ? "0" : "1") + (Chance(rng, 0.3) ? "-" : "+") + " (" + Pick(rng, kFactors) + "," +
              Pick(rng, kOffsets) + ") [0|0] \"" + Pick(rng, kUnits) + "\" Dash\n";
      if (kind <= 1)
        after += "SIG_VALTYPE_ " + message + " " + name + " : " + (kind == 0 ? "1" : "2") + ";\n";
      if (kind > 1 && Chance(rng, 0.3)) {
        after += "VAL_ " + message + " " + name;
        for (int v = -1; v < 4; ++v)
          if (Chance(rng, 0.6)) after += " " + std::to_string(v) + " \"Value " + std::to_string(v) + "\"";
        after += " ;\n";
      }
    }
  }
  return text + "\n" + after;
}

// An LDF of a few frames (the diagnostic ones among them now and then) with logical and
// physical encodings, and a protocol version that sets the checksum model, or none.
std::string RandomLdf(Rng& rng, std::vector<ChannelPlan::KnownFrame>& frames) {
  static const char* const kVersions[] = {"\"2.1\"", "\"2.2\"", "\"1.3\"", "\"J2602_1_1.0\""};
  static const char* const kOwnFields[] = {"ID", "Data", "Checksum"};
  std::string text = "LIN_description_file;\n";
  if (Chance(rng, 0.8)) text += std::string("LIN_protocol_version = ") + Pick(rng, kVersions) + ";\n";
  text += "LIN_speed = 19.2 kbps;\n";
  std::string signals, frameList, representation;
  std::vector<std::uint32_t> ids;
  for (int f = Uniform(rng, 1, 10); f > 0; --f) {
    const auto id =
        static_cast<std::uint32_t>(Chance(rng, 0.1) ? Uniform(rng, 0x3C, 0x3D) : Uniform(rng, 0, 63));
    if (std::find(ids.begin(), ids.end(), id) != ids.end()) continue;
    ids.push_back(id);
    const std::string frame = "F" + std::to_string(ids.size());
    // Without a length the identifier gives it, as in LIN 1.x.
    const bool stated = Chance(rng, 0.8);
    const int length = stated ? Uniform(rng, 1, 8) : id < 32 ? 2 : id < 48 ? 4 : 8;
    frames.push_back({id, false, length});
    frameList += "  " + frame + ": " + std::to_string(id) + ", Master" +
                 (stated ? ", " + std::to_string(length) : std::string()) + " {";
    for (int k = 0, count = Uniform(rng, 1, 5); k < count; ++k) {
      const std::string name =
          Chance(rng, 0.03) ? std::string(Pick(rng, kOwnFields)) : frame + "_" + std::to_string(k);
      const int bits = Chance(rng, 0.8) ? Uniform(rng, 1, 16) : Uniform(rng, 1, 64);
      signals += "  " + name + ": " + std::to_string(bits) + ", 0, Master, Slave;\n";
      frameList += " " + name + ", " + std::to_string(Uniform(rng, 0, 8 * length - 1)) + ";";
      if (Chance(rng, 0.7))
        representation += "  E" + std::to_string(Uniform(rng, 0, 2)) + ": " + name + ";\n";
    }
    frameList += " }\n";
  }
  return text + "Signals {\n" + signals + "}\nFrames {\n" + frameList +
         "}\nSignal_encoding_types {\n"
         "  E0 { logical_value, 0, \"off\"; logical_value, 1, \"on\"; logical_value, 3, \"error, latched\"; "
         "}\n"
         "  E1 { physical_value, 0, 200, 0.5, -10, \"V\"; logical_value, 255, \"invalid\"; }\n"
         "  E2 { physical_value, 0, 30, 1, 0; physical_value, 31, 1000, 0.25, -30, \"km/h\"; }\n}\n"
         "Signal_representation {\n" +
         representation + "}\n";
}

void Describe(Rng& rng, const TempDir& dir, int channel, const DatabaseMix& mix, ChannelPlan& plan,
              ChannelSettings& ch) {
  auto yesNo = [](bool b) { return b ? "YES" : "NO"; };
  switch (plan.type) {
    case ChannelType::Serial: {
      static const int kBauds[] = {300, 1200, 4800, 9600, 19200, 38400, 57600, 115200, 200000};
      UartFormat& f = plan.uart;
      f.baud = Chance(rng, 0.8) ? Pick(rng, kBauds) : Uniform(rng, 100, 400000);
      f.dataBits = Chance(rng, 0.6) ? 8 : Uniform(rng, 1, 16);
      f.lsbFirst = Chance(rng, 0.5);
      f.invertedStart = Chance(rng, 0.5);
      f.invertedData = Chance(rng, 0.5);
      const int bitMicros = static_cast<int>(1e6 / f.baud);
      // Quiet times on both sides of what the idle count can reach (a million samples).
      const int interFrames[] = {-50,   0,       1,      bitMicros, 3 * bitMicros, 12 * bitMicros,
                                 20000, 2399990, 2400010};
      const std::string path = dir.Write(
          "c" + std::to_string(channel) + ".sfd",
          "[PROTOCOL]\nBaudrate=" + std::to_string(static_cast<int>(f.baud)) +
              "\nDataBits=" + std::to_string(f.dataBits) + "\nLsbFirst=" + yesNo(f.lsbFirst) +
              "\nInvertedStart=" + yesNo(f.invertedStart) + "\nInvertedData=" + yesNo(f.invertedData) +
              "\nInterFrame=" + std::to_string(Pick(rng, interFrames)) +
              "\nAscii=" + yesNo(Chance(rng, 0.3)) + "\n");
      ch.serialFile = path;
      plan.bitSamples = 1e6 / f.baud / kSampleMicros;
      plan.idleLevel = f.StopLevel();
      break;
    }
    case ChannelType::Can: {
      static const int kRates[] = {10000, 20000, 50000, 83333, 100000, 125000, 250000};
      plan.canRate = Chance(rng, 0.85) ? Pick(rng, kRates) : Uniform(rng, 5000, 300000);
      // The options now and then missing, else either way in any case.
      std::string options = "[OPTIONS]\n";
      for (const char* key : {"ExtendedFrames", "CheckFrame"})
        if (Chance(rng, 0.8)) options += std::string(key) + "=" + (Chance(rng, 0.6) ? "Yes" : "NO") + "\n";
      std::string database;
      if (Chance(rng, mix.chance)) {
        const std::string name = "c" + std::to_string(channel) + ".dbc";
        dir.Write(name, RandomDbc(rng, plan.knownFrames));
        database = "[DATABASE]\nFile=" + name + "\n";
      }
      ch.canFile = dir.Write("c" + std::to_string(channel) + ".cfd",
                             "[BAUDRATE]\nValue=" + std::to_string(plan.canRate) + "\n" + options +
                                 "[ID]\n000=Zero\n135=Engine\n0ABCDEF0=Extended\n" + database);
      plan.bitSamples = 1e6 / plan.canRate / kSampleMicros;
      plan.idleLevel = 1;
      break;
    }
    case ChannelType::Lin: {
      static const int kBauds[] = {2400, 9600, 10417, 19200, 20000};
      plan.linBaud = Chance(rng, 0.85) ? Pick(rng, kBauds) : Uniform(rng, 1000, 40000);
      plan.linInverted = Chance(rng, 0.3);
      const int bitMicros = 1000000 / plan.linBaud;
      const int interFrames[] = {-10, 0, bitMicros, 2 * bitMicros, 15 * bitMicros, 5000, 2399990, 2400010};
      std::string database;
      if (Chance(rng, mix.chance)) {
        const std::string name = "c" + std::to_string(channel) + ".ldf";
        dir.Write(name, RandomLdf(rng, plan.knownFrames));
        database = "[DATABASE]\nFile=" + name + "\n";
      }
      ch.linFile = dir.Write(
          "c" + std::to_string(channel) + ".lfd",
          "[BAUDRATE]\nValue=" + std::to_string(plan.linBaud) + "\n[INVERT]\nValue=" +
              yesNo(plan.linInverted) + "\n[PROTOCOL]\nInterFrame=" + std::to_string(Pick(rng, interFrames)) +
              "\nChecksumIncludeID=" + yesNo(Chance(rng, 0.5)) + "\nCheckParity=" + yesNo(Chance(rng, 0.5)) +
              "\nDiagnosticClassic=" + yesNo(Chance(rng, 0.5)) + "\n[ID]\n3C=Diag\n" + database);
      plan.bitSamples = 1e6 / plan.linBaud / kSampleMicros;
      plan.idleLevel = plan.linInverted ? 0 : 1;
      break;
    }
    case ChannelType::Manchester: {
      static const int kBauds[] = {1000, 2400, 3906, 9600, 10000, 20000, 50000};
      plan.manchesterBaud = Chance(rng, 0.8) ? Pick(rng, kBauds) : Uniform(rng, 500, 200000);
      plan.manchesterInvert = Chance(rng, 0.5);
      plan.bitSamples = 5e5 / plan.manchesterBaud / kSampleMicros;
      plan.idleLevel = Uniform(rng, 0, 1);
      const int slots = Uniform(rng, 1, 4);
      for (int k = 0; k < slots; ++k) {
        // The first slot matches the signal; the others are near it or unrelated.
        const int baud = k == 0 || Chance(rng, 0.5) ? plan.manchesterBaud : Pick(rng, kBauds);
        const bool invert = k == 0 ? plan.manchesterInvert : Chance(rng, 0.5);
        std::string preamble;
        for (int s = Uniform(rng, 1, 8); s > 0; --s) {
          preamble += "01MS"[Uniform(rng, 0, 3)];
          if (Chance(rng, 0.2)) preamble += ' ';
        }
        std::string fields;
        std::vector<int> bits;
        for (int f = Uniform(rng, 1, 4); f > 0; --f) {
          bits.push_back(Chance(rng, 0.7) ? 4 * Uniform(rng, 1, 8) : Uniform(rng, 1, 40));
          fields += "F" + std::to_string(f) + "=" + std::to_string(bits.back()) + "\n";
        }
        std::string text = "[BAUDRATE]\nValue=" + std::to_string(baud) +
                           "\n[INVERT]\nValue=" + yesNo(invert) + "\n[PREAMBLE]\nContent=" + preamble +
                           "\n[FIELDS]\n" + fields;
        if (Chance(rng, 0.5)) text += "[TIMEOUT]\nValue=" + std::to_string(Uniform(rng, 2, 5)) + "\n";
        const std::string name = "c" + std::to_string(channel) + "m" + std::to_string(k) + ".mfd";
        // Now and then an entry whose file is missing: the run setup says so and goes on.
        const bool missing = k > 0 && Chance(rng, 0.05);
        ch.manchesterFiles.push_back(
            {missing ? dir.File("absent.mfd") : dir.Write(name, text), Chance(rng, 0.85)});
        if (k == 0) {
          plan.preamble = preamble;
          plan.fieldBits = bits;
        }
      }
      break;
    }
    case ChannelType::Logical:
      ch.generation = Chance(rng, 0.7);
      plan.bitSamples = Uniform(rng, 1, 400);
      plan.idleLevel = Uniform(rng, 0, 1);
      break;
    default:
      break;
  }
}

class LevelWriter {
 public:
  explicit LevelWriter(std::vector<std::uint8_t>& out) : out_(out) {}
  void Hold(int level, std::size_t samples) {
    out_.insert(out_.end(), samples, static_cast<std::uint8_t>(level));
  }
  void Append(const SignalBuilder& signal) {
    const auto levels = signal.Levels(signal.SampleCount());
    out_.insert(out_.end(), levels.begin(), levels.end());
  }
  std::size_t Size() const { return out_.size(); }

 private:
  std::vector<std::uint8_t>& out_;
};

// A frame as the protocol sends it, with the faults its encoder offers.
void AddFrame(Rng& rng, const ChannelPlan& plan, LevelWriter& out) {
  auto byte = [&rng] { return static_cast<std::uint8_t>(Uniform(rng, 0, 255)); };
  switch (plan.type) {
    case ChannelType::Serial: {
      SignalBuilder line = UartLine(plan.uart);
      UartEncoder uart(line, plan.uart);
      uart.Gap(plan.uart.BitMicros() * Uniform(rng, 0, 3));
      for (int w = Uniform(rng, 1, 24); w > 0; --w) {
        const auto value = static_cast<std::uint32_t>(Uniform(rng, 0, 65535));
        if (Chance(rng, 0.05))
          uart.WordWithBadStop(value).Gap(plan.uart.BitMicros() * Uniform(rng, 1, 4));
        else
          uart.Word(value);
        if (Chance(rng, 0.2)) uart.Gap(plan.uart.BitMicros() * Uniform(rng, 0, 30) / 2.0);
      }
      out.Append(line);
      break;
    }
    case ChannelType::Can: {
      SignalBuilder bus(1);
      CanEncoder can(bus, plan.canRate);
      // Now and then only the intermission (at the end of the frame before) between frames.
      can.IdleBits(Chance(rng, 0.2) ? 0 : Uniform(rng, 3, 14));
      const bool extended = Chance(rng, 0.3);
      CanFrame frame{static_cast<std::uint32_t>(Uniform(rng, 0, extended ? 0x1FFFFFFF : 0x7FF)),
                     Chance(rng, 0.15),
                     Chance(rng, 0.9) ? Uniform(rng, 0, 8) : Uniform(rng, 9, 15),
                     {},
                     extended};
      if (!plan.knownFrames.empty() && Chance(rng, 0.7)) {
        // A message of the database, mostly as long as it says, else longer or shorter.
        const auto& known = plan.knownFrames[Uniform(rng, 0, static_cast<int>(plan.knownFrames.size()) - 1)];
        frame.id = known.id;
        frame.extended = known.extended;
        frame.dlc = Chance(rng, 0.7) ? known.length : Uniform(rng, 0, 8);
      }
      for (int i = 0; i < 8; ++i) frame.data.push_back(Chance(rng, 0.3) ? 0 : byte());
      const int kind = Uniform(rng, 0, 12);
      if (kind == 0) {
        can.FrameWithGlitch(frame, Uniform(rng, 1, 30), can.BitMicros() * Uniform(rng, 5, 45) / 100.0);
      } else if (kind == 1) {
        can.FrameCutByErrorFlag(frame, Uniform(rng, 2, 40), Uniform(rng, 6, 12));
      } else if (kind == 2) {
        can.FrameWithSixEqualBits({0, false, 2, {0, 0}});
      } else if (kind == 3) {
        can.Frame(frame, {.flippedBit = Uniform(rng, 1, static_cast<int>(CanFrameBits(frame).size()) - 1)});
      } else if (kind == 4) {
        can.Frame(frame, {.dominantCrcDelimiter = Chance(rng, 0.5), .acknowledged = Chance(rng, 0.5)});
      } else {
        can.Frame(frame);
      }
      out.Append(bus);
      break;
    }
    case ChannelType::Lin: {
      SignalBuilder bus(plan.linInverted ? 0 : 1);
      LinEncoder lin(bus, plan.linBaud, plan.linInverted);
      LinFrame frame;
      frame.id = static_cast<std::uint8_t>(Uniform(rng, 0, 63));
      int length = Uniform(rng, 0, 8);
      if (!plan.knownFrames.empty() && Chance(rng, 0.7)) {
        const auto& known = plan.knownFrames[Uniform(rng, 0, static_cast<int>(plan.knownFrames.size()) - 1)];
        frame.id = static_cast<std::uint8_t>(known.id);
        if (Chance(rng, 0.8)) length = known.length;
      }
      for (int i = length; i > 0; --i) frame.data.push_back(byte());
      // Either checksum, so that the database's protocol version meets both.
      static const LinChecksumModel kModels[] = {LinChecksumModel::Lin2x, LinChecksumModel::Classic,
                                                 LinChecksumModel::Enhanced};
      frame.checksum = Pick(rng, kModels);
      frame.breakBits = Chance(rng, 0.9) ? 13 : Uniform(rng, 9, 20);
      frame.interByteBits = Chance(rng, 0.7) ? 0 : Uniform(rng, 0, 6) / 2.0;
      if (Chance(rng, 0.05)) frame.sync = byte();
      if (Chance(rng, 0.05)) frame.checksumXor = 0x10;
      if (Chance(rng, 0.05)) frame.badStopAt = Uniform(rng, 0, 5);
      if (Chance(rng, 0.05)) frame.sendBytes = Uniform(rng, 0, 3);
      lin.Recessive(Uniform(rng, 0, 3));
      lin.Frame(frame);
      out.Append(bus);
      break;
    }
    case ChannelType::Manchester: {
      SignalBuilder line(plan.idleLevel);
      ManchesterEncoder enc(line, plan.manchesterBaud, plan.manchesterInvert);
      enc.IdleHalfBits(Uniform(rng, 2, 12)).Symbols(plan.preamble);
      for (int bits : plan.fieldBits) enc.Field(bits, (static_cast<std::uint64_t>(rng()) >> (64 - bits)));
      if (Chance(rng, 0.2)) enc.Symbols(Chance(rng, 0.5) ? "M" : "S");
      if (Chance(rng, 0.1)) enc.HalfBits("0110100");
      enc.IdleHalfBits(Uniform(rng, 0, 12));
      out.Append(line);
      break;
    }
    default:
      out.Hold(1 - plan.idleLevel, static_cast<std::size_t>(Uniform(rng, 1, 5000)));
      break;
  }
}

// Samples of one channel: frames, runs near whole bit times, long idles and glitches.
std::vector<std::uint8_t> ChannelSignal(Rng& rng, const ChannelPlan& plan, const DatabaseMix& mix,
                                        std::size_t samples) {
  std::vector<std::uint8_t> levels;
  LevelWriter out(levels);
  int level = plan.idleLevel;
  const double bit = std::max(plan.bitSamples, 0.5);
  while (out.Size() < samples) {
    // A channel with a bus database sends more frames, for more signal fields.
    const int kind = !plan.knownFrames.empty() && Chance(rng, mix.extraFrames) ? 0 : Uniform(rng, 0, 99);
    if (kind < 30) {
      AddFrame(rng, plan, out);
      level = plan.idleLevel;
    } else if (kind < 55) {
      // Runs of whole and half bit times give or take a sample or two: the decoders decide
      // at half bits (sample points, run-length limits, the LIN break).
      for (int r = Uniform(rng, 1, 40); r > 0; --r) {
        const double bits =
            (Chance(rng, 0.6) ? Uniform(rng, 1, 6) : Uniform(rng, 7, 14)) + (Chance(rng, 0.5) ? 0.5 : 0);
        const long n = std::lround(bits * bit) + Uniform(rng, -2, 2);
        out.Hold(level, static_cast<std::size_t>(std::max(1L, n)));
        level = 1 - level;
      }
    } else if (kind < 75) {
      // Idle at either level, now and then long enough to take every counter to its cap.
      const std::size_t n = Chance(rng, 0.02)  ? static_cast<std::size_t>(Uniform(rng, 999990, 1000300))
                            : Chance(rng, 0.3) ? static_cast<std::size_t>(Uniform(rng, 1000, 100000))
                                               : static_cast<std::size_t>(Uniform(rng, 1, 1000));
      level = Chance(rng, 0.8) ? plan.idleLevel : 1 - plan.idleLevel;
      out.Hold(level, n);
    } else if (kind < 90) {
      // Glitches: a sample or three of the other level.
      out.Hold(1 - level, static_cast<std::size_t>(Uniform(rng, 1, 3)));
      out.Hold(level, static_cast<std::size_t>(Uniform(rng, 1, 60)));
    } else {
      for (int r = Uniform(rng, 1, 60); r > 0; --r) {
        out.Hold(level, static_cast<std::size_t>(Uniform(rng, 1, static_cast<int>(3 * bit) + 1)));
        level = 1 - level;
      }
    }
  }
  levels.resize(samples);
  return levels;
}

// ---- a scenario and its run through one path ----

struct Scenario {
  Settings settings;
  std::vector<std::uint8_t> samples;  // one per byte, upper bits set at random
  std::vector<std::uint8_t> live;     // the same channels as live bytes
};

Scenario MakeScenario(Rng& rng, const TempDir& dir, const std::array<ChannelType, 4>& types,
                      std::size_t length, const DatabaseMix& mix = {}) {
  Scenario sc;
  static const ColumnResolution kResolutions[] = {ColumnResolution::Ms10, ColumnResolution::Ms20,
                                                  ColumnResolution::Ms50, ColumnResolution::Ms100};
  sc.settings.scrolling = Pick(rng, kResolutions);
  std::array<std::vector<std::uint8_t>, 4> levels;
  for (int c = 0; c < 4; ++c) {
    ChannelPlan plan;
    plan.type = types[c];
    ChannelSettings& ch = sc.settings.channels[c];
    ch.type = types[c];
    ch.active = Chance(rng, 0.92);
    Describe(rng, dir, c, mix, plan, ch);
    levels[c] = ChannelSignal(rng, plan, mix, length);
  }
  sc.samples.resize(length);
  for (std::size_t n = 0; n < length; ++n) {
    std::uint8_t s = static_cast<std::uint8_t>(Uniform(rng, 0, 15) << 4);
    for (int c = 0; c < 4; ++c) s |= static_cast<std::uint8_t>(levels[c][n] << c);
    sc.samples[n] = s;
  }
  // Live bytes: channel 1 at every sample, channel 2 every second, channels 3 and 4 every fourth.
  sc.live.resize(length / 4);
  for (std::size_t k = 0; k < sc.live.size(); ++k) {
    const std::size_t s = 4 * k;
    auto bit = [&](int c, std::size_t n, int pos) { return static_cast<std::uint8_t>(levels[c][n] << pos); };
    sc.live[k] = bit(0, s, 0) | bit(1, s, 1) | bit(0, s + 1, 2) | bit(2, s, 3) | bit(0, s + 2, 4) |
                 bit(1, s + 2, 5) | bit(0, s + 3, 6) | bit(3, s, 7);
  }
  return sc;
}

enum class Feed { Samples, LiveBytes, Replay };

struct Outcome {
  std::vector<std::string> lines;
  std::vector<std::size_t> refreshes;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> columns;
  std::vector<std::string> messages;
  std::vector<std::string> progress;
  std::array<std::vector<std::string>, 4> fieldNames;
  SampleIndex sampleIndex = 0;
  std::uint32_t columnClock = 0;
  std::uint32_t traceMask = 0;
  std::uint32_t eventMask = 0;
};

// Feeds the scenario in random pieces. With `mixPaths`, each piece takes a path at random, so
// the run-skipping path also starts from every state the per-sample path leaves.
Outcome RunPath(const Scenario& sc, Feed feed, DispatchPath path, bool mixPaths, int stopAfterBlocks,
                std::uint64_t pieceSeed) {
  TestRig rig;
  rig.settings = sc.settings;
  rig.ui.stopAfterBlocks = stopAfterBlocks;
  Pipeline& p = rig.pipeline;
  p.SetDispatchPath(path);
  Rng rng(pieceSeed);
  auto pieceLength = [&rng] {
    const int kind = Uniform(rng, 0, 9);
    return static_cast<std::size_t>(kind == 0 ? 1 : kind < 4 ? Uniform(rng, 2, 64) : Uniform(rng, 65, 20000));
  };
  auto choosePath = [&] {
    if (mixPaths) p.SetDispatchPath(Chance(rng, 0.5) ? DispatchPath::PerSample : DispatchPath::RunSkipping);
  };
  switch (feed) {
    case Feed::Replay:
      rig.Replay(sc.samples);
      break;
    case Feed::Samples:
      p.ResetRun();
      p.sampleIndex = 0;
      for (std::size_t at = 0; at < sc.samples.size();) {
        const std::size_t n = std::min(pieceLength(), sc.samples.size() - at);
        choosePath();
        p.DispatchSamples(sc.samples.data() + at, n);
        at += n;
      }
      break;
    case Feed::LiveBytes:
      p.ResetRun();
      p.sampleIndex = 0;
      for (std::size_t at = 0; at < sc.live.size();) {
        const std::size_t n = std::min(pieceLength() / 4 + 1, sc.live.size() - at);
        choosePath();
        p.DispatchLiveBytes(sc.live.data() + at, n);
        at += n;
      }
      break;
  }
  Outcome o;
  o.lines = rig.Lines();
  o.refreshes = rig.ui.refreshes;
  o.columns = rig.ui.columns;
  for (const auto& m : rig.ui.messages) o.messages.push_back(m.caption + ": " + m.text);
  o.progress = rig.ui.progress;
  for (int c = 0; c < 4; ++c) o.fieldNames[c] = p.Services().fieldNames.Names(c);
  o.sampleIndex = p.sampleIndex;
  o.columnClock = p.columnClock;
  o.traceMask = p.Services().columnTraceMask;
  o.eventMask = p.Services().columnEventMask;
  return o;
}

// The first difference of two lists, readably.
template <typename T, typename Show>
std::string FirstDifference(const std::vector<T>& a, const std::vector<T>& b, Show show) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  if (i == a.size() && i == b.size()) return "";
  auto at = [&](const std::vector<T>& v) { return i < v.size() ? show(v[i]) : std::string("(none)"); };
  return "item " + std::to_string(i) + " of " + std::to_string(a.size()) + "/" + std::to_string(b.size()) +
         ": per-sample " + at(a) + ", run-skipping " + at(b);
}

void ExpectSame(const Outcome& reference, const Outcome& fast, const std::string& what) {
  auto text = [](const std::string& s) { return s; };
  auto number = [](std::size_t n) { return std::to_string(n); };
  auto column = [](const std::pair<std::uint32_t, std::uint32_t>& c) {
    return std::to_string(c.first) + "/" + std::to_string(c.second);
  };
  EXPECT_EQ(FirstDifference(reference.lines, fast.lines, text), "") << what;
  EXPECT_EQ(FirstDifference(reference.refreshes, fast.refreshes, number), "") << what;
  EXPECT_EQ(FirstDifference(reference.columns, fast.columns, column), "") << what;
  EXPECT_EQ(reference.messages, fast.messages) << what;
  EXPECT_EQ(reference.progress, fast.progress) << what;
  EXPECT_EQ(reference.fieldNames, fast.fieldNames) << what;
  EXPECT_EQ(reference.sampleIndex, fast.sampleIndex) << what;
  EXPECT_EQ(reference.columnClock, fast.columnClock) << what;
  EXPECT_EQ(reference.traceMask, fast.traceMask) << what;
  EXPECT_EQ(reference.eventMask, fast.eventMask) << what;
}

// Whether the line holds a signal field of the random databases: "S3_1=", "F2_0=" or a name
// made apart from the decoder's own fields, "Message4.DLC=".
bool CarriesSignals(const std::string& line) {
  for (std::size_t at = line.find(','); at != std::string::npos; at = line.find(',', at + 1)) {
    std::size_t i = at + 1;
    if (line.compare(i, 7, "Message") == 0)
      i += 7;
    else if (i < line.size() && (line[i] == 'S' || line[i] == 'F'))
      ++i;
    else
      continue;
    const std::size_t digits = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
    if (i > digits && i < line.size() && (line[i] == '_' || line[i] == '.')) return true;
  }
  return false;
}

const char* TypeName(ChannelType t) {
  switch (t) {
    case ChannelType::Manchester:
      return "Manchester";
    case ChannelType::Serial:
      return "Serial";
    case ChannelType::Can:
      return "CAN";
    case ChannelType::Lin:
      return "LIN";
    case ChannelType::Logical:
      return "Logical";
    default:
      return "none";
  }
}

// The scenario through the per-sample path, through the run-skipping path and, when it is fed
// in pieces, through both at random piece by piece: the same outcome. Gives the per-sample one.
Outcome ExpectPathsAgree(Rng& rng, const Scenario& sc, Feed feed, int stopAfter, const std::string& what) {
  const std::uint64_t pieces = rng();
  Outcome reference = RunPath(sc, feed, DispatchPath::PerSample, false, stopAfter, pieces);
  ExpectSame(reference, RunPath(sc, feed, DispatchPath::RunSkipping, false, stopAfter, pieces ^ 1), what);
  if (feed != Feed::Replay)
    ExpectSame(reference, RunPath(sc, feed, DispatchPath::RunSkipping, true, -1, rng()), what + ", mixed");
  return reference;
}

std::string RoundName(std::uint64_t seed, int round, Feed feed, const std::array<ChannelType, 4>& types) {
  std::string what = "seed " + std::to_string(seed) + " round " + std::to_string(round) + ", feed " +
                     std::to_string(static_cast<int>(feed)) + ", channels";
  for (auto t : types) what += std::string(" ") + TypeName(t);
  return what;
}

}  // namespace

TEST(RunSkipping, SameLinesAndCallsAsThePerSamplePath) {
  const std::uint64_t perType = EnvNumber("VELKOR_DIFFERENTIAL_SAMPLES", 1500000);
  const std::uint64_t seed = EnvNumber("VELKOR_DIFFERENTIAL_SEED", 18);
  constexpr ChannelType kTypes[] = {ChannelType::Manchester, ChannelType::Serial, ChannelType::Can,
                                    ChannelType::Lin, ChannelType::Logical};
  Rng rng(seed);
  std::array<std::uint64_t, 5> decoded{};  // channel samples per decoder type, both paths agreeing
  std::uint64_t lines = 0;
  std::uint64_t errorLines = 0;
  std::uint64_t signalLines = 0;
  auto least = [&] { return *std::min_element(decoded.begin(), decoded.end()); };
  for (int round = 0; least() < perType && !HasFailure(); ++round) {
    // Rounds take turns: four channels of the type that has had fewest samples, then a mix.
    std::array<ChannelType, 4> types;
    if (round % 2 == 0) {
      const auto fewest = std::min_element(decoded.begin(), decoded.end()) - decoded.begin();
      types.fill(kTypes[fewest]);
      if (Chance(rng, 0.2)) types[Uniform(rng, 0, 3)] = ChannelType::None;
    } else {
      for (auto& t : types) t = Chance(rng, 0.9) ? Pick(rng, kTypes) : ChannelType::None;
    }
    TempDir dir;
    // Now and then a round long enough for an idle to take the counters to their caps.
    const std::size_t length = static_cast<std::size_t>(Chance(rng, 0.03) ? Uniform(rng, 1050000, 1300000)
                                                                          : Uniform(rng, 20000, 400000));
    const Scenario sc = MakeScenario(rng, dir, types, length);
    const Feed feed = static_cast<Feed>(Uniform(rng, 0, 2));
    const int stopAfter = feed == Feed::Replay && Chance(rng, 0.4)
                              ? Uniform(rng, 0, static_cast<int>(length / kReplayBlockSize))
                              : -1;
    const Outcome reference = ExpectPathsAgree(rng, sc, feed, stopAfter, RoundName(seed, round, feed, types));
    lines += reference.lines.size();
    for (const auto& l : reference.lines) {
      errorLines += l.find(kErrorLineMark) != std::string::npos;
      signalLines += CarriesSignals(l);
    }
    for (int c = 0; c < 4; ++c) {
      const auto* t = std::find(std::begin(kTypes), std::end(kTypes), types[c]);
      if (t != std::end(kTypes) && sc.settings.channels[c].active)
        decoded[t - std::begin(kTypes)] += reference.sampleIndex;
    }
  }
  std::string summary = "channel samples through both paths:";
  for (int t = 0; t < 5; ++t)
    summary += std::string(" ") + TypeName(kTypes[t]) + " " + std::to_string(decoded[t]);
  summary += "; " + std::to_string(lines) + " lines, " + std::to_string(errorLines) + " of them errors, " +
             std::to_string(signalLines) + " with signals of a database";
  std::printf("%s\n", summary.c_str());
}

TEST(RunSkipping, SameSignalFieldsWithBusDatabases) {
  // CAN and LIN channels that always name a random database and send mostly its frames.
  const std::uint64_t seed = EnvNumber("VELKOR_DIFFERENTIAL_SEED", 18);
  Rng rng(seed ^ 0xDB);
  std::uint64_t lines = 0;
  std::uint64_t signalLines = 0;
  for (int round = 0; round < 16 && !HasFailure(); ++round) {
    std::array<ChannelType, 4> types;
    for (auto& t : types) t = Chance(rng, 0.5) ? ChannelType::Can : ChannelType::Lin;
    TempDir dir;
    const Scenario sc = MakeScenario(rng, dir, types, static_cast<std::size_t>(Uniform(rng, 50000, 250000)),
                                     DatabaseMix{1, 0.8});
    const Feed feed = static_cast<Feed>(Uniform(rng, 0, 2));
    const Outcome reference = ExpectPathsAgree(rng, sc, feed, -1, RoundName(seed, round, feed, types));
    lines += reference.lines.size();
    for (const auto& l : reference.lines) signalLines += CarriesSignals(l);
  }
  std::printf("%llu lines, %llu with signals of a database\n", static_cast<unsigned long long>(lines),
              static_cast<unsigned long long>(signalLines));
  // The random databases are read and name frames (most lines are the errors of the noise
  // between them): a reader refusing the databases would leave the signal fields untested.
  EXPECT_GE(signalLines * 20, lines);
}

TEST(RunSkipping, QuietTimesAtTheIdleCountersCaps) {
  // Words and bytes waiting for a quiet time near the most the idle counters count (a
  // million samples): just below it the frame lines come after that long, just above it the
  // counters stop at their caps and the lines never come. Both paths alike.
  for (int interFrame : {2399990, 2400010}) {
    std::vector<std::string> lines[2];
    for (DispatchPath path : {DispatchPath::PerSample, DispatchPath::RunSkipping}) {
      TestRig rig;
      rig.pipeline.SetDispatchPath(path);
      rig.NoDecoderOnAnyChannel();
      rig.settings.channels[0].type = ChannelType::Serial;
      rig.settings.channels[0].serialFile =
          rig.dir.Write("s.sfd",
                        "[PROTOCOL]\nBaudrate=9600\nDataBits=8\nLsbFirst=YES\nInvertedStart=NO\n"
                        "InvertedData=YES\nInterFrame=" +
                            std::to_string(interFrame) + "\n");
      rig.settings.channels[1].type = ChannelType::Lin;
      rig.settings.channels[1].linFile =
          rig.dir.Write("l.lfd", "[BAUDRATE]\nValue=19200\n[INVERT]\nValue=NO\n[PROTOCOL]\nInterFrame=" +
                                     std::to_string(interFrame) + "\n");
      Capture capture;
      capture.channel[0] = UartLine(UartFormat::Rs232AsSeen(9600));
      UartEncoder(capture.channel[0], UartFormat::Rs232AsSeen(9600)).Words({0x41, 0x42});
      LinEncoder(capture.channel[1], 19200).Frame({0x10, {1, 2}});
      lines[path == DispatchPath::RunSkipping] = rig.Replay(capture.FileBytes(1100000));
      if (interFrame > 2400000) {
        EXPECT_EQ(rig.pipeline.serial[0].idleSamples, kSerialIdleCap);
        EXPECT_EQ(rig.pipeline.lin[1].idleSamples, kLinIdleCeiling);
      }
    }
    EXPECT_EQ(lines[0], lines[1]) << interFrame;
    EXPECT_EQ(lines[0].size(), interFrame > 2400000 ? 0u : 2u) << interFrame;
  }
}

TEST(RunSkipping, ChunkInvariance) {
  // The same capture cut in pieces of every size through the run-skipping path alone.
  Rng rng(7);
  TempDir dir;
  const Scenario sc = MakeScenario(
      rng, dir, {ChannelType::Can, ChannelType::Serial, ChannelType::Lin, ChannelType::Manchester}, 300000);
  auto cut = [&](std::size_t piece) {
    TestRig rig;
    rig.settings = sc.settings;
    rig.pipeline.ResetRun();
    for (std::size_t at = 0; at < sc.samples.size(); at += piece)
      rig.pipeline.DispatchSamples(sc.samples.data() + at, std::min(piece, sc.samples.size() - at));
    return std::make_pair(rig.Lines(), rig.ui.columns);
  };
  const auto whole = cut(sc.samples.size());
  EXPECT_GT(whole.first.size(), 5u);
  for (std::size_t piece : {1u, 7u, 1024u, 65536u}) EXPECT_EQ(cut(piece), whole) << piece;
}

TEST(RunSkipping, ReplayReadInLargePiecesStillReportsEveryBlock) {
  // More than one read of the replay: progress after each full block, Stop after the block
  // where it was asked for, the partial block at the end without progress.
  const std::size_t blocks = kReplayReadSize / kReplayBlockSize + 40;
  {
    TestRig rig;
    rig.Replay(std::vector<std::uint8_t>(blocks * kReplayBlockSize + 100, 0));
    EXPECT_EQ(rig.ui.progress.size(), blocks + 2);  // show, one per full block, hide
    EXPECT_EQ(rig.ui.progress[blocks], "99%");
    EXPECT_EQ(rig.pipeline.sampleIndex, blocks * kReplayBlockSize + 100);
  }
  {
    TestRig rig;
    rig.ui.stopAfterBlocks = static_cast<int>(blocks) - 3;
    rig.Replay(std::vector<std::uint8_t>(blocks * kReplayBlockSize + 100, 0));
    EXPECT_EQ(rig.pipeline.sampleIndex, (blocks - 2) * kReplayBlockSize);
  }
  // Stopped after the first block of a file of several reads, on both paths.
  for (const DispatchPath path : {DispatchPath::PerSample, DispatchPath::RunSkipping}) {
    TestRig rig;
    rig.pipeline.SetDispatchPath(path);
    rig.ui.stopAfterBlocks = 0;
    rig.Replay(std::vector<std::uint8_t>(5 * kReplayReadSize, 0));
    EXPECT_EQ(rig.pipeline.sampleIndex, kReplayBlockSize);
    EXPECT_FALSE(rig.pipeline.Running());
  }
}

TEST(RunSkipping, BlockCallsInsideBusyFramesKeepStopAndColumns) {
  // A channel going on by itself makes the calls between blocks as it passes them: a Stop
  // asked in the middle of a frame, and a scrolling changed in the middle of a frame (the next
  // column then comes sooner or later), must leave what the per-sample path leaves. Some of
  // these Stops come while the LIN and Serial channels take the events another went past.
  Rng rng(1);
  TempDir dir;
  const Scenario sc = MakeScenario(
      rng, dir, {ChannelType::Can, ChannelType::Can, ChannelType::Lin, ChannelType::Serial}, 400000);
  auto replay = [&](DispatchPath path, int stopAfter, int changeAt) {
    TestRig rig;
    rig.settings = sc.settings;
    rig.settings.scrolling = ColumnResolution::Ms100;
    rig.ui.stopAfterBlocks = stopAfter;
    rig.ui.onBlock = [&](int block) {
      if (block == changeAt) rig.settings.scrolling = ColumnResolution::Ms10;
      if (block == 2 * changeAt) rig.settings.scrolling = ColumnResolution::Ms50;
    };
    rig.pipeline.SetDispatchPath(path);
    rig.Replay(sc.samples);
    // The decoders are up to date when the replay returns, also after a Stop.
    const Pipeline& p = rig.pipeline;
    const std::vector<std::int64_t> states{p.lin[2].idleSamples,    p.lin[2].byteCount,  p.lin[2].bitIndex,
                                           p.lin[2].samplesInByte,  p.serial[3].idleSamples, p.serial[3].wordCount,
                                           p.serial[3].samplesInWord, p.can[0].run,     p.can[1].bitCount};
    return std::make_tuple(rig.Lines(), rig.ui.refreshes, rig.ui.columns, p.sampleIndex, p.columnClock, states);
  };
  int lines = 0;
  for (const int changeAt : {3, 37, 101}) {
    for (const int stopAfter : {-1, 5, 50, 223, 257, 333}) {
      const auto reference = replay(DispatchPath::PerSample, stopAfter, changeAt);
      EXPECT_EQ(replay(DispatchPath::RunSkipping, stopAfter, changeAt), reference)
          << "stop after " << stopAfter << ", scrolling changed after " << changeAt;
      lines += static_cast<int>(std::get<0>(reference).size());
    }
  }
  EXPECT_GT(lines, 100);
}

TEST(SampleScan, EveryScanOfThisProcessorFindsWhatALoopFinds) {
  // Changes at every offset of the wider steps, short and long stretches, every mask.
  std::mt19937 rng(5);
  std::vector<std::uint8_t> s(700);
  const auto scanners = scan::Scanners();
  ASSERT_FALSE(scanners.empty());
  for (int round = 0; round < 3000; ++round) {
    const auto base = static_cast<std::uint8_t>(rng());
    std::fill(s.begin(), s.end(), base);
    const std::size_t changes = rng() % 3;
    for (std::size_t k = 0; k < changes; ++k) s[rng() % s.size()] = static_cast<std::uint8_t>(rng());
    const std::size_t from = rng() % 300;
    const std::size_t to = from + rng() % (s.size() - from + 1);
    const auto channels = static_cast<std::uint8_t>(rng() & 0x0F);
    const std::uint8_t levels = rng() % 4 == 0 ? static_cast<std::uint8_t>(rng()) : base;
    std::size_t expected = from;
    while (expected < to && ((s[expected] ^ levels) & channels) == 0) ++expected;
    for (const auto& [name, scanner] : scanners)
      ASSERT_EQ(scanner(s.data(), from, to, levels, channels), expected)
          << name << " from " << from << " to " << to << ", round " << round;
  }
}

TEST(SampleScan, FindsTheFirstChangeOfTheLowBits) {
  std::vector<std::uint8_t> s(100, 0x35);
  EXPECT_EQ(FindSampleChange(s.data(), 0, s.size(), 0x5), 100u);
  EXPECT_EQ(FindSampleChange(s.data(), 0, s.size(), 0x4), 0u);
  for (std::size_t at : {1u, 7u, 8u, 9u, 31u, 40u, 41u, 63u, 64u, 95u, 99u}) {
    auto t = s;
    t[at] = 0xF5;  // upper bits alone are no change
    t[at == 99 ? 98 : at + 1] = 0x07;
    const std::size_t change = at == 99 ? 98 : at + 1;
    EXPECT_EQ(FindSampleChange(t.data(), 0, t.size(), 0x5), change) << at;
    EXPECT_EQ(FindSampleChange(t.data(), change, t.size(), 0x7), change + 1) << at;
    EXPECT_EQ(FindSampleChange(t.data(), 0, change, 0x5), change) << at;
  }
}
