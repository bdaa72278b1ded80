// Value change dumps (*.vcd): declarations ($timescale, $var ... $end), then "#time" stamps
// and value changes. Every bit of a declared variable is a channel: a scalar "clk", the bits
// of a vector "data[0]", "data[1]"... from its least significant one. "x" and "z" read as 0.
// A time falls on the grid at the first tick at or after it; the capture ends at the last
// time stamp (a change made there is shown by one tick).

#include <charconv>
#include <unordered_map>

#include "app/Cp1252.h"
#include "app/IniFile.h"
#include "capture/HeldLevels.h"
#include "capture/Readers.h"
#include "capture/TextInput.h"

namespace velkor::capture {

namespace {

struct Variable {
  std::uint32_t root = 0;        // the first $var of its identifier, which holds the targets
  std::size_t width = 1;
  std::size_t firstChannel = 0;  // its bit 0 in the file's channel order
  std::size_t firstTarget = 0;   // its mapped bits in targets_
  std::size_t targetCount = 0;
};

// A bit of a variable that a decoding channel reads.
struct Target {
  std::size_t bit;
  std::uint8_t mask;
};

bool ParseWhole(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// "1ns", "10 us", "100ps": a unit of numerator / denominator seconds.
bool ParseTimescale(std::string_view text, std::uint64_t& numerator, std::uint64_t& denominator) {
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (!ParseWhole(text.substr(0, digits), numerator) || (numerator != 1 && numerator != 10 && numerator != 100))
    return false;
  const std::string_view unit = text.substr(digits);
  static constexpr std::pair<std::string_view, std::uint64_t> kUnits[] = {
      {"s", 1}, {"ms", 1000}, {"us", 1000000}, {"ns", 1000000000}, {"ps", 1000000000000}, {"fs", 1000000000000000}};
  for (const auto& [name, per] : kUnits) {
    if (unit == name) {
      denominator = per;
      return true;
    }
  }
  return false;
}

class VcdReader final : public CaptureReader {
 public:
  explicit VcdReader(const std::string& path) : CaptureReader(CaptureFormat::Vcd, path) {
    singleId_.fill(kNoVariable);
  }

  bool Open(std::string& error);
  std::size_t Read(std::uint8_t* samples, std::size_t count) override;
  std::optional<std::uint64_t> ExpectedSamples() const override { return std::nullopt; }
  int PercentRead() const override { return text_.PercentRead(); }

 private:
  static constexpr std::uint32_t kNoVariable = ~std::uint32_t{0};

  // Words up to "$end"; false (with `error`) when the text ends first.
  bool Section(std::vector<std::string>& words, std::string_view keyword, std::string& error);
  bool Declare(const std::vector<std::string>& words, std::string& error);
  std::uint32_t Find(std::string_view id) const;
  // Find for a value change: an undeclared identifier fails the file.
  std::uint32_t FindChanged(std::string_view id);
  void MakeTargets();
  // Takes words until a time stamp moves the held ticks on, or the text ends; false when the
  // text has ended or failed.
  bool Advance();
  void Scalar(std::string_view id, char value);
  void Vector(std::string_view id, std::string_view value);
  // Holds each channel of the variable `id` at levelOfBit(its bit in the variable).
  template <typename LevelOfBit>
  void SetTargets(std::string_view id, LevelOfBit levelOfBit);
  void FailAtLine(const std::string& what) { Fail("line " + std::to_string(text_.LineNumber()) + ": " + what); }

  TextInput text_;
  TickClock clock_{1, 1};
  std::vector<Variable> variables_;
  std::array<std::uint32_t, 128> singleId_;  // identifiers of one character
  std::unordered_map<std::string, std::uint32_t> longIds_;
  std::vector<Target> targets_;
  HeldLevels held_;
  bool started_ = false;
  bool ended_ = false;
  bool seenTime_ = false;
  std::uint64_t lastTime_ = 0;
  std::uint64_t lastTick_ = 0;
  bool changedSinceTime_ = false;
};

bool VcdReader::Section(std::vector<std::string>& words, std::string_view keyword, std::string& error) {
  words.clear();
  std::string_view word;
  while (text_.NextWord(word)) {
    if (word == "$end") return true;
    words.emplace_back(word);
  }
  error = "line " + std::to_string(text_.LineNumber()) + ": " + std::string(keyword) + " has no $end";
  return false;
}

std::uint32_t VcdReader::Find(std::string_view id) const {
  if (id.size() == 1 && static_cast<unsigned char>(id[0]) < 128) return singleId_[static_cast<unsigned char>(id[0])];
  const auto found = longIds_.find(std::string(id));
  return found == longIds_.end() ? kNoVariable : found->second;
}

bool VcdReader::Declare(const std::vector<std::string>& words, std::string& error) {
  // $var type width identifier reference [range] $end
  std::uint64_t width = 0;
  if (words.size() < 4 || !ParseWhole(words[1], width) || width == 0 || width > 4096) {
    error = "line " + std::to_string(text_.LineNumber()) + ": a $var that is not \"type width id name\"";
    return false;
  }
  const std::string& type = words[0];
  const std::string& id = words[2];
  std::string reference = Utf8ToCp1252(words[3]);
  std::string range;
  for (std::size_t i = 4; i < words.size(); ++i) range += words[i];
  if (range.empty()) {
    const std::size_t bracket = reference.find('[');
    if (bracket != std::string::npos) {
      range = reference.substr(bracket);
      reference.resize(bracket);
    }
  }
  Variable variable;
  // Reals, events and strings are no logic levels: their changes are read past.
  const bool logic = type != "real" && type != "realtime" && type != "event" && type != "string";
  variable.width = logic ? static_cast<std::size_t>(width) : 0;
  variable.firstChannel = names_.size();
  if (logic) {
    // Bit names from the range "[msb:lsb]" (or "[n]"); bit 0 is the rightmost of a value.
    long long msb = static_cast<long long>(width) - 1, lsb = 0;
    bool ranged = false;
    if (range.size() > 2 && range.front() == '[' && range.back() == ']') {
      const std::string inner = range.substr(1, range.size() - 2);
      const std::size_t colon = inner.find(':');
      char* end = nullptr;
      const long long a = std::strtoll(inner.c_str(), &end, 10);
      if (colon == std::string::npos && *end == '\0') {
        msb = lsb = a;
        ranged = true;
      } else if (colon != std::string::npos && end == inner.c_str() + colon) {
        const long long b = std::strtoll(inner.c_str() + colon + 1, &end, 10);
        if (*end == '\0') {
          msb = a;
          lsb = b;
          ranged = true;
        }
      }
    }
    if (width == 1) {
      names_.push_back(ranged ? reference + range : reference);
    } else {
      const long long step = msb >= lsb ? 1 : -1;
      for (std::uint64_t bit = 0; bit < width; ++bit)
        names_.push_back(reference + "[" + std::to_string(lsb + step * static_cast<long long>(bit)) + "]");
    }
  }
  const auto index = static_cast<std::uint32_t>(variables_.size());
  // A second $var of the same identifier is the same signal under another name.
  const std::uint32_t earlier = Find(id);
  variable.root = earlier == kNoVariable ? index : earlier;
  variables_.push_back(variable);
  if (earlier == kNoVariable) {
    if (id.size() == 1 && static_cast<unsigned char>(id[0]) < 128)
      singleId_[static_cast<unsigned char>(id[0])] = index;
    else
      longIds_.emplace(id, index);
  }
  return true;
}

bool VcdReader::Open(std::string& error) {
  if (!text_.Open(Path())) {
    error = "cannot be opened";
    return false;
  }
  bool timescale = false;
  std::vector<std::string> words;
  std::string_view word;
  for (;;) {
    if (!text_.NextWord(word)) {
      error = text_.TooLong() ? "a word longer than the read buffer" : "the declarations have no $enddefinitions";
      return false;
    }
    if (word == "$enddefinitions") {
      if (!Section(words, word, error)) return false;
      break;
    }
    if (word == "$timescale") {
      if (!Section(words, word, error)) return false;
      std::string joined;
      for (const auto& w : words) joined += w;
      std::uint64_t numerator = 0, denominator = 0;
      if (!ParseTimescale(joined, numerator, denominator)) {
        error = "line " + std::to_string(text_.LineNumber()) + ": unreadable $timescale '" + joined + "'";
        return false;
      }
      clock_ = TickClock(numerator, denominator);
      if (clock_.CoarserThanGrid()) warnings_.push_back(SlowSourceWarning(Path(), numerator, denominator));
      timescale = true;
    } else if (word == "$var") {
      if (!Section(words, word, error) || !Declare(words, error)) return false;
    } else if (!word.empty() && word[0] == '$') {
      const std::string keyword(word);
      if (!Section(words, keyword, error)) return false;
    } else {
      error = "line " + std::to_string(text_.LineNumber()) + ": '" + std::string(word.substr(0, 40)) +
              "' among the declarations";
      return false;
    }
  }
  if (!timescale) {
    error = "no $timescale: the times cannot be put on the grid";
    return false;
  }
  map_ = DefaultChannelMap(names_.size());
  return true;
}

void VcdReader::MakeTargets() {
  std::vector<std::vector<Target>> byRoot(variables_.size());
  for (int i = 0; i < kChannelCount; ++i) {
    if (map_[i] < 0) continue;
    const auto channel = static_cast<std::size_t>(map_[i]);
    for (const Variable& v : variables_) {
      if (channel >= v.firstChannel && channel < v.firstChannel + v.width) {
        byRoot[v.root].push_back({channel - v.firstChannel, static_cast<std::uint8_t>(1u << i)});
        break;
      }
    }
  }
  for (std::size_t v = 0; v < variables_.size(); ++v) {
    variables_[v].firstTarget = targets_.size();
    variables_[v].targetCount = byRoot[v].size();
    targets_.insert(targets_.end(), byRoot[v].begin(), byRoot[v].end());
  }
}

std::uint32_t VcdReader::FindChanged(std::string_view id) {
  const std::uint32_t index = Find(id);
  if (index == kNoVariable)
    FailAtLine("a value for the undeclared identifier '" + std::string(id.substr(0, 40)) + "'");
  return index;
}

template <typename LevelOfBit>
void VcdReader::SetTargets(std::string_view id, LevelOfBit levelOfBit) {
  const std::uint32_t index = FindChanged(id);
  if (index == kNoVariable) return;
  const Variable& v = variables_[index];
  for (std::size_t t = 0; t < v.targetCount; ++t) {
    const Target& target = targets_[v.firstTarget + t];
    held_.Set(target.mask, levelOfBit(target.bit));
  }
}

void VcdReader::Scalar(std::string_view id, char value) {
  SetTargets(id, [value](std::size_t bit) { return bit == 0 && value == '1'; });
}

void VcdReader::Vector(std::string_view id, std::string_view value) {
  // A value shorter than the vector is extended on the left: by 0, or by an x or z that
  // reads as 0 too.
  SetTargets(id, [value](std::size_t bit) {
    return bit < value.size() && value[value.size() - 1 - bit] == '1';
  });
}

bool VcdReader::Advance() {
  std::string_view word;
  while (text_.NextWord(word)) {
    switch (word[0]) {
      case '#': {
        std::uint64_t time = 0;
        if (!ParseWhole(word.substr(1), time)) {
          FailAtLine("'" + std::string(word.substr(0, 40)) + "' is not a time");
          return false;
        }
        if (seenTime_ && time < lastTime_) {
          FailAtLine("the time goes backwards (#" + std::to_string(time) + " after #" + std::to_string(lastTime_) + ")");
          return false;
        }
        seenTime_ = true;
        lastTime_ = time;
        changedSinceTime_ = false;
        const std::uint64_t tick = clock_.FirstTickAtOrAfter(time);
        if (tick > lastTick_) {
          lastTick_ = tick;
          held_.HoldUntil(tick);
          if (held_.Pending()) return true;
        }
        break;
      }
      case '0':
      case '1':
      case 'x':
      case 'X':
      case 'z':
      case 'Z':
        if (word.size() < 2) {
          FailAtLine("a value '" + std::string(word) + "' without an identifier");
          return false;
        }
        Scalar(word.substr(1), word[0]);
        changedSinceTime_ = true;
        break;
      case 'b':
      case 'B':
      case 'r':
      case 'R':
      case 's':
      case 'S': {
        const char kind = word[0];
        const std::string value(word.substr(1));
        std::string_view id;
        if (!text_.NextWord(id)) {
          FailAtLine("a value '" + value.substr(0, 40) + "' without an identifier");
          return false;
        }
        if (kind == 'b' || kind == 'B')
          Vector(id, value);
        else
          FindChanged(id);  // a real or a string changes no channel
        changedSinceTime_ = true;
        break;
      }
      case '$':
        if (word == "$comment") {
          std::vector<std::string> words;
          std::string error;
          if (!Section(words, "$comment", error)) {
            Fail(error);
            return false;
          }
        }
        // $dumpvars, $dumpall, $dumpon, $dumpoff and their $end only frame value changes.
        break;
      default:
        FailAtLine("'" + std::string(word.substr(0, 40)) + "' is neither a time nor a value change");
        return false;
    }
    if (!Failure().empty()) return false;
  }
  if (text_.TooLong()) Fail("a word longer than the read buffer");
  return false;
}

std::size_t VcdReader::Read(std::uint8_t* samples, std::size_t count) {
  if (!started_) {
    started_ = true;
    MakeTargets();
  }
  std::size_t produced = 0;
  for (;;) {
    produced += held_.Flush(samples + produced, count - produced);
    if (produced == count || ended_) return produced;
    if (!Advance()) {
      ended_ = true;
      // The changes made at the last time stamp are shown by its tick.
      if (Failure().empty() && seenTime_ && changedSinceTime_) held_.HoldUntil(lastTick_ + 1);
    }
  }
}

}  // namespace

std::unique_ptr<CaptureReader> OpenVcd(const std::string& path, std::string& error) {
  auto reader = std::make_unique<VcdReader>(path);
  if (!reader->Open(error)) return nullptr;
  return reader;
}


}  // namespace velkor::capture
