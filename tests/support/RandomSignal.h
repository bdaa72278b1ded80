#pragma once
// Random inputs that look like what the decoders meet: lines whose runs of constant level sit
// near whole multiples of a bit period (with jitter), long idles and glitches of a sample or
// two; and valid frame descriptions of every type with random settings. For soaks and for
// differential tests: everything follows from one seed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "TestRig.h"
#include "app/Settings.h"

namespace velkor::test {

using SignalRng = std::mt19937_64;

// One line, sample by sample.
class BitLikeLine {
 public:
  BitLikeLine() = default;
  BitLikeLine(std::uint64_t seed, double bitSamples, int idleLevel);

  // The level (0 or 1) of the next sample.
  int Next() {
    if (remaining_ == 0) StartRun();
    --remaining_;
    return level_;
  }

 private:
  void StartRun();

  SignalRng rng_;
  double bitSamples_ = 10;
  int idleLevel_ = 1;
  int level_ = 1;
  std::int64_t remaining_ = 0;
};

// Four lines into capture samples: one byte per sample, bit i from line i.
void FillSamples(std::array<BitLikeLine, 4>& lines, std::uint8_t* out, std::size_t count);

// A channel set up with a random valid description of its type (written into `dir`), and
// the bit period (the half-bit for Manchester) and idle level of a line it could decode.
struct RandomChannel {
  double bitSamples = 10;
  int idleLevel = 1;
};
RandomChannel RandomValidChannel(SignalRng& rng, const TempDir& dir, int channel, ChannelType type,
                                 ChannelSettings& settings);

}  // namespace velkor::test
