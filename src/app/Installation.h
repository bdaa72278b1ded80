#pragma once
// Where the program finds the files it ships with (the demo and the examples) and where it
// keeps its settings, whether it runs from its build tree or installed (bin/velkor beside
// share/velkor/). Folders and paths are Windows-1252 texts.

#include <optional>
#include <string>
#include <string_view>

#include "app/Settings.h"

namespace velkor {

// The shared folder seen from the bin folder ("../share/velkor"), and the source tree's
// root, the shared folder of a program run from its build tree. Both come from the build.
std::string_view InstalledDataFromBin();
std::string_view SourceDataFolder();

// The shared folder of an installed program whose executable lies in executableFolder:
// it holds examples/demo.cfg. Empty when the program is not installed that way.
std::optional<std::string> InstalledDataFolder(const std::string& executableFolder);

// The folder that holds examples/ for this program: the installed one, else the source
// tree the program was built from.
std::optional<std::string> FindDataFolder(const std::string& executableFolder);

// The demo: its configuration, its capture, and the shared folder that holds examples/.
struct DemoFiles {
  std::string folder;
  std::string config;
  std::string capture;
};
std::optional<DemoFiles> FindDemo(const std::string& executableFolder);

// Makes the description paths of the settings that are relative and name a file under
// base absolute (base joined with the path), so that a configuration written with paths
// relative to its own folder works from any current folder and keeps working once saved
// again. Absolute, empty and unresolvable paths are left as they are.
void AnchorDescriptionPaths(Settings& settings, const std::string& base);

}  // namespace velkor
