#pragma once
// Serial decoder and its frame description loader: an asynchronous line of words made of
// one start bit, 1 to 16 data bits and one stop bit at a fixed bit rate. Words are gathered
// into a frame until the line has been quiet for longer than the inter-frame time; each
// frame becomes one line "Data=..." in hexadecimal or as characters.

#include <array>
#include <cstdint>
#include <string>

#include "pipeline/DecoderServices.h"
#include "pipeline/LaneRun.h"

namespace velkor {

inline constexpr int kSerialMaxDataBits = 16;
inline constexpr int kSerialMaxWords = 512;
inline constexpr std::int32_t kSerialIdleCap = 1000000;
// Character shown in ASCII mode for a control character (below 32).
inline constexpr char kSerialControlChar = '\x90';   // 144
// Character shown in ASCII mode for a received 149, so that it can't pass for the ErrorMark.
inline constexpr char kSerialBulletStandIn = '\x97';  // 151
// The level remembered after loading: neither '0' nor '1', so a line already at the start
// level on the first sample of a run starts a word there.
inline constexpr char kSerialUnknownLevel = '\xFF';

// What a *.sfd file sets; filled only when the whole description was accepted.
struct SerialSettings {
  bool described = false;  // false until a description was accepted once
  std::int32_t baud = 0;
  std::int32_t dataBits = 8;
  bool lsbFirst = true;
  bool invertedStart = false;  // YES: start bit level 0, stop bit level 1
  bool invertedData = false;   // YES: a data bit 1 is level 0
  bool ascii = false;
  std::int32_t interFrameSamples = 0;
  std::int32_t hexDigits = 2;    // (dataBits - 1) / 4 + 1
  std::int32_t periodMicros = 0;  // 1000000 div baud
};

enum class SerialWordState : std::uint8_t {
  WaitingForStart,  // looking for an edge into the start level
  TakingBits,       // a start edge was seen; symbols are taken in their middles
};

struct SerialChannelState {
  SerialSettings settings;

  char previousLevel = kSerialUnknownLevel;
  SerialWordState wordState = SerialWordState::WaitingForStart;
  std::int32_t samplesInWord = 0;  // samples since the start edge of the current word
  std::int32_t nextSample = 0;     // samplesInWord must exceed this before the next symbol
  // Symbols of the current word: [0] start bit, [1..dataBits] data bits in line order, then the stop bit.
  std::array<char, kSerialMaxDataBits + 2> bits{};
  std::int32_t bitIndex = 0;
  std::int32_t bitsRemaining = 0;
  std::array<std::int32_t, kSerialMaxWords> words{};  // -1: bad start or stop bit
  std::int32_t wordCount = 0;
  std::int32_t idleSamples = kSerialIdleCap - 1;  // since the last stored word, held at the cap
};

// Loads the channel's description (where FindDescriptionFile finds it) at run start; nonzero when the file
// was refused (the user has then been told why, and the channel keeps its previous settings).
[[nodiscard]] int LoadSerialDescription(DecoderServices& services, SerialChannelState& state,
                                        const std::string& path, int channel);

int DecodeSerial(DecoderServices& services, SerialChannelState& state, int channel, char level,
                 SampleIndex index);

// The run-skipping path. SerialSteadySamples: how many of the next samples at `level` do no
// more than count (no symbol is due, no word starts, no frame line is due), or kUnboundedRun.
// SkipSerial takes `count` such samples (at most the steady count) in one step, with the marks
// the per-sample step sets; the state is then what DecodeSerial would have left.
std::uint64_t SerialSteadySamples(const DecoderServices& services, const SerialChannelState& state,
                                  int channel, char level);
void SkipSerial(DecoderServices& services, SerialChannelState& state, int channel, char level,
                std::uint64_t count);
// In a word only the levels at the symbol positions count: SerialBlindSamples is how many next
// samples (up to the stop bit) the decoder can take whatever the level does in between, and
// SkipSerialBlind takes `count` of them (at most that many), reading the levels it needs from
// `samples` (its channel's bit of each byte).
std::uint64_t SerialBlindSamples(const DecoderServices& services, const SerialChannelState& state,
                                 int channel);
void SkipSerialBlind(DecoderServices& services, SerialChannelState& state, int channel,
                     const std::uint8_t* samples, std::uint64_t count);

// How many next samples surely append no line, whatever their levels (kUnboundedRun when the
// channel does not decode): the frame line needs a quiet time after the last stored word, and
// the count of idle samples rises by one a sample at most. Another channel may go on past
// such samples before they are taken.
std::uint64_t SerialLineFreeSamples(const DecoderServices& services, const SerialChannelState& state,
                                    int channel);

// The channel's lane of the run-skipping dispatch (see RunLane).
bool RunSerialLane(DecoderServices& services, SerialChannelState& state, int channel, Lane& lane,
                   LaneSpan& span);

}  // namespace velkor
