#pragma once
// LIN decoder and its frame description loader (*.lfd). A frame is a break (the line held
// at 0 for more than 11 bit times), then bytes of 8N1, least significant bit first: the
// synchronisation byte 55, the protected identifier, the data and the checksum. The frame
// ends when the line has been quiet for the inter-frame time; it then becomes one line.

#include <array>
#include <cstdint>
#include <string>

#include "database/BusDatabase.h"
#include "decoders/DescriptionFile.h"
#include "pipeline/DecoderServices.h"
#include "pipeline/LaneRun.h"

namespace velkor {

inline constexpr int kLinMaxBytes = 512;
inline constexpr int kLinBitsPerByte = 10;  // start, 8 data, stop
inline constexpr std::int32_t kLinIdleCeiling = 1000000;

enum class LinState : std::int32_t {
  WaitingForBreak = 0,
  InBreak = 1,  // until the line returns to 1, the break delimiter
  BetweenBytes = 2,
  InByte = 3,
};

struct LinChannelState {
  // Kept for the whole run: identifier names are looked up in [ID] when a line is built,
  // so a name added while the run goes on shows in later lines.
  DescriptionFile description;

  // Settings, filled by a successful load.
  bool loaded = false;  // a channel never loaded successfully decodes nothing
  std::int32_t baud = 0;
  std::int32_t bitPeriodMicros = 0;
  double breakLimit = 0;  // level-0 samples that must be exceeded; deliberately not whole
  bool invert = false;
  bool checksumIncludesId = true;
  bool checkParity = false;        // the identifier's parity bits are checked
  bool diagnosticClassic = false;  // identifiers 3C and 3D always have the classic checksum
  // The bus database the description names (empty when it names none): frame names, signals,
  // and, when it states its protocol version, each frame's checksum model.
  BusDatabase database;
  std::int32_t interFrameSamples = 0;
  // The position of each bit of a byte: BitSamplePosition of the bit period.
  std::array<std::int32_t, kLinBitsPerByte> bitOffsets{};

  // Run fields.
  LinState state = LinState::WaitingForBreak;
  std::int32_t breakCounter = 0;  // survives a run: only a level 1 while waiting clears it
  std::array<char, kLinBitsPerByte> bits{};
  std::int32_t bitIndex = 0;
  std::int32_t bitsRemaining = 0;
  std::int32_t samplesInByte = 0;
  std::int32_t nextSample = 0;
  // 0..255, or the value plus 256 when its start or stop bit was wrong.
  std::array<std::int32_t, kLinMaxBytes> bytes{};
  std::int32_t byteCount = 0;  // survives a run: cleared by the next break
  std::int32_t idleSamples = kLinIdleCeiling - 1;
};

// Loads the channel's description (where FindDescriptionFile finds it) at run start; nonzero when the file
// was refused (the user has then been told why).
[[nodiscard]] int LoadLinDescription(DecoderServices& services, LinChannelState& state,
                                     const std::string& path, int channel);

int DecodeLin(DecoderServices& services, LinChannelState& state, int channel, char level,
              SampleIndex index);

// The run-skipping path. LinSteadySamples: how many of the next samples at `level` do no more
// than count (no break is recognised, no bit is due, no byte starts, no frame line is due), or
// kUnboundedRun. SkipLin takes `count` such samples (at most the steady count) in one step,
// with the marks the per-sample step sets.
std::uint64_t LinSteadySamples(const DecoderServices& services, const LinChannelState& state, int channel,
                               char level);
void SkipLin(DecoderServices& services, LinChannelState& state, int channel, char level, std::uint64_t count);
// Inside a byte only the levels at the bit positions count: LinBlindSamples is how many next
// samples (up to the stop bit) the decoder can take whatever the level does in between, and
// SkipLinBlind takes `count` of them (at most that many), reading the levels it needs from
// `samples` (its channel's bit of each byte).
std::uint64_t LinBlindSamples(const DecoderServices& services, const LinChannelState& state, int channel);
void SkipLinBlind(DecoderServices& services, LinChannelState& state, int channel, const std::uint8_t* samples,
                  std::uint64_t count);

// How many next samples surely append no line, whatever their levels (kUnboundedRun when the
// channel does not decode): the frame line needs a quiet time after the last byte, and the
// count of idle samples rises by one a sample at most. Another channel may go on past such
// samples before they are taken.
std::uint64_t LinLineFreeSamples(const DecoderServices& services, const LinChannelState& state, int channel);

// The channel's lane of the run-skipping dispatch (see RunLane).
bool RunLinLane(DecoderServices& services, LinChannelState& state, int channel, Lane& lane, LaneSpan& span);

}  // namespace velkor
