#pragma once
// A small RTF reader: enough of the format for our built-in manual and for what ordinary word
// processors write (groups, paragraphs, bold, italic, underline, sizes, colours, escapes,
// Unicode), turned into runs of equally formatted text. Anything it does not know is
// skipped; no input, however broken, makes it fail.
//
// Text is Windows-1252, one byte per character, as everywhere in the core: a position in
// the plain text is a character position in the shown document. A paragraph ends with
// '\n', a line break inside a paragraph ('\line') is '\v', a tab is '\t'. A Unicode
// character ('\u') that has no Windows-1252 code is shown as the writer's own fallback text.
// The code page named by '\ansicpg' is not looked at: '\'hh' bytes are read as Windows-1252.

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/Settings.h"

namespace velkor {

struct RtfFormat {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool fixedPitch = false;    // a font of the 'modern' family or of fixed pitch
  int halfPoints = 24;        // '\fs': 12 points unless told
  bool hasColour = false;     // false: the reader's default text colour
  Colour colour;
  bool operator==(const RtfFormat&) const = default;
};

struct RtfRun {
  std::string text;
  RtfFormat format;
  bool operator==(const RtfRun&) const = default;
};

struct RtfDocument {
  std::vector<RtfRun> runs;  // adjacent runs differ in format; none is empty
  // Control words met and not understood, for the curious (tests of our own manual).
  std::set<std::string> unknownWords;

  std::string PlainText() const;
  // The format of the character at a position of the plain text (the default past the end).
  RtfFormat FormatAt(std::size_t position) const;
  // Replaces the character at a position by another, keeping its format.
  void ReplaceChar(std::size_t position, char c);
};

RtfDocument ParseRtf(std::string_view source);

}  // namespace velkor
