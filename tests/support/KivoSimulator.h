#pragma once
// kivo-sim as a child process: its pseudo-terminal's path, and an end to it when the
// object goes, whatever the test did.

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velkor::test {

class KivoSimulator {
 public:
  explicit KivoSimulator(const std::vector<std::string>& args);
  ~KivoSimulator();
  KivoSimulator(const KivoSimulator&) = delete;
  KivoSimulator& operator=(const KivoSimulator&) = delete;

  // The pseudo-terminal the simulated module sits on; empty when it did not start.
  const std::string& Path() const { return path_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

// The samples a live run decodes when kivo-sim streams a capture of these samples: four
// samples a byte, channel 2 taken from every second sample, channels 3 and 4 from every
// fourth, a last incomplete group dropped.
std::vector<std::uint8_t> SamplesAsStreamed(const std::vector<std::uint8_t>& samples);

// Puts a device at COM3 for the lifetime of the object.
struct PortOverride {
  explicit PortOverride(const std::string& device);
  ~PortOverride();
};

}  // namespace velkor::test
