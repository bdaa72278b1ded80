#pragma once
// Shared vocabulary of the sample pipeline: samples, their running index and dates,
// channel types and the bit-timing rule that every framed decoder uses.

#include <cstdint>

namespace velkor {

// Low 4 bits: bit i is the logic level of channel i (channels 0..3, shown as Channel 1..4).
using Sample = std::uint8_t;

// Samples dispatched since the start of the run; the first sample is 0.
using SampleIndex = std::uint64_t;

inline constexpr int kChannelCount = 4;

// Item index of the channel window's type list; -1 when the list has no selection.
// Any other value may come from a configuration file and simply reaches no decoder.
enum class ChannelType : std::int32_t {
  None = -1,
  Manchester = 0,
  Serial = 1,
  Can = 2,
  Lin = 3,
  Logical = 4,
};

// Date of sample n in whole microseconds: n x 2.4 truncated, with 2.4 held as the nearest
// double (a little below 2.4), so sample 5 dates 11, not 12. Closed form (12n - 1) div 5,
// written as 2n + (2n - 1) div 5 so that it cannot overflow for any realistic run.
constexpr std::uint64_t SampleTimeMicros(SampleIndex n) {
  return n == 0 ? 0 : 2 * n + (2 * n - 1) / 5;
}

// Sample offset of bit position k (k = 0, 1, 2, ...) for a bit period of p whole
// microseconds: p / 2.4 x (k + 0.5) rounded half up.
constexpr std::int64_t BitSamplePosition(std::int64_t periodMicros, std::int64_t k) {
  return (5 * periodMicros * (2 * k + 1) + 12) / 24;
}

// A quiet time of v microseconds expressed in samples (truncated toward zero).
constexpr std::int64_t QuietSamples(std::int64_t micros) { return (5 * micros) / 12; }

// Samples are 2.4 microseconds apart; the Graphic view's column clock counts 0.1 microsecond.
inline constexpr std::uint32_t kColumnClockPerSample = 24;

// The run-skipping dispatch asks each decoder how many of the next samples at a constant level
// it can take in one step; this is the answer when no sample at that level can make anything
// happen.
inline constexpr std::uint64_t kUnboundedRun = ~std::uint64_t{0};

// A counter that the per-sample step raises by one while it is below `ceiling`, after
// `count` such steps.
constexpr std::int32_t CountHeld(std::int32_t value, std::uint64_t count, std::int32_t ceiling) {
  if (value >= ceiling) return value;
  return static_cast<std::uint64_t>(ceiling - value) <= count ? ceiling
                                                              : value + static_cast<std::int32_t>(count);
}

}  // namespace velkor
