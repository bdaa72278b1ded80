// The LDF grammar, as far as the frame lines need it. An LDF file is a list of statements
// ("name = value;") and named blocks ("Signals { ... }"); blocks nest, and "//" and "/* */"
// are comments. The protocol version, the signals, the frames, the signal encodings and their
// representation are read; every other statement and block is read past.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_map>

#include "database/DatabaseReaders.h"

namespace velkor {

namespace {

enum class TokenKind { Name, Number, Text, Mark, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string_view text;  // a text without its quotes
  int line = 0;
};

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Token Next() {
    SkipSpaceAndComments();
    Token t;
    t.line = line_;
    if (at_ >= text_.size()) return t;
    const char c = text_[at_];
    const std::size_t from = at_;
    if (IsNameStart(c)) {
      while (at_ < text_.size() && IsNamePart(text_[at_])) ++at_;
      t.kind = TokenKind::Name;
    } else if (IsDigit(c) || ((c == '-' || c == '+' || c == '.') && at_ + 1 < text_.size() && IsDigit(text_[at_ + 1]))) {
      ++at_;
      while (at_ < text_.size() && (IsNamePart(text_[at_]) || text_[at_] == '.' ||
                                    ((text_[at_] == '-' || text_[at_] == '+') && (text_[at_ - 1] == 'e' || text_[at_ - 1] == 'E'))))
        ++at_;
      t.kind = TokenKind::Number;
    } else if (c == '"') {
      ++at_;
      while (at_ < text_.size() && text_[at_] != '"') {
        if (text_[at_] == '\n') ++line_;
        ++at_;
      }
      t.kind = TokenKind::Text;
      t.text = text_.substr(from + 1, at_ - from - 1);
      if (at_ < text_.size()) ++at_;
      else if (unterminatedLine_ == 0) unterminatedLine_ = t.line;
      return t;
    } else {
      ++at_;
      t.kind = TokenKind::Mark;
    }
    t.text = text_.substr(from, at_ - from);
    return t;
  }

  // The line of a text that the file ends in, or 0.
  int UnterminatedLine() const { return unterminatedLine_; }

 private:
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static bool IsNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
  }
  static bool IsNamePart(char c) { return IsNameStart(c) || IsDigit(c); }

  void SkipSpaceAndComments() {
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '\n') {
        ++line_;
        ++at_;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++at_;
      } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '/') {
        while (at_ < text_.size() && text_[at_] != '\n') ++at_;
      } else if (c == '/' && at_ + 1 < text_.size() && text_[at_ + 1] == '*') {
        at_ += 2;
        while (at_ < text_.size() && !(text_[at_] == '*' && at_ + 1 < text_.size() && text_[at_ + 1] == '/')) {
          if (text_[at_] == '\n') ++line_;
          ++at_;
        }
        at_ = std::min(at_ + 2, text_.size());
      } else {
        return;
      }
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
  int line_ = 1;
  int unterminatedLine_ = 0;
};

struct SignalDeclaration {
  int size = 0;
  std::string encoding;
};

struct FrameSignal {
  std::string name;
  int offset = 0;
};

struct FrameDeclaration {
  std::string name;
  int id = 0;
  int length = 0;
  std::vector<FrameSignal> signals;
};

struct Encoding {
  std::vector<SignalValueText> texts;
  std::vector<SignalScale> scales;
};

class LdfParser {
 public:
  LdfParser(std::string_view text, BusDatabase& out) : lexer_(text), out_(out), utf8_(IsUtf8BeyondAscii(text)) {
    Advance();
  }

  bool Run(DatabaseError& error) {
    const bool ok = TopLevel();
    if (!ok) {
      error.line = failureLine_;
      error.what = failure_;
      return false;
    }
    Build();
    return true;
  }

 private:
  void Advance() { token_ = lexer_.Next(); }
  bool Is(TokenKind kind) const { return token_.kind == kind; }
  bool IsMark(char c) const { return token_.kind == TokenKind::Mark && token_.text[0] == c; }
  bool TakeMark(char c) {
    if (!IsMark(c)) return false;
    Advance();
    return true;
  }

  bool Fail(std::string what) {
    failureLine_ = token_.line;
    failure_ = std::move(what);
    return false;
  }
  std::string Found() const {
    switch (token_.kind) {
      case TokenKind::End: return "the end of the file";
      case TokenKind::Text: return "a text";
      default: return "'" + std::string(token_.text) + "'";
    }
  }
  bool ExpectMark(char c, std::string_view where) {
    if (TakeMark(c)) return true;
    return Fail(std::string("'") + c + "' expected " + std::string(where) + ", found " + Found());
  }
  bool ExpectName(std::string& out, std::string_view what) {
    if (!Is(TokenKind::Name)) return Fail(std::string(what) + " expected, found " + Found());
    out = std::string(token_.text);
    Advance();
    return true;
  }
  bool ExpectNumber(double& out, std::string_view what) {
    if (!Is(TokenKind::Number)) return Fail(std::string(what) + " expected, found " + Found());
    std::string_view t = token_.text;
    if (t[0] == '+') t.remove_prefix(1);
    bool ok = false;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
      std::uint64_t v = 0;
      const auto r = std::from_chars(t.data() + 2, t.data() + t.size(), v, 16);
      ok = r.ec == std::errc() && r.ptr == t.data() + t.size();
      out = static_cast<double>(v);
    } else {
      const auto r = std::from_chars(t.data(), t.data() + t.size(), out);
      ok = r.ec == std::errc() && r.ptr == t.data() + t.size() && std::isfinite(out);
    }
    if (!ok) return Fail(std::string(what) + " is not a number: " + std::string(token_.text));
    Advance();
    return true;
  }
  bool ExpectInteger(std::int64_t& out, std::string_view what, std::int64_t low, std::int64_t high) {
    const int line = token_.line;
    double value = 0;
    if (!ExpectNumber(value, what)) return false;
    if (value != std::floor(value) || value < static_cast<double>(low) || value > static_cast<double>(high)) {
      failureLine_ = line;
      failure_ = std::string(what) + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high);
      return false;
    }
    out = static_cast<std::int64_t>(value);
    return true;
  }

  // Reads past a statement or block whose meaning is not needed: up to its ';' or, unless
  // only a ';' may end it, through its braces, whichever closes it.
  bool SkipStatement(bool bracesEnd = true) {
    int depth = 0;
    for (;;) {
      if (Is(TokenKind::End)) return depth == 0 || Fail("'}' expected, found the end of the file");
      if (IsMark('{')) {
        ++depth;
      } else if (IsMark('}')) {
        if (depth == 0) return true;  // the enclosing block's end: left to its reader
        if (--depth == 0 && bracesEnd) {
          Advance();
          TakeMark(';');
          return true;
        }
      } else if (IsMark(';') && depth == 0) {
        Advance();
        return true;
      }
      Advance();
    }
  }

  bool TopLevel() {
    while (!Is(TokenKind::End)) {
      if (!Is(TokenKind::Name)) {
        if (IsMark('}')) return Fail("'}' without a block");
        if (!SkipStatement()) return false;
        continue;
      }
      const std::string keyword(token_.text);
      Advance();
      if (TakeMark('=')) {
        if (keyword == "LIN_protocol_version") {
          if (!Is(TokenKind::Text)) return Fail("the protocol version expected in quotes, found " + Found());
          out_.protocolVersion = FieldText(token_.text, utf8_);
          Advance();
          if (!ExpectMark(';', "after the protocol version")) return false;
          continue;
        }
        if (!SkipStatement()) return false;
        continue;
      }
      if (!IsMark('{')) {
        if (!SkipStatement()) return false;
        continue;
      }
      Advance();
      bool ok = true;
      if (keyword == "Signals" || keyword == "Diagnostic_signals") ok = SignalsBlock();
      else if (keyword == "Frames" || keyword == "Diagnostic_frames") ok = FramesBlock();
      else if (keyword == "Event_triggered_frames") ok = EventFramesBlock();
      else if (keyword == "Signal_encoding_types") ok = EncodingsBlock();
      else if (keyword == "Signal_representation") ok = RepresentationBlock();
      else ok = SkipBlockBody();
      if (!ok) return false;
    }
    if (lexer_.UnterminatedLine() != 0) {
      Fail("a text has no closing quote");
      failureLine_ = lexer_.UnterminatedLine();
      return false;
    }
    return true;
  }

  // After a '{': reads past up to and with the matching '}'.
  bool SkipBlockBody() {
    while (!IsMark('}')) {
      if (Is(TokenKind::End)) return Fail("'}' expected, found the end of the file");
      if (!SkipStatement()) return false;
    }
    Advance();
    return true;
  }

  // Entries up to the block's '}', each read by `entry`.
  template <typename Entry>
  bool Entries(Entry entry) {
    while (!TakeMark('}')) {
      if (Is(TokenKind::End)) return Fail("'}' expected, found the end of the file");
      if (!Is(TokenKind::Name)) {
        if (!SkipStatement()) return false;
        continue;
      }
      if (!entry()) return false;
    }
    return true;
  }

  // name: size, initial value, publisher, subscribers;
  bool SignalsBlock() {
    return Entries([this] {
      std::string name;
      std::int64_t size = 0;
      if (!ExpectName(name, "a signal name") || !ExpectMark(':', "after signal " + name) ||
          !ExpectInteger(size, "the size of signal " + name, 1, 64))
        return false;
      signals_.try_emplace(name, SignalDeclaration{static_cast<int>(size), {}});
      return SkipStatement(false);  // the initial value of an array is in braces
    });
  }

  // name: identifier[, publisher[, length]] { signal, offset; ... }
  bool FramesBlock() {
    return Entries([this] {
      FrameDeclaration frame;
      std::int64_t id = 0;
      if (!ExpectName(frame.name, "a frame name") || !ExpectMark(':', "after frame " + frame.name) ||
          !ExpectInteger(id, "the identifier of frame " + frame.name, 0, 63))
        return false;
      frame.id = static_cast<int>(id);
      std::int64_t length = -1;
      while (TakeMark(',')) {
        if (Is(TokenKind::Number)) {
          if (!ExpectInteger(length, "the length of frame " + frame.name, 1, 8)) return false;
        } else if (Is(TokenKind::Name)) {
          Advance();
        } else {
          return Fail("a publisher or length expected in frame " + frame.name + ", found " + Found());
        }
      }
      // Without a length (LIN 1.x), the identifier gives it; the diagnostic frames have eight.
      frame.length = length > 0 ? static_cast<int>(length) : frame.id < 32 ? 2 : frame.id < 48 ? 4 : 8;
      if (!ExpectMark('{', "after frame " + frame.name)) return false;
      const bool ok = Entries([this, &frame] {
        FrameSignal signal;
        std::int64_t offset = 0;
        if (!ExpectName(signal.name, "a signal name") || !ExpectMark(',', "after signal " + signal.name + " in frame " + frame.name) ||
            !ExpectInteger(offset, "the offset of signal " + signal.name, 0, 63) ||
            !ExpectMark(';', "after the offset of signal " + signal.name))
          return false;
        signal.offset = static_cast<int>(offset);
        frame.signals.push_back(std::move(signal));
        return true;
      });
      if (!ok) return false;
      frames_.push_back(std::move(frame));
      return true;
    });
  }

  // name: [collision resolving table,] identifier, frames...; named only: what it carries varies.
  bool EventFramesBlock() {
    return Entries([this] {
      FrameDeclaration frame;
      if (!ExpectName(frame.name, "a frame name") || !ExpectMark(':', "after frame " + frame.name)) return false;
      if (Is(TokenKind::Name)) {
        Advance();
        if (!ExpectMark(',', "after the collision table of frame " + frame.name)) return false;
      }
      std::int64_t id = 0;
      if (!ExpectInteger(id, "the identifier of frame " + frame.name, 0, 63)) return false;
      frame.id = static_cast<int>(id);
      frame.length = 8;
      frames_.push_back(std::move(frame));
      return SkipStatement(false);
    });
  }

  // name { logical_value, value[, "text"]; physical_value, min, max, scale, offset[, "unit"]; ... }
  bool EncodingsBlock() {
    return Entries([this] {
      std::string name;
      if (!ExpectName(name, "an encoding name") || !ExpectMark('{', "after encoding " + name)) return false;
      Encoding encoding;
      const bool ok = Entries([this, &encoding, &name] {
        const std::string kind(token_.text);
        Advance();
        if (kind == "logical_value") {
          SignalValueText t;
          if (!ExpectMark(',', "after logical_value in encoding " + name) ||
              !ExpectInteger(t.raw, "a logical value of encoding " + name, INT64_MIN / 2, INT64_MAX / 2))
            return false;
          if (TakeMark(',')) {
            if (!Is(TokenKind::Text)) return Fail("the text of a logical value expected in quotes, found " + Found());
            t.text = FieldText(token_.text, utf8_);
            Advance();
          } else {
            t.text = std::to_string(t.raw);
          }
          encoding.texts.push_back(std::move(t));
          return ExpectMark(';', "after a logical value of encoding " + name);
        }
        if (kind == "physical_value") {
          SignalScale scale;
          const std::string where = "of a physical range of encoding " + name;
          if (!ExpectMark(',', "after physical_value in encoding " + name) ||
              !ExpectInteger(scale.minimum, "the minimum " + where, INT64_MIN / 2, INT64_MAX / 2) ||
              !ExpectMark(',', "after the minimum " + where) ||
              !ExpectInteger(scale.maximum, "the maximum " + where, INT64_MIN / 2, INT64_MAX / 2) ||
              !ExpectMark(',', "after the maximum " + where) || !ExpectNumber(scale.factor, "the scale " + where) ||
              !ExpectMark(',', "after the scale " + where) || !ExpectNumber(scale.offset, "the offset " + where))
            return false;
          if (TakeMark(',')) {
            if (!Is(TokenKind::Text)) return Fail("the unit " + where + " expected in quotes, found " + Found());
            scale.unit = FieldText(token_.text, utf8_);
            Advance();
          }
          scale.decimals = std::max(DecimalsOf(scale.factor), DecimalsOf(scale.offset));
          encoding.scales.push_back(std::move(scale));
          return ExpectMark(';', "after a physical range of encoding " + name);
        }
        // bcd_value, ascii_value and what a later version may add.
        return SkipStatement();
      });
      if (!ok) return false;
      encodings_.try_emplace(name, std::move(encoding));
      return true;
    });
  }

  // encoding: signal, signal...;
  bool RepresentationBlock() {
    return Entries([this] {
      std::string encoding;
      if (!ExpectName(encoding, "an encoding name") || !ExpectMark(':', "after encoding " + encoding)) return false;
      do {
        std::string signal;
        if (!ExpectName(signal, "a signal name")) return false;
        representation_[signal] = encoding;
      } while (TakeMark(','));
      return ExpectMark(';', "after the signals of encoding " + encoding);
    });
  }

  void Build() {
    const std::string& v = out_.protocolVersion;
    // LIN 1.x frames carry the classic checksum; 2.x and what builds on it (J2602, ISO 17987)
    // the enhanced one.
    if (!v.empty()) out_.linChecksum = v[0] == '1' ? LinChecksumRule::Classic : LinChecksumRule::Enhanced;
    for (FrameDeclaration& frame : frames_) {
      BusMessage m;
      m.key = static_cast<std::uint32_t>(frame.id);
      m.name = FieldText(frame.name, utf8_);
      m.length = frame.length;
      for (const FrameSignal& ref : frame.signals) {
        // A signal the file does not declare has no size: it cannot be read.
        const auto declared = signals_.find(ref.name);
        if (declared == signals_.end()) continue;
        BusSignal signal;
        signal.name = FieldText(ref.name, utf8_);
        if (!PlaceDbcSignal(signal, ref.offset, declared->second.size, SignalByteOrder::LittleEndian)) continue;
        const auto bound = representation_.find(ref.name);
        if (bound != representation_.end()) {
          const auto encoding = encodings_.find(bound->second);
          if (encoding != encodings_.end()) {
            signal.texts = encoding->second.texts;
            std::stable_sort(signal.texts.begin(), signal.texts.end(),
                             [](const SignalValueText& a, const SignalValueText& b) { return a.raw < b.raw; });
            signal.scales = encoding->second.scales;
          }
        }
        m.signals.push_back(std::move(signal));
      }
      // Of two frames with one identifier (an event-triggered frame given its own), the first holds.
      (void)out_.Add(std::move(m));
    }
  }

  Lexer lexer_;
  Token token_;
  BusDatabase& out_;
  bool utf8_;
  int failureLine_ = 0;
  std::string failure_;
  std::unordered_map<std::string, SignalDeclaration> signals_;
  std::vector<FrameDeclaration> frames_;
  std::unordered_map<std::string, Encoding> encodings_;
  std::unordered_map<std::string, std::string> representation_;
};

}  // namespace

bool ReadLdf(std::string_view text, BusDatabase& out, DatabaseError& error) {
  out.Clear();
  LdfParser parser(text, out);
  return parser.Run(error);
}

}  // namespace velkor
