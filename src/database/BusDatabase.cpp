#include "database/BusDatabase.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "app/Cp1252.h"

namespace velkor {

namespace {

std::uint64_t LowMask(int length) { return length >= 64 ? ~0ull : (1ull << length) - 1; }

std::uint8_t ByteSpan(int firstByte, int lastByte) {
  std::uint8_t mask = 0;
  for (int b = firstByte; b <= lastByte; ++b) mask = static_cast<std::uint8_t>(mask | 1u << b);
  return mask;
}

void AppendInteger(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  out.append(buffer, end);
}

constexpr double kPowersOfTen[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};

// Fixed notation with `decimals` digits after the point, never "-0" or "-0.00".
void AppendFixed(std::string& out, double value, int decimals) {
  // Most values are whole steps of their factor: value x 10^decimals lies near a whole
  // number, and rounding the computed product gives the digits that rounding the exact value
  // gives. The product's error is below 2^-13 while it stays under 2^40, so a fraction that
  // is not within 2^-12 of one half rounds the same way; the rest (ties, huge values, NaN)
  // goes through the exact conversion.
  if (decimals >= 0 && decimals <= 6) {
    const double scaled = value * kPowersOfTen[decimals];
    const double magnitude = std::fabs(scaled);
    if (magnitude < 0x1p40) {
      const double whole = std::floor(magnitude);
      const double fraction = magnitude - whole;
      if (std::fabs(fraction - 0.5) > 0x1p-12) {
        auto digits = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
        char buffer[32];
        char* end = buffer + sizeof buffer;
        char* at = end;
        for (int d = 0; d < decimals; ++d, digits /= 10) *--at = static_cast<char>('0' + digits % 10);
        if (decimals > 0) *--at = '.';
        do {
          *--at = static_cast<char>('0' + digits % 10);
          digits /= 10;
        } while (digits != 0);
        // A value that rounds to zero has no sign, as in the exact conversion below.
        if (scaled < 0 && (whole != 0 || fraction > 0.5)) *--at = '-';
        out.append(at, static_cast<std::size_t>(end - at));
        return;
      }
    }
  }
  char buffer[400];  // the widest double in fixed notation with six decimals fits
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  const char* begin = buffer;
  if (buffer[0] == '-' && std::all_of(buffer + 1, result.ptr, [](char c) { return c == '0' || c == '.'; })) ++begin;
  out.append(begin, static_cast<std::size_t>(result.ptr - begin));
}

// A float signal's value is not a count of steps of its factor: it is written with as many
// of six decimals as it needs.
void AppendFloat(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += std::isnan(value) ? "NaN" : value > 0 ? "Inf" : "-Inf";
    return;
  }
  const std::size_t at = out.size();
  AppendFixed(out, value, 6);
  if (out.find('.', at) == std::string::npos) return;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  if (out.compare(at, std::string::npos, "-0") == 0) out.erase(at, 1);
}

void AppendUnit(std::string& out, const std::string& unit) {
  if (unit.empty()) return;
  out += ' ';
  out += unit;
}

}  // namespace

std::uint64_t PackPayload(const std::uint8_t* bytes, int count) {
  std::uint64_t payload = 0;
  for (int i = 0; i < count && i < 8; ++i) payload |= std::uint64_t{bytes[i]} << (8 * i);
  return payload;
}

bool BusDatabase::Add(BusMessage message) {
  if (Find(message.key) != nullptr) return false;
  const auto index = static_cast<std::int32_t>(messages_.size());
  const std::uint32_t key = message.key;
  messages_.push_back(std::move(message));
  Insert(key, index);
  return true;
}

void BusDatabase::Clear() {
  messages_.clear();
  direct_.clear();
  hashed_.clear();
  hashedCount_ = 0;
  linChecksum = LinChecksumRule::Unknown;
  protocolVersion.clear();
}

void BusDatabase::Insert(std::uint32_t key, std::int32_t index) {
  if (key < kDirectKeys) {
    if (direct_.empty()) direct_.assign(kDirectKeys, -1);
    direct_[key] = index;
    return;
  }
  if (2 * (hashedCount_ + 1) > hashed_.size()) {
    std::vector<Slot> old = std::move(hashed_);
    hashed_.assign(std::max<std::size_t>(16, 2 * old.size()), Slot{});
    hashedCount_ = 0;
    for (const Slot& s : old)
      if (s.index >= 0) Insert(s.key, s.index);
  }
  const std::size_t mask = hashed_.size() - 1;
  std::size_t at = (key * 0x9E3779B1u) & mask;
  while (hashed_[at].index >= 0) at = (at + 1) & mask;
  hashed_[at] = Slot{key, index};
  ++hashedCount_;
}

const BusMessage* BusDatabase::Find(std::uint32_t key) const {
  if (key < kDirectKeys) {
    if (direct_.empty() || direct_[key] < 0) return nullptr;
    return &messages_[static_cast<std::size_t>(direct_[key])];
  }
  if (hashed_.empty()) return nullptr;
  const std::size_t mask = hashed_.size() - 1;
  for (std::size_t at = (key * 0x9E3779B1u) & mask;; at = (at + 1) & mask) {
    const Slot& s = hashed_[at];
    if (s.index < 0) return nullptr;
    if (s.key == key) return &messages_[static_cast<std::size_t>(s.index)];
  }
}

bool PlaceDbcSignal(BusSignal& signal, int startBit, int length, SignalByteOrder order) {
  if (startBit < 0 || length < 1 || length > 64 || startBit > 63) return false;
  signal.length = static_cast<std::uint8_t>(length);
  signal.order = order;
  if (order == SignalByteOrder::LittleEndian) {
    if (startBit + length > 64) return false;
    signal.shift = static_cast<std::uint8_t>(startBit);
    signal.byteMask = ByteSpan(startBit / 8, (startBit + length - 1) / 8);
    return true;
  }
  // In the word with byte 0 highest, bit b of byte k is bit 8 x (7 - k) + b.
  const int msb = 8 * (7 - startBit / 8) + startBit % 8;
  const int lsb = msb - length + 1;
  if (lsb < 0) return false;
  signal.shift = static_cast<std::uint8_t>(lsb);
  signal.byteMask = ByteSpan(7 - msb / 8, 7 - lsb / 8);
  return true;
}

std::uint64_t SignalRawBits(const BusSignal& signal, std::uint64_t payload) {
  const std::uint64_t word = signal.order == SignalByteOrder::BigEndian ? __builtin_bswap64(payload) : payload;
  std::uint64_t raw = (word >> signal.shift) & LowMask(signal.length);
  if (signal.type == SignalValueType::Signed && signal.length < 64 && (raw >> (signal.length - 1)) != 0)
    raw |= ~LowMask(signal.length);
  return raw;
}

void AppendSignalValue(std::string& out, const BusSignal& signal, std::uint64_t payload) {
  const std::uint64_t bits = SignalRawBits(signal, payload);
  if (signal.type == SignalValueType::Float32 || signal.type == SignalValueType::Float64) {
    const double value = signal.type == SignalValueType::Float32
                             ? static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(bits)))
                             : std::bit_cast<double>(bits);
    const SignalScale* scale = signal.scales.empty() ? nullptr : &signal.scales.front();
    AppendFloat(out, scale ? value * scale->factor + scale->offset : value);
    if (scale) AppendUnit(out, scale->unit);
    return;
  }
  if (signal.type == SignalValueType::Unsigned && bits > static_cast<std::uint64_t>(INT64_MAX)) {
    // Beyond what the tables of value texts and ranges hold: the first scale applies.
    const SignalScale* scale = signal.scales.empty() ? nullptr : &signal.scales.front();
    if (scale == nullptr || (scale->factor == 1 && scale->offset == 0)) {
      char buffer[24];
      out.append(buffer, static_cast<std::size_t>(std::to_chars(buffer, buffer + sizeof buffer, bits).ptr - buffer));
    } else {
      AppendFixed(out, static_cast<double>(bits) * scale->factor + scale->offset, scale->decimals);
    }
    if (scale) AppendUnit(out, scale->unit);
    return;
  }
  const auto raw = static_cast<std::int64_t>(bits);
  if (!signal.texts.empty()) {
    const auto at = std::lower_bound(signal.texts.begin(), signal.texts.end(), raw,
                                     [](const SignalValueText& t, std::int64_t v) { return t.raw < v; });
    if (at != signal.texts.end() && at->raw == raw) {
      out += at->text;
      return;
    }
  }
  for (const SignalScale& scale : signal.scales) {
    if (raw < scale.minimum || raw > scale.maximum) continue;
    if (scale.factor == 1 && scale.offset == 0)
      AppendInteger(out, raw);
    else
      AppendFixed(out, static_cast<double>(raw) * scale.factor + scale.offset, scale.decimals);
    AppendUnit(out, scale.unit);
    return;
  }
  AppendInteger(out, raw);
}

void AppendSignalFields(std::string& line, const BusMessage& message, std::uint64_t payload,
                        std::uint8_t receivedBytes) {
  bool haveSelector = false;
  std::int64_t selector = 0;
  if (message.multiplexor >= 0) {
    const BusSignal& m = message.signals[static_cast<std::size_t>(message.multiplexor)];
    haveSelector = (m.byteMask & ~receivedBytes) == 0;
    if (haveSelector) selector = static_cast<std::int64_t>(SignalRawBits(m, payload));
  }
  for (const BusSignal& signal : message.signals) {
    if ((signal.byteMask & ~receivedBytes) != 0) continue;
    if (signal.multiplex == SignalMultiplex::Multiplexed && (!haveSelector || selector != signal.multiplexValue))
      continue;
    line += signal.name;
    line += '=';
    AppendSignalValue(line, signal, payload);
    line += ',';
  }
}

int DecimalsOf(double value) {
  value = std::fabs(value);
  double scaled = value;
  for (int d = 0; d < 6; ++d, scaled = value * std::pow(10.0, d))
    if (std::fabs(scaled - std::round(scaled)) <= 1e-9 * std::max(1.0, scaled)) return d;
  return 6;
}

bool IsUtf8BeyondAscii(std::string_view text) {
  bool beyond = false;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    int follow = 0;
    if (c < 0x80) {
      ++i;
      continue;
    }
    if (c >= 0xC2 && c <= 0xDF) follow = 1;
    else if (c >= 0xE0 && c <= 0xEF) follow = 2;
    else if (c >= 0xF0 && c <= 0xF4) follow = 3;
    else return false;
    if (i + static_cast<std::size_t>(follow) >= text.size()) return false;
    for (int k = 1; k <= follow; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += static_cast<std::size_t>(follow) + 1;
    beyond = true;
  }
  return beyond;
}

std::string FieldText(std::string_view text, bool fromUtf8) {
  std::string out = fromUtf8 ? Utf8ToCp1252(text) : std::string(text);
  for (char& c : out) {
    if (c == ',') c = ';';
    else if (static_cast<unsigned char>(c) < 0x20 || c == '\x7F') c = ' ';
  }
  return out;
}

}  // namespace velkor
