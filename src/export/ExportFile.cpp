#include "export/ExportFile.h"

#include <cstdio>
#include <filesystem>

namespace velkor {

namespace {

constexpr std::size_t kStopPollLines = 4096;

// A temporary file beside the target, renamed over it at Commit; removed on every failure.
// It can go back (fseek) for the formats that mend their header at the end.
class ReplacingFileSink : public ByteSink {
 public:
  explicit ReplacingFileSink(const std::string& path) : path_(path), temporary_(path + ".tmp") {
    file_ = std::fopen(temporary_.c_str(), "wb");
  }
  ~ReplacingFileSink() override {
    if (file_ != nullptr) std::fclose(file_);
    if (!committed_) {
      std::error_code ec;
      std::filesystem::remove(temporary_, ec);
    }
  }
  ReplacingFileSink(const ReplacingFileSink&) = delete;
  ReplacingFileSink& operator=(const ReplacingFileSink&) = delete;

  bool Opened() const { return file_ != nullptr; }
  bool Write(std::string_view bytes) override {
    return file_ != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
  }
  bool Rewrite(std::uint64_t offset, std::string_view bytes) override {
    if (file_ == nullptr || std::fflush(file_) != 0) return false;
    const long end = std::ftell(file_);
    if (end < 0 || std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return false;
    const bool ok = Write(bytes);
    return std::fseek(file_, end, SEEK_SET) == 0 && ok;
  }
  bool Commit() {
    if (file_ == nullptr) return false;
    bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0;
    ok = std::fclose(file_) == 0 && ok;
    file_ = nullptr;
    if (!ok) return false;
    std::error_code ec;
    std::filesystem::rename(temporary_, path_, ec);
    committed_ = !ec;
    return committed_;
  }

 private:
  std::string path_;
  std::string temporary_;
  std::FILE* file_ = nullptr;
  bool committed_ = false;
};

}  // namespace

ExportOutcome ExportLinesToFile(const std::string& path, const DecodedLineList& lines, bool selectedOnly,
                                ExportFormat format, const ExportContext& context, UserInterface& ui,
                                ExportCounts& counts) {
  ReplacingFileSink file(path);
  if (!file.Opened()) return ExportOutcome::Failed;
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
  if (!exporter->Finish() || !file.Commit()) return ExportOutcome::Failed;
  counts = exporter->Counts();
  return ExportOutcome::Written;
}

std::string ExportReport(ExportFormat format, const ExportCounts& counts) {
  switch (format) {
    case ExportFormat::Candump:
    case ExportFormat::Asc:
    case ExportFormat::Blf:
    case ExportFormat::PcapCan:
    case ExportFormat::PcapLin:
      break;
    default:
      return {};
  }
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
