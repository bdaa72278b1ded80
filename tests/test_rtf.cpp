// The RTF reader: small documents and the runs they give, broken input that must stay safe.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/Rtf.h"

using namespace velkor;

namespace {

struct F {
  RtfFormat f;
  F& B() { f.bold = true; return *this; }
  F& I() { f.italic = true; return *this; }
  F& U() { f.underline = true; return *this; }
  F& Fixed() { f.fixedPitch = true; return *this; }
  F& Size(int halfPoints) { f.halfPoints = halfPoints; return *this; }
  F& Rgb(int r, int g, int b) {
    f.hasColour = true;
    f.colour = Colour{static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b)};
    return *this;
  }
  operator RtfFormat() const { return f; }
};

std::string Describe(const std::vector<RtfRun>& runs) {
  std::string s;
  for (const RtfRun& r : runs) {
    s += "[";
    for (char c : r.text) {
      const unsigned char u = static_cast<unsigned char>(c);
      if (u < 0x20 || u >= 0x80) s += "<" + std::to_string(u) + ">";
      else s += c;
    }
    s += "|";
    if (r.format.bold) s += "b";
    if (r.format.italic) s += "i";
    if (r.format.underline) s += "u";
    if (r.format.fixedPitch) s += "m";
    if (r.format.halfPoints != 24) s += "fs" + std::to_string(r.format.halfPoints);
    if (r.format.hasColour)
      s += "#" + std::to_string(r.format.colour.red) + "," + std::to_string(r.format.colour.green) + "," +
           std::to_string(r.format.colour.blue);
    s += "]";
  }
  return s;
}

// Every document's runs keep these, whatever the input.
void ExpectWellFormed(const RtfDocument& doc) {
  for (std::size_t i = 0; i < doc.runs.size(); ++i) {
    EXPECT_FALSE(doc.runs[i].text.empty());
    if (i > 0) {
      EXPECT_FALSE(doc.runs[i].format == doc.runs[i - 1].format);
    }
  }
}

}  // namespace

TEST(Rtf, TableOfDocuments) {
  const struct {
    const char* name;
    std::string rtf;
    std::vector<RtfRun> runs;
  } cases[] = {
      {"plain text", R"({\rtf1\ansi Hello world})", {{"Hello world", F()}}},
      {"a control word eats one blank", R"({\rtf1 \b  two})", {{" two", F().B()}}},
      {"escaped braces and backslash", R"({\rtf1 a\{b\}c\\d})", {{"a{b}c\\d", F()}}},
      {"hex escapes are Windows-1252", R"({\rtf1 caf\'e9 \'a7x \'80})", {{"caf\xE9 \xA7x \x80", F()}}},
      {"source line ends mean nothing", "{\\rtf1 a\r\nb\nc}", {{"abc", F()}}},
      {"paragraph, line break, tab", R"({\rtf1 a\par b\line c\tab d\page e})", {{"a\nb\vc\td\ne", F()}}},
      {"a backslash before a line end is a paragraph", "{\\rtf1 a\\\nb}", {{"a\nb", F()}}},
      {"nested groups restore the format",
       R"({\rtf1 a{\b b{\i c}d}e})",
       {{"a", F()}, {"b", F().B()}, {"c", F().B().I()}, {"d", F().B()}, {"e", F()}}},
      {"switches with 0 and \\plain",
       R"({\rtf1\b\i\ul x\b0 y\ulnone z\plain w})",
       {{"x", F().B().I().U()}, {"y", F().I().U()}, {"z", F().I()}, {"w", F()}}},
      {"font sizes", R"({\rtf1\fs32 big\fs16 small\fs0 back})",
       {{"big", F().Size(32)}, {"small", F().Size(16)}, {"back", F()}}},
      {"colour table, automatic colour, index out of range",
       R"({\rtf1{\colortbl ;\red255\green0\blue0;\red0\green0\blue255;}\cf1 r\cf2 b\cf0 n\cf9 x})",
       {{"r", F().Rgb(255, 0, 0)}, {"b", F().Rgb(0, 0, 255)}, {"nx", F()}}},
      {"a colour table without the automatic entry",
       R"({\rtf1{\colortbl\red1\green2\blue3;\red4\green5\blue6;}\cf1 t})", {{"t", F().Rgb(4, 5, 6)}}},
      {"font table: skipped, fixed pitch fonts known",
       R"({\rtf1\deff0{\fonttbl{\f0\fswiss Arial;}{\f1\fmodern Courier New;}{\f2\fnil Liberation Mono;}}\f1 code\f0 text\f2 mono})",
       {{"code", F().Fixed()}, {"text", F()}, {"mono", F().Fixed()}}},
      {"the default font applies without \\f",
       R"({\rtf1\deff1{\fonttbl{\f0 Arial;}{\f1\fprq1 Typewriter;}}x\plain y})", {{"xy", F().Fixed()}}},
      {"skipped destinations",
       R"({\rtf1{\stylesheet{\s0 Normal;}}{\info{\title T}{\author A}}{\*\generator Gen 1.0;}{\*\anything hidden {\b deep}}{\header head}{\pict 0a0b}shown})",
       {{"shown", F()}}},
      {"a field shows its result, not its instruction",
       R"({\rtf1{\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}}})", {{"link", F()}}},
      {"\\u in the code page skips its fallback", R"({\rtf1 a\u233?b\u8364?})", {{"a\xE9" "b\x80", F()}}},
      {"\\u outside the code page shows its fallback", R"({\rtf1 \u12354?x})", {{"?x", F()}}},
      {"a negative \\u", R"({\rtf1 \u-3999?.})", {{"?.", F()}}},
      {"\\uc2 skips two, an escape counts as one", R"({\rtf1\uc2 \u233\'e9\'e9x\u12354 ab})", {{"\xE9xab", F()}}},
      {"\\uc0 skips nothing", R"({\rtf1\uc0 \u233 b})", {{"\xE9" "b", F()}}},
      {"a surrogate pair gives one fallback", R"({\rtf1 \u-10179?\u-8704?!})", {{"?!", F()}}},
      {"\\uc is scoped to its group", R"({\rtf1{\uc3 x}\u233?y})", {{"x\xE9y", F()}}},
      {"a group ends a pending fallback", R"({\rtf1 \u233{x}y})", {{"\xE9xy", F()}}},
      {"symbols", R"({\rtf1 a\~b\_c\-d\emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote})",
       {{"a\xA0" "b-cd\x97\x96\x95\x91\x92\x93\x94", F()}}},
      {"binary data is skipped", std::string("{\\rtf1 a\\bin3 ") + std::string("\x00}\\", 3) + "b}", {{"ab", F()}}},
      {"unknown words skipped with their number", R"({\rtf1 \foo12 x\bar-3 y})", {{"x" "y", F()}}},
      {"an unterminated group", R"({\rtf1 a{\b bold)", {{"a", F()}, {"bold", F().B()}}},
      {"a stray closing brace", R"({\rtf1 a}}b)", {{"ab", F()}}},
      {"a broken hex escape shows nothing of itself", R"({\rtf1 a\'zq\'4)", {{"azq4", F()}}},
      {"a backslash at the end", "{\\rtf1 a\\", {{"a", F()}}},
      {"control bytes are dropped", std::string("{\\rtf1 a\x01\x1F" "b}"), {{"ab", F()}}},
      {"empty", "", {}},
  };
  for (const auto& c : cases) {
    const RtfDocument doc = ParseRtf(c.rtf);
    EXPECT_EQ(Describe(doc.runs), Describe(c.runs)) << c.name;
    ExpectWellFormed(doc);
  }
}

TEST(Rtf, UnknownWordsAreCollectedAndKnownOnesAreNot) {
  const RtfDocument doc =
      ParseRtf(R"({\rtf1\ansi\ansicpg1252\deff0\pard\qc\sa120 x\foo\bar12\b\fs20\cf0 y})");
  EXPECT_EQ(doc.unknownWords, (std::set<std::string>{"bar", "foo"}));
}

TEST(Rtf, PlainTextPositionsFormatsAndReplacement) {
  RtfDocument doc = ParseRtf(R"({\rtf1 ab{\b cd}\par e})");
  EXPECT_EQ(doc.PlainText(), "abcd\ne");
  EXPECT_FALSE(doc.FormatAt(1).bold);
  EXPECT_TRUE(doc.FormatAt(2).bold);
  EXPECT_TRUE(doc.FormatAt(3).bold);
  EXPECT_FALSE(doc.FormatAt(5).bold);
  EXPECT_EQ(doc.FormatAt(99), RtfFormat{});
  doc.ReplaceChar(3, ' ');
  doc.ReplaceChar(99, ' ');
  EXPECT_EQ(doc.PlainText(), "abc \ne");
  EXPECT_TRUE(doc.FormatAt(3).bold);
}

TEST(Rtf, DeepNestingAndHugeNumbersStaySafe) {
  const std::string deep = "{\\rtf1 " + std::string(200000, '{') + "\\b x" + std::string(200000, '}') + "y}";
  const RtfDocument doc = ParseRtf(deep);
  EXPECT_EQ(Describe(doc.runs), "[x|b][y|]");

  const RtfDocument numbers = ParseRtf(
      R"({\rtf1\fs99999999999999999999 a\cf-99999999999999 b\uc99999999999 \u99999999999999?c\bin99999999999999 d})");
  ExpectWellFormed(numbers);
  EXPECT_EQ(numbers.PlainText().substr(0, 2), "ab");
}

TEST(Rtf, RandomBytesAndShuffledTokensNeverBreakTheReader) {
  std::mt19937 random(20240517);
  const char* tokens[] = {"{", "}", "\\", "\\'", "\\u", "\\uc", "\\bin", "\\b", "\\i0", "\\par", "\\*",
                          "\\colortbl", "\\fonttbl", ";", "\\red", "\\cf", "\\f", "-", "9", "\\'a7",
                          "x", " ", "\\fs", "\\line", "\\{"};
  for (int round = 0; round < 3000; ++round) {
    std::string input;
    const int length = static_cast<int>(random() % 200);
    for (int i = 0; i < length; ++i) {
      if (round % 2 == 0) input += static_cast<char>(random() & 0xFF);
      else input += tokens[random() % std::size(tokens)];
    }
    const RtfDocument doc = ParseRtf(input);
    ExpectWellFormed(doc);
    std::size_t total = 0;
    for (const RtfRun& r : doc.runs) total += r.text.size();
    EXPECT_EQ(doc.PlainText().size(), total);
  }
}
