#pragma once
// What a replay reads: samples on the module's grid (2.4 us apart, bit i = channel i), from a
// capture file of our own or of another instrument. A source gives its samples a block at a
// time and holds only what it needs for the next block, so a capture of any length replays in
// bounded memory.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace velkor {

class SampleSource {
 public:
  virtual ~SampleSource() = default;

  // Fills `samples` with up to `count` samples and returns how many it gave; fewer than
  // `count` only at the end of the source or when it failed (see Failure).
  virtual std::size_t Read(std::uint8_t* samples, std::size_t count) = 0;

  // How many samples the source gives in all, when it knows; the replay's progress counts
  // the samples against it. A source that does not know says how far it has read instead.
  virtual std::optional<std::uint64_t> ExpectedSamples() const = 0;
  virtual int PercentRead() const { return 0; }

  // Empty while all is well; once a Read came back short because the source could not go on
  // (a damaged archive, a malformed line), what went wrong. The samples given before it are
  // sound, but they are not the whole capture.
  const std::string& Failure() const { return failure_; }

 protected:
  void SetFailure(std::string what) {
    if (failure_.empty()) failure_ = std::move(what);
  }

 private:
  std::string failure_;
};

}  // namespace velkor
