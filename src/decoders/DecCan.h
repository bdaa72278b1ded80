#pragma once
// CAN decoder and its frame description loader. Frames are rebuilt from the run lengths
// between level changes (dominant = '0'); stuff bits are dropped, and a frame is reported as
// soon as nine bits have followed its data (CRC and end of frame are not checked). Two
// options of the description, both off unless asked for, read extended-format frames and
// check the frame to its end.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "database/BusDatabase.h"
#include "decoders/DescriptionFile.h"
#include "pipeline/DecoderServices.h"
#include "pipeline/LaneRun.h"

namespace velkor {

enum class CanFrameState : std::int32_t {
  WaitIdle,     // waits for a recessive run longer than 6.5 bit times
  WaitStart,    // waits for the dominant start of frame
  Arbitration,  // start of frame, 11 identifier bits, RTR (SRR); and IDE with extended frames
  Control,      // IDE, r0, 4 DLC bits (r1, r0, 4 DLC bits in an extended frame)
  Data,         // 8 x DLC bits
  Crc,          // 9 bits, then the frame line; the 15-bit CRC sequence with the frame checked
  // Extended frames only:
  ExtendedIdentifier,  // IDE, 18 identifier bits, RTR
  // The frame checked only: the fixed-form end, whose bits carry no stuffing and are taken
  // at their sample positions, as a receiver samples them.
  CrcDelimiter,
  AckSlot,
  AckDelimiter,
  EndOfFrame,  // 7 bits, then the frame line
};

inline constexpr int kCanBitBufferSize = 1026;
inline constexpr int kCanNameMax = 30;
inline constexpr int kCanThresholdCount = 7;
// Sample positions of the bits of one run, as far as the end of a checked frame needs them:
// the CRC delimiter is at most the fifth bit of its run, and ten bits end the frame.
inline constexpr int kCanRunBitPositions = 16;

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
  std::array<char, kCanNameMax + 1> identifier{};  // three or eight hex digits, or the described name
  // The identifier as received, handed to the line beside its text (which may show a name).
  std::uint32_t identifierValue = 0;
  bool extendedFrame = false;
  std::int32_t dataLength = -1;
  std::array<char, 17> dataText{};  // two hex digits per data byte
  // Kept from one load to the next so that names added during a run are seen.
  DescriptionFile description;
  std::int32_t bitRate = 0;
  // [OPTIONS] of the description.
  bool extendedFrames = false;  // a recessive IDE bit starts a 29-bit identifier
  bool checkFrame = false;      // CRC, delimiters, acknowledgement and end of frame are checked
  // Sample k is where bit k of a run is read, counted as `run` counts (bit k is in a run
  // that reaches it).
  std::array<std::int32_t, kCanRunBitPositions> runBitPositions{};
  // The 11 first identifier bits of an extended frame while the rest is read.
  std::uint32_t baseIdentifier = 0;
  // CRC-15 of the bits from the start of frame that the fields have taken (frame checked).
  std::uint32_t crc = 0;
  // In the Crc state of a checked frame: the value of `run` at which the current run reaches
  // the CRC delimiter (the CRC sequence then ends inside the run), or -1.
  std::int32_t crcEndsAtRun = -1;
  // In the states of the frame end: the bit of the current run that is read next, and the
  // end-of-frame bits read so far.
  std::int32_t nextBitInRun = 0;
  std::int32_t endOfFrameBits = 0;
  // The bus database the description names, empty when it names none. The frame being read
  // has `message` (or nullptr), whose signals are read from `payload`, its data bytes.
  BusDatabase database;
  const BusMessage* message = nullptr;
  bool namedInDescription = false;  // [ID] named the frame: the database's name is not used
  std::uint64_t payload = 0;
  // No description has ever been accepted on this channel: there is no bit time to decode
  // with, so the channel only draws its trace.
  bool loaded = false;
};

// Loads the channel's description (where FindDescriptionFile finds it) at run start; nonzero when the file
// was refused (the user has then been told why, and the channel keeps its previous timing and state).
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
