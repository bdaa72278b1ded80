#include "CanEncoder.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace velkor::test {

namespace {

void AppendBits(std::string& out, unsigned value, int count) {
  for (int i = count - 1; i >= 0; --i) out += ((value >> i) & 1) ? '1' : '0';
}

// Acknowledgement delimiter, end of frame, interframe space.
constexpr std::string_view kFrameTail = "1" "1111111" "111";

}  // namespace

std::uint16_t CanCrc15(std::string_view bits) {
  unsigned crc = 0;
  for (char c : bits) {
    const unsigned next = static_cast<unsigned>(c == '1') ^ ((crc >> 14) & 1);
    crc = (crc << 1) & 0x7FFF;
    if (next) crc ^= 0x4599;
  }
  return static_cast<std::uint16_t>(crc);
}

int CanDataBytes(const CanFrame& frame) { return frame.remote ? 0 : std::min(frame.dlc, 8); }

int CanBitsBeforeData(const CanFrame& frame) { return frame.extended ? 39 : 19; }

std::string CanFrameBits(const CanFrame& frame) {
  std::string bits = "0";  // start of frame
  if (frame.extended) {
    AppendBits(bits, (frame.id >> 18) & 0x7FF, 11);
    bits += "11";  // SRR, IDE (extended format)
    AppendBits(bits, frame.id & 0x3FFFF, 18);
    bits += frame.remote ? '1' : '0';  // RTR
    bits += "00";                      // r1, r0
  } else {
    AppendBits(bits, frame.id & 0x7FF, 11);
    bits += frame.remote ? '1' : '0';  // RTR
    bits += "00";                      // IDE (standard format), r0
  }
  AppendBits(bits, static_cast<unsigned>(frame.dlc) & 0xF, 4);
  for (int i = 0; i < CanDataBytes(frame); ++i)
    AppendBits(bits, i < static_cast<int>(frame.data.size()) ? frame.data[i] : 0, 8);
  AppendBits(bits, CanCrc15(bits), 15);
  return bits;
}

double CanWireFrame::RunEndAfter(int wireIndex) const {
  int j = wireIndex + 1;
  while (j < static_cast<int>(wire.size()) && wire[j] == wire[wireIndex]) ++j;
  if (j == static_cast<int>(wire.size())) throw std::logic_error("run does not end inside the frame");
  return BitStart(j);
}

std::int64_t CanWireFrame::SampleOfBit(int wireIndex) const {
  int first = wireIndex;
  while (first > 0 && wire[first - 1] == wire[wireIndex]) --first;
  const std::int64_t period = static_cast<std::int64_t>(bitMicros);  // whole microseconds, as receivers time it
  return FirstSampleAtOrAfter(BitStart(first)) + (5 * period * (2 * (wireIndex - first) + 1) + 12) / 24;
}

CanEncoder::CanEncoder(SignalBuilder& out, int bitRate) : out_(&out), bitMicros_(1e6 / bitRate) {}

CanEncoder& CanEncoder::IdleBits(double bits) {
  out_->Hold(1, bits * bitMicros_);
  return *this;
}

CanWireFrame CanEncoder::Encode(const CanFrame& frame, bool lateStuffBit, const CanFaults& faults) const {
  CanWireFrame w;
  w.start = out_->Now();
  w.bitMicros = bitMicros_;
  std::string bits = CanFrameBits(frame);
  if (faults.flippedBit >= 0) bits.at(static_cast<std::size_t>(faults.flippedBit)) ^= 1;  // '0' <-> '1'
  char last = 'x';
  int same = 0;
  bool faultDone = !lateStuffBit;
  for (char b : bits) {
    w.wireIndexOfBit.push_back(static_cast<int>(w.wire.size()));
    w.wire += b;
    same = b == last ? same + 1 : 1;
    last = b;
    if (same == 5) {
      if (!faultDone) {
        w.wire += b;
        faultDone = true;
      }
      const char stuff = b == '0' ? '1' : '0';
      w.stuffBits.push_back(static_cast<int>(w.wire.size()));
      w.wire += stuff;
      last = stuff;
      same = 1;
    }
  }
  if (!faultDone) throw std::logic_error("frame has no stuff bit to delay");
  w.crcDelimiter = static_cast<int>(w.wire.size());
  w.wire += faults.dominantCrcDelimiter ? '0' : '1';
  w.wire += faults.acknowledged ? '0' : '1';  // dominant: some receiver took the frame
  w.wire += kFrameTail;
  return w;
}

void CanEncoder::Write(const CanWireFrame& wire, int glitchBit, double glitchMicros) {
  for (int i = 0; i < static_cast<int>(wire.wire.size()); ++i) {
    const int level = wire.wire[i] - '0';
    if (i != glitchBit) {
      out_->Hold(level, bitMicros_);
      continue;
    }
    const double before = (bitMicros_ - glitchMicros) / 2;
    out_->Hold(level, before).Hold(1 - level, glitchMicros).Hold(level, bitMicros_ - before - glitchMicros);
  }
}

CanWireFrame CanEncoder::Frame(const CanFrame& frame) {
  CanWireFrame w = Encode(frame, false);
  Write(w, -1, 0);
  return w;
}

CanWireFrame CanEncoder::Frame(const CanFrame& frame, const CanFaults& faults) {
  CanWireFrame w = Encode(frame, false, faults);
  Write(w, -1, 0);
  return w;
}

CanWireFrame CanEncoder::FrameWithSixEqualBits(const CanFrame& frame) {
  CanWireFrame w = Encode(frame, true);
  Write(w, -1, 0);
  return w;
}

CanWireFrame CanEncoder::FrameWithGlitch(const CanFrame& frame, int wireIndex, double glitchMicros) {
  if (!(glitchMicros < bitMicros_ / 2)) throw std::logic_error("a glitch is shorter than half a bit");
  CanWireFrame w = Encode(frame, false);
  Write(w, wireIndex, glitchMicros);
  return w;
}

CanWireFrame CanEncoder::FrameCutByErrorFlag(const CanFrame& frame, int wireBits, int flagBits) {
  CanWireFrame w = Encode(frame, false);
  w.wire.resize(static_cast<std::size_t>(wireBits));
  w.wire.append(static_cast<std::size_t>(flagBits), '0');
  w.wire += "11111111" "111";  // error delimiter, interframe space
  Write(w, -1, 0);
  return w;
}

std::int64_t FirstSampleAtOrAfter(double micros) {
  // The waveform builder shows a change to the samples at or after it, within 1e-7 us.
  auto n = static_cast<std::int64_t>(std::floor(micros / kSampleMicros)) - 1;
  if (n < 0) n = 0;
  while (static_cast<double>(n) * kSampleMicros < micros - 1e-7) ++n;
  return n;
}

}  // namespace velkor::test
