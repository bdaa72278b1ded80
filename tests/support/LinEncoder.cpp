#include "LinEncoder.h"

namespace velkor::test {

LinEncoder& LinEncoder::Dominant(double bits) {
  out_->Hold(Level(true), bits * BitMicros());
  return *this;
}

LinEncoder& LinEncoder::Recessive(double bits) {
  out_->Hold(Level(false), bits * BitMicros());
  return *this;
}

double LinEncoder::Byte(std::uint8_t value, bool goodStopBit) {
  const double start = out_->Now();
  Dominant(1);
  for (int i = 0; i < 8; ++i) {
    if ((value >> i) & 1)
      Recessive(1);
    else
      Dominant(1);
  }
  if (goodStopBit)
    Recessive(1);
  else
    Dominant(1);
  return start;
}

std::uint8_t LinEncoder::ProtectedId(std::uint8_t id) {
  auto bit = [id](int n) { return (id >> n) & 1; };
  const int p0 = bit(0) ^ bit(1) ^ bit(2) ^ bit(4);
  const int p1 = 1 ^ (bit(1) ^ bit(3) ^ bit(4) ^ bit(5));
  return static_cast<std::uint8_t>((id & 0x3F) | p0 << 6 | p1 << 7);
}

std::uint8_t LinEncoder::Checksum(std::uint8_t protectedId, const std::vector<std::uint8_t>& data,
                                  bool enhanced) {
  unsigned sum = enhanced ? protectedId : 0u;
  for (std::uint8_t b : data) {
    sum += b;
    if (sum >= 256) sum -= 255;  // the carry goes back into bit 0
  }
  return static_cast<std::uint8_t>(~sum);
}

bool LinEncoder::UsesEnhanced(const LinFrame& frame) {
  switch (frame.checksum) {
    case LinChecksumModel::Classic: return false;
    case LinChecksumModel::Enhanced: return true;
    case LinChecksumModel::Lin2x: break;
  }
  return (frame.id & 0x3F) != 0x3C && (frame.id & 0x3F) != 0x3D;
}

LinFrameTiming LinEncoder::Frame(const LinFrame& frame) {
  LinFrameTiming timing;
  timing.breakStart = out_->Now();
  Dominant(frame.breakBits);
  Recessive(frame.delimiterBits);

  const std::uint8_t pid = ProtectedId(frame.id);
  std::vector<std::uint8_t> wire{frame.sync, static_cast<std::uint8_t>(pid ^ frame.identifierXor)};
  wire.insert(wire.end(), frame.data.begin(), frame.data.end());
  wire.push_back(static_cast<std::uint8_t>(Checksum(pid, frame.data, UsesEnhanced(frame)) ^ frame.checksumXor));

  const int count = frame.sendBytes >= 0 && frame.sendBytes < static_cast<int>(wire.size())
                        ? frame.sendBytes
                        : static_cast<int>(wire.size());
  for (int i = 0; i < count; ++i) {
    if (i > 0) Recessive(frame.interByteBits);
    timing.byteStarts.push_back(Byte(wire[i], i != frame.badStopAt));
  }
  return timing;
}

}  // namespace velkor::test
