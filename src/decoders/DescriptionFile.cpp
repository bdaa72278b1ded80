#include "decoders/DescriptionFile.h"

#include <chrono>

namespace velkor {

// The coarsest modification-time step of the file systems in use (FAT).
constexpr std::chrono::seconds kTimestampTick{2};

bool DescriptionFileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

void DescriptionFile::Open(std::string path) {
  path_ = std::move(path);
  open_ = true;
  present_ = false;
  size_ = 0;
  mtime_ = {};
  document_ = IniDocument{};
  checked_ = false;
  RefreshIfChanged();
}

void DescriptionFile::Close() {
  open_ = false;
  present_ = false;
  document_ = IniDocument{};
}

void DescriptionFile::RefreshIfChanged() {
  if (!open_) return;
  if (checkInterval_.count() > 0) {
    const auto now = clock_();
    // A clock set back counts as time gone by.
    if (checked_ && now >= checkedAt_ && now - checkedAt_ < checkInterval_) return;
    checked_ = true;
    checkedAt_ = now;
  }
  std::error_code ec;
  auto status = std::filesystem::status(path_, ec);
  if (ec || !std::filesystem::is_regular_file(status)) {
    if (present_) document_ = IniDocument{};
    present_ = false;
    return;
  }
  auto mtime = std::filesystem::last_write_time(path_, ec);
  if (ec) return;
  auto size = std::filesystem::file_size(path_, ec);
  if (ec) return;
  if (present_ && mtime == mtime_ && size == size_) {
    if (settled_ || clock_() - kTimestampTick < mtime_) return;
  }
  const auto readAt = clock_();
  if (document_.LoadFile(path_)) {
    present_ = true;
    mtime_ = mtime;
    size_ = size;
    settled_ = mtime <= readAt - kTimestampTick;
  } else {
    present_ = false;
  }
}

std::string DescriptionFile::ReadString(std::string_view section, std::string_view key,
                                        std::string_view defaultValue) {
  RefreshIfChanged();
  return document_.ReadString(section, key, defaultValue);
}

std::int32_t DescriptionFile::ReadInteger(std::string_view section, std::string_view key,
                                          std::int32_t defaultValue) {
  RefreshIfChanged();
  return document_.ReadInteger(section, key, defaultValue);
}

std::vector<std::string> DescriptionFile::Keys(std::string_view section) {
  RefreshIfChanged();
  return document_.Keys(section);
}

}  // namespace velkor
