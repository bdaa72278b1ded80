// CAN and LIN frames read back from their stored lines. The identifier comes from the
// line's frame tag (the text may show a name instead); the rest is in the decoders' own
// fields, which no description renames: DLC, DataFrame or RemoteFrame for CAN, Data and
// Checksum for LIN.

#include "export/Exporters.h"

namespace velkor::exporters {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool HexByte(std::string_view text, std::uint8_t& value) {
  if (text.size() != 2) return false;
  const int hi = HexValue(text[0]), lo = HexValue(text[1]);
  if (hi < 0 || lo < 0) return false;
  value = static_cast<std::uint8_t>(hi << 4 | lo);
  return true;
}

// Calls each(token) for the blank-separated tokens of text.
template <typename Each>
void ForEachToken(std::string_view text, Each&& each) {
  while (!text.empty()) {
    const std::size_t blank = text.find(' ');
    const std::string_view token = text.substr(0, blank);
    if (!token.empty()) each(token);
    if (blank == std::string_view::npos) break;
    text.remove_prefix(blank + 1);
  }
}

std::uint8_t LinChecksum(std::uint8_t start, const std::uint8_t* data, int count) {
  unsigned sum = start;
  for (int i = 0; i < count; ++i) {
    sum += data[i];
    if (sum > 255) sum -= 255;
  }
  return static_cast<std::uint8_t>(~sum & 0xFF);
}

}  // namespace

BusLine ReadCanLine(std::string_view line, FrameTag tag, CanFrame& frame) {
  if (tag.bus != FrameBus::Can || line.empty()) return BusLine::Other;
  LineReader reader(line);
  frame = CanFrame{};
  frame.channel = reader.Channel();
  if (!LineMicros(reader.Date(), frame.micros)) return BusLine::Other;
  frame.id = tag.id;
  frame.extended = tag.extended;
  bool error = !tag.hasId, haveDlc = false, havePayload = false, dataOk = true;
  LineField field;
  while (reader.NextField(field)) {
    if (field.marker == FieldMarker::ErrorLine) {
      error = true;
    } else if (field.marker != FieldMarker::None) {
      continue;
    } else if (field.hasValue && field.name == "DLC") {
      int dlc = 0;
      for (char c : field.value) dlc = c >= '0' && c <= '9' && dlc < 100 ? dlc * 10 + (c - '0') : 100;
      haveDlc = !field.value.empty() && dlc <= 15;
      frame.dlc = static_cast<std::uint8_t>(dlc);
    } else if (field.hasValue && field.name == "DataFrame") {
      havePayload = true;
      ForEachToken(field.value, [&](std::string_view token) {
        if (frame.size >= frame.data.size() || !HexByte(token, frame.data[frame.size]))
          dataOk = false;
        else
          ++frame.size;
      });
    } else if (!field.hasValue && field.text == "RemoteFrame") {
      havePayload = true;
      frame.remote = true;
    }
  }
  if (error || !haveDlc || !havePayload || !dataOk) return BusLine::Error;
  if (!frame.remote && frame.size != std::min<int>(frame.dlc, 8)) return BusLine::Error;
  return BusLine::Frame;
}

BusLine ReadLinLine(std::string_view line, FrameTag tag, LinFrame& frame) {
  if (tag.bus != FrameBus::Lin || line.empty()) return BusLine::Other;
  LineReader reader(line);
  frame = LinFrame{};
  frame.channel = reader.Channel();
  if (!LineMicros(reader.Date(), frame.micros)) return BusLine::Other;
  if (!tag.hasId) return BusLine::Error;
  frame.protectedId = static_cast<std::uint8_t>(tag.id);
  if (tag.idFaulty) frame.errors |= kLinErrorFraming;
  bool fits = true, haveChecksum = false;
  LineField field;
  while (reader.NextField(field)) {
    if (field.marker == FieldMarker::ErrorLine) {
      if (field.text.starts_with("Error Checksum"))
        frame.errors |= kLinErrorChecksum;
      else if (field.text.starts_with("Error Parity"))
        frame.errors |= kLinErrorParity;
      else
        frame.errors |= kLinErrorFraming;
    } else if (field.marker != FieldMarker::None) {
      continue;
    } else if (field.hasValue && field.name == "Data") {
      ForEachToken(field.value, [&](std::string_view token) {
        if (frame.size >= frame.data.size()) {
          fits = false;
          return;
        }
        std::uint8_t& byte = frame.data[frame.size++];
        // A byte with a bad start or stop bit is shown as a bullet: its value is lost.
        if (!HexByte(token, byte)) frame.errors |= kLinErrorFraming;
      });
    } else if (field.hasValue && field.name == "Checksum") {
      haveChecksum = true;
      if (!HexByte(field.value, frame.checksum)) frame.errors |= kLinErrorFraming;
    }
  }
  if (!fits || !haveChecksum) return BusLine::Error;
  // Which checksum the frame carries is not in the line; a frame whose checksum is right
  // either way is taken as enhanced, the LIN 2 rule for all but the diagnostic frames.
  frame.enhanced = frame.checksum == LinChecksum(frame.protectedId, frame.data.data(), frame.size);
  return BusLine::Frame;
}

}  // namespace velkor::exporters
