#include "app/SafeSave.h"

#include "app/FilePath.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>
#include <system_error>

namespace velkor {

namespace {

namespace fs = std::filesystem;

// More links than this in a row is a loop, as the system itself counts it.
constexpr int kMaxLinksFollowed = 40;
// Attempts at a free temporary name before giving up; with 36^8 names a clash is already rare.
constexpr int kNameAttempts = 32;
// The target's name is cut to this in the temporary's name, so a long name still gives a
// temporary name the file system accepts.
constexpr std::size_t kNameKept = 64;

// The target's name cut to kNameKept bytes, never inside a UTF-8 character.
std::string CutName(const std::string& name) {
  std::size_t end = std::min(name.size(), kNameKept);
  if (end < name.size())
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  return name.substr(0, end);
}

std::string RandomLetters(std::random_device& random) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kLetters) - 2);
  std::string letters(8, ' ');
  for (char& c : letters) c = kLetters[pick(random)];
  return letters;
}

// The links' targets are file-system names: the chain is followed in those, so a link to a
// name Windows-1252 cannot hold still leads to the right file.
bool ResolveFileTarget(const std::string& path, fs::path& target) {
  fs::path p = FilePath(path);
  for (int links = 0;; ++links) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) break;
    if (links == kMaxLinksFollowed) return true;
    const fs::path next = fs::read_symlink(p, ec);
    if (ec) return true;
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  target = std::move(p);
  return false;
}

}  // namespace

bool ResolveSaveTarget(const std::string& path, std::string& target) {
  fs::path resolved;
  if (ResolveFileTarget(path, resolved)) return true;
  target = PathText(resolved);
  return false;
}

SafeSave::SafeSave(const std::string& path) {
  fs::path target;
  if (path.empty() || ResolveFileTarget(path, target)) {
    failed_ = true;
    return;
  }
  target_ = PathText(target);
  targetPath_ = target;
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  const std::string name = CutName(target.filename().native());
  if (name.empty()) {
    failed_ = true;
    return;
  }
  std::random_device random;
  for (int attempt = 0; attempt < kNameAttempts && file_ == nullptr; ++attempt) {
    temporary_ = folder / ("." + name + "." + RandomLetters(random) + ".tmp");
    // "x": created here or not at all, so no file of the folder is ever opened over.
    errno = 0;
    file_ = std::fopen(temporary_.c_str(), "wbx");
    if (file_ == nullptr && errno != EEXIST) break;
  }
  if (file_ == nullptr) {
    temporary_.clear();
    failed_ = true;
    return;
  }
  std::error_code ec;
  const fs::file_status status = fs::status(targetPath_, ec);
  if (!ec && fs::exists(status)) {
    fs::permissions(temporary_, status.permissions() & fs::perms::mask, fs::perm_options::replace, ec);
    if (ec) Abandon();
  }
}

SafeSave::~SafeSave() {
  if (!committed_) Abandon();
}

void SafeSave::Abandon() {
  failed_ = true;
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) {
    std::error_code ec;
    fs::remove(temporary_, ec);
    temporary_.clear();
  }
}

void SafeSave::Write(std::string_view bytes) {
  if (failed_ || bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
}

void SafeSave::Rewrite(std::uint64_t offset, std::string_view bytes) {
  if (failed_) return;
  const long end = std::ftell(file_);
  if (end < 0 || std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
    failed_ = true;
    return;
  }
  Write(bytes);
  if (std::fseek(file_, end, SEEK_SET) != 0) failed_ = true;
}

bool SafeSave::Commit() {
  if (committed_) return false;
  if (!failed_) {
    bool failed = std::fflush(file_) != 0;
    failed = std::ferror(file_) != 0 || failed;
    failed = std::fclose(file_) != 0 || failed;
    file_ = nullptr;
    std::error_code ec;
    if (!failed) fs::rename(temporary_, targetPath_, ec);
    failed_ = failed || static_cast<bool>(ec);
  }
  if (failed_) {
    Abandon();
    return true;
  }
  committed_ = true;
  return false;
}

bool SafeSaveFile(const std::string& path, std::string_view content) {
  SafeSave save(path);
  save.Write(content);
  return save.Commit();
}

}  // namespace velkor
