#include "export/LineExporter.h"

#include <array>

#include "app/Cp1252.h"
#include "export/Exporters.h"

namespace velkor {

const ExportFormatInfo (&ExportFormats())[9] {
  static const ExportFormatInfo kFormats[9] = {
      {ExportFormat::Text, "text", "Text files", "txt"},
      {ExportFormat::Raw, "raw", "Stored lines", "txt"},
      {ExportFormat::Csv, "csv", "CSV tables", "csv"},
      {ExportFormat::JsonLines, "jsonl", "JSON Lines", "jsonl"},
      {ExportFormat::Candump, "candump", "candump logs (CAN)", "log"},
      {ExportFormat::Asc, "asc", "Vector ASC logs (CAN)", "asc"},
      {ExportFormat::Blf, "blf", "Vector BLF logs (CAN)", "blf"},
      {ExportFormat::PcapCan, "pcap-can", "pcap captures (CAN)", "pcap"},
      {ExportFormat::PcapLin, "pcap-lin", "pcap captures (LIN)", "pcap"},
  };
  return kFormats;
}

const ExportFormatInfo& FormatInfo(ExportFormat format) {
  for (const ExportFormatInfo& info : ExportFormats())
    if (info.format == format) return info;
  return ExportFormats()[0];
}

bool IsBusLog(ExportFormat format) {
  return format != ExportFormat::Text && format != ExportFormat::Raw && format != ExportFormat::Csv &&
         format != ExportFormat::JsonLines;
}

bool LineExporter::Finish() {
  WriteTrailer();
  Flush();
  if (!failed_) Mend();
  return !failed_;
}

void LineExporter::Flush() {
  if (out_.empty()) return;
  if (!failed_ && !sink_.Write(out_)) failed_ = true;
  written_ += out_.size();
  out_.clear();
}

std::unique_ptr<LineExporter> MakeLineExporter(ExportFormat format, ByteSink& sink, const ExportContext& context) {
  switch (format) {
    case ExportFormat::Text:
    case ExportFormat::Raw:
    case ExportFormat::Csv:
    case ExportFormat::JsonLines:
      return exporters::MakeTable(format, sink, context);
    case ExportFormat::Candump:
    case ExportFormat::Asc:
    case ExportFormat::Blf:
      return exporters::MakeCanLog(format, sink, context);
    case ExportFormat::PcapCan:
    case ExportFormat::PcapLin:
      return exporters::MakePcap(format, sink, context);
  }
  return nullptr;
}

void AppendUtf8(std::string& out, std::string_view text) {
  // The UTF-8 bytes of 0x80..0xFF, worked out once: at most three each.
  struct Encoded {
    char bytes[3];
    std::uint8_t size;
  };
  static const std::array<Encoded, 128> kHigh = [] {
    std::array<Encoded, 128> table{};
    for (int c = 0x80; c < 0x100; ++c) {
      const std::string utf8 = Cp1252ToUtf8(std::string(1, static_cast<char>(c)));
      Encoded& e = table[c - 0x80];
      e.size = static_cast<std::uint8_t>(utf8.size());
      for (std::size_t i = 0; i < utf8.size() && i < 3; ++i) e.bytes[i] = utf8[i];
    }
    return table;
  }();
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) continue;
    out.append(text.data() + start, i - start);
    out.append(kHigh[c - 0x80].bytes, kHigh[c - 0x80].size);
    start = i + 1;
  }
  out.append(text.data() + start, text.size() - start);
}

}  // namespace velkor
