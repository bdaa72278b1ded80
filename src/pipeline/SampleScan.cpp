#include "pipeline/SampleScan.h"

#include <bit>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VELKOR_SCAN_AVX2 1
#endif

namespace velkor::scan {

namespace {

// The scan past the last whole step of a wider one: eight samples per step, then one.
std::size_t FindTail(const std::uint8_t* samples, std::size_t at, std::size_t to, std::uint8_t levels,
                     std::uint8_t channels) {
  const std::uint64_t mask = 0x0101010101010101ull * channels;
  const std::uint64_t pattern = 0x0101010101010101ull * (levels & channels);
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

#if defined(__SSE2__)
// Sixteen samples per compare: a byte differs when its masked bits are not the pattern's.
std::size_t FindSse2(const std::uint8_t* samples, std::size_t at, std::size_t to, std::uint8_t levels,
                     std::uint8_t channels) {
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
  return FindTail(samples, at, to, levels, channels);
}
#endif

#if defined(VELKOR_SCAN_AVX2)
// Thirty-two samples per compare, on processors that have AVX2. (A lambda would not take the
// function's target: the compare is a function of its own.)
__attribute__((target("avx2"))) inline std::uint32_t DifferingAvx2(const std::uint8_t* samples,
                                                                   const __m256i& vmask,
                                                                   const __m256i& vpattern) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples));
  const __m256i same = _mm256_cmpeq_epi8(_mm256_and_si256(v, vmask), vpattern);
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(same)) ^ 0xFFFFFFFFu;
}

__attribute__((target("avx2"))) std::size_t FindAvx2(const std::uint8_t* samples, std::size_t from,
                                                     std::size_t to, std::uint8_t levels,
                                                     std::uint8_t channels) {
  std::size_t at = from;
  const __m256i vmask = _mm256_set1_epi8(static_cast<char>(channels));
  const __m256i vpattern = _mm256_set1_epi8(static_cast<char>(levels & channels));
  while (at + 128 <= to) {
    const std::uint64_t d0 = DifferingAvx2(samples + at, vmask, vpattern) |
                             static_cast<std::uint64_t>(DifferingAvx2(samples + at + 32, vmask, vpattern)) << 32;
    const std::uint64_t d1 = DifferingAvx2(samples + at + 64, vmask, vpattern) |
                             static_cast<std::uint64_t>(DifferingAvx2(samples + at + 96, vmask, vpattern)) << 32;
    if ((d0 | d1) != 0)
      return d0 != 0 ? at + static_cast<std::size_t>(std::countr_zero(d0))
                     : at + 64 + static_cast<std::size_t>(std::countr_zero(d1));
    at += 128;
  }
  while (at + 32 <= to) {
    if (const std::uint32_t d = DifferingAvx2(samples + at, vmask, vpattern))
      return at + static_cast<std::size_t>(std::countr_zero(d));
    at += 32;
  }
  if (at < to && to - from >= 32) {
    // The last 32 samples of the range, less those already looked at.
    const std::size_t last = to - 32;
    const std::uint32_t d = DifferingAvx2(samples + last, vmask, vpattern) & (0xFFFFFFFFu << (at - last));
    _mm256_zeroupper();
    return d != 0 ? last + static_cast<std::size_t>(std::countr_zero(d)) : to;
  }
  // The upper halves cleared before the SSE code that follows: GCC 12 leaves them dirty on
  // this tail call, and every SSE instruction after it would then run several times slower.
  _mm256_zeroupper();
  return FindTail(samples, at, to, levels, channels);
}
#endif

Scanner BestScanner() {
#if defined(VELKOR_SCAN_AVX2)
  if (__builtin_cpu_supports("avx2")) return &FindAvx2;
#endif
#if defined(__SSE2__)
  return &FindSse2;
#else
  return &FindTail;
#endif
}

const Scanner kBest = BestScanner();

}  // namespace

std::size_t FindSampleChangeWide(const std::uint8_t* samples, std::size_t from, std::size_t to,
                                 std::uint8_t levels, std::uint8_t channels) {
  return kBest(samples, from, to, levels, channels);
}

std::vector<std::pair<std::string_view, Scanner>> Scanners() {
  std::vector<std::pair<std::string_view, Scanner>> all{{"portable", &FindTail}};
#if defined(__SSE2__)
  all.emplace_back("SSE2", &FindSse2);
#endif
#if defined(VELKOR_SCAN_AVX2)
  if (__builtin_cpu_supports("avx2")) all.emplace_back("AVX2", &FindAvx2);
#endif
  return all;
}

}  // namespace velkor::scan
