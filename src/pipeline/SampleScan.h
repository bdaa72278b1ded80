#pragma once
// Finding the next change of level in a block of samples, eight samples per step: the
// run-skipping dispatch spends most of an idle capture here, so it must go at memory speed.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace velkor {

// The first position in [from, to) whose sample differs from `levels` in the bits of
// `channels` (by default the four channels, the low four bits), or `to` when there is none.
inline std::size_t FindSampleChange(const std::uint8_t* samples, std::size_t from, std::size_t to,
                                    std::uint8_t levels, std::uint8_t channels = 0x0F) {
  const std::uint64_t kLowBits = 0x0101010101010101ull * channels;
  const std::uint64_t pattern = 0x0101010101010101ull * (levels & channels);
  // The byte of the first difference in a word of eight samples read in memory order.
  auto firstByte = [](std::uint64_t difference) {
    if constexpr (std::endian::native == std::endian::little)
      return static_cast<std::size_t>(std::countr_zero(difference) / 8);
    else
      return static_cast<std::size_t>(std::countl_zero(difference) / 8);
  };
  auto differenceAt = [&](std::size_t at) {
    std::uint64_t word;
    std::memcpy(&word, samples + at, sizeof word);
    return (word ^ pattern) & kLowBits;
  };
  std::size_t at = from;
  // Short runs are the common case on a busy line: look at the first word before going wide.
  if (at + 8 <= to) {
    if (const std::uint64_t d = differenceAt(at)) return at + firstByte(d);
    at += 8;
  }
  while (at + 32 <= to) {
    const std::uint64_t a = differenceAt(at), b = differenceAt(at + 8), c = differenceAt(at + 16),
                        d = differenceAt(at + 24);
    if ((a | b | c | d) != 0) {
      if (a) return at + firstByte(a);
      if (b) return at + 8 + firstByte(b);
      if (c) return at + 16 + firstByte(c);
      return at + 24 + firstByte(d);
    }
    at += 32;
  }
  for (; at + 8 <= to; at += 8)
    if (const std::uint64_t d = differenceAt(at)) return at + firstByte(d);
  for (; at < to; ++at)
    if (((samples[at] ^ levels) & channels) != 0) return at;
  return to;
}

}  // namespace velkor
