#pragma once
// The exporters of each family, and what the bus logs read from a stored line. Only the
// export units include this; the rest of the program goes through MakeLineExporter.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "export/LineExporter.h"

namespace velkor::exporters {

std::unique_ptr<LineExporter> MakeTable(ExportFormat format, ByteSink& sink, const ExportContext& context);
std::unique_ptr<LineExporter> MakeCanLog(ExportFormat format, ByteSink& sink, const ExportContext& context);
std::unique_ptr<LineExporter> MakePcap(ExportFormat format, ByteSink& sink, const ExportContext& context);

// The line's date in microseconds; false when it is not a number.
bool LineMicros(std::string_view date, std::uint64_t& micros);

enum class BusLine { Other, Frame, Error };

struct CanFrame {
  std::uint32_t id = 0;
  bool extended = false;
  bool remote = false;
  std::uint8_t dlc = 0;                 // 0 to 15 as received
  std::uint8_t size = 0;                // data bytes, 0 to 8
  std::array<std::uint8_t, 8> data{};
  int channel = 0;                      // 0 to 3
  std::uint64_t micros = 0;
};
// A CAN frame line gives its frame; a CAN line that reports an error (or a frame line that
// carries an error field) is an error, dated and with its channel; anything else is Other.
BusLine ReadCanLine(std::string_view line, FrameTag tag, CanFrame& frame);

inline constexpr std::uint8_t kLinErrorFraming = 0x02;
inline constexpr std::uint8_t kLinErrorParity = 0x04;
inline constexpr std::uint8_t kLinErrorChecksum = 0x08;

struct LinFrame {
  std::uint8_t protectedId = 0;
  std::uint8_t size = 0;
  std::array<std::uint8_t, 8> data{};
  std::uint8_t checksum = 0;
  std::uint8_t errors = 0;  // kLinError... bits
  bool enhanced = false;    // the checksum received is the enhanced one (identifier included)
  int channel = 0;
  std::uint64_t micros = 0;
};
// A LIN frame line, its errors included, is a Frame; a LIN line without an identifier or with
// more than eight data bytes is an Error; anything else is Other.
BusLine ReadLinLine(std::string_view line, FrameTag tag, LinFrame& frame);

// Little-endian stores for the binary formats; bytes past the eighth are zeros (a value
// never has more, and shifting by 64 or more is undefined).
inline void PutLe(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>(i < 8 ? (value >> (8 * i)) & 0xFF : 0);
}

}  // namespace velkor::exporters
