#include "pipeline/BinFileSource.h"

#include "app/FilePath.h"

namespace velkor {

std::unique_ptr<BinFileSource> BinFileSource::Open(const std::string& path) {
  std::FILE* file = std::fopen(FilePath(path).c_str(), "rb");
  if (file == nullptr) return nullptr;
  return std::unique_ptr<BinFileSource>(new BinFileSource(file));
}

BinFileSource::BinFileSource(std::FILE* file) : file_(file) {
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long end = std::ftell(file);
    if (end > 0) size_ = static_cast<std::uint64_t>(end);
    std::fseek(file, 0, SEEK_SET);
  }
}

}  // namespace velkor
