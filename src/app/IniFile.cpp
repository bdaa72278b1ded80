#include "app/IniFile.h"

#include <charconv>
#include <cstdio>
#include <unordered_set>

#include "app/FilePath.h"

namespace velkor {

std::string_view StripIni(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

std::string UpperCaseAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::optional<std::int32_t> ParseIniInteger(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  std::from_chars_result r{};
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::uint32_t hex = 0;
    r = std::from_chars(first + 2, last, hex, 16);
    if (r.ec != std::errc{} || r.ptr != last) return std::nullopt;
    return static_cast<std::int32_t>(hex);  // 0xFFFFFFFF reads as -1, as a 32-bit word
  }
  bool negative = false;
  if (*first == '+' || *first == '-') {
    negative = *first == '-';
    ++first;
  }
  if (first == last || *first < '0' || *first > '9') return std::nullopt;
  r = std::from_chars(first, last, value, 10);
  if (r.ec != std::errc{} || r.ptr != last) return std::nullopt;
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

void IniDocument::Parse(std::string_view text) {
  sections_.clear();
  Section* current = nullptr;
  // Case-folded "section\nkey" of every entry so far: the first occurrence wins, and a long
  // file must not cost a scan of its section per line.
  std::unordered_set<std::string> seen;
  std::string sectionKey;
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
    line = StripIni(line);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      std::string_view name = StripIni(line.substr(1, line.size() - 2));
      current = &SectionFor(name);
      sectionKey = UpperCaseAscii(current->name);
      sectionKey += '\n';
      continue;
    }
    if (current == nullptr) continue;
    std::size_t eq = line.find('=');
    std::string_view key = StripIni(line.substr(0, eq));
    std::string_view value = eq == std::string_view::npos ? std::string_view{} : StripIni(line.substr(eq + 1));
    std::string id = sectionKey;
    id += UpperCaseAscii(key);
    if (seen.insert(std::move(id)).second) current->entries.emplace_back(std::string(key), std::string(value));
  }
}

bool IniDocument::LoadFile(const std::string& path) {
  sections_.clear();
  std::FILE* file = std::fopen(FilePath(path).c_str(), "rb");
  if (file == nullptr) return false;
  std::string text;
  char buffer[8192];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  // A read that stops half-way must not pass for a shorter file.
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return false;
  Parse(text);
  return true;
}

const IniDocument::Section* IniDocument::FindSection(std::string_view section) const {
  for (const auto& s : sections_)
    if (EqualsNoCase(s.name, section)) return &s;
  return nullptr;
}

const std::string* IniDocument::Find(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  if (s == nullptr) return nullptr;
  for (const auto& entry : s->entries)
    if (EqualsNoCase(entry.first, key)) return &entry.second;
  return nullptr;
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
  const std::string* v = Find(section, key);
  return v != nullptr ? *v : std::string(defaultValue);
}

std::int32_t IniDocument::ReadInteger(std::string_view section, std::string_view key,
                                      std::int32_t defaultValue) const {
  const std::string* v = Find(section, key);
  if (v == nullptr) return defaultValue;
  return ParseIniInteger(*v).value_or(defaultValue);
}

bool IniDocument::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::vector<std::string> IniDocument::Keys(std::string_view section) const {
  std::vector<std::string> keys;
  if (const Section* s = FindSection(section))
    for (const auto& entry : s->entries) keys.push_back(entry.first);
  return keys;
}

IniDocument::Section& IniDocument::SectionFor(std::string_view section) {
  for (auto& s : sections_)
    if (EqualsNoCase(s.name, section)) return s;
  sections_.push_back(Section{std::string(section), {}});
  return sections_.back();
}

void IniDocument::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Section& s = SectionFor(section);
  for (auto& entry : s.entries)
    if (EqualsNoCase(entry.first, key)) {
      entry.second = value;
      return;
    }
  s.entries.emplace_back(std::string(key), std::string(value));
}

void IniDocument::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniDocument::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

std::string IniDocument::Serialize() const {
  std::string out;
  for (const auto& s : sections_) {
    out += '[';
    out += s.name;
    out += "]\r\n";
    for (const auto& entry : s.entries) {
      out += entry.first;
      out += '=';
      out += entry.second;
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace velkor
