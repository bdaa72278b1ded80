#pragma once
// Manchester frames as a line carries them, written into a SignalBuilder. Each symbol is two
// half-bits: '0' is low then high and '1' high then low on a line with INVERT = NO (the
// other way round with INVERT = YES); 'M' (mark) holds high and 'S' (space) holds low for
// the whole bit. Times are exact: a half-bit lasts 500000 / baud microseconds.

#include <cstdint>
#include <string>
#include <string_view>

#include "Waveform.h"

namespace velkor::test {

class ManchesterEncoder {
 public:
  ManchesterEncoder(SignalBuilder& out, int baud, bool invert) : out_(&out), baud_(baud), invert_(invert) {}

  double HalfBitMicros() const { return 500000.0 / baud_; }

  // Symbols '0', '1', 'M', 'S' (either case); blanks are skipped.
  ManchesterEncoder& Symbols(std::string_view symbols);
  // A field of `bits` bits (1 to 64), most significant bit first.
  ManchesterEncoder& Field(int bits, std::uint64_t value);
  // Raw half-bit levels '0'/'1', for glitches and runs no symbol makes.
  ManchesterEncoder& HalfBits(std::string_view levels);
  // Holds the builder's idle level for a number of half-bits.
  ManchesterEncoder& IdleHalfBits(double halfBits);

  // Time of the line's latest change of level, in microseconds (0 when it never changed).
  double LastEdgeMicros() const { return lastEdge_; }

 private:
  void Hold(int level, double micros);

  SignalBuilder* out_;
  int baud_;
  bool invert_;
  double lastEdge_ = 0;
};

// The half-bit levels of a text of symbols with the given convention (blanks skipped).
std::string ManchesterHalfBits(std::string_view symbols, bool invert);

// The bits of a value, most significant first, as '0'/'1' symbols.
std::string BitsOf(std::uint64_t value, int bits);

}  // namespace velkor::test
