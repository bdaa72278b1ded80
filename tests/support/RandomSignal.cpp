#include "RandomSignal.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "Waveform.h"

namespace velkor::test {

namespace {

int Uniform(SignalRng& rng, int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
double UniformReal(SignalRng& rng, double low, double high) {
  return std::uniform_real_distribution<double>(low, high)(rng);
}
bool Chance(SignalRng& rng, double p) { return std::bernoulli_distribution(p)(rng); }
template <typename T, std::size_t N>
T Pick(SignalRng& rng, const T (&choices)[N]) {
  return choices[static_cast<std::size_t>(Uniform(rng, 0, static_cast<int>(N) - 1))];
}
const char* YesNo(bool b) { return b ? "YES" : "NO"; }
std::string Number(std::int64_t n) { return std::to_string(n); }

// A rate that is mostly one of the usual ones, now and then anything in a range.
int Rate(SignalRng& rng, const int (&usual)[7], int low, int high) {
  return Chance(rng, 0.8) ? Pick(rng, usual) : Uniform(rng, low, high);
}

}  // namespace

BitLikeLine::BitLikeLine(std::uint64_t seed, double bitSamples, int idleLevel)
    : rng_(seed), bitSamples_(std::max(bitSamples, 0.5)), idleLevel_(idleLevel), level_(idleLevel) {}

void BitLikeLine::StartRun() {
  level_ ^= 1;
  const double roll = UniformReal(rng_, 0, 1);
  double samples;
  if (roll < 0.04) {
    samples = Uniform(rng_, 1, 2);  // a glitch
  } else if (roll < 0.08 && level_ == idleLevel_) {
    // A long quiet line: past every inter-frame time, now and then past the idle caps.
    samples = Chance(rng_, 0.9) ? UniformReal(rng_, 20, 400) * bitSamples_ : UniformReal(rng_, 1e5, 1.2e6);
  } else {
    // Whole bits, a few more now and then (a LIN break, six equal CAN bits), with jitter.
    const int bits = roll < 0.9 ? Uniform(rng_, 1, 5) : Uniform(rng_, 6, 14);
    samples = bits * bitSamples_ * UniformReal(rng_, 0.92, 1.08);
  }
  remaining_ = std::max<std::int64_t>(1, std::llround(samples));
}

void FillSamples(std::array<BitLikeLine, 4>& lines, std::uint8_t* out, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    out[i] = static_cast<std::uint8_t>(lines[0].Next() | lines[1].Next() << 1 | lines[2].Next() << 2 |
                                       lines[3].Next() << 3);
}

RandomChannel RandomValidChannel(SignalRng& rng, const TempDir& dir, int channel, ChannelType type,
                                 ChannelSettings& settings) {
  RandomChannel line;
  settings.type = type;
  settings.active = true;
  const std::string stem = "c" + std::to_string(channel);
  switch (type) {
    case ChannelType::Serial: {
      static const int kBauds[] = {1200, 4800, 9600, 19200, 38400, 57600, 115200};
      const int baud = Rate(rng, kBauds, 100, 400000);
      const int bitMicros = 1000000 / baud;
      const int interFrames[] = {-50, 0, 1, bitMicros, 3 * bitMicros, 12 * bitMicros, 20000, 2399990, 2400010};
      const bool invertedStart = Chance(rng, 0.5);
      settings.serialFile = dir.Write(
          stem + ".sfd", "[PROTOCOL]\nBaudrate=" + Number(baud) + "\nDataBits=" +
                             Number(Chance(rng, 0.6) ? 8 : Uniform(rng, 1, 16)) + "\nLsbFirst=" + YesNo(Chance(rng, 0.5)) +
                             "\nInvertedStart=" + YesNo(invertedStart) + "\nInvertedData=" + YesNo(Chance(rng, 0.5)) +
                             "\nInterFrame=" + Number(Pick(rng, interFrames)) + "\nAscii=" + YesNo(Chance(rng, 0.3)) + "\n");
      line.bitSamples = 1e6 / baud / kSampleMicros;
      line.idleLevel = invertedStart ? 1 : 0;
      break;
    }
    case ChannelType::Can: {
      static const int kRates[] = {10000, 20000, 50000, 83333, 100000, 125000, 250000};
      const int rate = Rate(rng, kRates, 5000, 400000);
      settings.canFile = dir.Write(stem + ".cfd", "[BAUDRATE]\nValue=" + Number(rate) +
                                                      "\n[OPTIONS]\nExtendedFrames=" + YesNo(Chance(rng, 0.5)) +
                                                      "\nCheckFrame=" + YesNo(Chance(rng, 0.5)) +
                                                      "\n[ID]\n000=Zero\n135=Engine\n7FF=A name, with a comma\n");
      line.bitSamples = 1e6 / rate / kSampleMicros;
      line.idleLevel = 1;
      break;
    }
    case ChannelType::Lin: {
      static const int kBauds[] = {2400, 4800, 9600, 10417, 19200, 20000, 100000};
      const int baud = Rate(rng, kBauds, 1000, 200000);
      const bool invert = Chance(rng, 0.3);
      const int bitMicros = 1000000 / baud;
      const int interFrames[] = {-10, 0, bitMicros, 2 * bitMicros, 15 * bitMicros, 5000, 2399990, 2400010};
      settings.linFile = dir.Write(stem + ".lfd", "[BAUDRATE]\nValue=" + Number(baud) + "\n[INVERT]\nValue=" +
                                                      YesNo(invert) + "\n[PROTOCOL]\nInterFrame=" +
                                                      Number(Pick(rng, interFrames)) + "\nChecksumIncludeID=" +
                                                      YesNo(Chance(rng, 0.5)) + "\nCheckParity=" +
                                                      YesNo(Chance(rng, 0.5)) + "\nDiagnosticClassic=" +
                                                      YesNo(Chance(rng, 0.5)) + "\n[ID]\n3C=Diag\nA8=Status\n");
      line.bitSamples = 1e6 / baud / kSampleMicros;
      line.idleLevel = invert ? 0 : 1;
      break;
    }
    case ChannelType::Manchester: {
      static const int kBauds[] = {1000, 2400, 3906, 9600, 10000, 20000, 50000};
      const int signalBaud = Rate(rng, kBauds, 500, 200000);
      line.bitSamples = 5e5 / signalBaud / kSampleMicros;
      line.idleLevel = Uniform(rng, 0, 1);
      settings.manchesterFiles.clear();
      for (int slot = Uniform(rng, 1, kMaxManchesterFiles); slot > 0; --slot) {
        // Most slots listen at the line's rate; the others at anything.
        const int baud = Chance(rng, 0.6) ? signalBaud : Rate(rng, kBauds, 500, 200000);
        std::string preamble;
        for (int s = Uniform(rng, 1, 32); s > 0; --s) {
          preamble += "01MS"[Uniform(rng, 0, 3)];
          if (Chance(rng, 0.1)) preamble += ' ';
        }
        std::string fields;
        int bitsLeft = 512;
        for (int f = Uniform(rng, 1, 16); f > 0 && bitsLeft > 0; --f) {
          const int bits = std::min(bitsLeft, Chance(rng, 0.7) ? 4 * Uniform(rng, 1, 8) : Uniform(rng, 1, 64));
          bitsLeft -= bits;
          fields += std::string(static_cast<std::size_t>(Uniform(rng, 1, 16)), static_cast<char>('A' + f)) + "=" +
                    Number(bits) + "\n";
        }
        std::string text = "[BAUDRATE]\nValue=" + Number(baud) + "\n[INVERT]\nValue=" + YesNo(Chance(rng, 0.5)) +
                           "\n[PREAMBLE]\nContent=" + preamble + "\n[FIELDS]\n" + fields;
        if (Chance(rng, 0.7)) text += "[TIMEOUT]\nValue=" + Number(Uniform(rng, 2, 5)) + "\n";
        settings.manchesterFiles.push_back(
            {dir.Write(stem + "-" + Number(slot) + ".mfd", text), Chance(rng, 0.85)});
      }
      break;
    }
    case ChannelType::Logical:
    case ChannelType::None:
      settings.generation = Chance(rng, 0.8);
      line.bitSamples = UniformReal(rng, 1, 2000);
      line.idleLevel = Uniform(rng, 0, 1);
      break;
  }
  return line;
}

}  // namespace velkor::test
