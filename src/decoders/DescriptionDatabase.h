#pragma once
// The bus database a CAN or LIN description may name: section [DATABASE], key File, a path
// taken relative to the description's own folder. A description without it decodes as if
// databases did not exist.

#include <initializer_list>
#include <string>
#include <string_view>

#include "database/DatabaseReaders.h"
#include "decoders/DescriptionFile.h"
#include "pipeline/FieldNames.h"

namespace velkor {

// The path of the database that `file` names, for a description at `descriptionPath`.
std::string DatabasePath(const std::string& descriptionPath, std::string_view file);

// Reads the database the description names into `out` (emptied when it names none). False
// when it cannot be read; `reason` is then the refusal text ("Line N of FILE: ...", FILE as
// the description writes it). A signal named like one of the decoder's own fields
// (`frameFields`) is shown as "Message.Signal", so that readers of the line (the Filter view,
// the exporters) never take it for the frame's own field.
[[nodiscard]] bool LoadDescriptionDatabase(DescriptionFile& description, DatabaseFormat format,
                                           std::initializer_list<std::string_view> frameFields, BusDatabase& out,
                                           std::string& reason);

// Offers the database's signal names to the Filter view's field list of the channel.
void AddSignalFieldNames(FieldNameLists& names, int channel, const BusDatabase& database);

}  // namespace velkor
