#pragma once
// Windows-1252 is the code page of every text inside the core; these convert at the edges
// (terminal output, Qt strings, files from elsewhere).

#include <string>
#include <string_view>
#include <vector>

namespace velkor {

std::string Cp1252ToUtf8(std::string_view text);
// Characters with no Windows-1252 code become '?'.
std::string Utf8ToCp1252(std::string_view text);
// The characters of a UTF-8 text that Utf8ToCp1252 would turn into '?', each once, in the
// order they first appear.
std::vector<char32_t> CharactersOutsideCp1252(std::string_view utf8);

}  // namespace velkor
