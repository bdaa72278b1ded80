// Windows-1252 text to UTF-8 and back, at the edges of the core.

#include <gtest/gtest.h>

#include <string>

#include "app/Cp1252.h"

using namespace velkor;

TEST(Cp1252, TableOfCodes) {
  const struct {
    const char* cp1252;
    const char* utf8;
  } cases[] = {
      {"A;=", "A;="},
      {"\x80", "\xE2\x82\xAC"},    // euro sign
      {"\x8A", "\xC5\xA0"},        // S caron
      {"\x95", "\xE2\x80\xA2"},    // bullet: the error mark
      {"\x97", "\xE2\x80\x94"},    // em dash
      {"\x99", "\xE2\x84\xA2"},    // trade mark
      {"\x9F", "\xC5\xB8"},        // Y diaeresis
      {"\xA3", "\xC2\xA3"},        // pound sign: the error line mark
      {"\xB5", "\xC2\xB5"},        // micro sign
      {"\xE9\xFF", "\xC3\xA9\xC3\xBF"},
      {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},  // undefined: C1 controls
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8) << c.cp1252;
    EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
  }
}

TEST(Cp1252, EveryByteComesBackAndForeignOrBrokenUtf8BecomesAQuestionMark) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);

  const struct {
    std::string utf8;
    std::string cp1252;
  } cases[] = {
      {"\xC2\x80", "?"},               // U+0080 has no code: 0x80 is the euro sign
      {"\xE4\xB8\xAD", "?"},           // outside the code page
      {"\xF0\x9F\x98\x80x", "?x"},     // four bytes
      {"\xE2\x82", "??"},              // cut short
      {"\x80x", "?x"},                 // a lone continuation byte
      {"\xFFx", "?x"},
      {"\xC0\xBB", "?"},               // ";" written in two bytes must not pass for one
      {"\xE0\x80\xBD", "?"},           // "=" in three
      {"\xED\xA0\x80", "?"},           // a surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
}

TEST(Cp1252, CharactersOutsideTheCodePageAreNamedOnceInOrder) {
  const struct {
    std::string utf8;
    std::vector<char32_t> missing;
  } cases[] = {
      {"Baudrate=9600 \xC2\xB5s \xE2\x82\xAC \xE2\x80\xA2", {}},  // micro sign, euro, bullet: all in
      {"? stays a question mark", {}},
      {"\xCE\xA9=1 \xE4\xB8\xAD \xCE\xA9", {0x03A9, 0x4E2D}},     // omega twice, then a CJK sign
      {"a\xE2\x80\x8B" "b\xF0\x9F\x98\x80", {0x200B, 0x1F600}},   // an invisible space, an emoji
      {"\xC2\x81", {}},                                            // an undefined code goes through
      {"\xC0\xBB \xE2\x82", {}},                                   // broken bytes are no characters
  };
  for (const auto& c : cases) EXPECT_EQ(CharactersOutsideCp1252(c.utf8), c.missing) << c.utf8;
}
