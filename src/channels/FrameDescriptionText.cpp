#include "channels/FrameDescriptionText.h"

#include <fstream>
#include <iterator>

#include "app/FilePath.h"
#include "app/IniFile.h"
#include "app/SafeSave.h"
#include "pipeline/Types.h"

namespace velkor {

namespace {

struct FrameType {
  std::string_view extension;
  std::string_view filter;
};

constexpr std::array<FrameType, kFrameTypeCount> kTypes = {{
    {"mfd", "Manchester Frame Description (*.mfd)|*.mfd"},
    {"sfd", "Serial Frame Description (*.sfd)|*.sfd"},
    {"cfd", "CAN Frame Description (*.cfd)|*.cfd"},
    {"lfd", "LIN Frame Description (*.lfd)|*.lfd"},
}};

}  // namespace

int FrameTypeOfPath(std::string_view path) {
  if (path.size() < 3) return kNoFrameType;
  const std::string_view ending = path.substr(path.size() - 3);
  for (int t = 0; t < kFrameTypeCount; ++t)
    if (kTypes[t].extension == ending) return t;
  return kNoFrameType;
}

std::string_view FrameTypeFilter(int type) {
  if (type < 0 || type >= kFrameTypeCount) return {};
  return kTypes[type].filter;
}

std::string FrameOpenFilter() {
  std::string filter;
  for (const FrameType& t : kTypes) {
    if (!filter.empty()) filter += '|';
    filter += t.filter;
  }
  return filter;
}

namespace {

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// A CAN or LIN loader's refusal of the description's bus database: "Line N of FILE: what is
// wrong" or "The database FILE can not be opened" (the text after "Error : ").
bool RefusesDatabase(std::string_view reason) {
  if (reason.starts_with("The database ")) return true;
  if (!reason.starts_with("Line ")) return false;
  // The line number, then " of ": a remark of another loader cannot pass for it.
  const std::string_view rest = reason.substr(5);
  std::size_t digits = 0;
  while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
  return digits > 0 && rest.substr(digits).starts_with(" of ");
}

// A line of a description's text as WalkLines gives it: a section's header, with the
// section's name (empty when the header has no ']'), or a key's line, with the key.
struct TextLine {
  int number;
  bool header;
  std::string_view name;
};

// Gives `visit` each header and key line of `text` in order (blank lines, comments and lines
// without '=' are passed over) until it returns true.
template <class Visit>
void WalkLines(std::string_view text, Visit visit) {
  int number = 0;
  for (std::size_t start = 0; start <= text.size(); ++number) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trimmed(text.substr(start, end - start));
    start = end + 1;
    if (line.starts_with('[')) {
      const std::size_t close = line.find(']');
      const std::string_view name = close == std::string_view::npos ? std::string_view() : Trimmed(line.substr(1, close - 1));
      if (visit(TextLine{number, true, name})) return;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (line.starts_with(';') || equals == std::string_view::npos) continue;
    if (visit(TextLine{number, false, Trimmed(line.substr(0, equals))})) return;
  }
}

// The line of the first `key` in a section named `section` (a section written twice is one
// section, as the loaders read it); the section's first line when it has no such key; -1
// without the section.
int SectionKeyLine(std::string_view text, std::string_view section, std::string_view key) {
  int sectionLine = -1;
  int keyLine = -1;
  bool inSection = false;
  WalkLines(text, [&](const TextLine& line) {
    if (line.header) {
      inSection = EqualsNoCase(line.name, section);
      if (inSection && sectionLine < 0) sectionLine = line.number;
    } else if (inSection && EqualsNoCase(line.name, key)) {
      keyLine = line.number;
    }
    return keyLine >= 0;
  });
  return keyLine >= 0 ? keyLine : sectionLine;
}

}  // namespace

int RefusedKeyLine(std::string_view text, std::string_view errorText, int type) {
  constexpr std::string_view kError = "Error : ";
  const bool bus = type == static_cast<int>(ChannelType::Can) || type == static_cast<int>(ChannelType::Lin);
  if (bus && errorText.starts_with(kError) && RefusesDatabase(errorText.substr(kError.size())))
    return SectionKeyLine(text, "DATABASE", "File");
  constexpr std::string_view kRefusal = "Error : Value of ";
  if (!errorText.starts_with(kRefusal)) return -1;
  std::string_view name = errorText.substr(kRefusal.size());
  name = name.substr(0, name.find(' '));
  if (name.empty()) return -1;
  int keyLine = -1;
  int sectionValueLine = -1;
  bool inNamedSection = false;
  WalkLines(text, [&](const TextLine& line) {
    if (line.header) {
      inNamedSection = EqualsNoCase(line.name, name);
      if (inNamedSection && sectionValueLine < 0) sectionValueLine = line.number;
      return false;
    }
    if (keyLine < 0 && EqualsNoCase(line.name, name)) keyLine = line.number;
    if (inNamedSection && EqualsNoCase(line.name, "Value")) {
      sectionValueLine = line.number;
      inNamedSection = false;
    }
    return false;
  });
  return keyLine >= 0 ? keyLine : sectionValueLine;
}

bool ReadFrameDescriptionText(const std::string& path, std::string& text) {
  std::ifstream in(FilePath(path), std::ios::binary);
  if (!in) return true;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return true;
  text.clear();
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      text += '\n';
    } else {
      text += bytes[i];
    }
  }
  // The last line's end is the file's way of closing that line, not an empty line after it.
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return false;
}

bool WriteFrameDescriptionText(const std::string& path, std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() + text.size() / 16 + 2);
  // Every line, the last one too, gets its line end: the reverse of the reading, so a text
  // that ends with a line break ends with an empty line.
  for (std::size_t start = 0; !text.empty() && start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    bytes += line;
    bytes += "\r\n";
    start = end + 1;
  }

  return SafeSaveFile(path, bytes);
}

}  // namespace velkor
