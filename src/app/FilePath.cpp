#include "app/FilePath.h"

#include "app/Cp1252.h"

namespace velkor {

std::filesystem::path FilePath(std::string_view cp1252) { return std::filesystem::path(Cp1252ToUtf8(cp1252)); }

std::string PathText(const std::filesystem::path& path) { return Utf8ToCp1252(path.native()); }

bool PathFromUtf8(std::string_view utf8, std::string& cp1252) {
  std::string text = Utf8ToCp1252(utf8);
  // Only a path that comes back byte for byte names the same file.
  if (Cp1252ToUtf8(text) != utf8) return true;
  cp1252 = std::move(text);
  return false;
}

}  // namespace velkor
