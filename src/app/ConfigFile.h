#pragma once
// Configuration files (*.cfg, LastVelkor.cfg): every setting that outlives a run.

#include <cstdint>
#include <string>

#include "app/Settings.h"

namespace velkor {

// Why a configuration file was not loaded.
enum class ConfigRefusal {
  None,
  // No such file, or it cannot be read.
  Missing,
  // A file that holds none of a configuration's sections (a capture, a description, an
  // empty file), holds NUL bytes, or is larger than kMaxConfigFileBytes.
  NotAConfiguration,
};

// Far more than the largest configuration (four channels of sixteen long paths); a larger
// file is refused without being read.
inline constexpr std::uintmax_t kMaxConfigFileBytes = 1 << 20;

// Applies a configuration file to the settings. Returns true (failed) when the path names
// no existing file (or one that cannot be read), or a file that is no configuration (see
// ConfigRefusal); nothing is changed then, and `refusal` (when given) says which. A file
// with at least one of the configuration's sections loads: a key that the file lacks, or a
// number that does not read, takes the file's default for that key.
// Windows are data here, for the GUI to apply: `mainMaximized` true means "maximise" (false
// leaves the main window's state as it is), the channel windows get their position and
// visibility but keep their size, and `port` is 0 when the text names none of COM1..COM12.
[[nodiscard]] bool LoadConfigFile(const std::string& path, Settings& settings, ConfigRefusal* refusal = nullptr);

// The folder of a configuration file, absolute (a relative path is taken from the current
// folder now): where the descriptions it names by relative paths are looked for later.
std::string ConfigFileFolder(const std::string& path);

// Writes the settings, keeping the unknown keys and sections of an existing file (its
// comments and empty lines go). With no port selected the stored PortCom stays as it is.
// The new text replaces the file through SafeSave. Returns true
// (failed) when the file could not be written, or exists but could not be read; the old
// file is then intact.
[[nodiscard]] bool SaveConfigFile(const std::string& path, const Settings& settings);

}  // namespace velkor
