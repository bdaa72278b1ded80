#include "app/Cp1252.h"

#include <algorithm>
#include <cstdint>

namespace velkor {

// Code points of 0x80..0x9F; 0 marks the five codes that Windows-1252 leaves undefined,
// which are carried through as the C1 control of the same number.
static constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

static std::uint32_t CodePoint(unsigned char c) {
  if (c >= 0x80 && c < 0xA0 && kHigh[c - 0x80] != 0) return kHigh[c - 0x80];
  return c;
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    std::uint32_t cp = CodePoint(static_cast<unsigned char>(ch));
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

static char FromCodePoint(std::uint32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
  if (cp >= 0x80 && cp < 0xA0 && kHigh[cp - 0x80] == 0) return static_cast<char>(cp);
  return '?';
}

// The code point at text[i] and the bytes it takes; a malformed or overlong sequence gives
// '?' for its first byte alone (an overlong form would let a ';', '=' or line end through in
// disguise).
static std::size_t DecodeUtf8(std::string_view text, std::size_t i, std::uint32_t& cp) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  int extra = 0;
  if (c < 0x80) { cp = c; return 1; }
  if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
  else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
  else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
  else { cp = '?'; return 1; }
  for (int k = 1; k <= extra; ++k) {
    if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) { cp = '?'; return 1; }
    cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  }
  static constexpr std::uint32_t kShortest[4] = {0, 0x80, 0x800, 0x10000};
  if (cp < kShortest[extra]) cp = '?';
  return 1 + static_cast<std::size_t>(extra);
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t cp = 0;
    i += DecodeUtf8(text, i, cp);
    out += FromCodePoint(cp);
  }
  return out;
}

std::vector<char32_t> CharactersOutsideCp1252(std::string_view utf8) {
  std::vector<char32_t> missing;
  for (std::size_t i = 0; i < utf8.size();) {
    std::uint32_t cp = 0;
    i += DecodeUtf8(utf8, i, cp);
    if (cp == '?' || FromCodePoint(cp) != '?') continue;
    const char32_t c = static_cast<char32_t>(cp);
    if (std::find(missing.begin(), missing.end(), c) == missing.end()) missing.push_back(c);
  }
  return missing;
}

}  // namespace velkor
