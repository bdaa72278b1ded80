#pragma once
// Paths are texts like any other inside the core: Windows-1252 bytes, in the settings, in
// configuration files and in every path the core builds from another. The file system
// takes UTF-8 names, so a path is converted where it meets it, and only there.

#include <filesystem>
#include <string>
#include <string_view>

namespace velkor {

// The file-system path of a Windows-1252 path text.
std::filesystem::path FilePath(std::string_view cp1252);

// The Windows-1252 text of a path the file system gave (the current folder, a link's
// target); a character Windows-1252 cannot hold becomes '?', as it would on Windows.
std::string PathText(const std::filesystem::path& path);

// The path text of a UTF-8 path (a command line's file name). True (refused) when the path
// has a character Windows-1252 cannot hold, or bytes that are not UTF-8: its path text
// would name another file, or none.
[[nodiscard]] bool PathFromUtf8(std::string_view utf8, std::string& cp1252);

}  // namespace velkor
