// The DBC grammar, as far as the frame lines need it. A DBC file is a list of statements, one
// to a line, each opened by a keyword; a quoted text (a comment) may run over several lines.
// BO_, SG_, VAL_ and SIG_VALTYPE_ are read; every other statement is read past, and so is a
// keyword standing alone (the NS_ list of keywords at the top of most files).

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <deque>
#include <unordered_map>

#include "database/DatabaseReaders.h"

namespace velkor {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

// A name runs up to a blank or a character of the grammar.
bool EndsName(char c) {
  return IsBlank(c) || c == '\n' || c == ':' || c == ';' || c == ',' || c == '|' || c == '@' || c == '(' ||
         c == ')' || c == '[' || c == ']' || c == '"' || c == '=';
}

// The characters of one statement, with what a reader of it needs.
class Statement {
 public:
  Statement(std::string_view text, std::string& failure) : text_(text), failure_(failure) {}

  bool AtEnd() {
    SkipBlanks();
    return at_ >= text_.size();
  }
  bool Peek(char c) {
    SkipBlanks();
    return at_ < text_.size() && text_[at_] == c;
  }
  bool PeekNumber() {
    SkipBlanks();
    return at_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[at_])) || text_[at_] == '-' || text_[at_] == '+');
  }
  bool Take(char c) {
    if (!Peek(c)) return false;
    ++at_;
    return true;
  }
  // The texts naming what is read (`what`, `more`) make a message only when it fails: a
  // file of thousands of signals would otherwise build a dozen texts for each.
  bool Expect(char c, std::string_view where, std::string_view more = {}) {
    if (Take(c)) return true;
    return Fail(std::string("'") + c + "' expected " + Join(where, more));
  }

  std::string_view Name() {
    SkipBlanks();
    const std::size_t from = at_;
    while (at_ < text_.size() && !EndsName(text_[at_])) ++at_;
    return text_.substr(from, at_ - from);
  }
  bool Name(std::string_view& out, std::string_view what) {
    out = Name();
    return !out.empty() || Fail(std::string(what) + " expected");
  }

  bool Number(double& out, std::string_view what, std::string_view more = {}) {
    SkipBlanks();
    std::size_t from = at_;
    if (at_ < text_.size() && text_[at_] == '+') from = ++at_;
    while (at_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[at_])) || text_[at_] == '.' ||
                                  text_[at_] == '-' || text_[at_] == '+'))
      ++at_;
    const std::string_view token = text_.substr(from, at_ - from);
    const auto result = std::from_chars(token.data(), token.data() + token.size(), out);
    if (token.empty() || result.ec != std::errc() || result.ptr != token.data() + token.size() || !std::isfinite(out))
      return Fail(Join(what, more) + " is not a number" + (token.empty() ? "" : ": " + std::string(token)));
    return true;
  }
  bool Integer(std::int64_t& out, std::string_view what, std::string_view more = {}) {
    double value = 0;
    if (!Number(value, what, more)) return false;
    if (value != std::floor(value) || std::fabs(value) > 9.2e18) return Fail(Join(what, more) + " is not a whole number");
    out = static_cast<std::int64_t>(value);
    return true;
  }

  // A quoted text; a backslash keeps the next character in it.
  bool Quoted(std::string_view& out, std::string_view what, std::string_view more = {}) {
    if (!Take('"')) return Fail(Join(what, more) + " expected in quotes");
    const std::size_t from = at_;
    while (at_ < text_.size() && text_[at_] != '"') at_ += text_[at_] == '\\' ? 2 : 1;
    if (at_ >= text_.size()) return Fail(Join(what, more) + " has no closing quote");
    out = text_.substr(from, at_ - from);
    ++at_;
    return true;
  }

  bool Fail(std::string what) {
    failure_ = std::move(what);
    return false;
  }

 private:
  static std::string Join(std::string_view what, std::string_view more) {
    std::string text(what);
    text += more;
    return text;
  }

  void SkipBlanks() {
    while (at_ < text_.size() && (IsBlank(text_[at_]) || text_[at_] == '\n')) ++at_;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::string& failure_;
};

class DbcParser {
 public:
  DbcParser(std::string_view text, BusDatabase& out) : text_(text), out_(out), utf8_(IsUtf8BeyondAscii(text)) {}

  bool Run(DatabaseError& error) {
    std::size_t at = 0;
    int line = 1;
    while (at < text_.size()) {
      // A statement ends at the end of its line, unless a quoted text is still open there.
      const std::size_t from = at;
      const int firstLine = line;
      bool quoted = false;
      while (at < text_.size() && (quoted || text_[at] != '\n')) {
        if (text_[at] == '"') quoted = !quoted;
        else if (quoted && text_[at] == '\\' && at + 1 < text_.size()) {
          if (text_[at + 1] == '\n') ++line;
          ++at;
        } else if (text_[at] == '\n') ++line;
        ++at;
      }
      const std::string_view statement = text_.substr(from, at - from);
      if (at < text_.size()) {
        ++at;
        ++line;
      }
      std::string failure;
      if (!Parse(statement, failure)) {
        error.line = firstLine;
        error.what = std::move(failure);
        return false;
      }
    }
    Finish();
    return true;
  }

 private:
  bool Parse(std::string_view text, std::string& failure) {
    Statement s(text, failure);
    const std::string_view keyword = s.Name();
    if (keyword.empty()) return true;
    if (s.AtEnd()) {
      message_ = nullptr;
      return true;
    }
    if (keyword == "BO_") return Message(s);
    if (keyword == "SG_") return Signal(s);
    message_ = nullptr;
    if (keyword == "VAL_") return Values(s);
    if (keyword == "SIG_VALTYPE_") return ValueType(s);
    return true;
  }

  bool Message(Statement& s) {
    std::int64_t id = 0, length = 0;
    std::string_view name;
    if (!s.Integer(id, "the message identifier")) return false;
    if (id < 0 || id > 0xFFFFFFFF) return s.Fail("the message identifier " + std::to_string(id) + " is out of range");
    if (!s.Name(name, "the message name") || !s.Expect(':', "after the message name")) return false;
    if (!s.Integer(length, "the length of message ", name)) return false;
    if (length < 0) return s.Fail("message " + std::string(name) + " has a negative length");
    const auto key = static_cast<std::uint32_t>(id);
    // A standard identifier has 11 bits, an extended one (bit 31 set) 29; others, such as the
    // holder of signals that belong to no message, name no frame and are left out.
    const bool extended = (key & BusDatabase::kExtendedKeyBit) != 0;
    const bool usable = extended ? (key & 0x60000000u) == 0 : key <= 0x7FF;
    if (!usable) {
      ignored_ = BusMessage{};
      message_ = &ignored_;
      return true;
    }
    if (!keys_.emplace(key, pending_.size()).second)
      return s.Fail("message " + std::to_string(id) + " is defined twice");
    BusMessage m;
    m.key = key;
    m.name = FieldText(name, utf8_);
    m.length = static_cast<int>(std::min<std::int64_t>(length, 1 << 20));
    pending_.push_back(std::move(m));
    message_ = &pending_.back();
    return true;
  }

  bool Signal(Statement& s) {
    std::string_view name;
    if (!s.Name(name, "the signal name")) return false;
    const std::string where = "in signal " + std::string(name);
    if (message_ == nullptr) return s.Fail("signal " + std::string(name) + " is not inside a message");
    BusSignal signal;
    signal.name = FieldText(name, utf8_);
    if (!s.Peek(':')) {
      const std::string_view mux = s.Name();
      if (mux == "M") {
        signal.multiplex = SignalMultiplex::Multiplexor;
      } else if (mux.size() >= 2 && mux[0] == 'm') {
        // "m3", or "m3M" for a signal that is also a multiplexor of its own (extended
        // multiplexing, read here as simple multiplexing by the message's multiplexor).
        const std::string_view digits = mux.substr(1, mux.back() == 'M' ? mux.size() - 2 : mux.size() - 1);
        std::uint64_t value = 0;
        const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (digits.empty() || result.ec != std::errc() || result.ptr != digits.data() + digits.size())
          return s.Fail("unknown multiplexing '" + std::string(mux) + "' " + where);
        signal.multiplex = SignalMultiplex::Multiplexed;
        signal.multiplexValue = static_cast<std::int64_t>(value);
      } else {
        return s.Fail("unknown multiplexing '" + std::string(mux) + "' " + where);
      }
    }
    std::int64_t start = 0, length = 0;
    double factor = 1, offset = 0;
    std::string_view unit;
    if (!s.Expect(':', "after the signal name ", name) || !s.Integer(start, "the start bit ", where) ||
        !s.Expect('|', "after the start bit ", where) || !s.Integer(length, "the length ", where) ||
        !s.Expect('@', "after the length ", where))
      return false;
    const std::string_view order = s.Name();
    // "1+" reads as one name; a sign written apart follows.
    char sign = order.size() == 2 ? order[1] : '\0';
    if (order.size() == 1) {
      if (s.Take('+')) sign = '+';
      else if (s.Take('-')) sign = '-';
    }
    if (order.empty() || (order[0] != '0' && order[0] != '1') || order.size() > 2)
      return s.Fail("the byte order " + where + " is not @0 or @1");
    if (sign != '+' && sign != '-') return s.Fail("the sign " + where + " is not + or -");
    if (!s.Expect('(', "before the factor ", where) || !s.Number(factor, "the factor ", where) ||
        !s.Expect(',', "after the factor ", where) || !s.Number(offset, "the offset ", where) ||
        !s.Expect(')', "after the offset ", where) || !s.Expect('[', "before the minimum ", where) ||
        !s.Number(signal.minimum, "the minimum ", where) || !s.Expect('|', "after the minimum ", where) ||
        !s.Number(signal.maximum, "the maximum ", where) || !s.Expect(']', "after the maximum ", where) ||
        !s.Quoted(unit, "the unit ", where))
      return false;
    while (!s.AtEnd()) {
      if (s.Take(',')) continue;
      const std::string_view receiver = s.Name();
      if (receiver.empty()) return s.Fail("a receiver expected " + where);
      signal.receivers.emplace_back(receiver);
    }
    if (length < 1 || length > 64)
      return s.Fail("signal " + std::string(name) + " is " + std::to_string(length) + " bits long (1 to 64)");
    if (start < 0) return s.Fail("signal " + std::string(name) + " starts at a negative bit");
    signal.type = sign == '-' ? SignalValueType::Signed : SignalValueType::Unsigned;
    SignalScale scale;
    scale.factor = factor;
    scale.offset = offset;
    scale.decimals = std::max(DecimalsOf(factor), DecimalsOf(offset));
    scale.unit = FieldText(unit, utf8_);
    signal.scales.push_back(std::move(scale));
    // A signal past the eight bytes of a classic frame (a CAN FD message) can never be shown.
    const auto orderKind = order[0] == '1' ? SignalByteOrder::LittleEndian : SignalByteOrder::BigEndian;
    if (start > 63 || !PlaceDbcSignal(signal, static_cast<int>(start), static_cast<int>(length), orderKind))
      return true;
    if (signal.multiplex == SignalMultiplex::Multiplexor) {
      if (message_->multiplexor >= 0)
        signal.multiplex = SignalMultiplex::Plain;
      else
        message_->multiplexor = static_cast<int>(message_->signals.size());
    }
    message_->signals.push_back(std::move(signal));
    return true;
  }

  BusSignal* FindSignal(std::int64_t id, std::string_view name) {
    if (id < 0 || id > 0xFFFFFFFF) return nullptr;
    const auto found = keys_.find(static_cast<std::uint32_t>(id));
    if (found == keys_.end()) return nullptr;
    for (BusSignal& signal : pending_[found->second].signals)
      if (signal.name == name) return &signal;
    return nullptr;
  }

  bool Values(Statement& s) {
    // The values of an environment variable name no message: read past.
    if (!s.PeekNumber()) return true;
    std::int64_t id = 0;
    std::string_view name;
    if (!s.Integer(id, "the message identifier") || !s.Name(name, "the signal name")) return false;
    const std::string where = "of signal " + std::string(name);
    std::vector<SignalValueText> texts;
    while (!s.AtEnd() && !s.Peek(';')) {
      SignalValueText t;
      std::string_view text;
      if (!s.Integer(t.raw, "a value ", where)) return false;
      constexpr std::string_view kLabel = "the text of value ";
      char label[48];
      std::memcpy(label, kLabel.data(), kLabel.size());
      char* end = std::to_chars(label + kLabel.size(), label + sizeof label - 1, t.raw).ptr;
      *end++ = ' ';
      if (!s.Quoted(text, std::string_view(label, static_cast<std::size_t>(end - label)), where)) return false;
      t.text = FieldText(text, utf8_);
      texts.push_back(std::move(t));
    }
    // Texts of a message or signal the file does not define are read past.
    if (BusSignal* signal = FindSignal(id, name)) {
      std::stable_sort(texts.begin(), texts.end(),
                       [](const SignalValueText& a, const SignalValueText& b) { return a.raw < b.raw; });
      // Of two texts for one value, the first written holds.
      texts.erase(std::unique(texts.begin(), texts.end(),
                              [](const SignalValueText& a, const SignalValueText& b) { return a.raw == b.raw; }),
                  texts.end());
      signal->texts = std::move(texts);
    }
    return true;
  }

  bool ValueType(Statement& s) {
    std::int64_t id = 0, type = 0;
    std::string_view name;
    if (!s.Integer(id, "the message identifier") || !s.Name(name, "the signal name")) return false;
    s.Take(':');
    if (!s.Integer(type, "the value type of signal " + std::string(name))) return false;
    BusSignal* signal = FindSignal(id, name);
    if (signal == nullptr) return true;
    if (type == 0) return true;
    if (type != 1 && type != 2)
      return s.Fail("the value type of signal " + std::string(name) + " is not 0, 1 or 2");
    const int bits = type == 1 ? 32 : 64;
    if (signal->length != bits)
      return s.Fail("signal " + std::string(name) + " is a " + std::to_string(bits) + "-bit float but " +
                    std::to_string(signal->length) + " bits long");
    signal->type = type == 1 ? SignalValueType::Float32 : SignalValueType::Float64;
    return true;
  }

  void Finish() {
    for (BusMessage& m : pending_) (void)out_.Add(std::move(m));
  }

  std::string_view text_;
  BusDatabase& out_;
  bool utf8_;
  std::deque<BusMessage> pending_;  // a deque: message_ stays valid as messages are added
  std::unordered_map<std::uint32_t, std::size_t> keys_;  // index in pending_
  BusMessage ignored_;
  BusMessage* message_ = nullptr;  // the message the SG_ lines that follow belong to
};

}  // namespace

bool ReadDbc(std::string_view text, BusDatabase& out, DatabaseError& error) {
  out.Clear();
  DbcParser parser(text, out);
  return parser.Run(error);
}

}  // namespace velkor
