#pragma once
// The one way the program writes a file. The new content goes to a temporary file with a
// name of its own in the target's folder, is flushed and closed, then renamed over the
// target in one step: a kill, a crash or a full disk leaves the old file or the new one
// whole, never a mix, and never touches another file of the folder (a user's own
// "notes.txt.tmp" included). Saving over a symbolic link writes its target and keeps the
// link; an existing target keeps its access rights. The temporary file is removed on every
// failure (a kill can still leave one behind, named "." + file name + "." + 8 letters or
// digits + ".tmp", never the target itself). Paths are Windows-1252 texts, as everywhere in
// the core.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace velkor {

// For a content written a piece at a time: open, Write as often as needed, then Commit.
// Without a successful Commit (an error, or the object destroyed first) the target is left
// as it was and the temporary file is removed.
class SafeSave {
 public:
  explicit SafeSave(const std::string& path);
  ~SafeSave();
  SafeSave(const SafeSave&) = delete;
  SafeSave& operator=(const SafeSave&) = delete;

  // True once any step has failed (the temporary file could not be made, a write failed).
  bool Failed() const { return failed_; }
  void Write(std::string_view bytes);
  // Writes over bytes written before, at `offset` from the start (a header whose sizes are
  // known only at the end); later writes go on at the end.
  void Rewrite(std::uint64_t offset, std::string_view bytes);
  // Flushes, closes and renames over the target. True when the save failed.
  [[nodiscard]] bool Commit();

  // The file that is replaced: the path, or where its symbolic links lead.
  const std::string& Target() const { return target_; }

 private:
  void Abandon();

  std::string target_;
  std::filesystem::path targetPath_;
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  bool committed_ = false;
};

// Writes the whole content to path through SafeSave. True when the save failed.
[[nodiscard]] bool SafeSaveFile(const std::string& path, std::string_view content);

// The file a save of path replaces: path itself, or the end of its chain of symbolic links
// (a relative link read from the link's folder). True (failed) when the chain is too long
// or loops.
[[nodiscard]] bool ResolveSaveTarget(const std::string& path, std::string& target);

}  // namespace velkor
