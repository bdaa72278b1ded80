#include "decoders/DescriptionDatabase.h"

#include <algorithm>
#include <filesystem>

#include "app/IniFile.h"

namespace velkor {

std::string DatabasePath(const std::string& descriptionPath, std::string_view file) {
  const std::filesystem::path named{std::string(file)};
  if (named.is_absolute()) return named.string();
  return (std::filesystem::path(descriptionPath).parent_path() / named).string();
}

bool LoadDescriptionDatabase(DescriptionFile& description, DatabaseFormat format,
                             std::initializer_list<std::string_view> frameFields, BusDatabase& out,
                             std::string& reason) {
  out.Clear();
  const std::string file(StripIni(description.ReadString("DATABASE", "File", "")));
  if (file.empty()) return true;
  if (!LoadBusDatabase(DatabasePath(description.Path(), file), file, format, out, reason)) return false;
  for (BusMessage& message : out.MutableMessages())
    for (BusSignal& signal : message.signals)
      if (std::find(frameFields.begin(), frameFields.end(), signal.name) != frameFields.end())
        signal.name = message.name + "." + signal.name;
  return true;
}

void AddSignalFieldNames(FieldNameLists& names, int channel, const BusDatabase& database) {
  std::vector<std::string_view> signalNames;
  for (const BusMessage& message : database.Messages())
    for (const BusSignal& signal : message.signals) signalNames.emplace_back(signal.name);
  names.AddMany(channel, signalNames);
}

}  // namespace velkor
