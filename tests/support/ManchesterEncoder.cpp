#include "ManchesterEncoder.h"

namespace velkor::test {

std::string ManchesterHalfBits(std::string_view symbols, bool invert) {
  std::string out;
  for (char c : symbols) {
    switch (c) {
      case '0': out += invert ? "10" : "01"; break;
      case '1': out += invert ? "01" : "10"; break;
      case 'M': case 'm': out += "11"; break;
      case 'S': case 's': out += "00"; break;
      default: break;
    }
  }
  return out;
}

std::string BitsOf(std::uint64_t value, int bits) {
  std::string out;
  for (int i = bits - 1; i >= 0; --i) out += ((value >> i) & 1) != 0 ? '1' : '0';
  return out;
}

void ManchesterEncoder::Hold(int level, double micros) {
  if (micros <= 0) return;
  const double now = out_->Now();
  const int before = now > 0 ? out_->LevelAt(now - 1e-3) : out_->IdleLevel();
  if (level != before) lastEdge_ = now;
  out_->Hold(level, micros);
}

ManchesterEncoder& ManchesterEncoder::Symbols(std::string_view symbols) {
  return HalfBits(ManchesterHalfBits(symbols, invert_));
}

ManchesterEncoder& ManchesterEncoder::Field(int bits, std::uint64_t value) {
  return Symbols(BitsOf(value, bits));
}

ManchesterEncoder& ManchesterEncoder::HalfBits(std::string_view levels) {
  for (char c : levels)
    if (c == '0' || c == '1') Hold(c - '0', HalfBitMicros());
  return *this;
}

ManchesterEncoder& ManchesterEncoder::IdleHalfBits(double halfBits) {
  Hold(out_->IdleLevel(), halfBits * HalfBitMicros());
  return *this;
}

}  // namespace velkor::test
