#pragma once
// Configuration files (*.cfg, LastVelkor.cfg): every setting that outlives a run.

#include <string>

#include "app/Settings.h"

namespace velkor {

// Applies a configuration file to the settings. Returns true (failed) when the path names
// no existing file; nothing is changed then.
[[nodiscard]] bool LoadConfigFile(const std::string& path, Settings& settings);

// Writes the settings, keeping the unknown keys and sections of an existing file.
// Returns true (failed) when the file could not be written; the old file is then intact.
[[nodiscard]] bool SaveConfigFile(const std::string& path, const Settings& settings);

}  // namespace velkor
