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
  ForgetFound();
  checked_ = false;
  RefreshIfChanged();
}

void DescriptionFile::Close() {
  open_ = false;
  present_ = false;
  document_ = IniDocument{};
  ForgetFound();
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
    if (present_) {
      document_ = IniDocument{};
      ForgetFound();
    }
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
  ForgetFound();
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
  const std::string* value = Find(section, key);
  return value != nullptr ? *value : std::string(defaultValue);
}

const std::string* DescriptionFile::Find(std::string_view section, std::string_view key) {
  // Keys taken from decoded frames are few (an identifier's digits), but nothing else bounds
  // what is asked.
  constexpr std::size_t kMostFound = 8192;
  char buffer[64];
  const std::size_t length = section.size() + 1 + key.size();
  if (length > sizeof buffer) return document_.Find(section, key);
  std::size_t at = 0;
  auto fold = [&](std::string_view text) {
    for (const char c : text) buffer[at++] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  fold(section);
  buffer[at++] = '\n';
  fold(key);
  const std::string_view folded(buffer, length);
  if (auto it = found_.find(folded); it != found_.end()) return it->second;
  if (found_.size() >= kMostFound) found_.clear();
  const std::string* value = document_.Find(section, key);
  found_.emplace(folded, value);
  return value;
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
