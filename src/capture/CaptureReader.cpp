#include "capture/CaptureReader.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "app/FilePath.h"
#include "app/IniFile.h"
#include "capture/Readers.h"

namespace velkor {

bool CaptureReader::NamesChannels() const {
  return std::any_of(names_.begin(), names_.end(), [](const std::string& name) { return !name.empty(); });
}

CaptureFormat DetectCaptureFormat(const std::string& path) {
  const std::size_t dot = path.find_last_of("./");
  if (dot != std::string::npos && path[dot] == '.') {
    const std::string_view extension = std::string_view(path).substr(dot + 1);
    if (EqualsNoCase(extension, "bin")) return CaptureFormat::Bin;
    if (EqualsNoCase(extension, "sr")) return CaptureFormat::Sigrok;
    if (EqualsNoCase(extension, "vcd")) return CaptureFormat::Vcd;
    if (EqualsNoCase(extension, "csv")) return CaptureFormat::Csv;
  }
  char head[512];
  std::size_t n = 0;
  if (std::FILE* file = std::fopen(FilePath(path).c_str(), "rb")) {
    n = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
  }
  const std::string_view text(head, n);
  if (text.starts_with("PK\x03\x04")) return CaptureFormat::Sigrok;
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return CaptureFormat::Bin;
  if (text[first] == '$') return CaptureFormat::Vcd;
  // A first line of printable text with a comma (or a ";" comment) is a CSV export.
  const std::string_view line = text.substr(first, text.find('\n', first) - first);
  const bool printable = std::all_of(line.begin(), line.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 32 || c == '\t' || c == '\r';
  });
  if (printable && (line.find(',') != std::string_view::npos || line.starts_with(';'))) return CaptureFormat::Csv;
  return CaptureFormat::Bin;
}

std::unique_ptr<CaptureReader> OpenCapture(const std::string& path, std::string& error) {
  std::unique_ptr<CaptureReader> reader;
  std::string what;
  if (std::FILE* file = std::fopen(FilePath(path).c_str(), "rb")) {
    std::fclose(file);
  } else {
    error = path + ": cannot be opened";
    return nullptr;
  }
  switch (DetectCaptureFormat(path)) {
    case CaptureFormat::Bin:
      reader = capture::OpenBin(path, what);
      break;
    case CaptureFormat::Sigrok:
      reader = capture::OpenSigrok(path, what);
      break;
    case CaptureFormat::Vcd:
      reader = capture::OpenVcd(path, what);
      break;
    case CaptureFormat::Csv:
      reader = capture::OpenCsv(path, what);
      break;
  }
  if (!reader) error = path + ": " + what;
  return reader;
}

namespace {
using u128 = unsigned __int128;
}  // namespace

TickClock::TickClock(std::uint64_t unitNumerator, std::uint64_t unitDenominator) {
  // A tick is 2.4 us = 3 / 1250000 s.
  u128 num = static_cast<u128>(unitNumerator) * 1250000u;
  u128 den = static_cast<u128>(unitDenominator) * 3u;
  u128 a = num, b = den;
  while (b != 0) {
    const u128 t = a % b;
    a = b;
    b = t;
  }
  if (a != 0) {
    num /= a;
    den /= a;
  }
  // Units from a femtosecond to a hundred seconds over rates of any 64-bit value fit.
  num_ = static_cast<std::uint64_t>(std::min<u128>(num, ~std::uint64_t{0}));
  den_ = static_cast<std::uint64_t>(std::min<u128>(den, ~std::uint64_t{0}));
  if (num_ == 0) num_ = 1;
  if (den_ == 0) den_ = 1;
}

TickClock TickClock::ForRate(std::uint64_t hertz) {
  if (hertz == 416666 || hertz == 416667) return TickClock(3, 1250000);
  return TickClock(1, hertz);
}

std::uint64_t TickClock::FirstTickAtOrAfter(std::uint64_t time) const {
  if (num_ == den_) return time;
  if (time <= ~std::uint64_t{0} / num_) {
    const std::uint64_t p = time * num_;
    return p / den_ + (p % den_ != 0 ? 1 : 0);
  }
  const u128 p = static_cast<u128>(time) * num_;
  const u128 q = p / den_ + (p % den_ != 0 ? 1 : 0);
  return static_cast<std::uint64_t>(std::min<u128>(q, ~std::uint64_t{0}));
}

std::uint64_t ParseSampleRate(std::string_view text) {
  text = StripIni(text);
  u128 mantissa = 0;
  int decimals = 0;
  std::size_t at = 0;
  bool digits = false, point = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c >= '0' && c <= '9') {
      if (mantissa > (~u128{0}) / 100) return 0;
      mantissa = mantissa * 10 + static_cast<unsigned>(c - '0');
      digits = true;
      if (point) ++decimals;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return 0;
  std::string_view unit = StripIni(text.substr(at));
  int scale = 0;
  if (!unit.empty() && (unit[0] == 'k' || unit[0] == 'K')) scale = 3;
  else if (!unit.empty() && unit[0] == 'M') scale = 6;
  else if (!unit.empty() && unit[0] == 'G') scale = 9;
  if (scale != 0) unit.remove_prefix(1);
  if (!unit.empty() && !EqualsNoCase(unit, "Hz")) return 0;
  for (int i = 0; i < scale; ++i) mantissa *= 10;
  u128 divisor = 1;
  for (int i = 0; i < decimals; ++i) divisor *= 10;
  const u128 hertz = (mantissa + divisor / 2) / divisor;
  if (hertz == 0 || hertz > ~std::uint64_t{0}) return 0;
  return static_cast<std::uint64_t>(hertz);
}

std::string DescribePeriod(std::uint64_t numerator, std::uint64_t denominator) {
  double seconds = static_cast<double>(numerator) / static_cast<double>(denominator);
  static constexpr const char* kUnits[] = {"s", "ms", "\xB5s", "ns", "ps", "fs"};
  int unit = 0;
  while (unit < 5 && seconds < 0.9995) {
    seconds *= 1000;
    ++unit;
  }
  char text[48];
  std::snprintf(text, sizeof text, "%.4g %s", seconds, kUnits[unit]);
  return text;
}

std::string SlowSourceWarning(const std::string& path, std::uint64_t unitNumerator, std::uint64_t unitDenominator) {
  const std::string period = DescribePeriod(unitNumerator, unitDenominator);
  return path + ": its samples are " + period +
         " apart, more than the 2.4 \xB5s of the decoding grid: each level is held until the next, "
         "and timing finer than " + period + " is lost";
}

}  // namespace velkor
