#include "export/ExportFile.h"

#include "app/SafeSave.h"

namespace velkor {

namespace {

constexpr std::size_t kStopPollLines = 4096;

// The safe save as an exporter's sink: it can go back, for the formats that mend their
// header at the end.
class SafeSaveSink : public ByteSink {
 public:
  explicit SafeSaveSink(const std::string& path) : file_(path) {}
  bool Write(std::string_view bytes) override {
    file_.Write(bytes);
    return !file_.Failed();
  }
  bool Rewrite(std::uint64_t offset, std::string_view bytes) override {
    file_.Rewrite(offset, bytes);
    return !file_.Failed();
  }
  bool Failed() const { return file_.Failed(); }
  [[nodiscard]] bool Commit() { return file_.Commit(); }

 private:
  SafeSave file_;
};

}  // namespace

ExportOutcome ExportLinesToFile(const std::string& path, const DecodedLineList& lines, bool selectedOnly,
                                ExportFormat format, const ExportContext& context, UserInterface& ui,
                                ExportCounts& counts) {
  SafeSaveSink file(path);
  if (file.Failed()) return ExportOutcome::Failed;
  auto exporter = MakeLineExporter(format, file, context);
  const std::size_t n = lines.size();
  const bool progress = n >= kExportProgressLines;
  if (progress) ui.ShowProgress("Export...");
  int shown = 0;
  bool stopped = false;
  for (std::size_t i = 0; i < n; ++i) {
    // Stop lets the interface run its events: the list may have lost lines meanwhile.
    if (i >= lines.size()) break;
    if (!selectedOnly || lines.Selected(i)) exporter->Add(lines.Line(i), lines.Tag(i));
    if (progress && (i + 1) % kStopPollLines == 0) {
      const int percent = static_cast<int>(i * 100 / n);
      if (percent != shown) ui.SetProgress(shown = percent);
      if (ui.StopRequested()) {
        stopped = true;
        break;
      }
    }
  }
  if (progress) ui.HideProgress();
  counts = exporter->Counts();
  if (stopped) return ExportOutcome::Stopped;
  if (!exporter->Finish() || file.Commit()) return ExportOutcome::Failed;
  counts = exporter->Counts();
  return ExportOutcome::Written;
}

std::string ExportReport(ExportFormat format, const ExportCounts& counts) {
  if (!IsBusLog(format)) return {};
  // A LIN frame with errors is a frame of the capture, its errors in its header.
  std::string text = format == ExportFormat::PcapLin
                         ? std::to_string(counts.records) + " frames written, " +
                               std::to_string(counts.errorRecords) + " of them with errors."
                         : std::to_string(counts.records) + " frames and " + std::to_string(counts.errorRecords) +
                               " error records written.";
  if (counts.dropped != 0)
    text += "\n" + std::to_string(counts.dropped) + " lines of the bus have no record in this format and were left out.";
  if (counts.otherLines != 0)
    text += "\n" + std::to_string(counts.otherLines) + " lines of other channels were left out.";
  return text;
}

}  // namespace velkor
