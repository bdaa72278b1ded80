// sigrok sessions (*.sr): a zip archive with a "metadata" INI text (sample rate, unit size,
// channel names, the name of the logic data) and the logic data in chunks "<name>-1",
// "<name>-2"... of units of `unitsize` bytes, bit k of a unit (little-endian) being channel
// k+1. The archive is read through libzip, one chunk at a time. sigrok writes chunks of 4 MiB:
// a chunk of up to 8 MiB is read whole and, deflated, inflated by libdeflate (several times
// faster than zlib's streaming inflate, which is slower than the whole decoding of the
// samples); a larger one is streamed through libzip.

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "app/Cp1252.h"
#include "app/FilePath.h"
#include "app/IniFile.h"
#include "capture/Readers.h"

namespace velkor::capture {

namespace {

constexpr std::size_t kBufferUnits = 1 << 16;
constexpr std::uint64_t kMaxMetadata = 1 << 20;
// The largest chunk read whole: twice sigrok's own, and the memory it takes.
constexpr std::uint64_t kMaxWholeChunk = 8 << 20;

std::string ZipErrorText(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = zip_error_strerror(&error);
  zip_error_fini(&error);
  return text;
}

class SigrokReader final : public CaptureReader {
 public:
  SigrokReader(const std::string& path, zip_t* zip) : CaptureReader(CaptureFormat::Sigrok, path), zip_(zip) {}
  ~SigrokReader() override {
    if (file_ != nullptr) zip_fclose(file_);
    if (inflater_ != nullptr) libdeflate_free_decompressor(inflater_);
    zip_discard(zip_);
  }
  SigrokReader(const SigrokReader&) = delete;
  SigrokReader& operator=(const SigrokReader&) = delete;

  // Reads the metadata and finds the chunks. Returns false with `error` set.
  bool Open(std::string& error);

  std::size_t Read(std::uint8_t* samples, std::size_t count) override;
  std::optional<std::uint64_t> ExpectedSamples() const override {
    return clock_.FirstTickAtOrAfter(totalBytes_ / unitSize_);
  }

 private:
  struct Chunk {
    std::string name;
    zip_uint64_t index = 0;
    // Read whole: deflated or stored, not encrypted, of known sizes and CRC, small enough.
    bool whole = false;
    bool stored = false;
    std::uint64_t size = 0;
    std::uint64_t packedSize = 0;
    std::uint32_t crc = 0;
  };

  // Reads the next units into the buffer; false at the end of the data or on a failure.
  bool Refill();
  // Reads (and inflates) a chunk whole into `whole_`; false, with the failure set, if it is damaged.
  bool ReadWhole(const Chunk& chunk);
  void MakeTables();

  zip_t* zip_;
  std::vector<Chunk> chunks_;
  std::uint64_t totalBytes_ = 0;
  std::size_t unitSize_ = 1;
  TickClock clock_{1, 1};

  std::size_t chunk_ = 0;
  zip_file_t* file_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  std::vector<std::uint8_t> packed_;
  std::vector<std::uint8_t> whole_;
  libdeflate_decompressor* inflater_ = nullptr;
  // The units being given: in `buffer_` or in `whole_`.
  const std::uint8_t* data_ = nullptr;
  std::uint64_t bufferFirstUnit_ = 0;
  std::uint64_t bufferUnits_ = 0;
  // The unit of the next tick: nextUnit_ + frac_ / clock numerator.
  std::uint64_t nextUnit_ = 0;
  std::uint64_t frac_ = 0;
  bool started_ = false;
  bool ended_ = false;
  bool partialUnit_ = false;
  // The decoding channels' bits from each byte of a unit that holds a mapped channel.
  std::vector<std::size_t> usedBytes_;
  std::vector<std::array<std::uint8_t, 256>> tables_;
  // Set when a one-byte unit's table keeps bits in place: the table is `b & mask_`.
  std::optional<std::uint8_t> mask_;
};

bool SigrokReader::Open(std::string& error) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat(zip_, "metadata", 0, &stat) != 0) {
    error = "has no metadata: it is not a sigrok session";
    return false;
  }
  if ((stat.valid & ZIP_STAT_SIZE) == 0 || stat.size > kMaxMetadata) {
    error = "its metadata is not a short text";
    return false;
  }
  std::string text(static_cast<std::size_t>(stat.size), '\0');
  zip_file_t* meta = zip_fopen(zip_, "metadata", 0);
  const zip_int64_t got = meta != nullptr ? zip_fread(meta, text.data(), text.size()) : -1;
  if (meta != nullptr) zip_fclose(meta);
  if (got != static_cast<zip_int64_t>(text.size())) {
    error = "its metadata cannot be read";
    return false;
  }

  IniDocument ini;
  ini.Parse(text);
  const IniDocument::Section* device = nullptr;
  for (const auto& section : ini.Sections()) {
    if (section.name.size() > 7 && EqualsNoCase(std::string_view(section.name).substr(0, 7), "device ") &&
        ini.Find(section.name, "capturefile") != nullptr) {
      device = &section;
      break;
    }
  }
  if (device == nullptr) {
    error = "its metadata names no capturefile (no logic data)";
    return false;
  }
  const std::string& name = device->name;
  const std::string unit = ini.ReadString(name, "unitsize", "");
  const std::int32_t unitSize = ini.ReadInteger(name, "unitsize", 0);
  if (unit.empty()) {
    error = "its metadata gives no unitsize";
    return false;
  }
  if (unitSize < 1 || unitSize > 8) {
    error = "unknown unitsize " + unit + " (1 to 8 bytes a sample are read)";
    return false;
  }
  unitSize_ = static_cast<std::size_t>(unitSize);
  const std::string rateText = ini.ReadString(name, "samplerate", "");
  const std::uint64_t rate = ParseSampleRate(rateText);
  if (rate == 0) {
    error = rateText.empty() ? "its metadata gives no samplerate" : "unreadable samplerate '" + rateText + "'";
    return false;
  }
  clock_ = TickClock::ForRate(rate);
  if (clock_.CoarserThanGrid()) warnings_.push_back(SlowSourceWarning(Path(), 1, rate));

  // Channels: "total probes" of them, probe<k> naming channel k (bit k-1).
  std::int32_t total = ini.ReadInteger(name, "total probes", 0);
  for (const auto& [key, value] : device->entries) {
    if (key.size() > 5 && EqualsNoCase(std::string_view(key).substr(0, 5), "probe")) {
      const auto k = ParseIniInteger(std::string_view(key).substr(5));
      if (k && *k > 0 && *k <= 64) total = std::max(total, *k);
    }
  }
  if (total <= 0) {
    error = "its metadata names no logic channels";
    return false;
  }
  if (static_cast<std::size_t>(total) > 8 * unitSize_) {
    error = std::to_string(total) + " channels do not fit a unitsize of " + unit;
    return false;
  }
  names_.assign(static_cast<std::size_t>(total), std::string());
  for (std::int32_t k = 1; k <= total; ++k) names_[k - 1] = Utf8ToCp1252(ini.ReadString(name, "probe" + std::to_string(k), ""));
  map_ = DefaultChannelMap(names_.size());

  // The chunks "<capturefile>-1", "-2"... up to the first missing; an older session keeps its
  // logic data whole under the capturefile's own name.
  const std::string capture = ini.ReadString(name, "capturefile", "");
  auto add = [&](const std::string& chunk) {
    const zip_int64_t index = zip_name_locate(zip_, chunk.c_str(), 0);
    if (index < 0) return false;
    chunks_.push_back({chunk, static_cast<zip_uint64_t>(index)});
    return true;
  };
  for (int k = 1; add(capture + "-" + std::to_string(k)); ++k) {
  }
  if (chunks_.empty()) add(capture);
  constexpr zip_uint64_t kKnown = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC |
                                  ZIP_STAT_ENCRYPTION_METHOD;
  for (Chunk& chunk : chunks_) {
    zip_stat_init(&stat);
    if (zip_stat_index(zip_, chunk.index, 0, &stat) != 0) continue;
    if ((stat.valid & ZIP_STAT_SIZE) != 0) totalBytes_ += stat.size;
    chunk.whole = (stat.valid & kKnown) == kKnown &&
                  (stat.comp_method == ZIP_CM_DEFLATE || stat.comp_method == ZIP_CM_STORE) &&
                  stat.encryption_method == ZIP_EM_NONE && stat.size <= kMaxWholeChunk &&
                  stat.comp_size <= kMaxWholeChunk && stat.size % unitSize_ == 0 &&
                  (stat.comp_method == ZIP_CM_DEFLATE || stat.comp_size == stat.size);
    chunk.size = stat.size;
    chunk.packedSize = stat.comp_size;
    chunk.stored = stat.comp_method == ZIP_CM_STORE;
    chunk.crc = stat.crc;
  }
  return true;
}

void SigrokReader::MakeTables() {
  for (std::size_t byte = 0; byte < unitSize_; ++byte) {
    std::array<std::uint8_t, 256> table{};
    bool used = false;
    for (int i = 0; i < kChannelCount; ++i)
      used |= map_[i] >= 0 && static_cast<std::size_t>(map_[i]) / 8 == byte;
    if (!used) continue;
    for (int b = 0; b < 256; ++b) table[b] = MapLevels(static_cast<std::uint64_t>(b) << (8 * byte), map_);
    usedBytes_.push_back(byte);
    tables_.push_back(table);
  }
  if (unitSize_ == 1 && tables_.size() == 1) {
    const auto& table = tables_[0];
    bool masks = true;
    for (int b = 0; b < 256; ++b) masks &= table[b] == (b & table[255]);
    if (masks) mask_ = table[255];
  }
}

bool SigrokReader::ReadWhole(const Chunk& chunk) {
  whole_.resize(static_cast<std::size_t>(chunk.size));
  if (chunk.size == 0) return true;
  std::vector<std::uint8_t>& packed = chunk.stored ? whole_ : packed_;
  packed.resize(static_cast<std::size_t>(chunk.packedSize));
  zip_file_t* file = zip_fopen_index(zip_, chunk.index, ZIP_FL_COMPRESSED);
  if (file == nullptr) {
    Fail(chunk.name + " cannot be opened (" + zip_strerror(zip_) + ")");
    return false;
  }
  const zip_int64_t got = zip_fread(file, packed.data(), packed.size());
  const std::string readError = got < 0 ? zip_file_strerror(file) : "";
  zip_fclose(file);
  if (got != static_cast<zip_int64_t>(packed.size())) {
    Fail(chunk.name + " cannot be read (" + (got < 0 ? readError : ZipErrorText(ZIP_ER_EOF)) + ")");
    return false;
  }
  if (!chunk.stored) {
    if (inflater_ == nullptr) inflater_ = libdeflate_alloc_decompressor();
    // Without a place for the actual size, libdeflate insists on exactly the size the archive gives.
    if (inflater_ == nullptr || libdeflate_deflate_decompress(inflater_, packed_.data(), packed_.size(), whole_.data(),
                                                              whole_.size(), nullptr) != LIBDEFLATE_SUCCESS) {
      Fail(chunk.name + " cannot be read (" + ZipErrorText(ZIP_ER_COMPRESSED_DATA) + ")");
      return false;
    }
  }
  if (libdeflate_crc32(0, whole_.data(), whole_.size()) != chunk.crc) {
    Fail(chunk.name + " cannot be read (" + ZipErrorText(ZIP_ER_CRC) + ")");
    return false;
  }
  return true;
}

bool SigrokReader::Refill() {
  bufferFirstUnit_ += bufferUnits_;
  bufferUnits_ = 0;
  if (ended_) {
    if (partialUnit_) Fail("the logic data ends within a sample of " + std::to_string(unitSize_) + " bytes");
    return false;
  }
  // A chunk read whole is given on its own, from its first unit.
  while (file_ == nullptr && chunk_ < chunks_.size() && chunks_[chunk_].whole) {
    if (!ReadWhole(chunks_[chunk_])) {
      ended_ = true;
      return false;
    }
    ++chunk_;
    if (whole_.empty()) continue;
    data_ = whole_.data();
    bufferUnits_ = whole_.size() / unitSize_;
    return true;
  }
  data_ = buffer_.data();
  std::size_t filled = 0;
  while (filled < buffer_.size()) {
    if (file_ == nullptr) {
      if (chunk_ >= chunks_.size()) break;
      // Stop before a chunk that is read whole, unless a sample is still incomplete.
      if (chunks_[chunk_].whole && filled % unitSize_ == 0) break;
      file_ = zip_fopen_index(zip_, chunks_[chunk_].index, 0);
      if (file_ == nullptr) {
        Fail(chunks_[chunk_].name + " cannot be opened (" + zip_strerror(zip_) + ")");
        ended_ = true;
        return false;
      }
    }
    const zip_int64_t got = zip_fread(file_, buffer_.data() + filled, buffer_.size() - filled);
    if (got < 0) {
      Fail(chunks_[chunk_].name + " cannot be read (" + zip_file_strerror(file_) + ")");
      ended_ = true;
      return false;
    }
    if (got == 0) {
      zip_fclose(file_);
      file_ = nullptr;
      ++chunk_;
      continue;
    }
    filled += static_cast<std::size_t>(got);
  }
  // The stream ended just where a chunk read whole begins.
  if (filled == 0 && chunk_ < chunks_.size()) return Refill();
  if (filled < buffer_.size() && chunk_ >= chunks_.size()) ended_ = true;
  // A piece of a sample at the end is told once the whole ones before it are given.
  partialUnit_ = filled % unitSize_ != 0;
  bufferUnits_ = filled / unitSize_;
  if (bufferUnits_ == 0 && partialUnit_)
    Fail("the logic data ends within a sample of " + std::to_string(unitSize_) + " bytes");
  return bufferUnits_ > 0;
}

std::size_t SigrokReader::Read(std::uint8_t* samples, std::size_t count) {
  if (!started_) {
    started_ = true;
    MakeTables();
    buffer_.resize(kBufferUnits * unitSize_);
  }
  const std::uint64_t whole = clock_.Denominator() / clock_.Numerator();
  const std::uint64_t part = clock_.Denominator() % clock_.Numerator();
  const std::uint64_t num = clock_.Numerator();
  std::size_t produced = 0;
  while (produced < count) {
    if (nextUnit_ >= bufferFirstUnit_ + bufferUnits_) {
      if (!Refill()) break;
      continue;
    }
    // Units of the buffer from here on; the tick's unit advances by whole + part / num.
    std::uint64_t at = nextUnit_ - bufferFirstUnit_;
    const std::uint64_t units = bufferUnits_;
    const std::uint8_t* data = data_;
    if (unitSize_ == 1 && tables_.size() == 1) {
      const std::uint8_t* table = tables_[0].data();
      if (clock_.IsGrid()) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count - produced, units - at));
        std::uint8_t* out = samples + produced;
        const std::uint8_t* in = data + at;
        if (mask_) {
          // The usual case (channels in place): eight samples at a time.
          const std::uint64_t mask = *mask_ * 0x0101010101010101ULL;
          std::size_t i = 0;
          for (; i + 8 <= n; i += 8) {
            std::uint64_t eight;
            std::memcpy(&eight, in + i, 8);
            eight &= mask;
            std::memcpy(out + i, &eight, 8);
          }
          for (; i < n; ++i) out[i] = in[i] & *mask_;
        } else {
          for (std::size_t i = 0; i < n; ++i) out[i] = table[in[i]];
        }
        produced += n;
        at += n;
      } else {
        while (produced < count && at < units) {
          samples[produced++] = table[data[at]];
          at += whole;
          frac_ += part;
          if (frac_ >= num) {
            frac_ -= num;
            ++at;
          }
        }
      }
    } else {
      while (produced < count && at < units) {
        const std::uint8_t* unit = data + at * unitSize_;
        std::uint8_t sample = 0;
        for (std::size_t t = 0; t < tables_.size(); ++t) sample |= tables_[t][unit[usedBytes_[t]]];
        samples[produced++] = sample;
        at += whole;
        frac_ += part;
        if (frac_ >= num) {
          frac_ -= num;
          ++at;
        }
      }
    }
    nextUnit_ = bufferFirstUnit_ + at;
  }
  return produced;
}

}  // namespace

std::unique_ptr<CaptureReader> OpenSigrok(const std::string& path, std::string& error) {
  int code = 0;
  zip_t* zip = zip_open(FilePath(path).c_str(), ZIP_RDONLY, &code);
  if (zip == nullptr) {
    error = code == ZIP_ER_NOZIP ? "not a zip archive (a sigrok session is one)"
                                 : "not a readable zip archive (" + ZipErrorText(code) + ")";
    return nullptr;
  }
  auto reader = std::make_unique<SigrokReader>(path, zip);
  if (!reader->Open(error)) return nullptr;
  return reader;
}

}  // namespace velkor::capture
