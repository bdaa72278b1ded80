#include "decoders/DecSerial.h"

#include <algorithm>
#include <string_view>

#include "app/IniFile.h"
#include "decoders/DescriptionFile.h"
#include "decoders/FileErrorPrompt.h"

namespace velkor {

namespace {

constexpr std::string_view kSection = "PROTOCOL";

// A YES/NO key: any case is accepted; anything else (the default included) is refused.
// Reads the keys in their fixed order; returns the refusal text of the first bad key, or
// nullptr when all were accepted.
const char* ReadSerialSettings(DescriptionFile& file, SerialSettings& s) {
  s.baud = file.ReadInteger(kSection, "Baudrate", -1);
  // Any rate that is not positive would leave the bit period undefined.
  if (s.baud <= 0) return "Value of Baudrate";
  s.periodMicros = 1000000 / s.baud;

  s.dataBits = file.ReadInteger(kSection, "DataBits", -1);
  if (s.dataBits < 1 || s.dataBits > kSerialMaxDataBits) return "Value of DataBits";
  s.hexDigits = (s.dataBits - 1) / 4 + 1;

  if (!file.ReadYesNo(kSection, "LsbFirst", "-", s.lsbFirst)) return "Value of LsbFirst";
  if (!file.ReadYesNo(kSection, "InvertedStart", "-", s.invertedStart)) return "Value of InvertedStart";
  if (!file.ReadYesNo(kSection, "InvertedData", "-", s.invertedData)) return "Value of InvertedData";

  const std::int32_t interFrame = file.ReadInteger(kSection, "InterFrame", -1);
  if (interFrame == -1) return "Value of InterFrame";
  // Microseconds to samples, truncated toward zero (as C++ division does for negatives).
  s.interFrameSamples = static_cast<std::int32_t>(QuietSamples(interFrame));

  if (!file.ReadYesNo(kSection, "Ascii", "NO", s.ascii)) return "Value of Ascii";
  s.described = true;
  return nullptr;
}

char Inverted(char level) { return level == '0' ? '1' : '0'; }

std::int32_t WordValue(const SerialChannelState& st) {
  const int dataBits = st.settings.dataBits;
  if (st.bits[0] != '1' || st.bits[dataBits + 1] != '0') return -1;
  std::int32_t value = 0;
  if (st.settings.lsbFirst) {
    for (int i = dataBits; i >= 1; --i) value = (value << 1) | (st.bits[i] == '1');
  } else {
    for (int i = 1; i <= dataBits; ++i) value = (value << 1) | (st.bits[i] == '1');
  }
  return value;
}

void AppendHex(std::string& out, std::int32_t value, int digits) {
  char buffer[8];
  int n = 0;
  do {
    buffer[n++] = kHexDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  for (int pad = digits - n; pad > 0; --pad) out += '0';
  while (n > 0) out += buffer[--n];
}

// The character of one word in ASCII mode. Words wider than 8 bits show their low 8 bits,
// with the same substitutions as a plain byte: a control character never enters the line
// (a NUL or a line break would cut or split it in the views and in saved files), and a
// value that would read as the ErrorMark never stands for one.
char AsciiChar(std::int32_t value) {
  if (value == -1) return kErrorMark;
  const auto code = static_cast<unsigned char>(value & 0xFF);
  if (code < 32) return kSerialControlChar;
  if (code == static_cast<unsigned char>(kErrorMark)) return kSerialBulletStandIn;
  return static_cast<char>(code);
}

void AppendFrameLine(DecoderServices& services, const SerialChannelState& st, int channel,
                     SampleIndex index) {
  std::string& line = services.NewLine(channel, index);
  const std::int32_t* words = st.words.data();
  const std::int32_t count = st.wordCount;
  for (std::int32_t i = 0; i < count; ++i) {
    if (words[i] == -1) {
      line += kErrorLineMark;
      break;
    }
  }
  line += "Data=";
  if (st.settings.ascii) {
    for (std::int32_t i = 0; i < count; ++i) line += AsciiChar(words[i]);
  } else {
    for (std::int32_t i = 0; i < count; ++i) {
      if (words[i] == -1)
        line += kErrorMark;
      else
        AppendHex(line, words[i], st.settings.hexDigits);
      line += ' ';
    }
  }
  if (line.back() == ' ') line.pop_back();
  line += ',';
  services.AppendDecodedLine(line);
}

}  // namespace

int LoadSerialDescription(DecoderServices& services, SerialChannelState& state, const std::string& path,
                          int channel) {
  services.fieldNames.Clear(channel);
  const std::string found = FindDescriptionFile(path, services.configFolder).path;
  DescriptionFile file(found);
  SerialSettings settings;
  // Nothing is kept from a refused file: a live run goes on after a refusal, and the
  // channel must not decode with half-read settings (a word wider than its symbol store).
  if (const char* error = ReadSerialSettings(file, settings))
    return FileErrorPrompt(services, channel, found, error);
  state.settings = settings;
  state.previousLevel = kSerialUnknownLevel;
  state.wordState = SerialWordState::WaitingForStart;
  state.wordCount = 0;
  state.idleSamples = kSerialIdleCap - 1;
  services.fieldNames.Add(channel, "Data");
  return 0;
}

int DecodeSerial(DecoderServices& services, SerialChannelState& st, int channel, char level,
                 SampleIndex index) {
  int result = 0;
  if (services.IsActive(channel) && st.settings.described) {
    const SerialSettings& s = st.settings;
    if (st.idleSamples < kSerialIdleCap) ++st.idleSamples;

    // The gap is measured from the last stored word; during a word it stays frozen at its
    // value on the sample after the start edge. It is tested before this sample's level.
    if (st.wordCount != 0) {
      const std::int32_t gap =
          st.wordState == SerialWordState::TakingBits ? st.idleSamples - st.samplesInWord : st.idleSamples;
      if (gap > s.interFrameSamples) {
        AppendFrameLine(services, st, channel, index);
        st.wordCount = 0;
        services.MarkEvent(channel);
        result = 1;
      }
    }

    char remembered = level;
    if (st.wordState == SerialWordState::WaitingForStart) {
      const char startLevel = s.invertedStart ? '0' : '1';
      if (level == startLevel && level != st.previousLevel) {
        st.nextSample = static_cast<std::int32_t>(BitSamplePosition(s.periodMicros, 0));
        st.bitsRemaining = s.dataBits + 2;
        st.bitIndex = 0;
        st.samplesInWord = 0;
        st.wordState = SerialWordState::TakingBits;
      }
    } else if (++st.samplesInWord > st.nextSample) {
      const bool framing = st.bitIndex == 0 || st.bitsRemaining == 1;
      const bool invert = framing ? s.invertedStart : s.invertedData;
      const char symbol = invert ? Inverted(level) : level;
      st.bits[st.bitIndex++] = symbol;
      --st.bitsRemaining;
      remembered = symbol;
      if (st.bitsRemaining > 0) {
        st.nextSample = static_cast<std::int32_t>(BitSamplePosition(s.periodMicros, st.bitIndex));
      } else {
        if (st.wordCount < kSerialMaxWords) {
          st.words[st.wordCount++] = WordValue(st);
          st.idleSamples = 0;
        }
        st.wordState = SerialWordState::WaitingForStart;
      }
    }
    st.previousLevel = remembered;
  }
  services.MarkTrace(channel);
  return result;
}

namespace {

// A symbol of a word is taken on the sample whose count passes the symbol's position, and one
// symbol per sample at most. The sample, counted from the next one (1 for the next), on which
// the word's last symbol (the stop bit) is due.
std::int64_t StopBitSample(const SerialChannelState& st) {
  const std::int32_t last = st.bitIndex + st.bitsRemaining - 1;
  // Symbols three microseconds apart or more are at least a sample apart: none waits for the
  // one before unless the first already does.
  if (st.settings.periodMicros >= 3 && st.nextSample >= st.samplesInWord)
    return BitSamplePosition(st.settings.periodMicros, last) + 1 - st.samplesInWord;
  std::int64_t due = 0;
  std::int32_t nextSample = st.nextSample;
  for (std::int32_t bit = st.bitIndex;;
       nextSample = static_cast<std::int32_t>(BitSamplePosition(st.settings.periodMicros, ++bit))) {
    due = std::max<std::int64_t>(due + 1, std::int64_t{nextSample} + 1 - st.samplesInWord);
    if (bit == last) return due;
  }
}

// `count` samples of a word before its stop bit is due: the symbols due in them are read from
// the level levelAt(k) of their sample k (1 for the first). The level remembered is the last
// sample's, as the per-sample step leaves it: the symbol when that sample took one.
template <typename LevelAt>
void TakeSymbols(SerialChannelState& st, std::uint64_t count, LevelAt levelAt) {
  const SerialSettings& s = st.settings;
  std::int64_t due = 0;
  const std::int32_t counted = st.samplesInWord;
  char remembered = levelAt(static_cast<std::int64_t>(count));
  // The counters in locals, as in the LIN decoder's TakeBits.
  const std::int64_t period = s.periodMicros;
  const bool invertedStart = s.invertedStart;
  const bool invertedData = s.invertedData;
  std::int32_t bitIndex = st.bitIndex;
  std::int32_t remaining = st.bitsRemaining;
  std::int32_t nextSample = st.nextSample;
  while (remaining > 1) {
    due = std::max<std::int64_t>(due + 1, std::int64_t{nextSample} + 1 - counted);
    if (static_cast<std::uint64_t>(due) > count) break;
    const bool invert = bitIndex == 0 ? invertedStart : invertedData;
    const char level = levelAt(due);
    const char symbol = invert ? Inverted(level) : level;
    st.bits[bitIndex++] = symbol;
    --remaining;
    nextSample = static_cast<std::int32_t>(BitSamplePosition(period, bitIndex));
    if (static_cast<std::uint64_t>(due) == count) remembered = symbol;
  }
  st.bitIndex = bitIndex;
  st.bitsRemaining = remaining;
  st.nextSample = nextSample;
  st.samplesInWord = counted + static_cast<std::int32_t>(count);
  st.previousLevel = remembered;
}

// During a word: the samples up to its stop bit. The symbols before it are taken in the skip
// (the levels at their positions are known); the stop bit completes the word by the
// per-sample step. The idle count and the samples of the word grow together (the idle count
// only stops at its cap), so the gap never grows: the next sample decides whether the frame
// line is due in the word. The gap is taken before that sample's count of the word.
std::uint64_t InWordSamples(const SerialChannelState& st) {
  if (st.wordCount != 0) {
    const std::int32_t gap = CountHeld(st.idleSamples, 1, kSerialIdleCap) - st.samplesInWord;
    if (gap > st.settings.interFrameSamples) return 0;
  }
  return static_cast<std::uint64_t>(StopBitSample(st) - 1);
}

// The steady count, the skip and the blind stretch of a channel that decodes (active, with an
// accepted description).
inline std::uint64_t DecodingSteady(const SerialChannelState& st, char level) {
  if (st.wordState == SerialWordState::TakingBits) return InWordSamples(st);
  const SerialSettings& s = st.settings;
  const char startLevel = s.invertedStart ? '0' : '1';
  if (level == startLevel && level != st.previousLevel) return 0;
  // The idle count passes the inter-frame time once it exceeds it; at its cap it stops.
  if (st.wordCount != 0 && s.interFrameSamples < kSerialIdleCap)
    return s.interFrameSamples > st.idleSamples
               ? static_cast<std::uint64_t>(s.interFrameSamples - st.idleSamples)
               : 0;
  return kUnboundedRun;
}

inline void DecodingSkip(SerialChannelState& st, char level, std::uint64_t count) {
  st.idleSamples = CountHeld(st.idleSamples, count, kSerialIdleCap);
  if (st.wordState == SerialWordState::TakingBits)
    TakeSymbols(st, count, [level](std::int64_t) { return level; });
  else
    st.previousLevel = level;
}

// In a word only the levels at the symbol positions count: it is taken blind up to its stop bit.
inline std::uint64_t DecodingBlind(const SerialChannelState& st) {
  return st.wordState == SerialWordState::TakingBits ? InWordSamples(st) : 0;
}

inline void DecodingSkipBlind(SerialChannelState& st, int channel, const std::uint8_t* samples,
                              std::uint64_t count) {
  st.idleSamples = CountHeld(st.idleSamples, count, kSerialIdleCap);
  TakeSymbols(st, count, [samples, channel](std::int64_t k) { return LevelIn(samples[k - 1], channel); });
}

bool Decoding(const DecoderServices& services, const SerialChannelState& st, int channel) {
  return services.IsActive(channel) && st.settings.described;
}

}  // namespace

std::uint64_t SerialLineFreeSamples(const DecoderServices& services, const SerialChannelState& st,
                                    int channel) {
  if (!Decoding(services, st, channel)) return kUnboundedRun;
  // The line comes on the sample where the gap, at most the idle count, passes the quiet time.
  const std::int32_t quiet = st.settings.interFrameSamples;
  if (st.wordCount != 0)
    return quiet > st.idleSamples ? static_cast<std::uint64_t>(quiet - st.idleSamples) : 0;
  // No word is stored: one must be first, which starts the idle count again, and the quiet
  // time must then pass.
  return quiet >= 0 ? static_cast<std::uint64_t>(quiet) + 1 : 0;
}

std::uint64_t SerialBlindSamples(const DecoderServices& services, const SerialChannelState& st, int channel) {
  return Decoding(services, st, channel) ? DecodingBlind(st) : 0;
}

void SkipSerialBlind(DecoderServices& services, SerialChannelState& st, int channel,
                     const std::uint8_t* samples, std::uint64_t count) {
  if (Decoding(services, st, channel)) DecodingSkipBlind(st, channel, samples, count);
  services.MarkTrace(channel);
}

std::uint64_t SerialSteadySamples(const DecoderServices& services, const SerialChannelState& st, int channel,
                                  char level) {
  return Decoding(services, st, channel) ? DecodingSteady(st, level) : kUnboundedRun;
}

void SkipSerial(DecoderServices& services, SerialChannelState& st, int channel, char level,
                std::uint64_t count) {
  if (Decoding(services, st, channel)) DecodingSkip(st, level, count);
  services.MarkTrace(channel);
}

bool RunSerialLane(DecoderServices& services, SerialChannelState& state, int channel, Lane& lane, LaneSpan& span) {
  auto step = [&](char level, SampleIndex index) { return DecodeSerial(services, state, channel, level, index); };
  // Whether the channel decodes cannot change while the lane runs: it is asked once.
  if (!Decoding(services, state, channel)) {
    return RunLane(lane, span,
                   LaneDecoder{[&](char, std::uint64_t) { services.MarkTrace(channel); }, step,
                               [](char) { return kUnboundedRun; }});
  }
  return RunLane(lane, span,
                 BlindLaneDecoder{[&](char level, std::uint64_t count) {
                                    DecodingSkip(state, level, count);
                                    services.MarkTrace(channel);
                                  },
                                  step, [&](char level) { return DecodingSteady(state, level); },
                                  [&] { return DecodingBlind(state); },
                                  [&](const std::uint8_t* samples, std::uint64_t count) {
                                    DecodingSkipBlind(state, channel, samples, count);
                                    services.MarkTrace(channel);
                                  }});
}

}  // namespace velkor
