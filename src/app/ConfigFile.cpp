#include "app/ConfigFile.h"

#include <filesystem>

#include "app/IniFile.h"

namespace velkor {

// Interim reader of the channel keys only; the full file format follows.
bool LoadConfigFile(const std::string& path, Settings& settings) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return true;
  IniDocument ini;
  if (!ini.LoadFile(path)) return true;
  for (int n = 1; n <= kChannelCount; ++n) {
    const std::string section = "CHANNEL" + std::to_string(n);
    ChannelSettings& ch = settings.channels[n - 1];
    ch.type = static_cast<ChannelType>(ini.ReadInteger(section, "Type", -1));
    ch.caption = ini.ReadString(section, "Caption", "Cha" + std::to_string(n));
    ch.active = ini.ReadBool(section, "Activation", false);
    ch.generation = ini.ReadBool(section, "LOGICAL_Generation", false);
    ch.manchesterFiles.clear();
    for (int i = 0; i < kMaxManchesterFiles; ++i) {
      std::string v = ini.ReadString(section, "MANCHESTER_fd" + std::to_string(i), "");
      if (v.size() > 4) ch.manchesterFiles.push_back({v.substr(3, 512), v[1] == 'X'});
    }
    ch.canFile = ini.ReadString(section, "CAN_File", "");
    ch.serialFile = ini.ReadString(section, "SERIAL_File", "");
    ch.linFile = ini.ReadString(section, "LIN_File", "");
  }
  return false;
}

bool SaveConfigFile(const std::string&, const Settings&) { return true; }

}  // namespace velkor
