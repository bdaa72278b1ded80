#include "Waveform.h"

#include <algorithm>
#include <cmath>

#include "pipeline/DecMain.h"

namespace velkor::test {

SignalBuilder& SignalBuilder::Hold(int level, double micros) {
  if (micros <= 0) return *this;
  now_ += micros;
  if (!segments_.empty() && segments_.back().level == level)
    segments_.back().end = now_;
  else
    segments_.push_back({now_, level});
  return *this;
}

SignalBuilder& SignalBuilder::IdleUntil(double micros) {
  if (micros > now_) Idle(micros - now_);
  return *this;
}

SignalBuilder& SignalBuilder::Bits(std::string_view bits, double bitMicros) {
  for (char c : bits)
    if (c == '0' || c == '1') Hold(c - '0', bitMicros);
  return *this;
}

int SignalBuilder::LevelAt(double micros) const {
  // A tolerance keeps a boundary computed as a sum of periods on the sample it lands on.
  constexpr double kEps = 1e-7;
  auto it = std::upper_bound(segments_.begin(), segments_.end(), micros + kEps,
                             [](double t, const Segment& s) { return t < s.end; });
  return it == segments_.end() ? idle_ : it->level;
}

std::size_t SignalBuilder::SampleCount() const {
  return static_cast<std::size_t>(std::ceil(now_ / kSampleMicros - 1e-9));
}

std::vector<std::uint8_t> SignalBuilder::Levels(std::size_t samples) const {
  // LevelAt for every sample, walking the segments once instead of searching each time.
  constexpr double kEps = 1e-7;
  std::vector<std::uint8_t> out(samples);
  auto it = segments_.begin();
  for (std::size_t n = 0; n < samples; ++n) {
    const double t = n * kSampleMicros + kEps;
    while (it != segments_.end() && !(t < it->end)) ++it;
    out[n] = static_cast<std::uint8_t>(it == segments_.end() ? idle_ : it->level);
  }
  return out;
}

std::int64_t MicrosToSample(double micros) { return std::llround(micros / kSampleMicros); }

std::size_t Capture::SampleCount() const {
  std::size_t n = 0;
  for (const auto& c : channel) n = std::max(n, c.SampleCount());
  return n;
}

std::vector<std::uint8_t> Capture::FileBytes(std::size_t extraSamples) const {
  std::size_t samples = SampleCount() + extraSamples;
  std::vector<std::uint8_t> out(samples, 0);
  for (int ch = 0; ch < 4; ++ch) {
    auto levels = channel[ch].Levels(samples);
    for (std::size_t n = 0; n < samples; ++n) out[n] |= static_cast<std::uint8_t>(levels[n] << ch);
  }
  return out;
}

std::vector<std::uint8_t> Capture::LiveBytes(std::size_t extraSamples) const {
  std::size_t samples = SampleCount() + extraSamples;
  samples = (samples + 3) / 4 * 4;
  std::array<std::vector<std::uint8_t>, 4> levels;
  for (int ch = 0; ch < 4; ++ch) levels[ch] = channel[ch].Levels(samples);
  std::vector<std::uint8_t> out(samples / 4);
  for (std::size_t k = 0; k < out.size(); ++k) {
    std::size_t s = 4 * k;
    auto bit = [&](int ch, std::size_t n, int pos) { return static_cast<std::uint8_t>(levels[ch][n] << pos); };
    out[k] = bit(0, s, 0) | bit(1, s, 1) | bit(0, s + 1, 2) | bit(2, s, 3) | bit(0, s + 2, 4) |
             bit(1, s + 2, 5) | bit(0, s + 3, 6) | bit(3, s, 7);
  }
  return out;
}

std::vector<std::uint8_t> LiveBytesToFileBytes(const std::vector<std::uint8_t>& live) {
  std::vector<std::uint8_t> out;
  out.reserve(live.size() * 4);
  for (std::uint8_t b : live)
    for (Sample s : UnpackLiveByte(b)) out.push_back(s);
  return out;
}

}  // namespace velkor::test
