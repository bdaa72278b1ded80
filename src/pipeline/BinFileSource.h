#pragma once
// A capture file of our own: one sample per byte, as the module sent it (the upper bits are
// left to the reader). A read error ends it as the end of the file does.

#include <cstdio>
#include <memory>
#include <string>

#include "pipeline/SampleSource.h"

namespace velkor {

class BinFileSource final : public SampleSource {
 public:
  // Null when the file (a Windows-1252 path) cannot be opened.
  static std::unique_ptr<BinFileSource> Open(const std::string& path);

  std::size_t Read(std::uint8_t* samples, std::size_t count) override {
    return std::fread(samples, 1, count, file_.get());
  }
  std::optional<std::uint64_t> ExpectedSamples() const override { return size_; }

 private:
  explicit BinFileSource(std::FILE* file);

  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  std::uint64_t size_ = 0;
};

}  // namespace velkor
