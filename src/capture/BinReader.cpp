// *.bin through a channel map: the file's four channels in any order.

#include <array>
#include <cstdio>

#include "app/FilePath.h"
#include "capture/Readers.h"

namespace velkor::capture {

namespace {

class BinReader final : public CaptureReader {
 public:
  BinReader(const std::string& path, std::FILE* file) : CaptureReader(CaptureFormat::Bin, path), file_(file) {
    names_.assign(kChannelCount, std::string());
    map_ = DefaultChannelMap(kChannelCount);
    if (std::fseek(file, 0, SEEK_END) == 0) {
      const long end = std::ftell(file);
      if (end > 0) size_ = static_cast<std::uint64_t>(end);
      std::fseek(file, 0, SEEK_SET);
    }
  }
  ~BinReader() override { std::fclose(file_); }
  BinReader(const BinReader&) = delete;
  BinReader& operator=(const BinReader&) = delete;

  std::size_t Read(std::uint8_t* samples, std::size_t count) override {
    if (!tableMade_) {
      for (int b = 0; b < 256; ++b) table_[b] = MapLevels(static_cast<std::uint64_t>(b & 0x0F), map_);
      tableMade_ = true;
    }
    // A read error ends the capture as its end does, as for the replay of the file itself.
    const std::size_t n = std::fread(samples, 1, count, file_);
    for (std::size_t i = 0; i < n; ++i) samples[i] = table_[samples[i]];
    return n;
  }
  std::optional<std::uint64_t> ExpectedSamples() const override { return size_; }

 private:
  std::FILE* file_;
  std::uint64_t size_ = 0;
  std::array<std::uint8_t, 256> table_{};
  bool tableMade_ = false;
};

}  // namespace

std::unique_ptr<CaptureReader> OpenBin(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(FilePath(path).c_str(), "rb");
  if (file == nullptr) {
    error = "cannot be opened";
    return nullptr;
  }
  return std::make_unique<BinReader>(path, file);
}

}  // namespace velkor::capture
