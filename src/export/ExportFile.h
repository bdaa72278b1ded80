#pragma once
// The export command of the line views: the lines of a list, all or the selected ones, to
// a file in one of the export formats, with the progress window for long lists.

#include <string>

#include "export/LineExporter.h"
#include "pipeline/UserInterface.h"
#include "views/DecodedLine.h"

namespace velkor {

enum class ExportOutcome { Written, Stopped, Failed };

// Lines from which the progress window is shown (and Stop offered).
inline constexpr std::size_t kExportProgressLines = 100000;

// Writes the lines through the safe save, so a failure or a Stop leaves the file as it was. The lines are those of
// the list when the export starts (a run may append more meanwhile). `counts` tells what the
// format took and left out.
[[nodiscard]] ExportOutcome ExportLinesToFile(const std::string& path, const DecodedLineList& lines,
                                              bool selectedOnly, ExportFormat format, const ExportContext& context,
                                              UserInterface& ui, ExportCounts& counts);

// The message for a bus log that left lines out, or an empty text.
std::string ExportReport(ExportFormat format, const ExportCounts& counts);

}  // namespace velkor
