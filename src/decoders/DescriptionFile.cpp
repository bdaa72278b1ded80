#include "decoders/DescriptionFile.h"

#include <chrono>
#include <cstring>

#include "app/FilePath.h"

namespace velkor {

// The coarsest modification-time step of the file systems in use (FAT).
constexpr std::chrono::seconds kTimestampTick{2};

bool DescriptionFileExists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && std::filesystem::is_regular_file(FilePath(path), ec);
}

DescriptionLocation FindDescriptionFile(const std::string& path, const std::string& configFolder) {
  namespace fs = std::filesystem;
  DescriptionLocation location{path, DescriptionFileExists(path), {}};
  const fs::path named = FilePath(path);
  if (location.found || path.empty() || named.is_absolute()) return location;
  std::error_code ec;
  fs::path current = fs::current_path(ec);
  if (ec) current = ".";
  location.foldersTried.push_back(PathText(current));
  if (configFolder.empty()) return location;
  const fs::path folder = fs::absolute(FilePath(configFolder), ec).lexically_normal();
  const bool sameFolder = fs::equivalent(folder, current, ec) && !ec;
  if (sameFolder) return location;
  const fs::path candidate = folder / named;
  if (fs::is_regular_file(candidate, ec)) {
    location.path = PathText(candidate.lexically_normal());
    location.found = true;
    location.foldersTried.clear();
    return location;
  }
  location.foldersTried.push_back(PathText(folder));
  return location;
}

void AnchorDescriptionsFoundBeside(Settings& settings, const std::string& configFolder,
                                   const std::string& targetFolder) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (configFolder.empty() || (fs::equivalent(FilePath(configFolder), FilePath(targetFolder), ec) && !ec)) return;
  // A path found where it stands (or absolute, or empty) comes back as it is.
  auto anchor = [&configFolder](std::string& path) {
    const DescriptionLocation location = FindDescriptionFile(path, configFolder);
    if (location.found) path = location.path;
  };
  for (ChannelSettings& channel : settings.channels) {
    for (ManchesterEntry& entry : channel.manchesterFiles) anchor(entry.path);
    anchor(channel.serialFile);
    anchor(channel.canFile);
    anchor(channel.linFile);
  }
}

std::string FoldersTriedLine(const DescriptionLocation& location) {
  if (location.foldersTried.empty()) return {};
  std::string line = "\nFolders tried : ";
  for (std::size_t i = 0; i < location.foldersTried.size(); ++i) {
    if (i > 0) line += ", ";
    line += location.foldersTried[i];
  }
  return line;
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
  const std::filesystem::path file = FilePath(path_);
  auto status = std::filesystem::status(file, ec);
  if (ec || !std::filesystem::is_regular_file(status)) {
    if (present_) {
      document_ = IniDocument{};
      ForgetFound();
    }
    present_ = false;
    return;
  }
  auto mtime = std::filesystem::last_write_time(file, ec);
  if (ec) return;
  auto size = std::filesystem::file_size(file, ec);
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
  if (!checkedByOwner_) RefreshIfChanged();
  const std::string* value = Find(section, key);
  return value != nullptr ? *value : std::string(defaultValue);
}

const std::string* DescriptionFile::Find(std::string_view section, std::string_view key) {
  // Keys taken from decoded frames are few (an identifier's digits), but nothing else bounds
  // what is asked.
  constexpr std::size_t kFirstSlots = 64;
  constexpr std::size_t kMostSlots = 16384;
  // A short section is searched as it is: its few entries stay in the cache, where the
  // table's slots would not.
  constexpr std::size_t kShortSection = 16;
  const IniDocument::Section* inSection = document_.FindSection(section);
  if (inSection == nullptr) return nullptr;
  if (inSection->entries.size() <= kShortSection) {
    for (const auto& [name, value] : inSection->entries)
      if (EqualsNoCase(name, key)) return &value;
    return nullptr;
  }

  // The section and the key in lower case, with a line feed between (which neither holds).
  char text[kFoundKeySize] = {};
  const std::size_t length = section.size() + 1 + key.size();
  // (A key is padded with zeros, and a free slot's key is all zeros.)
  if (length > sizeof text || section.find('\0') != section.npos || key.find('\0') != key.npos)
    return document_.Find(section, key);
  std::size_t at = 0;
  auto fold = [&](std::string_view part) {
    for (const char c : part) text[at++] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  fold(section);
  text[at++] = '\n';
  fold(key);
  FoundKey folded;
  std::memcpy(folded.data(), text, sizeof text);

  auto slotOf = [this](const FoundKey& k) -> Found& {
    std::uint64_t hash = 0;
    for (const std::uint64_t word : k) hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
    hash ^= hash >> 29;
    const std::size_t mask = found_.size() - 1;
    for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
      const FoundKey& there = found_[slot].key;
      if (there[0] == 0 || ((there[0] ^ k[0]) | (there[1] ^ k[1]) | (there[2] ^ k[2]) | (there[3] ^ k[3])) == 0)
        return found_[slot];
    }
  };
  if (found_.empty()) found_.resize(kFirstSlots);
  if (const Found& slot = slotOf(folded); slot.key[0] != 0) return slot.value;

  const std::string* value = document_.Find(section, key);
  if (2 * (foundCount_ + 1) > found_.size()) {
    // Twice the slots, the answers moved over; or, at the most, a fresh start.
    std::vector<Found> old(found_.size() < kMostSlots ? 2 * found_.size() : kFirstSlots);
    old.swap(found_);
    foundCount_ = 0;
    if (found_.size() > old.size()) {
      for (const Found& f : old) {
        if (f.key[0] == 0) continue;
        slotOf(f.key) = f;
        ++foundCount_;
      }
    }
  }
  Found& slot = slotOf(folded);
  slot.key = folded;
  slot.value = value;
  ++foundCount_;
  return value;
}

std::int32_t DescriptionFile::ReadInteger(std::string_view section, std::string_view key,
                                          std::int32_t defaultValue) {
  if (!checkedByOwner_) RefreshIfChanged();
  return document_.ReadInteger(section, key, defaultValue);
}

bool DescriptionFile::ReadYesNo(std::string_view section, std::string_view key, std::string_view defaultValue,
                                bool& out) {
  const std::string value = UpperCaseAscii(ReadString(section, key, defaultValue));
  if (value != "YES" && value != "NO") return false;
  out = value == "YES";
  return true;
}

std::vector<std::string> DescriptionFile::Keys(std::string_view section) {
  if (!checkedByOwner_) RefreshIfChanged();
  return document_.Keys(section);
}

}  // namespace velkor
