#pragma once
// Finding the next change of level in a block of samples, many samples per step (see
// SampleScan.cpp): the run-skipping dispatch spends most of an idle capture here, so it must
// go at memory speed.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velkor {

namespace scan {

// The byte of the first difference in a word of eight samples read in memory order.
inline std::size_t FirstByte(std::uint64_t difference) {
  if constexpr (std::endian::native == std::endian::little)
    return static_cast<std::size_t>(std::countr_zero(difference) / 8);
  else
    return static_cast<std::size_t>(std::countl_zero(difference) / 8);
}

// The low bits of the eight bytes of a word read in memory order (on a little-endian
// machine), first byte lowest, gathered into one byte by a product whose partial sums never
// meet.
inline std::uint64_t GatherLowBits(std::uint64_t word) {
  return ((word & 0x0101010101010101ull) * 0x0102040810204080ull) >> 56;
}

// The bytes of eight samples from `at` that differ from `pattern` in the bits of `mask`.
inline std::uint64_t DifferenceAt(const std::uint8_t* samples, std::size_t at, std::uint64_t pattern,
                                  std::uint64_t mask) {
  std::uint64_t word;
  std::memcpy(&word, samples + at, sizeof word);
  return (word ^ pattern) & mask;
}

// FindSampleChange past its first word, by the widest scan the processor has.
std::size_t FindSampleChangeWide(const std::uint8_t* samples, std::size_t from, std::size_t to,
                                 std::uint8_t levels, std::uint8_t channels);

// Every scan this processor can run, by name (for the tests that hold them to one another).
using Scanner = std::size_t (*)(const std::uint8_t*, std::size_t, std::size_t, std::uint8_t, std::uint8_t);
std::vector<std::pair<std::string_view, Scanner>> Scanners();

}  // namespace scan

// The first position in [from, to) whose sample differs from `levels` in the bits of
// `channels` (by default the four channels, the low four bits), or `to` when there is none.
inline std::size_t FindSampleChange(const std::uint8_t* samples, std::size_t from, std::size_t to,
                                    std::uint8_t levels, std::uint8_t channels = 0x0F) {
  // Short runs are the common case on a busy line: the first word is looked at here.
  if (from + 8 <= to) {
    const std::uint64_t d = scan::DifferenceAt(samples, from, 0x0101010101010101ull * (levels & channels),
                                               0x0101010101010101ull * channels);
    if (d != 0) return from + scan::FirstByte(d);
    from += 8;
  }
  return scan::FindSampleChangeWide(samples, from, to, levels, channels);
}

// The changes of one channel's level through a block. A busy line changes every few samples,
// so its levels are gathered 64 samples at a time into one word, and each change is then found
// with a shift and a bit count.
class LevelChanges {
 public:
  LevelChanges(const std::uint8_t* samples, std::size_t count, int channel)
      : samples_(samples), count_(count), channel_(channel) {}

  // The first position in [from, to) where the channel's level is not `level` (0 or 1), or
  // `to` when there is none (to is at most the block's length).
  // The levels of the `n` samples from `from` (n at most 64, from + n at most the block's
  // length): bit k is the level at from + k.
  std::uint64_t Levels(std::size_t from, unsigned n) {
    if (from != windowAt_ || windowLength_ < n) Load(from);
    return n < 64 ? window_ & ((std::uint64_t{1} << n) - 1) : window_;
  }

  std::size_t Next(std::size_t from, std::size_t to, unsigned level) {
    bool loaded = false;
    while (from < to) {
      if (from < windowAt_ || from >= windowAt_ + windowLength_) {
        // A second window without a change: a quiet stretch, for the wide scan.
        if (loaded) {
          const auto bit = static_cast<std::uint8_t>(1u << channel_);
          return FindSampleChange(samples_, from, to, level != 0 ? bit : 0, bit);
        }
        Load(from);
        loaded = true;
      }
      const auto offset = static_cast<unsigned>(from - windowAt_);
      std::uint64_t differing = (level != 0 ? ~window_ : window_) >> offset;
      const unsigned valid = windowLength_ - offset;
      if (valid < 64) differing &= (std::uint64_t{1} << valid) - 1;
      if (differing != 0) {
        const std::size_t at = from + static_cast<std::size_t>(std::countr_zero(differing));
        return at < to ? at : to;
      }
      from = windowAt_ + windowLength_;
    }
    return to;
  }

 private:
  void Load(std::size_t at) {
    windowAt_ = at;
    windowLength_ = static_cast<unsigned>(count_ - at < 64 ? count_ - at : 64);
    window_ = 0;
#if defined(__SSE2__)
    if (windowLength_ == 64) {
      // Bit `channel_` of each byte shifted to its top bit (a 16-bit shift of at most 7 moves
      // no other bit there), then one bit per byte.
      const __m128i shift = _mm_cvtsi32_si128(7 - channel_);
      auto gather = [&](int k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples_ + at + 16 * k));
        return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_sll_epi16(v, shift))));
      };
      window_ = gather(0) | gather(1) << 16 | gather(2) << 32 | gather(3) << 48;
      return;
    }
#endif
    if (windowLength_ == 64 && std::endian::native == std::endian::little) {
      // Bit `channel_` of eight samples at a time.
      std::uint64_t words[8];
      std::memcpy(words, samples_ + at, sizeof words);
      auto gather = [this](std::uint64_t word) { return scan::GatherLowBits(word >> channel_); };
      window_ = gather(words[0]) | gather(words[1]) << 8 | gather(words[2]) << 16 | gather(words[3]) << 24 |
                gather(words[4]) << 32 | gather(words[5]) << 40 | gather(words[6]) << 48 |
                gather(words[7]) << 56;
      return;
    }
    for (unsigned k = 0; k < windowLength_; ++k)
      window_ |= static_cast<std::uint64_t>((samples_[at + k] >> channel_) & 1) << k;
  }

  const std::uint8_t* samples_;
  std::size_t count_;
  int channel_;
  std::size_t windowAt_ = 0;
  unsigned windowLength_ = 0;
  std::uint64_t window_ = 0;  // bit k: the level at windowAt_ + k
};

}  // namespace velkor
