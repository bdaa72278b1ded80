#include "pipeline/SampleScan.h"

namespace velkor::scan {

std::size_t FindSampleChangeWide(const std::uint8_t* samples, std::size_t from, std::size_t to,
                                 std::uint8_t levels, std::uint8_t channels) {
  const std::uint64_t mask = 0x0101010101010101ull * channels;
  const std::uint64_t pattern = 0x0101010101010101ull * (levels & channels);
  std::size_t at = from;
  while (at + 32 <= to) {
    const std::uint64_t a = DifferenceAt(samples, at, pattern, mask);
    const std::uint64_t b = DifferenceAt(samples, at + 8, pattern, mask);
    const std::uint64_t c = DifferenceAt(samples, at + 16, pattern, mask);
    const std::uint64_t d = DifferenceAt(samples, at + 24, pattern, mask);
    if ((a | b | c | d) != 0) {
      if (a != 0) return at + FirstByte(a);
      if (b != 0) return at + 8 + FirstByte(b);
      if (c != 0) return at + 16 + FirstByte(c);
      return at + 24 + FirstByte(d);
    }
    at += 32;
  }
  for (; at + 8 <= to; at += 8)
    if (const std::uint64_t d = DifferenceAt(samples, at, pattern, mask)) return at + FirstByte(d);
  for (; at < to; ++at)
    if (((samples[at] ^ levels) & channels) != 0) return at;
  return to;
}

}  // namespace velkor::scan
