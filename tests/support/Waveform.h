#pragma once
// Builds channel signals in microseconds and bits, and packs them into capture bytes (one
// sample per byte) or into the module's live bytes (four samples per byte). Samples are
// taken at n x 2.4 microseconds; a level change exactly on a sample instant is seen there.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace velkor::test {

inline constexpr double kSampleMicros = 2.4;

class SignalBuilder {
 public:
  explicit SignalBuilder(int idleLevel = 1) : idle_(idleLevel) {}

  int IdleLevel() const { return idle_; }
  double Now() const { return now_; }

  SignalBuilder& Hold(int level, double micros);
  SignalBuilder& HoldSamples(int level, std::int64_t samples) { return Hold(level, samples * kSampleMicros); }
  SignalBuilder& Idle(double micros) { return Hold(idle_, micros); }
  // Moves on to an absolute time, holding the idle level.
  SignalBuilder& IdleUntil(double micros);
  // '0' and '1' characters, one bit each; other characters are skipped.
  SignalBuilder& Bits(std::string_view bits, double bitMicros);

  // Level at a time; the idle level before the first and after the last segment.
  int LevelAt(double micros) const;
  // Number of samples needed to cover the whole signal.
  std::size_t SampleCount() const;
  std::vector<std::uint8_t> Levels(std::size_t samples) const;

 private:
  struct Segment {
    double end;
    int level;
  };
  int idle_;
  double now_ = 0;
  std::vector<Segment> segments_;
};

// Samples of a time in microseconds, rounded to the nearest sample.
std::int64_t MicrosToSample(double micros);

struct Capture {
  std::array<SignalBuilder, 4> channel{SignalBuilder(1), SignalBuilder(1), SignalBuilder(1), SignalBuilder(1)};

  std::size_t SampleCount() const;
  // Capture file bytes: one sample per byte; `extraSamples` of idle line are added at the end.
  std::vector<std::uint8_t> FileBytes(std::size_t extraSamples = 0) const;
  // The samples as the module sees them: channel 2 every second sample, channels 3 and 4
  // every fourth; `samples` is rounded up to whole bytes.
  std::vector<std::uint8_t> LiveBytes(std::size_t extraSamples = 0) const;
};

// The samples a capture file of these live bytes would hold (what the pipeline sees).
std::vector<std::uint8_t> LiveBytesToFileBytes(const std::vector<std::uint8_t>& live);

}  // namespace velkor::test
