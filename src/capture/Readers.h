#pragma once
// The readers of each format, for OpenCapture. Each returns nothing with `error` set (the
// path not included) when the file cannot be used.

#include <memory>
#include <string>

#include "capture/CaptureReader.h"

namespace velkor::capture {

std::unique_ptr<CaptureReader> OpenBin(const std::string& path, std::string& error);
std::unique_ptr<CaptureReader> OpenSigrok(const std::string& path, std::string& error);
std::unique_ptr<CaptureReader> OpenVcd(const std::string& path, std::string& error);
std::unique_ptr<CaptureReader> OpenCsv(const std::string& path, std::string& error);

// The 4-bit sample of the decoding channels from the levels of a file's channels: bit i is
// set when channel i's file channel (map[i]) is among `levels` (bit k = file channel k).
inline std::uint8_t MapLevels(std::uint64_t levels, const ChannelMap& map) {
  std::uint8_t sample = 0;
  for (int i = 0; i < kChannelCount; ++i)
    if (map[i] >= 0 && map[i] < 64 && ((levels >> map[i]) & 1) != 0) sample |= static_cast<std::uint8_t>(1u << i);
  return sample;
}

}  // namespace velkor::capture
