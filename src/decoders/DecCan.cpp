#include "decoders/DecCan.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string_view>

#include "decoders/FileErrorPrompt.h"

namespace velkor {

namespace {

constexpr int kArbitrationBits = 13;  // start of frame, 11 identifier bits, RTR
constexpr int kControlBits = 6;       // IDE, r0, 4 DLC bits
constexpr int kCrcBitsBeforeLine = 9;
constexpr int kMaxDataBytes = 8;

// Reads `count` bits of the buffer from `first` as a binary number, most significant first.
int BitsValue(const CanChannelState& state, int first, int count) {
  int value = 0;
  int i = first;
  if constexpr (std::endian::native == std::endian::little) {
    // Eight characters at a time: the bytes equal to '1' found without a branch, then their
    // flags gathered first-highest into one byte by a product whose partial sums never meet.
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    for (; i + 8 <= first + count; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, state.bits.data() + i, sizeof word);
      const std::uint64_t x = word ^ 0x3131313131313131ull;  // zero where '1'
      const std::uint64_t nonZero = (((x & kLow7) + kLow7) | x) & ~kLow7;
      const std::uint64_t ones = (~nonZero & ~kLow7) >> 7;
      value = value << 8 | static_cast<int>((ones * 0x8040201008040201ull) >> 56);
    }
  }
  for (; i < first + count; ++i) value = value << 1 | (state.bits[i] == '1');
  return value;
}

void DropBits(CanChannelState& state, int count) {
  state.bitCount -= count;
  std::memmove(state.bits.data(), state.bits.data() + count, static_cast<std::size_t>(state.bitCount));
  state.bits[state.bitCount] = '\0';
}

void AppendLine(DecoderServices& services, int channel, const std::string& line, int& result,
                FrameTag tag = FrameTag::NoId(FrameBus::Can)) {
  services.AppendDecodedLine(line, tag);
  services.MarkEvent(channel);
  result = 1;
}

void AppendError(DecoderServices& services, int channel, SampleIndex index, std::string_view text,
                 int& result) {
  std::string& line = services.NewLine(channel, index);
  line += kErrorLineMark;
  line += text;
  AppendLine(services, channel, line, result);
}

// The identifier as three upper-case hex digits (a '0' bit in front makes 12 bits), replaced
// by its name in section ID when the description gives a non-empty one.
void TakeIdentifier(CanChannelState& state) {
  const int id = BitsValue(state, 1, 11);
  state.identifierValue = static_cast<std::uint32_t>(id);
  state.extendedFrame = false;
  char hex[4] = {kHexDigits[(id >> 8) & 0xF], kHexDigits[(id >> 4) & 0xF], kHexDigits[id & 0xF], '\0'};
  const std::string name = state.description.ReadString("ID", std::string_view(hex, 3), "");
  const std::string_view text = name.empty() ? std::string_view(hex, 3) : std::string_view(name);
  // A longer name would overflow the identifier field: it is cut to what the field holds.
  const std::size_t length = std::min<std::size_t>(text.size(), kCanNameMax);
  std::memcpy(state.identifier.data(), text.data(), length);
  state.identifier[length] = '\0';
}

void TakeData(CanChannelState& state) {
  for (int b = 0; b < state.dataLength; ++b) {
    const int value = BitsValue(state, 8 * b, 8);
    state.dataText[2 * b] = kHexDigits[value >> 4];
    state.dataText[2 * b + 1] = kHexDigits[value & 0xF];
  }
  state.dataText[2 * state.dataLength] = '\0';
}

void AppendFrameLine(DecoderServices& services, const CanChannelState& state, int channel,
                     SampleIndex index, int& result) {
  std::string& line = services.NewLine(channel, index);
  line += "ID=";
  line += state.identifier.data();
  line += ",DLC=";
  line += std::to_string(state.dataLength);
  if (state.frameKind == 'R') {
    line += ",RemoteFrame,";
  } else {
    line += ",DataFrame=";
    for (int d = 0; state.dataText[d] != '\0'; d += 2) {
      if (d > 0) line += ' ';
      line += state.dataText[d];
      line += state.dataText[d + 1];
    }
    line += ',';
  }
  AppendLine(services, channel, line, result, FrameTag::Can(state.identifierValue, state.extendedFrame));
}

// Takes every field that the buffer now completes; each field sees what the one before left.
void ConsumeFields(DecoderServices& services, CanChannelState& state, int channel, SampleIndex index,
                   int& result) {
  if (state.frameState == CanFrameState::Arbitration && state.bitCount >= kArbitrationBits) {
    state.frameKind = state.bits[12] == '0' ? 'D' : 'R';
    TakeIdentifier(state);
    state.dataLength = -1;
    state.frameState = CanFrameState::Control;
    DropBits(state, kArbitrationBits);
  }
  if (state.frameState == CanFrameState::Control && state.bitCount >= kControlBits) {
    // IDE and r0 are not examined: extended-format frames are not recognised.
    state.dataLength = BitsValue(state, 2, 4);
    if (state.dataLength != 0 && state.frameKind != 'R') {
      if (state.dataLength <= kMaxDataBytes) {
        state.frameState = CanFrameState::Data;
      } else {
        std::string& line = services.NewLine(channel, index);
        line += "ID=";
        line += state.identifier.data();
        line += ',';
        line += kErrorLineMark;
        line += "Error DLC,";
        AppendLine(services, channel, line, result, FrameTag::Can(state.identifierValue, state.extendedFrame));
        state.frameState = CanFrameState::WaitIdle;
      }
    } else {
      state.frameState = CanFrameState::Crc;
    }
    DropBits(state, kControlBits);
  }
  if (state.frameState == CanFrameState::Data && state.bitCount >= 8 * state.dataLength) {
    TakeData(state);
    state.frameState = CanFrameState::Crc;
    DropBits(state, 8 * state.dataLength);
  }
  if (state.frameState == CanFrameState::Crc && state.bitCount >= kCrcBitsBeforeLine) {
    state.frameState = CanFrameState::WaitIdle;
    AppendFrameLine(services, state, channel, index, result);
  }
}

// A run of `last level` has just ended: turn its length into bits or an error.
void EndRun(DecoderServices& services, CanChannelState& state, int channel, SampleIndex index,
            int& result) {
  const auto& t = state.thresholds;
  const std::int32_t r = state.run;
  int count = 0;
  if (r < t[0]) {
    AppendError(services, channel, index, "Error bit too small,", result);
    state.frameState = CanFrameState::WaitIdle;
  } else if (r < t[5]) {
    count = r < t[1] ? 1 : r < t[2] ? 2 : r < t[3] ? 3 : r < t[4] ? 4 : 5;
    state.runWasFive = count == 5;
  } else if (r < t[6]) {
    AppendError(services, channel, index, "Error frame,", result);
    state.frameState = CanFrameState::WaitIdle;
  } else {
    AppendError(services, channel, index, "Error bit too big,", result);
    state.frameState = CanFrameState::WaitIdle;
  }
  if (count > 0 && state.previousRunWasFive) {
    state.previousRunWasFive = false;
    --count;
  }
  // Every field is consumed as soon as it is complete, so the buffer never holds more than
  // the longest field and one run; the bound only guards the array.
  count = std::min(count, kCanBitBufferSize - state.bitCount);
  std::memset(state.bits.data() + state.bitCount, state.lastLevel, static_cast<std::size_t>(count));
  state.bitCount += count;
  state.bits[state.bitCount] = '\0';
  ConsumeFields(services, state, channel, index, result);
}

void CountSample(CanChannelState& state) {
  // A bus stuck at one level must not wrap the counter round to a short run.
  if (state.run < std::numeric_limits<std::int32_t>::max()) ++state.run;
}

}  // namespace

int LoadCanDescription(DecoderServices& services, CanChannelState& state, const std::string& path,
                       int channel) {
  services.fieldNames.Clear(channel);
  state.description.Close();
  // The reader never fails to open: a missing file reads as empty and has no bit rate.
  state.description.Open(path);
  const std::int32_t bitRate = state.description.ReadInteger("BAUDRATE", "Value", -1);
  // A bit rate of 0 or below gives no bit time at all.
  if (bitRate <= 0) return FileErrorPrompt(services, channel, path, "Value of BAUDRATE");

  state.lastLevel = '?';
  state.run = 0;
  state.runWasFive = false;
  state.frameState = CanFrameState::WaitIdle;
  state.bitRate = bitRate;
  state.loaded = true;
  const std::int64_t bitMicros = 1000000 / bitRate;
  for (int k = 0; k < kCanThresholdCount; ++k)
    state.thresholds[k] = static_cast<std::int32_t>(BitSamplePosition(bitMicros, k));
  const auto& t = state.thresholds;
  state.runBits.assign(static_cast<std::size_t>(std::clamp(t[5], 0, 1024)), 0);
  for (std::int32_t r = 0; r < static_cast<std::int32_t>(state.runBits.size()); ++r)
    if (r >= t[0]) state.runBits[r] = static_cast<std::uint8_t>(1 + (r >= t[1]) + (r >= t[2]) + (r >= t[3]) + (r >= t[4]));

  services.fieldNames.Add(channel, "ID");
  services.fieldNames.Add(channel, "DataFrame");
  services.fieldNames.Add(channel, "DLC");
  return 0;
}

int DecodeCan(DecoderServices& services, CanChannelState& state, int channel, char level,
              SampleIndex index) {
  int result = 0;
  if (services.IsActive(channel) && state.loaded) {
    switch (state.frameState) {
      case CanFrameState::WaitIdle:
        if (level == '0') {
          state.run = 0;
        } else {
          CountSample(state);
          if (state.run > state.thresholds[6]) state.frameState = CanFrameState::WaitStart;
        }
        break;
      case CanFrameState::WaitStart:
        if (level == '0') {
          state.lastLevel = '0';
          state.run = 0;
          state.bitCount = 0;
          state.bits[0] = '\0';
          state.dataText[0] = '\0';
          state.runWasFive = false;
          state.previousRunWasFive = false;
          state.frameState = CanFrameState::Arbitration;
        }
        break;
      case CanFrameState::Arbitration:
      case CanFrameState::Control:
      case CanFrameState::Data:
      case CanFrameState::Crc:
        if (level == state.lastLevel) {
          CountSample(state);
        } else {
          EndRun(services, state, channel, index, result);
          state.previousRunWasFive = state.runWasFive;
          state.runWasFive = false;
          state.lastLevel = level;
          state.run = 0;
        }
        break;
    }
  }
  services.MarkTrace(channel);
  return result;
}

namespace {

// The steady count and the skip of a channel that decodes (active, with a description).
inline std::uint64_t DecodingSteady(const CanChannelState& state, char level) {
  switch (state.frameState) {
    case CanFrameState::WaitIdle:
      if (level == '0') return kUnboundedRun;
      // The recessive run ends the wait on the sample that takes it past 6.5 bit times.
      return state.run < state.thresholds[6] ? static_cast<std::uint64_t>(state.thresholds[6] - state.run)
                                             : 0;
    case CanFrameState::WaitStart:
      return level == '0' ? 0 : kUnboundedRun;
    case CanFrameState::Arbitration:
    case CanFrameState::Control:
    case CanFrameState::Data:
    case CanFrameState::Crc:
      return level == state.lastLevel ? kUnboundedRun : 0;
  }
  return 0;
}

inline void DecodingSkip(CanChannelState& state, char level, std::uint64_t count) {
  switch (state.frameState) {
    case CanFrameState::WaitIdle:
      state.run = level == '0' ? 0 : CountHeld(state.run, count, std::numeric_limits<std::int32_t>::max());
      break;
    case CanFrameState::WaitStart:
      break;
    case CanFrameState::Arbitration:
    case CanFrameState::Control:
    case CanFrameState::Data:
    case CanFrameState::Crc:
      state.run = CountHeld(state.run, count, std::numeric_limits<std::int32_t>::max());
      break;
  }
}

bool Decoding(const DecoderServices& services, const CanChannelState& state, int channel) {
  return services.IsActive(channel) && state.loaded;
}

}  // namespace

std::uint64_t CanSteadySamples(const DecoderServices& services, const CanChannelState& state, int channel,
                               char level) {
  return Decoding(services, state, channel) ? DecodingSteady(state, level) : kUnboundedRun;
}

void SkipCan(DecoderServices& services, CanChannelState& state, int channel, char level,
             std::uint64_t count) {
  if (Decoding(services, state, channel)) DecodingSkip(state, level, count);
  services.MarkTrace(channel);
}

namespace {

// The bits of the field being read, before they go to the buffer: oldest in the highest place.
constexpr int kPendingBitsMax = 56;
struct PendingBits {
  std::uint64_t word = 0;
  int count = 0;

  void Add(char level, int n) {
    word = word << n | (level == '1' ? (std::uint64_t{1} << n) - 1 : 0);
    count += n;
  }
  // As EndRun leaves them: one character per bit after those already there, eight at a time.
  // (The characters past the terminator are never read.)
  void MoveTo(CanChannelState& state) {
    if (count > 0) {
      char* out = state.bits.data() + state.bitCount;
      std::uint64_t rest = word << (64 - count);
      for (int k = 0; k < count; k += 8, rest <<= 8) std::memcpy(out + k, &kBitCharacters[rest >> 56], 8);
      state.bitCount += count;
    }
    state.bits[state.bitCount] = '\0';
    word = 0;
    count = 0;
  }

 private:
  // Byte b as eight characters '0' or '1', its highest bit first.
  static constexpr std::array<std::array<char, 8>, 256> kBitCharacters = [] {
    std::array<std::array<char, 8>, 256> table{};
    for (int b = 0; b < 256; ++b)
      for (int k = 0; k < 8; ++k) table[b][k] = ((b >> (7 - k)) & 1) != 0 ? '1' : '0';
    return table;
  }();
};
static_assert(kCanBitBufferSize >= 64 + kPendingBitsMax + 5 + 8, "room for a field, the pending bits and a whole word written past them");

// How many bits the buffer must hold before ConsumeFields takes the field being read.
int FieldBits(const CanChannelState& state) {
  switch (state.frameState) {
    case CanFrameState::Arbitration:
      return kArbitrationBits;
    case CanFrameState::Control:
      return kControlBits;
    case CanFrameState::Data:
      return 8 * state.dataLength;
    default:
      return kCrcBitsBeforeLine;
  }
}

bool InFrame(const CanChannelState& state) {
  return state.frameState == CanFrameState::Arbitration || state.frameState == CanFrameState::Control ||
         state.frameState == CanFrameState::Data || state.frameState == CanFrameState::Crc;
}

// RunLane for a channel that decodes. Inside a frame each change of level ends a run and
// nothing else can happen, and a frame is mostly changes (one every few samples at full bus
// load), so they are taken one after another in a loop of their own, by the same steps as
// DecodeCan takes them.
bool RunDecodingCanLane(DecoderServices& services, CanChannelState& state, int channel, Lane& lane,
                        LaneSpan& span) {
  std::size_t at = span.at;
  char level = span.level;
  std::size_t& levelChange = span.levelChange;
  for (;;) {
    if (!PassBlockEnds(span, at)) return false;
    if (at > lane.synced) {
      DecodingSkip(state, lane.level, static_cast<std::uint64_t>(at - lane.synced));
      services.MarkTrace(channel);
      lane.synced = at;
    }
    std::uint64_t steadyCount = 0;
    if (level != lane.level) {
      lane.level = level;
      steadyCount = DecodingSteady(state, level);
    }
    if (steadyCount > 0) {
      lane.next = SampleAfter(at, steadyCount);
    } else if (InFrame(state) && level != state.lastLevel) {
      // A run ends here, and each one after it up to the end of the frame or of the span.
      // EndRun's steps, with the bits of the runs gathered in a word until a field may be
      // complete; the errors are left to EndRun itself.
      PendingBits pending;
      int need = FieldBits(state);
      const auto& t = state.thresholds;
      const std::uint8_t* runBits = state.runBits.data();
      const auto runBitsKnown = static_cast<std::int32_t>(state.runBits.size());
      // The changes of level are read 64 samples at a time as a mask: bit k of `changes` is a
      // change at changesAt + k. The window is scanned from the sample after `at`.
      std::size_t changesAt = at + 1;
      std::size_t scanned = at + 1;
      std::uint64_t changes = 0;
      auto nextChange = [&]() -> std::size_t {
        while (changes == 0) {
          if (scanned >= span.limit) return span.limit;
          const auto n = static_cast<unsigned>(std::min<std::size_t>(64, span.limit - scanned));
          const std::uint64_t levels = span.changes->Levels(scanned, n);
          // Every change before `scanned` has been taken: the level there is the lane's.
          const std::uint64_t before = levels << 1 | (level == '1' ? 1u : 0u);
          changes = levels ^ before;
          if (n < 64) changes &= (std::uint64_t{1} << n) - 1;
          changesAt = scanned;
          scanned += n;
        }
        const std::size_t next = changesAt + static_cast<std::size_t>(std::countr_zero(changes));
        changes &= changes - 1;
        return next;
      };
      // The run being ended (`run` samples after its first, at `last`) and whether the one
      // before it was five bits long (then this one starts with a stuff bit) are kept here,
      // and go back to the state whenever something else may look at them.
      std::int32_t run = state.run;
      char last = state.lastLevel;
      bool afterFive = state.previousRunWasFive;
      auto putBack = [&] {
        pending.MoveTo(state);
        state.run = 0;
        state.lastLevel = level;
        state.previousRunWasFive = afterFive;
        state.runWasFive = false;
        services.MarkTrace(channel);
        lane.synced = at + 1;
        lane.level = level;
      };
      for (;;) {
        int result = 0;
        int count = run < runBitsKnown ? runBits[run]
                    : run >= t[0] && run < t[5]
                        ? 1 + (run >= t[1]) + (run >= t[2]) + (run >= t[3]) + (run >= t[4])
                        : 0;
        if (count != 0) {
          const bool five = count == 5;
          if (afterFive) --count;
          afterFive = five;
          pending.Add(last, count);
          if (state.bitCount + pending.count >= need || pending.count > kPendingBitsMax) {
            pending.MoveTo(state);
            ConsumeFields(services, state, channel, span.base + at, result);
            need = FieldBits(state);
          }
        } else {
          pending.MoveTo(state);
          state.run = run;
          state.lastLevel = last;
          state.previousRunWasFive = afterFive;
          state.runWasFive = false;
          EndRun(services, state, channel, span.base + at, result);
          afterFive = state.runWasFive;
        }
        if (result != 0 || !InFrame(state)) {
          putBack();
          lane.next = SampleAfter(at + 1, DecodingSteady(state, level));
          levelChange = span.changes->Next(at + 1, span.limit, level == '1' ? 1u : 0u);
          if (result != 0) return true;
          break;
        }
        // The new run goes on up to the next change of level.
        const std::size_t next = nextChange();
        if (next >= span.limit || !PassBlockEnds(span, next)) {
          putBack();
          lane.next = kNoSample;
          levelChange = std::min(next, span.limit);
          return false;
        }
        last = level;
        run = CountHeld(0, static_cast<std::uint64_t>(next - at - 1), std::numeric_limits<std::int32_t>::max());
        at = next;
        level = level == '0' ? '1' : '0';
      }
    } else {
      const int lines = DecodeCan(services, state, channel, level, span.base + at);
      lane.synced = at + 1;
      lane.next = SampleAfter(at + 1, DecodingSteady(state, level));
      if (lines != 0) return true;
    }
    at = lane.next < levelChange ? lane.next : levelChange;
    if (at >= span.limit) return false;
    if (at == levelChange) {
      level = level == '0' ? '1' : '0';
      levelChange = span.changes->Next(at + 1, span.limit, level == '1' ? 1u : 0u);
    }
  }
}

}  // namespace

bool RunCanLane(DecoderServices& services, CanChannelState& state, int channel, Lane& lane, LaneSpan& span) {
  // Whether the channel decodes cannot change while the lane runs: it is asked once.
  if (!Decoding(services, state, channel)) {
    return RunLane(lane, span,
                   LaneDecoder{[&](char, std::uint64_t) { services.MarkTrace(channel); },
                               [&](char level, SampleIndex index) {
                                 return DecodeCan(services, state, channel, level, index);
                               },
                               [](char) { return kUnboundedRun; }});
  }
  return RunDecodingCanLane(services, state, channel, lane, span);
}

}  // namespace velkor
