// CAN frame lines as the logs of the CAN tools: candump's log, Vector's ASC and BLF.
// Channels are numbered 1 to 4 in all three, as the user sees them.

#include <zlib.h>

#include <charconv>
#include <cstdio>
#include <ctime>

#include "export/Exporters.h"

namespace velkor::exporters {

namespace {

constexpr std::uint32_t kCanErrorFlag = 0x20000000;  // SocketCAN: an error frame
constexpr std::uint32_t kCanErrorBus = 0x00000080;   // its class: a bus error (bit, stuff, form)

// Base and date as whole seconds and microseconds since 1970.
struct WallTime {
  std::uint64_t seconds;
  std::uint32_t micros;
};
WallTime AtDate(const ExportContext& context, std::uint64_t micros) {
  const std::uint64_t total = static_cast<std::uint64_t>(context.runStartMicros.value_or(0)) + micros;
  return {total / 1000000, static_cast<std::uint32_t>(total % 1000000)};
}

void AppendDigits(std::string& out, std::uint64_t value, int width) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  for (int pad = width - static_cast<int>(result.ptr - digits); pad > 0; --pad) out += '0';
  out.append(digits, result.ptr);
}

void AppendHex(std::string& out, std::uint32_t value, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHexDigits[(value >> shift) & 0xF];
}

class CanLogExporter : public LineExporter {
 public:
  CanLogExporter(ByteSink& sink, const ExportContext& context) : LineExporter(sink), context_(context) {}

  void Add(std::string_view line, FrameTag tag) override {
    ++counts_.lines;
    CanFrame frame;
    switch (ReadCanLine(line, tag, frame)) {
      case BusLine::Other:
        ++counts_.otherLines;
        return;
      case BusLine::Frame:
        ++counts_.records;
        WriteFrame(frame);
        break;
      case BusLine::Error:
        ++counts_.errorRecords;
        WriteError(frame);
        break;
    }
    FlushIfFull();
  }

 protected:
  virtual void WriteFrame(const CanFrame& frame) = 0;
  virtual void WriteError(const CanFrame& frame) = 0;
  const ExportContext context_;
};

// "(1700000000.123456) velkor1 12A#0001": the stamp is the wall clock of a live run, else
// the time from the start of the run. Error lines become SocketCAN error frames (bus error).
class CandumpExporter : public CanLogExporter {
 public:
  using CanLogExporter::CanLogExporter;

 private:
  void Prefix(const CanFrame& frame) {
    const WallTime t = AtDate(context_, frame.micros);
    out_ += '(';
    AppendDigits(out_, t.seconds, 1);
    out_ += '.';
    AppendDigits(out_, t.micros, 6);
    out_ += ") velkor";
    out_ += static_cast<char>('1' + frame.channel);
    out_ += ' ';
  }
  void WriteFrame(const CanFrame& frame) override {
    Prefix(frame);
    AppendHex(out_, frame.id, frame.extended ? 8 : 3);
    out_ += '#';
    if (frame.remote) {
      out_ += 'R';
      // can-utils reads one DLC digit after R, for the lengths a classic frame carries.
      if (frame.dlc >= 1 && frame.dlc <= 8) out_ += static_cast<char>('0' + frame.dlc);
    } else {
      for (int i = 0; i < frame.size; ++i) AppendHex(out_, frame.data[i], 2);
    }
    out_ += '\n';
  }
  void WriteError(const CanFrame& frame) override {
    Prefix(frame);
    AppendHex(out_, kCanErrorFlag | kCanErrorBus, 8);
    out_ += "#0000000000000000\n";
  }
};

// The date line of ASC: "Thu Jan 1 12:00:00.000 am 1970", in local time as Vector writes it.
std::string AscDate(const ExportContext& context) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const WallTime t = AtDate(context, 0);
  const std::time_t seconds = static_cast<std::time_t>(t.seconds);
  std::tm local{};
  if (context.runStartMicros)
    localtime_r(&seconds, &local);
  else
    gmtime_r(&seconds, &local);  // no wall clock: the epoch itself, wherever the file is read
  const int hour12 = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %d %02d:%02d:%02d.%03u %s %d", kDays[local.tm_wday], kMonths[local.tm_mon],
                local.tm_mday, hour12, local.tm_min, local.tm_sec, t.micros / 1000, local.tm_hour < 12 ? "am" : "pm",
                local.tm_year + 1900);
  return text;
}

// Vector ASC, hexadecimal, times in seconds from the start of the measurement (the run).
class AscExporter : public CanLogExporter {
 public:
  AscExporter(ByteSink& sink, const ExportContext& context) : CanLogExporter(sink, context) {
    const std::string date = AscDate(context);
    out_ += "date " + date + "\n";
    out_ += "base hex  timestamps absolute\n";
    out_ += "no internal events logged\n";
    out_ += "// version 7.0.0\n";
    out_ += "Begin Triggerblock " + date + "\n";
    out_ += "   0.000000 Start of measurement\n";
  }

 private:
  void Time(const CanFrame& frame) {
    char text[32];
    std::snprintf(text, sizeof text, "%4llu.%06llu ", static_cast<unsigned long long>(frame.micros / 1000000),
                  static_cast<unsigned long long>(frame.micros % 1000000));
    out_ += text;
    out_ += static_cast<char>('1' + frame.channel);
    out_ += "  ";
  }
  void WriteFrame(const CanFrame& frame) override {
    Time(frame);
    std::string id;
    if (frame.extended) {
      AppendHex(id, frame.id, 8);
      id += 'x';
    } else {
      AppendHex(id, frame.id, 3);
    }
    id.resize(std::max<std::size_t>(id.size(), 15), ' ');
    out_ += id;
    out_ += " Rx   ";
    out_ += frame.remote ? "r " : "d ";
    out_ += kHexDigits[frame.dlc];
    for (int i = 0; i < frame.size; ++i) {
      out_ += ' ';
      AppendHex(out_, frame.data[i], 2);
    }
    out_ += '\n';
  }
  void WriteError(const CanFrame& frame) override {
    Time(frame);
    out_ += "ErrorFrame\n";
  }
  void WriteTrailer() override { out_ += "End TriggerBlock\n"; }
};

// Vector BLF: a file header, then LOG_CONTAINER objects whose zlib-compressed contents are
// the CAN_MESSAGE and CAN_ERROR_EXT objects. The header's sizes, object count and stop time
// are known at the end; on a sink that cannot go back they stay as first written (readers
// take the objects up to the end of the file).
class BlfExporter : public CanLogExporter {
 public:
  BlfExporter(ByteSink& sink, const ExportContext& context) : CanLogExporter(sink, context) {
    out_ += Header(0, 0);
  }

 private:
  static constexpr std::uint32_t kHeaderSize = 144;
  static constexpr std::uint32_t kObjectHeaderSize = 32;  // base header and version 1 header
  static constexpr std::size_t kContainerData = 128 * 1024;
  static constexpr std::uint32_t kCanMessage = 1;
  static constexpr std::uint32_t kLogContainer = 10;
  static constexpr std::uint32_t kCanErrorExt = 73;
  static constexpr std::uint32_t kTimeOneNans = 2;

  // Windows SYSTEMTIME of the run's start plus `micros`, local time; zeros when the run
  // has no wall clock (readers then give times from the start of the run).
  void PutSystemTime(std::string& out, std::uint64_t micros) const {
    if (!context_.runStartMicros) {
      PutLe(out, 0, 16);
      return;
    }
    const WallTime t = AtDate(context_, micros);
    const std::time_t seconds = static_cast<std::time_t>(t.seconds);
    std::tm local{};
    localtime_r(&seconds, &local);
    for (int v : {local.tm_year + 1900, local.tm_mon + 1, local.tm_wday, local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(t.micros / 1000)})
      PutLe(out, static_cast<std::uint64_t>(v), 2);
  }

  std::string Header(std::uint64_t fileSize, std::uint64_t uncompressed) const {
    std::string h = "LOGG";
    PutLe(h, kHeaderSize, 4);
    h += std::string("\x00\x00\x00\x00\x02\x06\x08\x01", 8);  // application 0; log format 2.6.8.1
    PutLe(h, fileSize, 8);
    PutLe(h, uncompressed, 8);
    PutLe(h, objects_, 4);
    PutLe(h, 0, 4);
    PutSystemTime(h, 0);
    PutSystemTime(h, lastMicros_);
    h.resize(kHeaderSize, '\0');
    return h;
  }

  void ObjectHeader(std::uint32_t type, std::uint32_t bodySize, std::uint64_t micros) {
    block_ += "LOBJ";
    PutLe(block_, kObjectHeaderSize, 2);
    PutLe(block_, 1, 2);
    PutLe(block_, kObjectHeaderSize + bodySize, 4);
    PutLe(block_, type, 4);
    PutLe(block_, kTimeOneNans, 4);
    PutLe(block_, 0, 2);  // client index
    PutLe(block_, 0, 2);  // object version
    PutLe(block_, micros * 1000, 8);
    ++objects_;
    lastMicros_ = std::max(lastMicros_, micros);
  }

  void WriteFrame(const CanFrame& frame) override {
    ObjectHeader(kCanMessage, 16, frame.micros);
    PutLe(block_, static_cast<std::uint64_t>(frame.channel + 1), 2);
    block_ += static_cast<char>(frame.remote ? 0x80 : 0x00);  // received; remote flag
    block_ += static_cast<char>(frame.dlc);
    PutLe(block_, frame.id | (frame.extended ? 0x80000000u : 0u), 4);
    block_.append(reinterpret_cast<const char*>(frame.data.data()), 8);
    if (block_.size() >= kContainerData) Compress();
  }

  void WriteError(const CanFrame& frame) override {
    ObjectHeader(kCanErrorExt, 32, frame.micros);
    PutLe(block_, static_cast<std::uint64_t>(frame.channel + 1), 2);
    PutLe(block_, 0, 30);  // length, flags, ecc, position, dlc, frame length, id, data
    if (block_.size() >= kContainerData) Compress();
  }

  // Objects may run across containers, as in the files of other writers.
  void Compress() {
    if (block_.empty()) return;
    const std::size_t take = std::min(block_.size(), kContainerData);
    uLongf packedSize = compressBound(static_cast<uLong>(take));
    packed_.resize(packedSize);
    if (compress2(reinterpret_cast<Bytef*>(packed_.data()), &packedSize, reinterpret_cast<const Bytef*>(block_.data()),
                  static_cast<uLong>(take), Z_DEFAULT_COMPRESSION) != Z_OK) {
      packedSize = 0;  // cannot happen with a buffer of compressBound; stored below instead
    }
    const bool stored = packedSize == 0;
    const std::uint32_t bodySize = 16 + static_cast<std::uint32_t>(stored ? take : packedSize);
    const std::uint32_t objectSize = 16 + bodySize;
    out_ += "LOBJ";
    PutLe(out_, 16, 2);
    PutLe(out_, 1, 2);
    PutLe(out_, objectSize, 4);
    PutLe(out_, kLogContainer, 4);
    PutLe(out_, stored ? 0 : 2, 2);  // compression: none or zlib deflate
    PutLe(out_, 0, 6);
    PutLe(out_, take, 4);
    PutLe(out_, 0, 4);
    if (stored)
      out_.append(block_, 0, take);
    else
      out_.append(packed_.data(), packedSize);
    out_.append(objectSize % 4, '\0');
    uncompressed_ += 32 + take;
    block_.erase(0, take);
    FlushIfFull();
  }

  void WriteTrailer() override {
    while (!block_.empty()) Compress();
  }

  void Mend() override {
    (void)Rewrite(0, Header(Written(), kHeaderSize + uncompressed_));
  }

  std::string block_;   // objects not yet in a container
  std::string packed_;
  std::uint32_t objects_ = 0;
  std::uint64_t uncompressed_ = 0;
  std::uint64_t lastMicros_ = 0;
};

}  // namespace

std::unique_ptr<LineExporter> MakeCanLog(ExportFormat format, ByteSink& sink, const ExportContext& context) {
  switch (format) {
    case ExportFormat::Candump:
      return std::make_unique<CandumpExporter>(sink, context);
    case ExportFormat::Asc:
      return std::make_unique<AscExporter>(sink, context);
    case ExportFormat::Blf:
      return std::make_unique<BlfExporter>(sink, context);
    default:
      return nullptr;
  }
}

}  // namespace velkor::exporters
