#include "decoders/DecCan.h"

#include <algorithm>
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
  for (int i = first; i < first + count; ++i) value = value << 1 | (state.bits[i] == '1');
  return value;
}

void DropBits(CanChannelState& state, int count) {
  state.bitCount -= count;
  std::memmove(state.bits.data(), state.bits.data() + count, static_cast<std::size_t>(state.bitCount));
  state.bits[state.bitCount] = '\0';
}

void AppendLine(DecoderServices& services, int channel, const std::string& line, int& result) {
  services.AppendDecodedLine(line);
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
  char hex[4] = {kHexDigits[(id >> 8) & 0xF], kHexDigits[(id >> 4) & 0xF], kHexDigits[id & 0xF], '\0'};
  const std::string name = state.description.ReadString("ID", std::string_view(hex, 3), "");
  const std::string_view text = name.empty() ? std::string_view(hex, 3) : std::string_view(name);
  // A longer name would overflow the identifier field: it is cut to what the field holds.
  const std::size_t length = std::min<std::size_t>(text.size(), kCanNameMax);
  std::memcpy(state.identifier.data(), text.data(), length);
  state.identifier[length] = '\0';
}

void TakeData(CanChannelState& state) {
  const int digits = 2 * state.dataLength;
  for (int d = 0; d < digits; ++d) state.dataText[d] = kHexDigits[BitsValue(state, 4 * d, 4)];
  state.dataText[digits] = '\0';
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
  AppendLine(services, channel, line, result);
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
        AppendLine(services, channel, line, result);
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

bool RunCanLane(DecoderServices& services, CanChannelState& state, int channel, Lane& lane, LaneSpan& span) {
  auto step = [&](char level, SampleIndex index) { return DecodeCan(services, state, channel, level, index); };
  // Whether the channel decodes cannot change while the lane runs: it is asked once.
  if (!Decoding(services, state, channel)) {
    return RunLane(lane, span,
                   LaneDecoder{[&](char, std::uint64_t) { services.MarkTrace(channel); }, step,
                               [](char) { return kUnboundedRun; }});
  }
  return RunLane(lane, span,
                 LaneDecoder{[&](char level, std::uint64_t count) {
                               DecodingSkip(state, level, count);
                               services.MarkTrace(channel);
                             },
                             step, [&](char level) { return DecodingSteady(state, level); }});
}

}  // namespace velkor
