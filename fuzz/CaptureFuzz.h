#pragma once
// What the capture reader targets share: a file of any content opened as a capture, its
// samples read whole and again in small pieces, which must agree.

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "capture/CaptureReader.h"

namespace velkor::fuzz {

// At most this many samples are read: a time stamp far ahead must not keep a run busy.
inline constexpr std::size_t kMaxCaptureSamples = 1 << 18;

inline std::vector<std::uint8_t> ReadCaptureSamples(const std::string& path, std::size_t block, std::string& failure) {
  std::string error;
  std::vector<std::uint8_t> samples;
  auto reader = OpenCapture(path, error);
  if (!reader) {
    if (error.rfind(path + ": ", 0) != 0) Fail("a refusal that does not name the file: " + error);
    failure = error;
    return samples;
  }
  std::vector<std::uint8_t> buffer(block);
  while (samples.size() < kMaxCaptureSamples) {
    const std::size_t n = reader->Read(buffer.data(), block);
    for (std::size_t i = 0; i < n; ++i)
      if (buffer[i] > 0x0F) Fail("a sample with bits above the four channels");
    samples.insert(samples.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    if (n < block) break;
  }
  if (samples.size() > kMaxCaptureSamples) samples.resize(kMaxCaptureSamples);
  failure = reader->Failure();
  if (!failure.empty() && failure.rfind(path + ": ", 0) != 0) Fail("a failure that does not name the file: " + failure);
  return samples;
}

// Whole, then seven samples at a time: the same samples and the same failure.
inline void CheckCapture(const std::string& path) {
  std::string failureWhole, failurePieces;
  const auto whole = ReadCaptureSamples(path, 1 << 16, failureWhole);
  const auto pieces = ReadCaptureSamples(path, 7, failurePieces);
  const std::size_t common = std::min(whole.size(), pieces.size());
  if (!std::equal(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(common), pieces.begin()))
    Fail("the samples depend on how they are read");
  if (whole.size() < kMaxCaptureSamples && pieces.size() < kMaxCaptureSamples &&
      (whole.size() != pieces.size() || failureWhole != failurePieces))
    Fail("the end of the samples depends on how they are read");
}

}  // namespace velkor::fuzz
