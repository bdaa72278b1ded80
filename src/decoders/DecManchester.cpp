#include "decoders/DecManchester.h"

#include <algorithm>
#include <cstdlib>

#include "decoders/DescriptionFile.h"
#include "decoders/FileErrorPrompt.h"

namespace velkor {

namespace {

// The description's name in lines: the file name without folder and extension, padded
// with blanks and cut to six characters.
void MakeSlotName(ManchesterDescriptionSlot& slot, const std::string& path) {
  std::string_view name = path;
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  name.remove_suffix(name.size() >= 4 ? 4 : name.size());
  for (int i = 0; i < kManchesterNameLength; ++i)
    slot.name[i] = i < static_cast<int>(name.size()) ? name[i] : ' ';
}

// Half-bit levels of one preamble symbol, or nothing for a blank.
std::string_view SymbolHalfBits(char symbol, bool invert) {
  switch (symbol) {
    case '0': return invert ? "10" : "01";
    case '1': return invert ? "01" : "10";
    case 'M': return "11";
    case 'S': return "00";
    default: return {};
  }
}

bool IsPreambleCharacter(char c) { return c == '0' || c == '1' || c == 'M' || c == 'S' || c == ' '; }

// Reads and checks the description; returns the reason of a refusal, or nothing.
std::string ReadDescription(DecoderServices& services, DescriptionFile& file,
                            ManchesterDescriptionSlot& slot, int channel) {
  slot.baud = file.ReadInteger("BAUDRATE", "Value", -1);
  // A rate of 0 would leave the half-bit period undefined, and a negative one would make
  // every threshold negative: neither describes a line.
  if (slot.baud <= 0) return "Value of BAUDRATE";

  if (!file.ReadYesNo("INVERT", "Value", "", slot.invert)) return "Value of INVERT";

  const std::int32_t timeout = file.ReadInteger("TIMEOUT", "Value", 5);
  if (timeout < 2 || timeout > 5) return "Value of TIMEOUT (2..5)";
  slot.timeout = static_cast<std::int8_t>(timeout);

  const std::string content = UpperCaseAscii(file.ReadString("PREAMBLE", "Content", ""));
  if (content.empty()) return "Content of PREAMBLE";
  int symbols = 0;
  bool badCharacter = false;
  for (char c : content) {
    if (!IsPreambleCharacter(c)) {
      badCharacter = true;
      break;
    }
    if (c != ' ') ++symbols;
  }
  if (symbols > kManchesterPreambleSymbolsMax) return "Content of PREAMBLE (Length)";
  if (badCharacter) return "Content of PREAMBLE ('0', '1', 'M', 'S')";
  slot.preamble.Clear();
  for (char c : content)
    for (char h : SymbolHalfBits(c, slot.invert)) slot.preamble.PushBack(h);
  slot.window.Clear();
  slot.runCounter = 0;
  slot.state = ManchesterSlotState::Searching;
  const std::int64_t halfBitMicros = 500000 / slot.baud;
  for (int i = 0; i < 6; ++i) slot.thresholds[i] = static_cast<std::int32_t>(BitSamplePosition(halfBitMicros, i));

  const std::vector<std::string> keys = file.Keys("FIELDS");
  if (keys.empty()) return "Fields are missing";
  // Summed in 64 bits: sixteen lengths near the 32-bit limit must still be refused.
  std::int64_t total = 0;
  for (const std::string& key : keys) {
    if (slot.fieldCount == kManchesterMaxFields) return "More than 16 fields";
    if (key.size() > static_cast<std::size_t>(kManchesterFieldNameMax))
      return "Length of field name ''" + key + "'' > 16 characters";
    services.fieldNames.Add(channel, key);
    const std::int32_t length = file.ReadInteger("FIELDS", key, 0);
    if (length < 1) return "Length of field ''" + key + "''";
    slot.fieldNames[slot.fieldCount].Assign(key);
    slot.fieldLengths[slot.fieldCount] = length;
    ++slot.fieldCount;
    total += 2 * static_cast<std::int64_t>(length);
  }
  if (total > kManchesterMaxHalfBits) return "Sum of length fields must not exceed 512 Manchester bits";
  slot.total = static_cast<std::int32_t>(total);
  return {};
}

// Turns a finished run into run characters: '<' too short for a half-bit, the level once
// per half-bit, '>' when the run is longer than the timeout allows (end of frame).
int ClassifyRun(const ManchesterDescriptionSlot& slot, char* out) {
  const std::int32_t counter = slot.runCounter;
  const char level = slot.lastLevel;
  const auto& t = slot.thresholds;
  if (counter < t[0]) {
    out[0] = '<';
    return 1;
  }
  int halfBits;
  if (counter < t[1]) {
    halfBits = 1;
  } else if (counter < t[2]) {
    halfBits = 2;
  } else if (slot.timeout == 2) {
    halfBits = 0;
  } else if (counter < t[3]) {
    halfBits = 3;
  } else if (slot.timeout == 3) {
    halfBits = 0;
  } else if (counter < t[4]) {
    halfBits = 4;
  } else if (slot.timeout == 4) {
    halfBits = 0;
  } else if (counter < t[5]) {
    halfBits = 5;
  } else {
    halfBits = 0;
  }
  if (halfBits == 0) {
    // Too long: its first half-bit still belongs to the frame.
    out[0] = level;
    out[1] = '>';
    return 2;
  }
  for (int i = 0; i < halfBits; ++i) out[i] = level;
  return halfBits;
}

void FeedRunCharacter(ManchesterDescriptionSlot& slot, char x) {
  switch (slot.state) {
    case ManchesterSlotState::Searching: {
      auto& w = slot.window;
      if (w.size > 0 && w.size >= slot.preamble.size) {
        for (std::int32_t i = 1; i < w.size; ++i) w.data[i - 1] = w.data[i];
        --w.size;
      }
      w.PushBack(x);
      if (w.View() == slot.preamble.View()) {
        slot.state = ManchesterSlotState::Gathering;
        slot.halfBits.Clear();
      }
      break;
    }
    case ManchesterSlotState::Gathering:
      if (x == '0' || x == '1') slot.halfBits.PushBack(x);
      if (slot.halfBits.size >= kManchesterMaxHalfBits || x == '>' || x == '<')
        slot.state = ManchesterSlotState::Complete;
      break;
    case ManchesterSlotState::Complete:
      break;
  }
}

// Cuts the gathered frame to whole symbols and returns its length in half-bits.
std::int32_t EvaluateFrame(ManchesterDescriptionSlot& slot) {
  const std::int32_t halfBitCount = slot.halfBits.size / 8 * 8;
  slot.symbols.Clear();
  bool cut = false;
  for (std::int32_t k = 0; 2 * k < halfBitCount && !cut; ++k) {
    const char a = slot.halfBits.data[2 * k];
    const char b = slot.halfBits.data[2 * k + 1];
    char symbol;
    if (a == '1' && b == '1')
      symbol = 'M';
    else if (a == '0' && b == '1')
      symbol = slot.invert ? '1' : '0';
    else if (a == '1' && b == '0')
      symbol = slot.invert ? '0' : '1';
    else
      symbol = 'S';
    // A space or mark symbol ends the data; no symbol after it is kept.
    if (symbol == 'S' || symbol == 'M')
      cut = true;
    else
      slot.symbols.PushBack(symbol);
  }
  slot.symbols.size = slot.symbols.size / 4 * 4;
  return 2 * slot.symbols.size;
}

// Appends `count` symbols from `from` as hexadecimal digits, left-padded to whole digits.
void AppendHex(std::string& line, const char* from, std::int32_t count) {
  std::int32_t pad = (4 - count % 4) % 4;
  int digit = 0;
  int bits = pad;
  for (std::int32_t i = 0; i < count; ++i) {
    digit = digit << 1 | (from[i] == '1' ? 1 : 0);
    if (++bits == 4) {
      line += kHexDigits[digit];
      digit = 0;
      bits = 0;
    }
  }
}

void AppendFrameLine(DecoderServices& services, const ManchesterDescriptionSlot& slot, int channel,
                     SampleIndex index, std::int32_t frameLength) {
  std::string& line = services.NewLine(channel, index);
  line += "FD=";
  line.append(slot.name.data(), slot.name.size());
  line += ',';
  if (frameLength == slot.total) {
    const char* at = slot.symbols.data.data();
    for (std::int32_t f = 0; f < slot.fieldCount; ++f) {
      line += '$';
      line += slot.fieldNames[f].View();
      line += '=';
      AppendHex(line, at, slot.fieldLengths[f]);
      at += slot.fieldLengths[f];
      line += ',';
    }
  } else {
    line += '\xA3';
    AppendHex(line, slot.symbols.data.data(), slot.symbols.size);
    line += ',';
  }
  services.AppendDecodedLine(line);
}

}  // namespace

int LoadManchesterDescription(DecoderServices& services, const std::string& path,
                              ManchesterDescriptionSlot& slot, int channel) {
  slot.loaded = false;
  slot.fieldCount = 0;
  slot.total = 0;
  MakeSlotName(slot, path);
  const std::string file = FindDescriptionFile(path, services.configFolder).path;
  DescriptionFile description(file);
  const std::string reason = ReadDescription(services, description, slot, channel);
  services.fieldNames.Add(channel, "FD");
  if (!reason.empty()) return ManchesterFileErrorPrompt(services, file, reason);
  slot.loaded = true;
  return 0;
}

int ResetManchesterChannel(DecoderServices& services, ManchesterChannelState& state,
                           const ChannelSettings& settings, int channel) {
  services.fieldNames.Clear(channel);
  const int count = static_cast<int>(settings.manchesterFiles.size() < kManchesterSlots
                                         ? settings.manchesterFiles.size()
                                         : kManchesterSlots);
  state.descriptionCount = count;
  for (auto& slot : state.slots) slot.loaded = false;
  for (int j = 0; j < count; ++j) {
    const ManchesterEntry& entry = settings.manchesterFiles[j];
    ManchesterDescriptionSlot& slot = state.slots[j];
    slot.enabled = entry.enabled;
    const DescriptionLocation location = FindDescriptionFile(entry.path, services.configFolder);
    if (!location.found) {
      services.Ui().ShowMessage("Channel " + std::to_string(channel + 1) + " : The file ''" + entry.path +
                                    "'' can not be opened" + FoldersTriedLine(location),
                                "Error", MessageButtons::Ok);
      return 0;
    }
    if (LoadManchesterDescription(services, location.path, slot, channel) != 0) return 1;
  }
  return 0;
}

int DecodeManchester(DecoderServices& services, ManchesterChannelState& state, int channel,
                     char level, SampleIndex index) {
  int result = 0;
  if (state.descriptionCount > 0) {
    bool complete = false;
    for (std::int32_t s = 0; s < state.descriptionCount; ++s) {
      ManchesterDescriptionSlot& slot = state.slots[s];
      if (!slot.Decoding()) continue;
      if (level == slot.lastLevel && ++slot.runCounter <= slot.thresholds[5]) continue;
      char run[5];
      const int n = ClassifyRun(slot, run);
      for (int i = 0; i < n; ++i) FeedRunCharacter(slot, run[i]);
      slot.runCounter = 0;
      slot.lastLevel = level;
      complete |= slot.state == ManchesterSlotState::Complete;
    }
    if (complete) {
      std::int32_t bestDifference = 2000;
      int best = -1;
      std::int32_t bestLength = 0;
      for (std::int32_t s = 0; s < state.descriptionCount; ++s) {
        ManchesterDescriptionSlot& slot = state.slots[s];
        if (!slot.Decoding() || slot.state != ManchesterSlotState::Complete) continue;
        const std::int32_t length = EvaluateFrame(slot);
        const std::int32_t difference = std::abs(length - slot.total);
        if (difference < bestDifference) {
          bestDifference = difference;
          best = s;
          bestLength = length;
        }
        slot.window.Clear();
        slot.state = ManchesterSlotState::Searching;
      }
      if (best >= 0) {
        AppendFrameLine(services, state.slots[best], channel, index, bestLength);
        services.MarkEvent(channel);
        result = 1;
      }
    }
  }
  services.MarkTrace(channel);
  return result;
}

namespace {

// A slot that searches and whose latest run character is the timeout mark: a constant level
// then only ever adds "<level>>" pairs to its window. The preamble holds no '>', and the
// window keeps a '>' of the pair before while the next level goes in (it holds two characters
// or more whenever the preamble is not empty), so no such pair can complete the preamble.
bool TimeoutsAreSilent(const ManchesterDescriptionSlot& slot) {
  const auto& w = slot.window;
  return slot.state == ManchesterSlotState::Searching && w.size > 0 && w.data[w.size - 1] == '>';
}

// The window after `pairs` more pairs "<level>>", as FeedRunCharacter leaves it: it keeps the
// latest characters, as many as the preamble has (at least one).
void PushTimeoutPairs(ManchesterDescriptionSlot& slot, char level, std::uint64_t pairs) {
  auto& w = slot.window;
  const std::int32_t keep = slot.preamble.size > 0 ? slot.preamble.size : 1;
  // Of many pairs only the latest `keep` characters can stay.
  const auto most = static_cast<std::uint64_t>(keep);
  const std::uint64_t pushed = pairs > most ? 2 * most : 2 * pairs;
  std::int32_t size = w.size;
  if (size < keep) size = static_cast<std::int32_t>(std::min<std::uint64_t>(keep, size + pushed));
  // Filled from the end: the newest character is the last '>'.
  std::array<char, 2 * kManchesterPreambleSymbolsMax> next{};
  for (std::int32_t e = 0; e < size; ++e) {
    const auto back = static_cast<std::uint64_t>(e);
    next[size - 1 - e] = back < pushed ? (back % 2 == 0 ? '>' : level)
                                       : w.data[w.size - 1 - static_cast<std::int32_t>(back - pushed)];
  }
  for (std::int32_t i = 0; i < size; ++i) w.data[i] = next[i];
  w.size = size;
}

inline std::uint64_t Steady(const ManchesterChannelState& state, char level) {
  std::uint64_t steady = kUnboundedRun;
  for (std::int32_t s = 0; s < state.descriptionCount; ++s) {
    const ManchesterDescriptionSlot& slot = state.slots[s];
    if (!slot.Decoding()) continue;
    if (level != slot.lastLevel) return 0;
    if (TimeoutsAreSilent(slot)) continue;
    const std::int32_t limit = slot.thresholds[5];
    steady = std::min<std::uint64_t>(steady, slot.runCounter < limit ? limit - slot.runCounter : 0);
  }
  return steady;
}

inline void Skip(DecoderServices& services, ManchesterChannelState& state, int channel, char level,
                 std::uint64_t count) {
  for (std::int32_t s = 0; s < state.descriptionCount; ++s) {
    ManchesterDescriptionSlot& slot = state.slots[s];
    if (!slot.Decoding()) continue;
    // The run ends by the timeout on the sample that takes its count past the last threshold,
    // then starts again from nothing.
    const std::int64_t limit = slot.thresholds[5];
    const std::int64_t toTimeout = limit - slot.runCounter + 1;
    if (count < static_cast<std::uint64_t>(toTimeout)) {
      slot.runCounter += static_cast<std::int32_t>(count);
      continue;
    }
    const std::uint64_t period = static_cast<std::uint64_t>(limit) + 1;
    const std::uint64_t after = count - static_cast<std::uint64_t>(toTimeout);
    PushTimeoutPairs(slot, level, 1 + after / period);
    slot.runCounter = static_cast<std::int32_t>(after % period);
  }
  services.MarkTrace(channel);
}

}  // namespace

std::uint64_t ManchesterSteadySamples(const ManchesterChannelState& state, char level) {
  return Steady(state, level);
}

void SkipManchester(DecoderServices& services, ManchesterChannelState& state, int channel, char level,
                    std::uint64_t count) {
  Skip(services, state, channel, level, count);
}

bool RunManchesterLane(DecoderServices& services, ManchesterChannelState& state, int channel, Lane& lane,
                       LaneSpan& span) {
  return RunLane(
      lane, span,
      LaneDecoder{[&](char level, std::uint64_t count) { Skip(services, state, channel, level, count); },
                  [&](char level, SampleIndex index) {
                    return DecodeManchester(services, state, channel, level, index);
                  },
                  [&](char level) { return Steady(state, level); }});
}

}  // namespace velkor
