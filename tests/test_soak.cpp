// A soak: random bit-like samples through every decoder type with random valid descriptions,
// in runs of a million samples, each run with new descriptions and a new arrangement of the
// types over the channels, and every fourth run through the per-sample decoders. Under the sanitizers it must end without a report, and every line
// must keep the layout that the views rely on. The test command runs a short soak;
// VELKOR_SOAK_SAMPLES sets the number of samples (100000000 for the long one) and
// VELKOR_SOAK_SEED another sequence.

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "RandomSignal.h"
#include "TestRig.h"

using namespace velkor;
using namespace velkor::test;

namespace {

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

constexpr std::size_t kRunSamples = 1000000;

// The layout every reader relies on: channel digit, ",", decimal date, ",", a frame text
// that is not empty and ends with ",", at most 1000 characters.
bool KeepsLayout(std::string_view line) {
  if (line.size() < 5 || line.size() > kMaxDecodedLineLength || line[0] < '0' || line[0] > '3' || line[1] != ',')
    return false;
  std::size_t i = 2;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
  return i > 2 && i + 1 < line.size() && line[i] == ',' && line.back() == ',';
}

}  // namespace

TEST(Soak, RandomBitLikeSamplesThroughEveryDecoderType) {
  const std::uint64_t total = EnvNumber("VELKOR_SOAK_SAMPLES", 3000000);
  const std::uint64_t seed = EnvNumber("VELKOR_SOAK_SEED", 20240611);
  SCOPED_TRACE("seed " + std::to_string(seed));
  SignalRng rng(seed);

  const ChannelType kTypes[] = {ChannelType::Manchester, ChannelType::Serial, ChannelType::Can, ChannelType::Lin,
                                ChannelType::Logical};
  std::array<std::uint64_t, 5> linesByType{};
  std::vector<std::uint8_t> samples;
  for (std::uint64_t done = 0, run = 0; done < total; ++run) {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kRunSamples, total - done));
    TestRig rig;
    std::array<BitLikeLine, 4> lines;
    std::array<ChannelType, 4> types{};
    for (int i = 0; i < kChannelCount; ++i) {
      // Every type in every run of five, on shifting channels; random otherwise.
      types[i] = run % 2 == 0 ? kTypes[(run / 2 + static_cast<std::uint64_t>(i)) % 5]
                              : kTypes[std::uniform_int_distribution<int>(0, 4)(rng)];
      const RandomChannel line = RandomValidChannel(rng, rig.dir, i, types[i], rig.settings.channels[i]);
      lines[i] = BitLikeLine(rng(), line.bitSamples, line.idleLevel);
    }
    samples.resize(count);
    FillSamples(lines, samples.data(), count);

    // Every fourth run through the per-sample decoders, the others through the run-skipping path.
    if (run % 4 == 1) rig.pipeline.SetDispatchPath(DispatchPath::PerSample);
    const std::vector<std::string> decoded = rig.Replay(samples);
    ASSERT_FALSE(rig.pipeline.RunSetupFailed()) << "run " << run << ": a valid description was refused";
    ASSERT_EQ(rig.pipeline.sampleIndex, count);
    for (const std::string& line : decoded) {
      ASSERT_TRUE(KeepsLayout(line)) << "run " << run << ": " << line;
      ++linesByType[static_cast<std::size_t>(types[static_cast<std::size_t>(line[0] - '0')])];
    }
    done += count;
  }
  // A soak that decodes nothing proves little: every type must have produced lines.
  if (total >= 10 * kRunSamples) {
    for (std::size_t t = 0; t < linesByType.size(); ++t) EXPECT_GT(linesByType[t], 0u) << "type " << t;
  }
  for (std::size_t t = 0; t < linesByType.size(); ++t)
    RecordProperty("LinesOfType" + std::to_string(t), static_cast<int>(std::min<std::uint64_t>(linesByType[t], 1u << 30)));
}
