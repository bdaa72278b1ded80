#pragma once
// INI text as the configuration files and the frame descriptions use it: "[section]" lines,
// "key=value" lines, ";" comments, section and key names matched without regard to case.
// Lines are stripped of blanks and control characters; lines before the first section are
// ignored; the first "=" splits key and value. Texts are Windows-1252 bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velkor {

// Blanks and control characters (codes 0 to 32) removed at both ends.
std::string_view StripIni(std::string_view text);
// Equal but for the case of ASCII letters. (Inline: decoders compare names with it per frame.)
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}
std::string UpperCaseAscii(std::string_view text);

// A whole number in decimal (optional sign) or "0x"/"0X" hexadecimal that fits 32 bits;
// nothing for anything else.
std::optional<std::int32_t> ParseIniInteger(std::string_view text);

class IniDocument {
 public:
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;  // file order
  };

  void Parse(std::string_view text);
  // False when the file cannot be read (the document is then empty).
  bool LoadFile(const std::string& path);

  const Section* FindSection(std::string_view section) const;
  const std::string* Find(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t defaultValue) const;
  bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
  // Keys of the section in file order (empty when the section is missing).
  std::vector<std::string> Keys(std::string_view section) const;

  // Replaces an existing value; a new key goes to the end of its section, a new section to
  // the end of the document.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);

  // The document as text, CR LF line ends, an empty line after each section.
  std::string Serialize() const;

  const std::vector<Section>& Sections() const { return sections_; }

 private:
  Section& SectionFor(std::string_view section);
  std::vector<Section> sections_;
};

}  // namespace velkor
