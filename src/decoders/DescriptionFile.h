#pragma once
// Reader of a frame description file (*.mfd, *.sfd, *.lfd, *.cfd). It never fails to open:
// a missing or unreadable file reads as empty, so every key takes its default. A decoder
// may keep the reader for a whole run and look names up while the file is being edited:
// each look-up re-reads the file only when its modification time or size has changed.
// Modification times are coarse (two seconds on FAT), so a same-size rewrite within the tick
// of a reading would pass unseen: a reading taken within that tick of the file's time is
// taken once more when the tick has certainly gone by.

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "app/IniFile.h"
#include "app/Settings.h"

namespace velkor {

class DescriptionFile {
 public:
  DescriptionFile() = default;
  explicit DescriptionFile(std::string path) { Open(std::move(path)); }

  void Open(std::string path);
  void Close();
  bool IsOpen() const { return open_; }
  const std::string& Path() const { return path_; }

  std::string ReadString(std::string_view section, std::string_view key, std::string_view defaultValue);
  // A value that is not a whole number reads as the default.
  std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t defaultValue);
  // YES or NO in any case (the default when the key is missing); false, with `out` left as it
  // was, for any other value.
  [[nodiscard]] bool ReadYesNo(std::string_view section, std::string_view key, std::string_view defaultValue,
                               bool& out);
  std::vector<std::string> Keys(std::string_view section);

  // The clock that dates a reading against the file's modification time.
  using Clock = std::filesystem::file_time_type (*)();
  void SetClock(Clock clock) { clock_ = clock; }

  // With an interval, a look-up asks the file system about the file again only when that
  // much of the clock has passed since it last asked (Open always asks). A replay sets it:
  // it looks names up faster than the file system answers, and an edit still shows within
  // the interval. Zero, the default, asks on every look-up.
  void SetCheckInterval(std::chrono::milliseconds interval) { checkInterval_ = interval; }
  // A replay looks a name up for nearly every frame, and even reading the clock for each one
  // shows: it asks CheckNow between its reads instead, and look-ups then ask nothing.
  void SetCheckedByOwner(bool byOwner) { checkedByOwner_ = byOwner; }
  void CheckNow() { RefreshIfChanged(); }

 private:
  void RefreshIfChanged();
  // The value under the key, or nullptr.
  const std::string* Find(std::string_view section, std::string_view key);
  void ForgetFound() {
    found_.clear();
    foundCount_ = 0;
  }

  std::string path_;
  bool open_ = false;
  bool present_ = false;
  std::filesystem::file_time_type mtime_{};
  std::uintmax_t size_ = 0;
  bool settled_ = false;  // read after the tick of mtime_ was over
  std::chrono::milliseconds checkInterval_{0};
  bool checkedByOwner_ = false;
  bool checked_ = false;  // checkedAt_ holds the time of the latest question
  std::filesystem::file_time_type checkedAt_{};
  Clock clock_ = [] { return std::filesystem::file_time_type::clock::now(); };
  IniDocument document_;
  // The look-ups answered since the document was read, under the section and the key in lower
  // case (a null value: no such key). A frame description may name hundreds of identifiers,
  // and every frame looks its name up. An open-addressing table: a power of two of slots,
  // at most half of them used.
  static constexpr std::size_t kFoundKeySize = 32;  // longer keys are not remembered
  using FoundKey = std::array<std::uint64_t, kFoundKeySize / 8>;  // the characters, zero-padded
  struct Found {
    FoundKey key{};  // all zero in a free slot
    const std::string* value = nullptr;
  };
  std::vector<Found> found_;
  std::size_t foundCount_ = 0;
};

// True when a regular file exists under the path.
bool DescriptionFileExists(const std::string& path);

// Where a channel's description file is. The path as it stands comes first (a relative one
// from the current folder); a relative path that names nothing there is then looked for in
// the folder of the configuration file last loaded, since a configuration kept beside its
// descriptions names them from its own folder, whatever folder the program starts in.
struct DescriptionLocation {
  std::string path;  // the file to open; the path as given when it was found nowhere
  bool found = false;
  // For a relative path found nowhere: the folders it was looked for in, in that order
  // (absolute, each once); empty otherwise.
  std::vector<std::string> foldersTried;
};
// `configFolder` may be empty (no configuration loaded): the current folder alone is tried.
DescriptionLocation FindDescriptionFile(const std::string& path, const std::string& configFolder);

// Before the settings are written into a configuration file in `targetFolder`: a relative
// description path that only the folder of the configuration last loaded resolves names
// nothing from the new file's folder, so it becomes the absolute path of the file found.
// Paths found from the current folder, absolute paths and paths found nowhere stay as they
// are, and nothing changes when the two folders are the same.
void AnchorDescriptionsFoundBeside(Settings& settings, const std::string& configFolder,
                                   const std::string& targetFolder);

// What follows a missing-file message: a line "Folders tried : " with the folders, or
// nothing when the location tried none.
std::string FoldersTriedLine(const DescriptionLocation& location);

}  // namespace velkor
