#include "capture/CaptureWriter.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <unistd.h>

#include "app/Cp1252.h"
#include "app/IniFile.h"
#include "app/SafeSave.h"

namespace velkor {

namespace {

constexpr std::size_t kBlock = 1 << 16;

// Pulls samples from the source a block at a time; false at its end.
class Blocks {
 public:
  explicit Blocks(SampleSource& source) : source_(source), buffer_(kBlock) {}
  bool Next(const std::uint8_t*& samples, std::size_t& count) {
    if (ended_) return false;
    count = source_.Read(buffer_.data(), kBlock);
    if (count < kBlock) ended_ = true;
    for (std::size_t i = 0; i < count; ++i) buffer_[i] &= 0x0F;
    samples = buffer_.data();
    return count > 0;
  }

 private:
  SampleSource& source_;
  std::vector<std::uint8_t> buffer_;
  bool ended_ = false;
};

std::string Utf8Name(const std::string& name) { return Cp1252ToUtf8(name); }

// ---- *.bin and CSV -------------------------------------------------------------------

void WriteBin(SampleSource& source, SafeSave& out) {
  Blocks blocks(source);
  const std::uint8_t* samples = nullptr;
  std::size_t count = 0;
  while (blocks.Next(samples, count)) out.Write({reinterpret_cast<const char*>(samples), count});
}

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos && !text.empty()) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

// One row a sample with its time: spreadsheets read it as it is, and viewers that count rows
// as samples (sigrok's CSV input) find the rate from the time column.
void WriteCsv(SampleSource& source, const CaptureNames& names, SafeSave& out) {
  std::string text = "Time [s]";
  for (const std::string& name : names) text += "," + CsvField(Utf8Name(name));
  text += "\n";
  Blocks blocks(source);
  const std::uint8_t* samples = nullptr;
  std::size_t count = 0;
  std::uint64_t n = 0;
  char row[64];
  while (blocks.Next(samples, count)) {
    for (std::size_t i = 0; i < count; ++i, ++n) {
      // n x 2.4 us, exactly, in steps of 100 ns.
      const std::uint64_t steps = 24 * n;
      const std::uint8_t s = samples[i];
      const int length = std::snprintf(row, sizeof row, "%llu.%07llu,%c,%c,%c,%c\n",
                                       static_cast<unsigned long long>(steps / 10000000),
                                       static_cast<unsigned long long>(steps % 10000000), '0' + (s & 1),
                                       '0' + ((s >> 1) & 1), '0' + ((s >> 2) & 1), '0' + ((s >> 3) & 1));
      text.append(row, static_cast<std::size_t>(length));
    }
    out.Write(text);
    text.clear();
  }
  out.Write(text);
}

// ---- value change dump ----------------------------------------------------------------

std::string VcdName(const std::string& name, int channel) {
  std::string text = Utf8Name(name);
  for (char& c : text)
    if (static_cast<unsigned char>(c) <= ' ') c = '_';
  return text.empty() ? "channel" + std::to_string(channel + 1) : text;
}

void WriteVcd(SampleSource& source, const CaptureNames& names, SafeSave& out) {
  static constexpr char kIds[] = "!\"#$";
  std::string text =
      "$version Velkor $end\n$comment Kivo module capture, one sample every 2.4 us $end\n"
      "$timescale 100 ns $end\n$scope module velkor $end\n";
  for (int i = 0; i < kChannelCount; ++i)
    text += std::string("$var wire 1 ") + kIds[i] + " " + VcdName(names[i], i) + " $end\n";
  text += "$upscope $end\n$enddefinitions $end\n";
  Blocks blocks(source);
  const std::uint8_t* samples = nullptr;
  std::size_t count = 0;
  std::uint64_t n = 0;
  int last = -1;
  while (blocks.Next(samples, count)) {
    for (std::size_t i = 0; i < count; ++i, ++n) {
      const int s = samples[i];
      if (s == last) continue;
      text += "#" + std::to_string(24 * n) + "\n";
      if (last < 0) text += "$dumpvars\n";
      for (int c = 0; c < kChannelCount; ++c) {
        const int bit = (s >> c) & 1;
        if (last < 0 || ((last >> c) & 1) != bit) {
          text += static_cast<char>('0' + bit);
          text += kIds[c];
          text += '\n';
        }
      }
      if (last < 0) text += "$end\n";
      last = s;
    }
    out.Write(text);
    text.clear();
  }
  // The last time stamp marks the end of the capture.
  text += "#" + std::to_string(24 * n) + "\n";
  out.Write(text);
}

// ---- sigrok session -------------------------------------------------------------------

// The logic data is cut in chunks of 4 MiB, as sigrok cuts it: readers inflate a chunk that
// size whole, much faster than a stream.
constexpr std::uint64_t kChunkSamples = 4 << 20;

// libzip pulls the logic data of each chunk from the source while it writes the archive (the
// chunks in turn, each up to its `left` samples).
struct LogicData {
  SampleSource* source;
  zip_error_t error;
};
struct LogicChunk {
  LogicData* logic;
  std::uint64_t left;
};

zip_int64_t PullLogic(void* user, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  auto* chunk = static_cast<LogicChunk*>(user);
  LogicData* logic = chunk->logic;
  switch (command) {
    case ZIP_SOURCE_OPEN:
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
      return 0;
    case ZIP_SOURCE_READ: {
      auto* samples = static_cast<std::uint8_t*>(data);
      const std::size_t n = logic->source->Read(samples, static_cast<std::size_t>(std::min(length, chunk->left)));
      chunk->left -= n;
      if (!logic->source->Failure().empty()) {
        zip_error_set(&logic->error, ZIP_ER_READ, 0);
        return -1;
      }
      for (std::size_t i = 0; i < n; ++i) samples[i] &= 0x0F;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_STAT: {
      auto* stat = static_cast<zip_stat_t*>(data);
      zip_stat_init(stat);
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&logic->error, data, length);
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      zip_error_set(&logic->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

std::string SigrokMetadata(const CaptureNames& names) {
  IniDocument ini;
  ini.WriteString("global", "sigrok version", "0.5.2");
  const std::string device = "device 1";
  ini.WriteString(device, "capturefile", "logic-1");
  ini.WriteInteger(device, "total probes", kChannelCount);
  // The nearest whole number of hertz to the grid's 416666.67.
  ini.WriteString(device, "samplerate", "416.667 kHz");
  ini.WriteInteger(device, "total analog", 0);
  for (int i = 0; i < kChannelCount; ++i)
    ini.WriteString(device, "probe" + std::to_string(i + 1), Utf8Name(names[i].empty() ? "Cha" + std::to_string(i + 1) : names[i]));
  ini.WriteInteger(device, "unitsize", 1);
  return ini.Serialize();
}

// The archive is made by libzip in a temporary file of its own, then copied into the output.
bool WriteSigrok(SampleSource& source, const CaptureNames& names, SafeSave& out, std::string& error) {
  const char* folder = std::getenv("TMPDIR");
  std::string scratch = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/velkor-sr-XXXXXX";
  const int fd = mkstemp(scratch.data());
  if (fd < 0) {
    error = "no temporary file for the archive";
    return true;
  }
  close(fd);
  struct Remove {
    std::string path;
    ~Remove() { std::remove(path.c_str()); }
  } removeScratch{scratch};

  int code = 0;
  zip_t* zip = zip_open(scratch.c_str(), ZIP_TRUNCATE, &code);
  if (zip == nullptr) {
    error = "the archive cannot be made";
    return true;
  }
  const std::string version = "2";
  const std::string metadata = SigrokMetadata(names);
  LogicData logic{&source, {}};
  zip_error_init(&logic.error);
  bool failed = false;
  for (const auto& [name, text] : {std::pair<const char*, const std::string*>{"version", &version}, {"metadata", &metadata}}) {
    zip_source_t* entry = zip_source_buffer(zip, text->data(), text->size(), 0);
    failed |= entry == nullptr || zip_file_add(zip, name, entry, 0) < 0;
  }
  // A source of unknown length goes into one chunk; the last chunk takes whatever is left.
  const std::optional<std::uint64_t> expected = source.ExpectedSamples();
  const std::uint64_t chunkCount = expected ? std::max<std::uint64_t>(1, (*expected + kChunkSamples - 1) / kChunkSamples) : 1;
  std::vector<LogicChunk> chunks(chunkCount, LogicChunk{&logic, kChunkSamples});
  chunks.back().left = std::numeric_limits<std::uint64_t>::max();
  for (std::uint64_t k = 0; k < chunkCount && !failed; ++k) {
    zip_source_t* data = zip_source_function(zip, PullLogic, &chunks[k]);
    const bool added = data != nullptr && zip_file_add(zip, ("logic-1-" + std::to_string(k + 1)).c_str(), data, 0) >= 0;
    if (!added && data != nullptr) zip_source_free(data);
    failed |= !added;
  }
  if (failed || zip_close(zip) != 0) {
    if (source.Failure().empty()) error = std::string("the archive cannot be written (") + zip_strerror(zip) + ")";
    zip_discard(zip);
    zip_error_fini(&logic.error);
    return true;
  }
  zip_error_fini(&logic.error);

  std::FILE* made = std::fopen(scratch.c_str(), "rb");
  if (made == nullptr) {
    error = "the archive made cannot be read back";
    return true;
  }
  std::vector<char> buffer(kBlock);
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), made)) > 0) out.Write({buffer.data(), n});
  std::fclose(made);
  return false;
}

}  // namespace

bool CaptureFormatOfName(const std::string& path, CaptureFormat& format) {
  const std::size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return false;
  const std::string_view extension = std::string_view(path).substr(dot + 1);
  if (EqualsNoCase(extension, "bin")) format = CaptureFormat::Bin;
  else if (EqualsNoCase(extension, "sr")) format = CaptureFormat::Sigrok;
  else if (EqualsNoCase(extension, "vcd")) format = CaptureFormat::Vcd;
  else if (EqualsNoCase(extension, "csv")) format = CaptureFormat::Csv;
  else return false;
  return true;
}

bool WriteCapture(SampleSource& source, const std::string& path, CaptureFormat format, const CaptureNames& names,
                  std::string& error) {
  SafeSave out(path);
  if (out.Failed()) {
    error = path + ": cannot be written";
    return true;
  }
  std::string what;
  switch (format) {
    case CaptureFormat::Bin:
      WriteBin(source, out);
      break;
    case CaptureFormat::Csv:
      WriteCsv(source, names, out);
      break;
    case CaptureFormat::Vcd:
      WriteVcd(source, names, out);
      break;
    case CaptureFormat::Sigrok:
      if (WriteSigrok(source, names, out, what)) {
        if (source.Failure().empty()) error = path + ": " + what;
        else error = source.Failure();
        return true;
      }
      break;
  }
  if (!source.Failure().empty()) {
    error = source.Failure();
    return true;
  }
  if (out.Commit()) {
    error = path + ": cannot be written";
    return true;
  }
  return false;
}

}  // namespace velkor
