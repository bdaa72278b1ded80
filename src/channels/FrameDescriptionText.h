#pragma once
// What the frame description editor needs beneath its window: the table of open editors,
// the description type of a file name, and the file's text as the editor shows and writes it.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace velkor {

inline constexpr std::string_view kNewFrameCaption = "New Frame Description";

// Description types, numbered like ChannelType (Manchester 0 .. Lin 3); -1 when none.
inline constexpr int kNoFrameType = -1;
inline constexpr int kFrameTypeCount = 4;

// The type whose extension ("mfd", "sfd", "cfd", "lfd") the name ends with, exactly in lower
// case; any other ending gives kNoFrameType.
int FrameTypeOfPath(std::string_view path);
// "Serial Frame Description (*.sfd)|*.sfd" and the like.
std::string_view FrameTypeFilter(int type);
// The four filters joined, for the open dialog.
std::string FrameOpenFilter();

// The line (counted from 0) of the key that a loader's refusal names, so the editor can put
// the cursor on it: the error text is "Error : Value of " and a key ("InterFrame",
// "CheckFrame") or a section whose key is Value ("BAUDRATE", "INVERT"), maybe followed by a
// blank and a remark. Names match without regard to case, as the loaders read them; a key
// before a section. A CAN or LIN description (`type`) is also refused for its bus database
// ("Error : Line N of FILE: ...", "Error : The database FILE can not be opened"): the line is
// then that of the File key of section DATABASE (or of the section, without the key). -1
// when the text names nothing, or nothing of that name is in the text.
int RefusedKeyLine(std::string_view text, std::string_view errorText, int type = kNoFrameType);

// Reads a description file: Windows-1252 bytes, its lines (CR LF, LF or CR ended) joined by
// '\n'. Returns true when the file could not be read.
[[nodiscard]] bool ReadFrameDescriptionText(const std::string& path, std::string& text);
// Writes the text's lines (split at '\n', a CR before it dropped), each ended by CR LF. The
// text goes through SafeSave, so a failed write leaves the old file whole. Returns true on
// failure.
[[nodiscard]] bool WriteFrameDescriptionText(const std::string& path, std::string_view text);

// The main window's table of open editors: 32 entries, new editors only in the first 3. The
// search for an editor already showing a file covers all entries.
template <typename Editor>
class EditorRegistry {
 public:
  static constexpr int kEntries = 32;
  static constexpr int kOpenLimit = 3;

  // The first empty entry among the first kOpenLimit, or -1.
  int FreeEntry() const {
    for (int i = 0; i < kOpenLimit; ++i)
      if (entries_[i] == nullptr) return i;
    return -1;
  }
  // The first editor whose caption equals the name, or null.
  template <typename Caption, typename CaptionOf>
  Editor* Find(const Caption& caption, CaptionOf captionOf) const {
    for (Editor* e : entries_)
      if (e != nullptr && captionOf(*e) == caption) return e;
    return nullptr;
  }
  void Put(int entry, Editor* editor) { entries_.at(static_cast<std::size_t>(entry)) = editor; }
  // Empties the entry that holds this editor, so no entry ever names a closed editor.
  void Forget(const Editor* editor) {
    for (Editor*& e : entries_)
      if (e == editor) e = nullptr;
  }
  void Clear() { entries_.fill(nullptr); }
  Editor* At(int entry) const { return entries_.at(static_cast<std::size_t>(entry)); }
  int Count() const {
    int n = 0;
    for (Editor* e : entries_) n += e != nullptr;
    return n;
  }

 private:
  std::array<Editor*, kEntries> entries_{};
};

}  // namespace velkor
