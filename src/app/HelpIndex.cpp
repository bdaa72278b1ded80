#include "app/HelpIndex.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/FilePath.h"

namespace velkor {

std::string ExternalHelpPath(const std::string& executablePath) {
  std::filesystem::path path(executablePath);
  path.replace_extension("rtf");
  return path.string();
}

std::string LoadHelpSource(const std::string& executablePath) {
  std::ifstream in(FilePath(ExternalHelpPath(executablePath)), std::ios::binary);
  if (in) {
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.bad()) return text;
  }
  return std::string(BuiltInManual());
}

HelpDocument IndexHelpDocument(std::string source) {
  HelpDocument doc;
  if (source.empty() || source[0] != '{') source.insert(0, "{\\");
  doc.source = std::move(source);
  doc.content = ParseRtf(doc.source);

  const std::string text = doc.content.PlainText();
  for (std::size_t at = text.find(kChapterMarker);
       at != std::string::npos && doc.chapters.size() < kMaxChapters;
       at = text.find(kChapterMarker, at + 1)) {
    HelpChapter chapter;
    chapter.position = at;
    // The title runs to the end of its line: a paragraph end or a line break.
    chapter.title = text.substr(at + 1, kMaxChapterTitle);
    const std::size_t end = chapter.title.find_first_of("\n\v");
    if (end != std::string::npos) chapter.title.resize(end);
    chapter.length = chapter.title.size();
    const RtfFormat format = doc.content.FormatAt(at);
    chapter.hasColour = format.hasColour;
    chapter.colour = format.colour;
    chapter.style = (format.bold ? kHelpBold : 0) | (format.italic ? kHelpItalic : 0);
    doc.content.ReplaceChar(at, ' ');
    doc.chapters.push_back(std::move(chapter));
  }
  return doc;
}

int FindHelpTopic(const std::vector<HelpChapter>& chapters, std::string_view key) {
  for (std::size_t i = 0; i < chapters.size(); ++i)
    if (chapters[i].title.find(key) != std::string::npos) return static_cast<int>(i);
  return -1;
}

static void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 && c != '\t') continue;  // a title holds no other control character
    if (c == '\\' || c == '{' || c == '}') {
      out += '\\';
      out += c;
    } else if (c == '\t') {
      out += "\\tab ";
    } else if (u >= 0x80) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\'%02x", u);
      out += hex;
    } else {
      out += c;
    }
  }
}

std::string HelpIndexRtf(const std::vector<HelpChapter>& chapters) {
  std::vector<Colour> colours;
  for (const HelpChapter& c : chapters) {
    if (!c.hasColour || !IsChapterShowable(c)) continue;
    bool known = false;
    for (const Colour& k : colours) known = known || k == c.colour;
    if (!known) colours.push_back(c.colour);
  }

  std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\n{\\colortbl ;";
  for (const Colour& k : colours) {
    char entry[64];
    std::snprintf(entry, sizeof entry, "\\red%d\\green%d\\blue%d;", k.red, k.green, k.blue);
    out += entry;
  }
  out += "}\n\\f0\\fs20 ";
  for (const HelpChapter& c : chapters) {
    if (!IsChapterShowable(c)) continue;
    std::size_t colourIndex = 0;
    if (c.hasColour)
      for (std::size_t k = 0; k < colours.size(); ++k)
        if (colours[k] == c.colour) colourIndex = k + 1;
    out += "{\\cf" + std::to_string(colourIndex);
    if (c.style & kHelpBold) out += "\\b";
    if (c.style & kHelpItalic) out += "\\i";
    out += ' ';
    AppendEscaped(out, c.title);
    out += "\\par}\n";
  }
  out += "}\n";
  return out;
}

}  // namespace velkor
