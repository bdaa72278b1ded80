// *.bin through a channel map: the file's four channels in any order.

#include <array>

#include "capture/Readers.h"
#include "pipeline/BinFileSource.h"

namespace velkor::capture {

namespace {

class BinReader final : public CaptureReader {
 public:
  BinReader(const std::string& path, std::unique_ptr<BinFileSource> file)
      : CaptureReader(CaptureFormat::Bin, path), file_(std::move(file)) {
    names_.assign(kChannelCount, std::string());
    map_ = DefaultChannelMap(kChannelCount);
  }

  std::size_t Read(std::uint8_t* samples, std::size_t count) override {
    if (!tableMade_) {
      for (int b = 0; b < 256; ++b) table_[b] = MapLevels(static_cast<std::uint64_t>(b & 0x0F), map_);
      tableMade_ = true;
    }
    const std::size_t n = file_->Read(samples, count);
    for (std::size_t i = 0; i < n; ++i) samples[i] = table_[samples[i]];
    return n;
  }
  std::optional<std::uint64_t> ExpectedSamples() const override { return file_->ExpectedSamples(); }

 private:
  std::unique_ptr<BinFileSource> file_;
  std::array<std::uint8_t, 256> table_{};
  bool tableMade_ = false;
};

}  // namespace

std::unique_ptr<CaptureReader> OpenBin(const std::string& path, std::string& error) {
  auto file = BinFileSource::Open(path);
  if (!file) {
    error = "cannot be opened";
    return nullptr;
  }
  return std::make_unique<BinReader>(path, std::move(file));
}

}  // namespace velkor::capture
