#include "pipeline/SampleScan.h"

#include <bit>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velkor::scan {

std::size_t FindSampleChangeWide(const std::uint8_t* samples, std::size_t from, std::size_t to,
                                 std::uint8_t levels, std::uint8_t channels) {
  const std::uint64_t mask = 0x0101010101010101ull * channels;
  const std::uint64_t pattern = 0x0101010101010101ull * (levels & channels);
  std::size_t at = from;
#if defined(__SSE2__)
  // Sixteen samples per compare: a byte differs when its masked bits are not the pattern's.
  const __m128i vmask = _mm_set1_epi8(static_cast<char>(channels));
  const __m128i vpattern = _mm_set1_epi8(static_cast<char>(levels & channels));
  auto differing = [&](std::size_t k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + k));
    const __m128i same = _mm_cmpeq_epi8(_mm_and_si128(v, vmask), vpattern);
    return static_cast<std::uint32_t>(_mm_movemask_epi8(same)) ^ 0xFFFFu;
  };
  while (at + 64 <= to) {
    const std::uint64_t d = differing(at) | differing(at + 16) << 16 |
                            static_cast<std::uint64_t>(differing(at + 32)) << 32 |
                            static_cast<std::uint64_t>(differing(at + 48)) << 48;
    if (d != 0) return at + static_cast<std::size_t>(std::countr_zero(d));
    at += 64;
  }
#endif
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
