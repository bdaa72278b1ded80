// CSV exports of logic analyzers: a header row of column names, then one row per sample at a
// rate stated in a comment line ("; Samplerate: 1 MHz", as sigrok writes it), or one row per
// change with a time column in seconds ("Time [s]"). Lines beginning with ";" or "#" are
// comments; a row's time counts from the first row's.

#include <algorithm>

#include "app/Cp1252.h"
#include "app/IniFile.h"
#include "capture/HeldLevels.h"
#include "capture/Readers.h"
#include "capture/TextInput.h"

namespace velkor::capture {

namespace {

using i128 = __int128;
constexpr std::uint64_t kPicosPerSecond = 1000000000000;

std::string_view TrimField(std::string_view field) {
  field = StripIni(field);
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"') field = field.substr(1, field.size() - 2);
  return field;
}

bool IsComment(std::string_view line) {
  line = StripIni(line);
  return line.starts_with(';') || line.starts_with('#');
}

bool IsTimeColumn(std::string_view name) {
  return (name.size() >= 4 && EqualsNoCase(name.substr(0, 4), "time")) || EqualsNoCase(name, "t") ||
         EqualsNoCase(name, "seconds");
}

// "0.0000024", "-1.5e-3", "12": seconds as picoseconds (finer digits are dropped).
bool ParseSeconds(std::string_view text, i128& picos) {
  bool negative = false;
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  i128 mantissa = 0;
  int exponent = 0;
  bool digits = false;
  bool point = false;
  int significant = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c >= '0' && c <= '9') {
      digits = true;
      if (significant < 30) {
        mantissa = mantissa * 10 + (c - '0');
        if (mantissa != 0) ++significant;
        if (point) --exponent;
      } else if (!point) {
        ++exponent;
      }
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    bool expNegative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) expNegative = text[at++] == '-';
    int e = 0;
    bool expDigits = false;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
      expDigits = true;
      if (e < 1000) e = e * 10 + (text[at] - '0');
    }
    if (!expDigits) return false;
    exponent += expNegative ? -e : e;
  }
  if (at != text.size()) return false;
  exponent += 12;
  for (; exponent < 0 && mantissa != 0; ++exponent) mantissa /= 10;
  for (; exponent > 0 && mantissa != 0; --exponent) {
    if (mantissa > (i128{1} << 100)) return false;
    mantissa *= 10;
  }
  picos = negative ? -mantissa : mantissa;
  return true;
}

class CsvReader final : public CaptureReader {
 public:
  explicit CsvReader(const std::string& path) : CaptureReader(CaptureFormat::Csv, path) {}

  bool Open(std::string& error);
  std::size_t Read(std::uint8_t* samples, std::size_t count) override;
  std::optional<std::uint64_t> ExpectedSamples() const override { return std::nullopt; }
  int PercentRead() const override { return text_.PercentRead(); }

 private:
  void Split(std::string_view line);
  // Takes rows until one moves the held ticks on, or the text ends; false at the end.
  bool Advance();
  void FailAtLine(const std::string& what) { Fail("line " + std::to_string(text_.LineNumber()) + ": " + what); }

  TextInput text_;
  char separator_ = ',';
  std::vector<std::string_view> fields_;
  std::size_t columns_ = 0;
  int timeColumn_ = -1;
  std::vector<std::size_t> channelColumns_;  // file channel k is column channelColumns_[k]
  TickClock clock_{1, 1};
  HeldLevels held_;
  std::uint8_t pendingLevels_ = 0;
  bool hasPending_ = false;
  bool ended_ = false;
  std::uint64_t rows_ = 0;
  i128 firstTime_ = 0;
  std::uint64_t lastTime_ = 0;
  std::uint64_t lastTick_ = 0;
};

void CsvReader::Split(std::string_view line) {
  fields_.clear();
  for (;;) {
    const std::size_t at = line.find(separator_);
    fields_.push_back(TrimField(line.substr(0, at)));
    if (at == std::string_view::npos) break;
    line.remove_prefix(at + 1);
  }
}

bool CsvReader::Open(std::string& error) {
  if (!text_.Open(Path())) {
    error = "cannot be opened";
    return false;
  }
  std::uint64_t rate = 0;
  std::string_view line;
  for (;;) {
    if (!text_.NextLine(line)) {
      error = text_.TooLong() ? "a line longer than the read buffer" : "no header row of channel names";
      return false;
    }
    if (StripIni(line).empty()) continue;
    if (!IsComment(line)) break;
    // "; Samplerate: 416.667 kHz"
    std::string lower = UpperCaseAscii(line);
    const std::size_t key = lower.find("SAMPLERATE");
    if (key != std::string::npos) {
      std::string_view value = StripIni(line.substr(key + 10));
      if (value.starts_with(':') || value.starts_with('=')) value.remove_prefix(1);
      rate = ParseSampleRate(value);
    }
  }
  separator_ = line.find(',') == std::string_view::npos && line.find('\t') != std::string_view::npos ? '\t' : ',';
  Split(line);
  columns_ = fields_.size();
  for (std::size_t c = 0; c < columns_; ++c) {
    if (timeColumn_ < 0 && IsTimeColumn(fields_[c])) {
      timeColumn_ = static_cast<int>(c);
      continue;
    }
    channelColumns_.push_back(c);
    names_.push_back(Utf8ToCp1252(fields_[c]));
  }
  if (names_.empty()) {
    error = "the header row names no channel";
    return false;
  }
  if (timeColumn_ >= 0) {
    clock_ = TickClock(1, kPicosPerSecond);
  } else if (rate != 0) {
    clock_ = TickClock::ForRate(rate);
    if (clock_.CoarserThanGrid()) warnings_.push_back(SlowSourceWarning(Path(), 1, rate));
  } else {
    error = "neither a time column nor a stated sample rate (a comment line \"; Samplerate: 1 MHz\")";
    return false;
  }
  map_ = DefaultChannelMap(names_.size());
  return true;
}

bool CsvReader::Advance() {
  std::string_view line;
  while (text_.NextLine(line)) {
    if (StripIni(line).empty() || IsComment(line)) continue;
    Split(line);
    if (fields_.size() != columns_) {
      FailAtLine(std::to_string(fields_.size()) + " fields where the header has " + std::to_string(columns_));
      return false;
    }
    std::uint64_t time = rows_;
    if (timeColumn_ >= 0) {
      i128 picos = 0;
      if (!ParseSeconds(fields_[static_cast<std::size_t>(timeColumn_)], picos)) {
        FailAtLine("'" + std::string(fields_[static_cast<std::size_t>(timeColumn_)].substr(0, 40)) +
                   "' is not a time in seconds");
        return false;
      }
      if (rows_ == 0) firstTime_ = picos;
      const i128 since = picos - firstTime_;
      if (since < 0 || static_cast<std::uint64_t>(std::min<i128>(since, ~std::uint64_t{0})) < lastTime_) {
        FailAtLine("the time goes backwards (" + std::string(fields_[static_cast<std::size_t>(timeColumn_)]) + ")");
        return false;
      }
      time = static_cast<std::uint64_t>(std::min<i128>(since, ~std::uint64_t{0}));
    }
    lastTime_ = time;
    ++rows_;
    std::uint8_t levels = 0;
    for (int i = 0; i < kChannelCount; ++i) {
      if (map_[i] < 0) continue;
      const std::string_view value = fields_[channelColumns_[static_cast<std::size_t>(map_[i])]];
      if (value == "1") {
        levels |= static_cast<std::uint8_t>(1u << i);
      } else if (value != "0" && value != "x" && value != "X" && value != "z" && value != "Z") {
        FailAtLine("'" + std::string(value.substr(0, 40)) + "' in column " +
                   std::string(names_[static_cast<std::size_t>(map_[i])]) + " is not a logic level (0 or 1)");
        return false;
      }
    }
    const std::uint64_t tick = clock_.FirstTickAtOrAfter(time);
    lastTick_ = tick;
    held_.HoldUntil(tick);
    if (!held_.Pending()) {
      held_.SetAll(levels);
      continue;
    }
    // The ticks before this row keep the levels before it.
    pendingLevels_ = levels;
    hasPending_ = true;
    return true;
  }
  if (text_.TooLong()) Fail("a line longer than the read buffer");
  return false;
}

std::size_t CsvReader::Read(std::uint8_t* samples, std::size_t count) {
  std::size_t produced = 0;
  for (;;) {
    produced += held_.Flush(samples + produced, count - produced);
    if (held_.Pending() || ended_) return produced;
    if (hasPending_) {
      held_.SetAll(pendingLevels_);
      hasPending_ = false;
    }
    if (produced == count) return produced;
    if (!Advance()) {
      ended_ = true;
      if (!Failure().empty() || rows_ == 0) continue;
      // Rows at a rate span their periods; the last row of changes is shown by its tick.
      held_.HoldUntil(timeColumn_ >= 0 ? lastTick_ + 1 : clock_.FirstTickAtOrAfter(rows_));
    }
  }
}

}  // namespace

std::unique_ptr<CaptureReader> OpenCsv(const std::string& path, std::string& error) {
  auto reader = std::make_unique<CsvReader>(path);
  if (!reader->Open(error)) return nullptr;
  return reader;
}

}  // namespace velkor::capture
