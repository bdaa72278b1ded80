#include "decoders/DecLin.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string_view>

#include "app/IniFile.h"
#include "decoders/DescriptionDatabase.h"
#include "decoders/FileErrorPrompt.h"

namespace velkor {

namespace {

constexpr std::int32_t kSyncByte = 0x55;
constexpr std::int32_t kFaultyByte = 256;  // added to a byte whose start or stop bit was wrong

void AppendHexByte(std::string& out, std::int32_t value) {
  out += kHexDigits[(value >> 4) & 0xF];
  out += kHexDigits[value & 0xF];
}

std::int32_t BitOffset(const LinChannelState& s, std::int32_t k) {
  return static_cast<std::int32_t>(BitSamplePosition(s.bitPeriodMicros, k));
}

constexpr std::int32_t kIdentifierBits = 0x3F;

// The protected identifier the six identifier bits of this byte give: P0 = ID0 ^ ID1 ^ ID2 ^
// ID4 in bit 6, P1 = !(ID1 ^ ID3 ^ ID4 ^ ID5) in bit 7.
std::int32_t ProtectedIdentifier(std::int32_t byte) {
  const std::int32_t id = byte & kIdentifierBits;
  auto bit = [id](int n) { return (id >> n) & 1; };
  const std::int32_t p0 = bit(0) ^ bit(1) ^ bit(2) ^ bit(4);
  const std::int32_t p1 = 1 ^ bit(1) ^ bit(3) ^ bit(4) ^ bit(5);
  return id | p0 << 6 | p1 << 7;
}

// The diagnostic frames (master request 3C, slave response 3D) carry the classic checksum in
// LIN 2.x, whatever the other frames carry.
bool IsDiagnostic(std::int32_t protectedId) {
  const std::int32_t id = protectedId & kIdentifierBits;
  return id == 0x3C || id == 0x3D;
}

// The LIN checksum over the identifier byte (when included) and the data: an eight-bit sum
// whose carries wrap round, inverted.
std::uint8_t LinChecksum(std::int32_t protectedId, const std::int32_t* data, int count, bool includeId) {
  std::int32_t sum = includeId ? (protectedId & 0xFF) : 0;
  for (int i = 0; i < count; ++i) {
    sum += data[i] & 0xFF;
    if (sum > 255) sum -= 255;
  }
  return static_cast<std::uint8_t>(~sum & 0xFF);
}

// Whether the frame's checksum covers its identifier: the database's protocol version says
// so when it states one (the diagnostic frames 3C and 3D are classic in every version), else
// the description.
bool ChecksumIncludesId(const LinChannelState& s, int frameId) {
  switch (s.database.linChecksum) {
    case LinChecksumRule::Classic: return false;
    case LinChecksumRule::Enhanced: return frameId != 0x3C && frameId != 0x3D;
    case LinChecksumRule::Unknown: break;
  }
  return s.checksumIncludesId && !(s.diagnosticClassic && IsDiagnostic(frameId));
}

void AppendFrameLine(DecoderServices& services, LinChannelState& s, int channel, SampleIndex index) {
  std::string& line = services.NewLine(channel, index);
  const auto& b = s.bytes;
  const int count = s.byteCount;
  FrameTag tag = FrameTag::NoId(FrameBus::Lin);
  if (b[0] != kSyncByte) {
    line += "\xA3" "Bad Synchro byte,";
  } else if (count < 2) {
    // The master stopped after the synchronisation byte: there is no identifier to name
    // and no checksum to check.
    line += "\xA3" "No identifier,";
  } else {
    tag = FrameTag::Lin(static_cast<std::uint32_t>(b[1] & 0xFF), b[1] >= kFaultyByte);
    std::string idText;
    AppendHexByte(idText, b[1]);
    std::string name = s.description.ReadString("ID", idText, "");
    const int frameId = b[1] & 0x3F;
    const BusMessage* message = s.database.Find(static_cast<std::uint32_t>(frameId));
    line += "ID=";
    if (!name.empty()) line += name;
    else if (message != nullptr) line += message->name;
    else line += idText;
    line += ',';
    if (s.checkParity && (b[1] & 0xFF) != ProtectedIdentifier(b[1])) line += "\xA3" "Error Parity,";
    line += "Data=";
    const int checksumAt = count - 1;
    for (int i = 2; i < checksumAt; ++i) {
      if (b[i] < kFaultyByte) {
        AppendHexByte(line, b[i]);
        line += ' ';
      } else {
        line += "\x95  ";
      }
    }
    if (line.back() == ' ') line.pop_back();
    line += ',';
    if (message != nullptr) {
      // The signals read from the data bytes that arrived whole.
      std::uint64_t payload = 0;
      std::uint8_t whole = 0;
      for (int i = 2; i < checksumAt && i < 2 + 8; ++i) {
        payload |= static_cast<std::uint64_t>(b[i] & 0xFF) << (8 * (i - 2));
        if (b[i] < kFaultyByte) whole = static_cast<std::uint8_t>(whole | 1u << (i - 2));
      }
      AppendSignalFields(line, *message, payload, whole);
    }
    line += "Checksum=";
    const std::int32_t checksum = b[checksumAt];
    if (checksum < kFaultyByte) {
      AppendHexByte(line, checksum);
      line += ',';
      const int dataCount = checksumAt > 2 ? checksumAt - 2 : 0;
      if (checksum != LinChecksum(b[1], &b[2], dataCount, ChecksumIncludesId(s, frameId)))
        line += "\xA3" "Error Checksum,";
    } else {
      line += "\x95,";
    }
  }
  services.AppendDecodedLine(line, tag);
}

// The byte of the bits just taken, whose data bits make `value`.
void CompleteByte(LinChannelState& s, std::int32_t value) {
  const bool framed = s.bits[0] == '0' && s.bits[kLinBitsPerByte - 1] == '1';
  if (!framed) {
    if (s.byteCount == 0) {
      // Not a frame after all. The break counter is left as it is, so a line still at 0
      // (the break of the next frame read as this byte) is taken as a break at once.
      s.state = LinState::WaitingForBreak;
      return;
    }
    value += kFaultyByte;
  }
  if (s.byteCount < kLinMaxBytes) s.bytes[s.byteCount++] = value;
  s.idleSamples = 0;
  s.state = LinState::BetweenBytes;
}

void CompleteByte(LinChannelState& s) {
  std::int32_t value = 0;
  for (int i = 0; i < 8; ++i)
    if (s.bits[1 + i] == '1') value |= 1 << i;
  CompleteByte(s, value);
}

void Step(LinChannelState& s, char level) {
  switch (s.state) {
    case LinState::WaitingForBreak:
      if (level == '1') {
        s.breakCounter = 0;
      } else if (++s.breakCounter > s.breakLimit) {
        s.state = LinState::InBreak;
        s.byteCount = 0;
      }
      break;
    case LinState::InBreak:
      if (level == '1') s.state = LinState::BetweenBytes;
      break;
    case LinState::BetweenBytes:
      if (level == '0') {
        s.state = LinState::InByte;
        s.bitIndex = 0;
        s.samplesInByte = 0;
        s.bitsRemaining = kLinBitsPerByte;
        s.nextSample = BitOffset(s, 0);
      }
      break;
    case LinState::InByte:
      if (++s.samplesInByte > s.nextSample) {
        s.bits[s.bitIndex++] = level;
        if (--s.bitsRemaining > 0)
          s.nextSample = BitOffset(s, s.bitIndex);
        else
          CompleteByte(s);
      }
      break;
  }
}

}  // namespace

int LoadLinDescription(DecoderServices& services, LinChannelState& state, const std::string& named,
                       int channel) {
  services.fieldNames.Clear(channel);
  const std::string path = FindDescriptionFile(named, services.configFolder).path;
  state.description.Close();
  state.description.Open(path);
  DescriptionFile& file = state.description;

  // Read into locals first: a refused file leaves the channel's settings as they were.
  const std::int32_t baud = file.ReadInteger("BAUDRATE", "Value", -1);
  // A rate of 0 or below has no bit period, so it is refused like a missing one.
  if (baud <= 0) return FileErrorPrompt(services, channel, path, "Value of BAUDRATE");
  bool invert = false;
  if (!file.ReadYesNo("INVERT", "Value", "", invert))
    return FileErrorPrompt(services, channel, path, "Value of INVERT");
  const std::int32_t interFrame = file.ReadInteger("PROTOCOL", "InterFrame", -1);
  if (interFrame == -1) return FileErrorPrompt(services, channel, path, "Value of InterFrame");
  bool includeId = true;
  if (!file.ReadYesNo("PROTOCOL", "ChecksumIncludeID", "YES", includeId))
    return FileErrorPrompt(services, channel, path, "Value of ChecksumIncludeID");
  bool checkParity = false;
  if (!file.ReadYesNo("PROTOCOL", "CheckParity", "NO", checkParity))
    return FileErrorPrompt(services, channel, path, "Value of CheckParity");
  bool diagnosticClassic = false;
  if (!file.ReadYesNo("PROTOCOL", "DiagnosticClassic", "NO", diagnosticClassic))
    return FileErrorPrompt(services, channel, path, "Value of DiagnosticClassic");
  BusDatabase database;
  std::string reason;
  if (!LoadDescriptionDatabase(file, DatabaseFormat::Ldf, {"ID", "Data", "Checksum"}, database, reason))
    return FileErrorPrompt(services, channel, path, reason);

  state.loaded = true;
  state.baud = baud;
  state.bitPeriodMicros = 1000000 / baud;
  for (int k = 0; k < kLinBitsPerByte; ++k) state.bitOffsets[k] = BitOffset(state, k);
  state.breakLimit = 11000000.0 / (2.4 * baud) + 0.5;
  state.invert = invert;
  state.checksumIncludesId = includeId;
  state.checkParity = checkParity;
  state.diagnosticClassic = diagnosticClassic;
  state.database = std::move(database);
  state.interFrameSamples = static_cast<std::int32_t>(QuietSamples(interFrame));
  state.state = LinState::WaitingForBreak;
  state.idleSamples = kLinIdleCeiling - 1;
  services.fieldNames.Add(channel, "ID");
  services.fieldNames.Add(channel, "Data");
  services.fieldNames.Add(channel, "Checksum");
  AddSignalFieldNames(services.fieldNames, channel, state.database);
  return 0;
}

int DecodeLin(DecoderServices& services, LinChannelState& state, int channel, char level,
              SampleIndex index) {
  int result = 0;
  if (services.IsActive(channel) && state.loaded) {
    if (state.invert) level = level == '0' ? '1' : '0';
    if (state.idleSamples < kLinIdleCeiling) ++state.idleSamples;
    if (state.state == LinState::BetweenBytes && state.byteCount > 0 &&
        state.idleSamples > state.interFrameSamples) {
      AppendFrameLine(services, state, channel, index);
      state.byteCount = 0;
      services.MarkEvent(channel);
      result = 1;
    }
    Step(state, level);
  }
  services.MarkTrace(channel);
  return result;
}

namespace {

// A bit of a byte is taken on the sample whose count passes the bit's position, and one bit
// per sample at most. The sample, counted from the next one (1 for the next), on which the
// last bit of the byte (the stop bit) is due.
std::int64_t StopBitSample(const LinChannelState& s) {
  const std::int32_t last = s.bitIndex + s.bitsRemaining - 1;
  // Bits three microseconds apart or more are at least a sample apart: none waits for the
  // one before unless the first already does.
  if (s.bitPeriodMicros >= 3 && s.nextSample >= s.samplesInByte)
    return std::int64_t{s.bitOffsets[last]} + 1 - s.samplesInByte;
  std::int64_t due = 0;
  std::int32_t nextSample = s.nextSample;
  for (std::int32_t bit = s.bitIndex;; nextSample = s.bitOffsets[++bit]) {
    due = std::max<std::int64_t>(due + 1, std::int64_t{nextSample} + 1 - s.samplesInByte);
    if (bit == last) return due;
  }
}

// `count` samples of a byte before its stop bit is due: the bits due in them are the level
// levelAt(k) of their sample k (1 for the first).
// (The counters are kept in locals, and levelAt is taken by value: a store into the bit
// characters could otherwise change them, and they would be read again for every bit.)
template <typename LevelAt>
void TakeBits(LinChannelState& s, std::uint64_t count, LevelAt levelAt) {
  const std::int32_t counted = s.samplesInByte;
  std::int32_t bitIndex = s.bitIndex;
  std::int32_t remaining = s.bitsRemaining;
  std::int32_t nextSample = s.nextSample;
  if (s.bitPeriodMicros >= 3 && nextSample >= counted) {
    // Bits at least a sample apart, the next one not overdue: each is due on the sample its
    // position passes.
    while (remaining > 1 && static_cast<std::uint64_t>(nextSample + 1 - counted) <= count) {
      s.bits[bitIndex] = levelAt(std::int64_t{nextSample} + 1 - counted);
      --remaining;
      nextSample = s.bitOffsets[++bitIndex];
    }
  } else {
    std::int64_t due = 0;
    while (remaining > 1) {
      due = std::max<std::int64_t>(due + 1, std::int64_t{nextSample} + 1 - counted);
      if (static_cast<std::uint64_t>(due) > count) break;
      s.bits[bitIndex++] = levelAt(due);
      --remaining;
      nextSample = s.bitOffsets[bitIndex];
    }
  }
  s.bitIndex = bitIndex;
  s.bitsRemaining = remaining;
  s.nextSample = nextSample;
  s.samplesInByte = counted + static_cast<std::int32_t>(count);
}

// The steady count, the skip and the blind stretch of a channel that decodes (active, with a
// description).
inline std::uint64_t DecodingSteady(const LinChannelState& state, char level) {
  if (state.invert) level = level == '0' ? '1' : '0';
  switch (state.state) {
    case LinState::WaitingForBreak: {
      if (level == '1') return kUnboundedRun;
      // The counter is whole and the limit is not: it passes the limit on reaching floor + 1.
      const auto last = static_cast<std::int64_t>(std::floor(state.breakLimit));
      return last > state.breakCounter ? static_cast<std::uint64_t>(last - state.breakCounter) : 0;
    }
    case LinState::InBreak:
      return level == '1' ? 0 : kUnboundedRun;
    case LinState::BetweenBytes:
      if (level == '0') return 0;
      // The frame line is due once the idle count exceeds the quiet time; at its ceiling the
      // count stops.
      if (state.byteCount > 0 && state.interFrameSamples < kLinIdleCeiling)
        return state.interFrameSamples > state.idleSamples
                   ? static_cast<std::uint64_t>(state.interFrameSamples - state.idleSamples)
                   : 0;
      return kUnboundedRun;
    case LinState::InByte:
      // The bits before the stop bit are taken in the skip (at a known level); the stop bit
      // completes the byte by the per-sample step.
      return static_cast<std::uint64_t>(StopBitSample(state) - 1);
  }
  return 0;
}

inline void DecodingSkip(LinChannelState& state, char level, std::uint64_t count) {
  if (state.invert) level = level == '0' ? '1' : '0';
  state.idleSamples = CountHeld(state.idleSamples, count, kLinIdleCeiling);
  if (state.state == LinState::WaitingForBreak)
    state.breakCounter = level == '1' ? 0 : state.breakCounter + static_cast<std::int32_t>(count);
  else if (state.state == LinState::InByte)
    TakeBits(state, count, [level](std::int64_t) { return level; });
}

// Inside a byte only the levels at the bit positions count: the byte is taken blind up to
// its stop bit.
inline std::uint64_t DecodingBlind(const LinChannelState& state) {
  return state.state == LinState::InByte ? static_cast<std::uint64_t>(StopBitSample(state) - 1) : 0;
}

inline void DecodingSkipBlind(LinChannelState& state, int channel, const std::uint8_t* samples,
                              std::uint64_t count) {
  state.idleSamples = CountHeld(state.idleSamples, count, kLinIdleCeiling);
  const bool invert = state.invert;
  TakeBits(state, count, [samples, channel, invert](std::int64_t k) {
    const char level = LevelIn(samples[k - 1], channel);
    return invert ? (level == '0' ? '1' : '0') : level;
  });
}

bool Decoding(const DecoderServices& services, const LinChannelState& state, int channel) {
  return services.IsActive(channel) && state.loaded;
}

}  // namespace

std::uint64_t LinLineFreeSamples(const DecoderServices& services, const LinChannelState& state, int channel) {
  if (!Decoding(services, state, channel)) return kUnboundedRun;
  const std::int32_t quiet = state.interFrameSamples;
  if (state.state == LinState::BetweenBytes && state.byteCount > 0)
    return quiet > state.idleSamples ? static_cast<std::uint64_t>(quiet - state.idleSamples) : 0;
  // No frame is pending: a byte must complete first, which starts the idle count again, and
  // the quiet time must then pass.
  return quiet >= 0 ? static_cast<std::uint64_t>(quiet) + 1 : 0;
}

std::uint64_t LinBlindSamples(const DecoderServices& services, const LinChannelState& state, int channel) {
  return Decoding(services, state, channel) ? DecodingBlind(state) : 0;
}

void SkipLinBlind(DecoderServices& services, LinChannelState& state, int channel, const std::uint8_t* samples,
                  std::uint64_t count) {
  if (Decoding(services, state, channel)) DecodingSkipBlind(state, channel, samples, count);
  services.MarkTrace(channel);
}

std::uint64_t LinSteadySamples(const DecoderServices& services, const LinChannelState& state, int channel,
                               char level) {
  return Decoding(services, state, channel) ? DecodingSteady(state, level) : kUnboundedRun;
}

void SkipLin(DecoderServices& services, LinChannelState& state, int channel, char level,
             std::uint64_t count) {
  if (Decoding(services, state, channel)) DecodingSkip(state, level, count);
  services.MarkTrace(channel);
}

bool RunLinLane(DecoderServices& services, LinChannelState& state, int channel, Lane& lane, LaneSpan& span) {
  auto step = [&](char level, SampleIndex index) { return DecodeLin(services, state, channel, level, index); };
  // Whether the channel decodes cannot change while the lane runs: it is asked once.
  if (!Decoding(services, state, channel)) {
    return RunLane(lane, span,
                   LaneDecoder{[&](char, std::uint64_t) { services.MarkTrace(channel); }, step,
                               [](char) { return kUnboundedRun; }});
  }
  // The sample that takes a byte's stop bit is most of the steps of a frame: it is taken here
  // as DecodeLin takes it (no frame line is due inside a byte), with the data bits gathered
  // into the value at once.
  auto decodingStep = [&](char level, SampleIndex index) {
    if (std::endian::native != std::endian::little || state.state != LinState::InByte ||
        state.bitsRemaining != 1 || state.samplesInByte + 1 <= state.nextSample)
      return step(level, index);
    if (state.invert) level = level == '0' ? '1' : '0';
    if (state.idleSamples < kLinIdleCeiling) ++state.idleSamples;
    ++state.samplesInByte;
    state.bits[state.bitIndex++] = level;
    state.bitsRemaining = 0;
    std::uint64_t data;  // bits 1 to 8, '0' or '1' each
    std::memcpy(&data, state.bits.data() + 1, sizeof data);
    CompleteByte(state, static_cast<std::int32_t>(scan::GatherLowBits(data)));
    services.MarkTrace(channel);
    return 0;
  };
  return RunLane(lane, span,
                 BlindLaneDecoder{[&](char level, std::uint64_t count) {
                                    DecodingSkip(state, level, count);
                                    services.MarkTrace(channel);
                                  },
                                  decodingStep, [&](char level) { return DecodingSteady(state, level); },
                                  [&] { return DecodingBlind(state); },
                                  [&](const std::uint8_t* samples, std::uint64_t count) {
                                    DecodingSkipBlind(state, channel, samples, count);
                                    services.MarkTrace(channel);
                                  }});
}

}  // namespace velkor
