#include "decoders/DecCan.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string_view>

#include "decoders/DescriptionDatabase.h"
#include "decoders/FileErrorPrompt.h"

namespace velkor {

namespace {

constexpr int kArbitrationBits = 13;  // start of frame, 11 identifier bits, RTR
constexpr int kIdeBit = 13;           // with extended frames the arbitration waits for it
constexpr int kExtendedIdentifierBits = 20;  // IDE, 18 identifier bits, RTR
constexpr int kControlBits = 6;       // IDE, r0, 4 DLC bits
constexpr int kCrcBitsBeforeLine = 9;
constexpr int kCrcBits = 15;
constexpr int kEndOfFrameBits = 7;
constexpr int kMaxDataBytes = 8;
// A run holds at most five bits inside the stuffed part of a frame.
constexpr int kMostBitsOfStuffedRun = 5;

constexpr std::uint32_t kCrcPolynomial = 0x4599;
constexpr std::uint32_t kCrcMask = 0x7FFF;
// The CRC-15 register after eight more bits: entry i for the register's top eight bits
// (crc >> 7) xor the eight bits being added equal to i.
constexpr std::array<std::uint16_t, 256> kCrcOfByte = [] {
  std::array<std::uint16_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t r = i << 7;
    for (int k = 0; k < 8; ++k) r = (r & 0x4000) != 0 ? (r << 1) ^ kCrcPolynomial : r << 1;
    table[i] = static_cast<std::uint16_t>(r & kCrcMask);
  }
  return table;
}();

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

// The identifier as upper-case hex digits (three for a standard frame, a '0' bit in front
// making 12 bits; eight for an extended one), replaced by its name in section ID when the
// description gives a non-empty one, else by the name of its message in the database.
void NameIdentifier(CanChannelState& state, std::uint32_t id, bool extended) {
  state.identifierValue = id;
  state.extendedFrame = extended;
  const int digits = extended ? 8 : 3;
  char hex[8];
  for (int d = 0; d < digits; ++d) hex[d] = kHexDigits[(id >> (4 * (digits - 1 - d))) & 0xF];
  const std::string_view digitsText(hex, static_cast<std::size_t>(digits));
  const std::string name = state.description.ReadString("ID", digitsText, "");
  const std::string_view text = name.empty() ? digitsText : std::string_view(name);
  // A longer name would overflow the identifier field: it is cut to what the field holds.
  const std::size_t length = std::min<std::size_t>(text.size(), kCanNameMax);
  std::memcpy(state.identifier.data(), text.data(), length);
  state.identifier[length] = '\0';
  state.namedInDescription = !name.empty();
  // An extended message of the database (bit 31 in its key) matches only an extended frame.
  state.message = state.database.Find(BusDatabase::CanKey(id, extended));
}

// The identifier as the line shows it.
std::string_view IdentifierText(const CanChannelState& state) {
  if (state.message != nullptr && !state.namedInDescription) return state.message->name;
  return state.identifier.data();
}

// Adds the first `count` bits of the buffer, about to be dropped, to the frame's CRC.
void TakeIntoCrc(CanChannelState& state, int count) {
  if (!state.checkFrame) return;
  std::uint32_t crc = state.crc;
  int i = 0;
  for (; i + 8 <= count; i += 8)
    crc = ((crc << 8) ^ kCrcOfByte[((crc >> 7) ^ static_cast<std::uint32_t>(BitsValue(state, i, 8))) & 0xFF]) &
          kCrcMask;
  for (; i < count; ++i) {
    const bool top = ((crc >> 14) & 1) != (state.bits[i] == '1');
    crc = (crc << 1) & kCrcMask;
    if (top) crc ^= kCrcPolynomial;
  }
  state.crc = crc;
}

void TakeData(CanChannelState& state) {
  state.payload = 0;
  for (int b = 0; b < state.dataLength; ++b) {
    const int value = BitsValue(state, 8 * b, 8);
    state.dataText[2 * b] = kHexDigits[value >> 4];
    state.dataText[2 * b + 1] = kHexDigits[value & 0xF];
    state.payload |= static_cast<std::uint64_t>(value) << (8 * b);
  }
  state.dataText[2 * state.dataLength] = '\0';
}

// The frame's line; a fault found at its end adds one error field after the others.
void AppendFrameLine(DecoderServices& services, const CanChannelState& state, int channel,
                     SampleIndex index, int& result, std::string_view fault = {}) {
  std::string& line = services.NewLine(channel, index);
  line += "ID=";
  line += IdentifierText(state);
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
    if (state.message != nullptr)
      AppendSignalFields(line, *state.message, state.payload,
                         static_cast<std::uint8_t>((1u << state.dataLength) - 1));
  }
  if (!fault.empty()) {
    line += kErrorLineMark;
    line += fault;
  }
  AppendLine(services, channel, line, result, FrameTag::Can(state.identifierValue, state.extendedFrame));
}

// How many bits the buffer must hold before ConsumeFields takes the field being read.
int FieldBits(const CanChannelState& state) {
  switch (state.frameState) {
    case CanFrameState::Arbitration:
      return state.extendedFrames ? kIdeBit + 1 : kArbitrationBits;
    case CanFrameState::ExtendedIdentifier:
      return kExtendedIdentifierBits;
    case CanFrameState::Control:
      return kControlBits;
    case CanFrameState::Data:
      return 8 * state.dataLength;
    default:
      return state.checkFrame ? kCrcBits : kCrcBitsBeforeLine;
  }
}

bool InFrameEnd(const CanChannelState& state) {
  return state.frameState == CanFrameState::CrcDelimiter || state.frameState == CanFrameState::AckSlot ||
         state.frameState == CanFrameState::AckDelimiter || state.frameState == CanFrameState::EndOfFrame;
}

// Takes every field that the buffer now completes; each field sees what the one before left.
void ConsumeFields(DecoderServices& services, CanChannelState& state, int channel, SampleIndex index,
                   int& result) {
  if (state.frameState == CanFrameState::Arbitration && state.bitCount >= FieldBits(state)) {
    if (state.extendedFrames && state.bits[kIdeBit] == '1') {
      // Bit 12 was the SRR bit; the frame kind comes with the RTR bit after the identifier.
      state.baseIdentifier = static_cast<std::uint32_t>(BitsValue(state, 1, 11));
      state.frameState = CanFrameState::ExtendedIdentifier;
    } else {
      state.frameKind = state.bits[12] == '0' ? 'D' : 'R';
      NameIdentifier(state, static_cast<std::uint32_t>(BitsValue(state, 1, 11)), false);
      state.dataLength = -1;
      state.frameState = CanFrameState::Control;
    }
    TakeIntoCrc(state, kArbitrationBits);
    DropBits(state, kArbitrationBits);
  }
  if (state.frameState == CanFrameState::ExtendedIdentifier && state.bitCount >= kExtendedIdentifierBits) {
    state.frameKind = state.bits[kExtendedIdentifierBits - 1] == '0' ? 'D' : 'R';
    NameIdentifier(state, state.baseIdentifier << 18 | static_cast<std::uint32_t>(BitsValue(state, 1, 18)), true);
    state.dataLength = -1;
    state.frameState = CanFrameState::Control;
    TakeIntoCrc(state, kExtendedIdentifierBits);
    DropBits(state, kExtendedIdentifierBits);
  }
  if (state.frameState == CanFrameState::Control && state.bitCount >= kControlBits) {
    // The first two bits (IDE and r0, or r1 and r0) are not examined: without the option
    // extended-format frames are not recognised.
    state.dataLength = BitsValue(state, 2, 4);
    if (state.dataLength != 0 && state.frameKind != 'R') {
      if (state.dataLength <= kMaxDataBytes) {
        state.frameState = CanFrameState::Data;
      } else {
        std::string& line = services.NewLine(channel, index);
        line += "ID=";
        line += IdentifierText(state);
        line += ',';
        line += kErrorLineMark;
        line += "Error DLC,";
        AppendLine(services, channel, line, result, FrameTag::Can(state.identifierValue, state.extendedFrame));
        state.frameState = CanFrameState::WaitIdle;
      }
    } else {
      state.frameState = CanFrameState::Crc;
    }
    TakeIntoCrc(state, kControlBits);
    DropBits(state, kControlBits);
  }
  if (state.frameState == CanFrameState::Data && state.bitCount >= 8 * state.dataLength) {
    TakeData(state);
    state.frameState = CanFrameState::Crc;
    TakeIntoCrc(state, 8 * state.dataLength);
    DropBits(state, 8 * state.dataLength);
  }
  if (state.frameState == CanFrameState::Crc && state.bitCount >= FieldBits(state)) {
    if (!state.checkFrame) {
      state.frameState = CanFrameState::WaitIdle;
      AppendFrameLine(services, state, channel, index, result);
    } else if (static_cast<std::uint32_t>(BitsValue(state, 0, kCrcBits)) != state.crc) {
      state.frameState = CanFrameState::WaitIdle;
      AppendFrameLine(services, state, channel, index, result, "Error CRC,");
    } else {
      // Where the delimiter lies in the runs is set as the next run starts (or by the caller
      // when the CRC sequence ends inside a run).
      state.frameState = CanFrameState::CrcDelimiter;
      state.endOfFrameBits = 0;
      DropBits(state, kCrcBits);
    }
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

// A fault at the end of a checked frame: the line gets its error field and the decoder waits
// for the bus to go idle, counting from this sample as the idle wait counts.
void FaultyFrameEnd(DecoderServices& services, CanChannelState& state, int channel, char level,
                    SampleIndex index, int& result, std::string_view fault) {
  AppendFrameLine(services, state, channel, index, result, fault);
  state.frameState = CanFrameState::WaitIdle;
  if (level == '0') state.run = 0;
}

// One bit of the fixed-form end of a checked frame, read at its sample position.
void TakeFrameEndBit(DecoderServices& services, CanChannelState& state, int channel, char level,
                     SampleIndex index, int& result) {
  switch (state.frameState) {
    case CanFrameState::CrcDelimiter:
      if (level == '0') return FaultyFrameEnd(services, state, channel, level, index, result, "Error form,");
      state.frameState = CanFrameState::AckSlot;
      break;
    case CanFrameState::AckSlot:
      // Every receiver that took the frame drives the slot dominant.
      if (level == '1') return FaultyFrameEnd(services, state, channel, level, index, result, "Error ACK,");
      state.frameState = CanFrameState::AckDelimiter;
      break;
    case CanFrameState::AckDelimiter:
      if (level == '0') return FaultyFrameEnd(services, state, channel, level, index, result, "Error form,");
      state.frameState = CanFrameState::EndOfFrame;
      break;
    case CanFrameState::EndOfFrame:
      if (level == '0') return FaultyFrameEnd(services, state, channel, level, index, result, "Error form,");
      if (++state.endOfFrameBits == kEndOfFrameBits) {
        AppendFrameLine(services, state, channel, index, result);
        // The bus is idle after the end of frame: at full load only the three bits of the
        // intermission come before the next start of frame.
        state.frameState = CanFrameState::WaitStart;
      }
      break;
    default:
      break;
  }
}

// The bits of the frame end that the current run has reached on this sample.
void TakeFrameEndBits(DecoderServices& services, CanChannelState& state, int channel, char level,
                      SampleIndex index, int& result) {
  while (InFrameEnd(state) && state.nextBitInRun < kCanRunBitPositions &&
         state.run == state.runBitPositions[state.nextBitInRun]) {
    ++state.nextBitInRun;
    TakeFrameEndBit(services, state, channel, level, index, result);
  }
}

// A new run has started (run 0, its level in lastLevel, previousRunWasFive set): where the
// positional reading of a checked frame's end falls in it.
void BeginRun(CanChannelState& state) {
  state.crcEndsAtRun = -1;
  if (state.frameState == CanFrameState::Crc && state.checkFrame) {
    // A stuff bit first, then the CRC bits still missing; the bit after them is the CRC
    // delimiter if the run reaches it. From the sixth bit on a run cannot reach it: after
    // five equal bits comes a stuff bit of the other level.
    const int delimiter = (state.previousRunWasFive ? 1 : 0) + kCrcBits - state.bitCount;
    if (delimiter < kMostBitsOfStuffedRun) state.crcEndsAtRun = state.runBitPositions[delimiter];
  } else if (InFrameEnd(state)) {
    // Only the first run after the CRC sequence can start with a stuff bit.
    state.nextBitInRun = state.previousRunWasFive ? 1 : 0;
    state.previousRunWasFive = false;
  }
}

// The run has reached the CRC delimiter: the bits of the run before it end the CRC sequence.
void EndCrcInRun(DecoderServices& services, CanChannelState& state, int channel, char level,
                 SampleIndex index, int& result) {
  const int missing = kCrcBits - state.bitCount;
  const int delimiter = (state.previousRunWasFive ? 1 : 0) + missing;
  std::memset(state.bits.data() + state.bitCount, state.lastLevel, static_cast<std::size_t>(missing));
  state.bitCount += missing;
  state.bits[state.bitCount] = '\0';
  state.previousRunWasFive = false;
  state.crcEndsAtRun = -1;
  ConsumeFields(services, state, channel, index, result);
  if (state.frameState == CanFrameState::CrcDelimiter) {
    state.nextBitInRun = delimiter;
    TakeFrameEndBits(services, state, channel, level, index, result);
  } else if (level == '0') {
    state.run = 0;  // the CRC was wrong: the idle wait counts recessive samples
  }
}

}  // namespace

int LoadCanDescription(DecoderServices& services, CanChannelState& state, const std::string& named,
                       int channel) {
  services.fieldNames.Clear(channel);
  const std::string path = FindDescriptionFile(named, services.configFolder).path;
  state.description.Close();
  // The reader never fails to open: a missing file reads as empty and has no bit rate.
  state.description.Open(path);
  const std::int32_t bitRate = state.description.ReadInteger("BAUDRATE", "Value", -1);
  // A bit rate of 0 or below gives no bit time at all.
  if (bitRate <= 0) return FileErrorPrompt(services, channel, path, "Value of BAUDRATE");
  bool extendedFrames = false;
  if (!state.description.ReadYesNo("OPTIONS", "ExtendedFrames", "NO", extendedFrames))
    return FileErrorPrompt(services, channel, path, "Value of ExtendedFrames");
  bool checkFrame = false;
  if (!state.description.ReadYesNo("OPTIONS", "CheckFrame", "NO", checkFrame))
    return FileErrorPrompt(services, channel, path, "Value of CheckFrame");
  BusDatabase database;
  std::string reason;
  if (!LoadDescriptionDatabase(state.description, DatabaseFormat::Dbc, {"ID", "DLC", "DataFrame", "RemoteFrame"},
                               database, reason))
    return FileErrorPrompt(services, channel, path, reason);

  state.extendedFrames = extendedFrames;
  state.checkFrame = checkFrame;
  state.lastLevel = '?';
  state.run = 0;
  state.runWasFive = false;
  state.frameState = CanFrameState::WaitIdle;
  state.bitRate = bitRate;
  state.database = std::move(database);
  state.message = nullptr;
  state.loaded = true;
  const std::int64_t bitMicros = 1000000 / bitRate;
  for (int k = 0; k < kCanRunBitPositions; ++k)
    state.runBitPositions[k] = static_cast<std::int32_t>(BitSamplePosition(bitMicros, k));
  std::copy_n(state.runBitPositions.begin(), kCanThresholdCount, state.thresholds.begin());
  const auto& t = state.thresholds;
  state.runBits.assign(static_cast<std::size_t>(std::clamp(t[5], 0, 1024)), 0);
  for (std::int32_t r = 0; r < static_cast<std::int32_t>(state.runBits.size()); ++r)
    if (r >= t[0]) state.runBits[r] = static_cast<std::uint8_t>(1 + (r >= t[1]) + (r >= t[2]) + (r >= t[3]) + (r >= t[4]));

  services.fieldNames.Add(channel, "ID");
  services.fieldNames.Add(channel, "DataFrame");
  services.fieldNames.Add(channel, "DLC");
  AddSignalFieldNames(services.fieldNames, channel, state.database);
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
          state.crc = 0;
          state.crcEndsAtRun = -1;
          state.frameState = CanFrameState::Arbitration;
        }
        break;
      case CanFrameState::Arbitration:
      case CanFrameState::ExtendedIdentifier:
      case CanFrameState::Control:
      case CanFrameState::Data:
      case CanFrameState::Crc:
        if (level == state.lastLevel) {
          CountSample(state);
          if (state.run == state.crcEndsAtRun) EndCrcInRun(services, state, channel, level, index, result);
        } else {
          EndRun(services, state, channel, index, result);
          state.previousRunWasFive = state.runWasFive;
          state.runWasFive = false;
          state.lastLevel = level;
          state.run = 0;
          BeginRun(state);
        }
        break;
      case CanFrameState::CrcDelimiter:
      case CanFrameState::AckSlot:
      case CanFrameState::AckDelimiter:
      case CanFrameState::EndOfFrame:
        if (level == state.lastLevel) {
          CountSample(state);
        } else {
          state.lastLevel = level;
          state.run = 0;
          BeginRun(state);
        }
        TakeFrameEndBits(services, state, channel, level, index, result);
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
    case CanFrameState::ExtendedIdentifier:
    case CanFrameState::Control:
    case CanFrameState::Data:
      return level == state.lastLevel ? kUnboundedRun : 0;
    case CanFrameState::Crc:
      if (level != state.lastLevel) return 0;
      // A checked CRC sequence may end inside the run, where its delimiter is read.
      return state.crcEndsAtRun > state.run ? static_cast<std::uint64_t>(state.crcEndsAtRun - state.run - 1)
                                            : kUnboundedRun;
    case CanFrameState::CrcDelimiter:
    case CanFrameState::AckSlot:
    case CanFrameState::AckDelimiter:
    case CanFrameState::EndOfFrame: {
      if (level != state.lastLevel) return 0;
      if (state.nextBitInRun >= kCanRunBitPositions) return kUnboundedRun;
      const std::int32_t position = state.runBitPositions[state.nextBitInRun];
      return position > state.run ? static_cast<std::uint64_t>(position - state.run - 1) : kUnboundedRun;
    }
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
    case CanFrameState::ExtendedIdentifier:
    case CanFrameState::Control:
    case CanFrameState::Data:
    case CanFrameState::Crc:
    case CanFrameState::CrcDelimiter:
    case CanFrameState::AckSlot:
    case CanFrameState::AckDelimiter:
    case CanFrameState::EndOfFrame:
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

// From the start of frame to the end of the frame line: the lane takes the runs one after
// another in its own loop.
bool InFrame(const CanChannelState& state) {
  return state.frameState != CanFrameState::WaitIdle && state.frameState != CanFrameState::WaitStart;
}

// The states of a checked frame's end, where something may happen inside a run: the CRC
// sequence may end there, and the bits after it are read at their sample positions.
bool ReadsInsideRuns(const CanChannelState& state) {
  return (state.frameState == CanFrameState::Crc && state.checkFrame) || InFrameEnd(state);
}

// RunLane for a channel that decodes. Inside a frame each change of level ends a run and
// nothing else can happen (but at the sample positions of a checked frame's end), and a
// frame is mostly changes (one every few samples at full bus load), so they are taken one
// after another in a loop of their own, by the same steps as DecodeCan takes them.
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
        BeginRun(state);
        services.MarkTrace(channel);
        lane.synced = at + 1;
        lane.level = level;
      };
      for (;;) {
        int result = 0;
        // In the frame's end the bits of the run were read at their positions already.
        if (!InFrameEnd(state)) {
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
        // In a checked CRC sequence a run reaches the delimiter only when at most four bits
        // of the sequence are missing (see BeginRun); before that its runs are taken whole.
        const bool reachesDelimiter =
            InFrameEnd(state) || (state.frameState == CanFrameState::Crc && state.checkFrame &&
                                  (afterFive ? 1 : 0) + kCrcBits - (state.bitCount + pending.count) <
                                      kMostBitsOfStuffedRun);
        if (reachesDelimiter) {
          // The bits of the frame's end that the run reaches are read here, as DecodeCan reads
          // them; the end of a CRC sequence inside the run (once a frame) is left to it.
          putBack();
          for (;;) {
            const bool frameEnd = InFrameEnd(state);
            if (frameEnd && state.nextBitInRun >= kCanRunBitPositions) break;
            const std::size_t event = frameEnd ? at + static_cast<std::size_t>(state.runBitPositions[state.nextBitInRun])
                                               : SampleAfter(lane.synced, DecodingSteady(state, level));
            if (event >= next) break;
            if (!PassBlockEnds(span, event)) {
              if (frameEnd) {
                state.run = static_cast<std::int32_t>(event - 1 - at);
                lane.synced = event;
              }
              lane.next = event;
              levelChange = std::min(next, span.limit);
              return false;
            }
            if (frameEnd) {
              state.run = static_cast<std::int32_t>(event - at);
              ++state.nextBitInRun;
              TakeFrameEndBit(services, state, channel, level, span.base + event, result);
            } else {
              if (event > lane.synced) DecodingSkip(state, level, static_cast<std::uint64_t>(event - lane.synced));
              result = DecodeCan(services, state, channel, level, span.base + event);
            }
            lane.synced = event + 1;
            if (result != 0 || !ReadsInsideRuns(state)) break;
          }
          if (result != 0 || !ReadsInsideRuns(state)) {
            lane.next = SampleAfter(lane.synced, DecodingSteady(state, level));
            levelChange = next;
            if (result != 0) return true;
            break;
          }
          if (next >= span.limit || !PassBlockEnds(span, next)) {
            lane.next = SampleAfter(lane.synced, DecodingSteady(state, level));
            levelChange = std::min(next, span.limit);
            return false;
          }
          run = CountHeld(state.run, static_cast<std::uint64_t>(next - lane.synced),
                          std::numeric_limits<std::int32_t>::max());
          afterFive = state.previousRunWasFive;
          need = FieldBits(state);
        } else {
          if (next >= span.limit || !PassBlockEnds(span, next)) {
            putBack();
            lane.next = SampleAfter(at + 1, DecodingSteady(state, level));
            levelChange = std::min(next, span.limit);
            return false;
          }
          run = CountHeld(0, static_cast<std::uint64_t>(next - at - 1), std::numeric_limits<std::int32_t>::max());
        }
        last = level;
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
