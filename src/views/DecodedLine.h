#pragma once
// The decoded line: its text layout, the list that holds the lines, reading a line back
// field by field, and its plain-text rendering. Texts are Windows-1252 bytes.
//
// Layout: channel digit, ",", date in microseconds, ",", then fields each ended by ",".
// A field may open with a marker; a field holding "=" is a name and a value split at the
// first "=".

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velkor {

inline constexpr char kErrorLineMark = '\xA3';      // 163: the field reports an error (red)
inline constexpr char kDescribedFieldMark = '$';    // the name comes from a description (green)
inline constexpr char kErrorMark = '\x95';          // 149: a byte or word with a bad start/stop bit
inline constexpr std::size_t kMaxDecodedLineLength = 1000;
inline constexpr char kHexDigits[] = "0123456789ABCDEF";  // the digits every decoder writes

enum class FieldMarker : std::uint8_t { None, ErrorLine, DescribedField };

// What a CAN or LIN line keeps beside its text: the frame's identifier as received, which the
// text may show by a name from the description. Exports of bus logs need the number.
enum class FrameBus : std::uint8_t { None, Can, Lin };
struct FrameTag {
  FrameBus bus = FrameBus::None;
  bool hasId = false;         // false on a line with no identifier (a bit-timing error)
  bool extended = false;      // CAN: a 29-bit identifier
  bool idFaulty = false;      // LIN: the identifier byte came with a bad start or stop bit
  std::uint32_t id = 0;       // CAN: the identifier; LIN: the protected identifier byte

  static FrameTag Can(std::uint32_t identifier, bool extendedFrame) {
    return {FrameBus::Can, true, extendedFrame, false, identifier};
  }
  static FrameTag Lin(std::uint32_t protectedId, bool faulty) {
    return {FrameBus::Lin, true, false, faulty, protectedId};
  }
  static FrameTag NoId(FrameBus bus) { return {bus, false, false, false, 0}; }

  std::uint64_t Pack() const {
    return std::uint64_t{id} | std::uint64_t{static_cast<std::uint8_t>(bus)} << 32 |
           std::uint64_t{hasId} << 40 | std::uint64_t{extended} << 41 | std::uint64_t{idFaulty} << 42;
  }
  static FrameTag Unpack(std::uint64_t v) {
    return {static_cast<FrameBus>((v >> 32) & 0xFF), ((v >> 40) & 1) != 0, ((v >> 41) & 1) != 0,
            ((v >> 42) & 1) != 0, static_cast<std::uint32_t>(v)};
  }
  bool operator==(const FrameTag&) const = default;
};

struct LineField {
  FieldMarker marker = FieldMarker::None;
  std::string_view text;   // the field without its marker
  std::string_view name;   // text before the first "=" (the whole text when there is none)
  std::string_view value;  // text after the first "="
  bool hasValue = false;   // the field is a named value
};

// One line taken apart. Fields are read lazily with NextField so drawing a row allocates nothing.
class LineReader {
 public:
  explicit LineReader(std::string_view line);

  // Channel index from the first character ('0' + index); other digits pass through as they are.
  int Channel() const { return channel_; }
  std::string_view Date() const { return date_; }
  // Next field of the frame text; false when none remains.
  bool NextField(LineField& field);

 private:
  int channel_ = -1;
  std::string_view date_;
  std::string_view rest_;
};

// Plain text of a line for the clipboard, text files, the inspection window and the remote
// client. captions[i] is the caption of channel i at the time of rendering.
std::string RenderDecodedLine(std::string_view line, const std::string (&captions)[4]);

// The 1000-character cut of the sink: a longer text becomes its first 997 characters and "..,".
std::string_view CutDecodedLine(std::string_view text, std::string& scratch);

// The ordered list of decoded lines, oldest first, each with a selected flag.
// Lines are packed into large blocks of bytes (no heap block per line); removing the oldest
// line only moves a start index, and a block is released once all of its lines are gone.
class DecodedLineList {
 public:
  DecodedLineList();
  ~DecodedLineList();
  DecodedLineList(const DecodedLineList&) = delete;
  DecodedLineList& operator=(const DecodedLineList&) = delete;

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  void Append(std::string_view line, FrameTag tag = {});
  // The line stays valid until it is removed or the list is cleared.
  std::string_view Line(std::size_t i) const;
  FrameTag Tag(std::size_t i) const;
  bool Selected(std::size_t i) const;
  void SetSelected(std::size_t i, bool selected);
  void RemoveFirst();
  void Clear();
  // Exchanges the lines of two lists without copying them; counts as a clear of both.
  void Swap(DecodedLineList& other) noexcept;

  // What a view needs to follow the list without being told of each change: Clear (and
  // Swap) counts up the generation, and RemovedFromFront counts the lines that RemoveFirst took since the
  // last Clear. A view that knows both, and the size it last saw, knows exactly which rows
  // went and which came.
  std::uint64_t Generation() const { return generation_; }
  std::uint64_t RemovedFromFront() const { return removedFromFront_; }

 private:
  static constexpr std::size_t kLinesPerBlock = 4096;
  struct Block {
    std::string bytes;
    std::vector<std::uint32_t> ends;  // end offset of each line in bytes
    std::vector<std::uint8_t> selected;
    // Packed frame tags; empty until a tagged line comes, so a block of other lines pays nothing.
    std::vector<std::uint64_t> tags;
  };
  const Block& BlockOf(std::size_t i, std::size_t& slot) const;
  void ReleaseAll();

  std::deque<std::unique_ptr<Block>> blocks_;
  std::size_t head_ = 0;   // lines already removed from the first block
  std::size_t count_ = 0;
  std::uint64_t generation_ = 0;
  std::uint64_t removedFromFront_ = 0;
};

}  // namespace velkor
