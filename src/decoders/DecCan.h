#pragma once
// CAN decoder and its frame description loader. Standard-format frames are rebuilt from
// the run lengths between level changes (dominant = '0'); stuff bits are dropped, and a
// frame is reported as soon as nine bits have followed its data (CRC and end of frame are
// not checked).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "decoders/DescriptionFile.h"
#include "pipeline/DecoderServices.h"
#include "pipeline/LaneRun.h"

namespace velkor {

enum class CanFrameState : std::int32_t {
  WaitIdle,     // waits for a recessive run longer than 6.5 bit times
  WaitStart,    // waits for the dominant start of frame
  Arbitration,  // start of frame, 11 identifier bits, RTR
  Control,      // IDE, r0, 4 DLC bits
  Data,         // 8 x DLC bits
  Crc,          // 9 bits, then the frame line
};

inline constexpr int kCanBitBufferSize = 1026;
inline constexpr int kCanNameMax = 30;
inline constexpr int kCanThresholdCount = 7;

struct CanChannelState {
  CanFrameState frameState = CanFrameState::WaitIdle;
  // Samples since the last level change; at the next change it is the finished run's
  // length in samples minus one.
  std::int32_t run = 0;
  // Run limits in samples for 0.5, 1.5, ... 6.5 bit times.
  std::array<std::int32_t, kCanThresholdCount> thresholds{};
  // The bits of a run by its length as `run` counts it, for lengths below thresholds[5] (at
  // most the first 1024): 0 below thresholds[0], else 1 to 5.
  std::vector<std::uint8_t> runBits;
  char lastLevel = '?';
  // Bits not yet consumed by the frame fields, oldest first.
  std::array<char, kCanBitBufferSize + 1> bits{};
  std::int32_t bitCount = 0;
  bool runWasFive = false;
  bool previousRunWasFive = false;  // the current run starts with a stuff bit
  char frameKind = 'D';             // 'D' data frame, 'R' remote frame
  std::array<char, kCanNameMax + 1> identifier{};  // three hex digits or the described name
  // The identifier as received, handed to the line beside its text (which may show a name).
  std::uint32_t identifierValue = 0;
  bool extendedFrame = false;
  std::int32_t dataLength = -1;
  std::array<char, 17> dataText{};  // two hex digits per data byte
  // Kept from one load to the next so that names added during a run are seen.
  DescriptionFile description;
  std::int32_t bitRate = 0;
  // No description has ever been accepted on this channel: there is no bit time to decode
  // with, so the channel only draws its trace.
  bool loaded = false;
};

// Loads the channel's description at run start; nonzero when the file was refused
// (the user has then been told why, and the channel keeps its previous timing and state).
[[nodiscard]] int LoadCanDescription(DecoderServices& services, CanChannelState& state,
                                     const std::string& path, int channel);

int DecodeCan(DecoderServices& services, CanChannelState& state, int channel, char level,
              SampleIndex index);

// The run-skipping path. CanSteadySamples: how many of the next samples at `level` only count
// the run (no run ends, the idle wait is not over), or kUnboundedRun. SkipCan takes `count`
// such samples (at most the steady count) in one step, with the marks the per-sample step sets.
std::uint64_t CanSteadySamples(const DecoderServices& services, const CanChannelState& state, int channel,
                               char level);
void SkipCan(DecoderServices& services, CanChannelState& state, int channel, char level, std::uint64_t count);

// The channel's lane of the run-skipping dispatch (see RunLane).
bool RunCanLane(DecoderServices& services, CanChannelState& state, int channel, Lane& lane, LaneSpan& span);

}  // namespace velkor
