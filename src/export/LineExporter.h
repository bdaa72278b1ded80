#pragma once
// Decoded lines out to the tools of the field. An exporter is a streaming sink of stored
// lines (the Windows-1252 text of the sink, with its frame tag): it keeps one buffer of
// output and no line, so a capture of any length is written in a few megabytes.
//
// Table formats take every line; bus logs take the CAN or LIN frame lines, write the error
// lines as the format's error records where it has them, and count the rest.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "views/DecodedLine.h"

namespace velkor {

// Where an exporter's bytes go: a file being saved, standard output, a string in tests.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  [[nodiscard]] virtual bool Write(std::string_view bytes) = 0;
  // Writes over bytes written before (a header whose sizes are known only at the end).
  // False when the sink cannot go back (a pipe): the format then keeps its first header.
  [[nodiscard]] virtual bool Rewrite(std::uint64_t /*offset*/, std::string_view /*bytes*/) { return false; }
};

class StringSink : public ByteSink {
 public:
  bool Write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  bool Rewrite(std::uint64_t offset, std::string_view bytes) override {
    if (offset + bytes.size() > text.size()) return false;
    text.replace(offset, bytes.size(), bytes);
    return true;
  }
  std::string text;
};

enum class ExportFormat : std::uint8_t {
  Text,      // the rendered lines, UTF-8, one a line (what Save writes)
  Raw,       // the stored lines unchanged
  Csv,
  JsonLines,
  Candump,   // can-utils log
  Asc,       // Vector ASCII log
  Blf,       // Vector binary log
  PcapCan,   // pcap, LINKTYPE_CAN_SOCKETCAN
  PcapLin,   // pcap, LINKTYPE_LIN
};

struct ExportFormatInfo {
  ExportFormat format;
  const char* name;         // the command-line name
  const char* description;  // for the save dialog's filter
  const char* extension;    // without the dot
};
// Every format, in the order the save dialog offers them.
const ExportFormatInfo (&ExportFormats())[9];
const ExportFormatInfo& FormatInfo(ExportFormat format);
// The logs of a bus (can-utils, Vector, pcap): frames only, with a count of what they left out.
bool IsBusLog(ExportFormat format);

struct ExportContext {
  std::string captions[4];  // channel captions at the time of the export
  // The wall-clock start of the run in microseconds since 1970 (UTC), known for live runs;
  // formats with a base time write it there, and absolute times count from it (else from 0).
  std::optional<std::int64_t> runStartMicros;
};

struct ExportCounts {
  std::uint64_t lines = 0;          // lines handed to the exporter
  std::uint64_t records = 0;        // frames or rows written
  std::uint64_t errorRecords = 0;   // error lines written as the format's error records
  std::uint64_t dropped = 0;        // lines of the format's bus that it cannot hold
  std::uint64_t otherLines = 0;     // lines of other buses or channel types, left out
};

class LineExporter {
 public:
  virtual ~LineExporter() = default;
  void Add(std::string_view line) { Add(line, FrameTag{}); }
  virtual void Add(std::string_view line, FrameTag tag) = 0;
  // Writes what the format keeps for the end and the rest of the buffer. False when a write
  // failed (then or earlier).
  [[nodiscard]] bool Finish();
  const ExportCounts& Counts() const { return counts_; }
  // Writes what is ready now (a live run's lines as they come).
  void Flush();

 protected:
  explicit LineExporter(ByteSink& sink) : sink_(sink) {}
  // The buffer is written to the sink when it passes this size.
  static constexpr std::size_t kFlushSize = 1 << 16;
  void FlushIfFull() {
    if (out_.size() >= kFlushSize) Flush();
  }
  virtual void WriteTrailer() {}
  // After the last bytes went out: headers to mend on a sink that can go back.
  virtual void Mend() {}
  bool Rewrite(std::uint64_t offset, std::string_view bytes) { return sink_.Rewrite(offset, bytes); }
  std::uint64_t Written() const { return written_ + out_.size(); }

  std::string out_;
  ExportCounts counts_;

 private:
  ByteSink& sink_;
  std::uint64_t written_ = 0;
  bool failed_ = false;
};

std::unique_ptr<LineExporter> MakeLineExporter(ExportFormat format, ByteSink& sink, const ExportContext& context);

// Appends `text` (Windows-1252) to out as UTF-8.
void AppendUtf8(std::string& out, std::string_view text);

}  // namespace velkor
