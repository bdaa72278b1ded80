// Any bytes as a configuration file. Loading an existing file either refuses it as no
// configuration, leaving the settings untouched, or loads it; saving the settings over it (keeping its unknown keys) and into a new file, then loading either
// again, must give back the same settings. The one exception is meant: with no port
// selected nothing is written for it, so a new file reads back with its default, COM1.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzSupport.h"
#include "app/ConfigFile.h"

using namespace velkor;
using namespace velkor::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = WriteScratchFile("input.cfg", {reinterpret_cast<const char*>(data), size});
  Settings loaded;
  ConfigRefusal refusal = ConfigRefusal::None;
  if (LoadConfigFile(path, loaded, &refusal)) {
    if (refusal != ConfigRefusal::NotAConfiguration) Fail("an existing file was refused as missing");
    if (!(loaded == Settings{})) Fail("a refused file changed the settings");
    return 0;
  }

  const std::string fresh = ScratchFolder() + "/fresh.cfg";
  std::remove(fresh.c_str());
  for (const std::string& target : {path, fresh}) {
    if (SaveConfigFile(target, loaded)) Fail("the settings could not be saved to " + target);
    Settings reloaded;
    if (LoadConfigFile(target, reloaded)) Fail("a saved file was refused");
    Settings expected = loaded;
    if (target == fresh && expected.port == 0) expected.port = 1;
    if (!(reloaded == expected)) Fail("a save and a reload changed the settings (" + target + ")");
  }
  return 0;
}
