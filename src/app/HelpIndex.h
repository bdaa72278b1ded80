#pragma once
// The help document and its chapter index. The manual is one RTF text; a heading line that
// starts with the chapter marker (the character 0xA7) opens a chapter. The index is built
// from the shown text itself, so any RTF file that marks its headings this way can replace
// the built-in manual (a file beside the executable, named like it with the extension "rtf").

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/Rtf.h"

namespace velkor {

inline constexpr char kChapterMarker = '\xA7';
inline constexpr std::size_t kMaxChapterTitle = 1000;
inline constexpr std::size_t kMaxChapters = 2000;

enum HelpStyle : int { kHelpBold = 1, kHelpItalic = 2 };

struct HelpChapter {
  std::string title;          // Windows-1252, without the marker and the line end
  std::size_t position = 0;   // of the marker in the shown text
  std::size_t length = 0;     // of the title
  bool hasColour = false;     // false: the default text colour
  Colour colour;
  int style = 0;              // kHelpBold | kHelpItalic, as the marker is written
};

struct HelpDocument {
  std::string source;              // the RTF text as shown (after the "{\" repair)
  RtfDocument content;             // the shown text; each indexed marker is a blank now
  std::vector<HelpChapter> chapters;
};

// The manual compiled into the program.
std::string_view BuiltInManual();

// The file that replaces the built-in manual: beside the executable, its extension "rtf".
std::string ExternalHelpPath(const std::string& executablePath);
// The external file's text when it can be read, else the built-in manual.
std::string LoadHelpSource(const std::string& executablePath);

// Repairs, parses and indexes a help text. At most kMaxChapters chapters are indexed; the
// markers after them stay as they are.
HelpDocument IndexHelpDocument(std::string source);

// A title of fewer than two characters is listed but cannot be opened nor indexed.
inline bool IsChapterShowable(const HelpChapter& chapter) { return chapter.length >= 2; }

// The first chapter, in document order, whose title contains the key (case counts); -1 when
// none does.
int FindHelpTopic(const std::vector<HelpChapter>& chapters, std::string_view key);

// The index text: every showable title in its heading's colour and bold/italic, one a line,
// as an RTF document ("TableIndex.rtf", and the clipboard).
std::string HelpIndexRtf(const std::vector<HelpChapter>& chapters);

}  // namespace velkor
