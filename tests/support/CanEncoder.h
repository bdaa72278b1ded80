#pragma once
// A CAN transmitter for test signals: standard- and extended-format data and remote frames
// as the bus carries them (dominant = level 0), with real bit stuffing from the start of frame to the
// end of the CRC, the CRC-15, delimiters, a dominant acknowledgement, end of frame and the
// interframe space. It knows nothing of any decoder; it also records when each wire bit
// starts, so a test can work out from the protocol where a receiver must decide.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Waveform.h"

namespace velkor::test {

struct CanFrame {
  std::uint32_t id = 0;  // 11 bits, or 29 in an extended frame
  bool remote = false;
  int dlc = 0;  // the 4-bit DLC field as sent, 0 to 15
  // A data frame carries min(dlc, 8) bytes; missing bytes are sent as 0.
  std::vector<std::uint8_t> data;
  bool extended = false;
};

// What may go wrong in a frame that is otherwise sent as the protocol says.
struct CanFaults {
  int flippedBit = -1;  // unstuffed bit inverted after the CRC was computed (then stuffed as sent)
  bool dominantCrcDelimiter = false;
  bool acknowledged = true;  // false: the acknowledgement slot stays recessive
};

// CRC-15 (polynomial 0x4599, initial value 0) over '0'/'1' characters.
std::uint16_t CanCrc15(std::string_view bits);

// The frame's bits before stuffing: start of frame, identifier, RTR, IDE, r0, DLC, data, CRC
// (extended: start of frame, 11 identifier bits, SRR, IDE, 18 identifier bits, RTR, r1, r0,
// DLC, data, CRC).
std::string CanFrameBits(const CanFrame& frame);
// Unstuffed bits from the start of frame to the end of the control field.
int CanBitsBeforeData(const CanFrame& frame);

// Number of data bytes a frame carries on the bus.
int CanDataBytes(const CanFrame& frame);

// One frame as it went onto the bus.
struct CanWireFrame {
  double start = 0;      // microseconds at the start of the start-of-frame bit
  double bitMicros = 0;
  std::string wire;      // every bit sent, start of frame to the end of the interframe space
  std::vector<int> wireIndexOfBit;  // unstuffed bit k (from start of frame) -> its index in wire
  std::vector<int> stuffBits;       // wire indices of the stuff bits
  int crcDelimiter = 0;             // wire index of the CRC delimiter; the rest of the frame follows

  double BitStart(int wireIndex) const { return start + wireIndex * bitMicros; }
  // Start time of the first wire bit after `wireIndex` whose level differs from it: the end
  // of the run holding that bit.
  double RunEndAfter(int wireIndex) const;
  // The first sample of the run holding the wire bit, and the sample on which a receiver
  // that takes bit k of a run at k + 0.5 bit times after its first edge reads this bit.
  std::int64_t SampleOfBit(int wireIndex) const;
  int AckSlot() const { return crcDelimiter + 1; }
  int LastEndOfFrameBit() const { return crcDelimiter + 9; }
};

class CanEncoder {
 public:
  CanEncoder(SignalBuilder& out, int bitRate);

  double BitMicros() const { return bitMicros_; }
  CanEncoder& IdleBits(double bits);

  // The frame's wire bits and timing as Frame() would send it now, without sending it.
  CanWireFrame Plan(const CanFrame& frame) const { return Encode(frame, false); }

  CanWireFrame Frame(const CanFrame& frame);
  CanWireFrame Frame(const CanFrame& frame, const CanFaults& faults);
  // The first stuff bit arrives one bit late: six equal bits, then the stuff bit. Requires a
  // frame whose bits need stuffing.
  CanWireFrame FrameWithSixEqualBits(const CanFrame& frame);
  // An inverted pulse of `glitchMicros` (less than half a bit) centred in wire bit
  // `wireIndex`.
  CanWireFrame FrameWithGlitch(const CanFrame& frame, int wireIndex, double glitchMicros);
  // The frame broken off after `wireBits` bits by an error flag of `flagBits` dominant bits
  // (6 for one node, up to 12 when the flags of several nodes overlap), then the error
  // delimiter and the interframe space.
  CanWireFrame FrameCutByErrorFlag(const CanFrame& frame, int wireBits, int flagBits);

 private:
  CanWireFrame Encode(const CanFrame& frame, bool lateStuffBit, const CanFaults& faults = {}) const;
  void Write(const CanWireFrame& wire, int glitchBit, double glitchMicros);

  SignalBuilder* out_;
  double bitMicros_;
};

// The first sample that sees a level change at `micros` (samples are n x 2.4 microseconds
// apart; a change exactly on a sample instant is seen there).
std::int64_t FirstSampleAtOrAfter(double micros);

}  // namespace velkor::test
