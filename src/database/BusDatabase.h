#pragma once
// A bus database: the messages (CAN) or frames (LIN) of a network by identifier, each with
// its name and the signals packed in its data. The readers (DbcReader.h, LdfReader.h) fill
// it once at load; a decoder then finds a frame's message in constant time and, only when it
// builds the frame's line, reads the signals out of the 64-bit payload and writes their values.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velkor {

// How a signal's bits sit in the payload.
enum class SignalByteOrder : std::uint8_t {
  LittleEndian,  // least significant bit first, counted up from bit 0 of byte 0
  BigEndian,     // most significant bit first, running down each byte into the next one
};

enum class SignalValueType : std::uint8_t { Unsigned, Signed, Float32, Float64 };

enum class SignalMultiplex : std::uint8_t {
  Plain,
  Multiplexor,  // its raw value selects which multiplexed signals the frame carries
  Multiplexed,  // present only when the multiplexor's raw value is `multiplexValue`
};

// A raw value with a text of its own ("Off", "Error").
struct SignalValueText {
  std::int64_t raw = 0;
  std::string text;
};

// Raw values from `minimum` to `maximum` mean raw x factor + offset, in `unit`.
struct SignalScale {
  std::int64_t minimum = INT64_MIN;
  std::int64_t maximum = INT64_MAX;
  double factor = 1;
  double offset = 0;
  int decimals = 0;  // written after the point: those of the factor (or offset), at most six
  std::string unit;
};

struct BusSignal {
  std::string name;
  // The signal's bits, once shifted down, are the low `length` bits of the word: for a
  // little-endian signal the payload with byte 0 lowest, for a big-endian one the payload
  // with byte 0 highest.
  std::uint8_t shift = 0;
  std::uint8_t length = 1;  // 1 to 64
  SignalByteOrder order = SignalByteOrder::LittleEndian;
  SignalValueType type = SignalValueType::Unsigned;
  SignalMultiplex multiplex = SignalMultiplex::Plain;
  std::int64_t multiplexValue = 0;
  std::uint8_t byteMask = 0;  // the payload bytes the signal touches (bit i: byte i)
  double minimum = 0, maximum = 0;  // the range the database states; not enforced
  std::vector<std::string> receivers;
  std::vector<SignalValueText> texts;  // sorted by raw value
  std::vector<SignalScale> scales;     // the first whose range holds the raw value applies
};

struct BusMessage {
  std::uint32_t key = 0;  // see BusDatabase::CanKey
  std::string name;
  int length = 0;  // bytes, as the database states it
  std::vector<BusSignal> signals;  // in the database's order
  int multiplexor = -1;            // index of the multiplexor signal, or -1
};

enum class LinChecksumRule : std::uint8_t { Unknown, Classic, Enhanced };

// The 64-bit payload of up to eight data bytes, byte 0 in the low bits.
std::uint64_t PackPayload(const std::uint8_t* bytes, int count);

class BusDatabase {
 public:
  // The message key of a CAN frame: a standard identifier is itself, an extended one has bit
  // 31 set, as a DBC file writes it.
  static constexpr std::uint32_t kExtendedKeyBit = 0x80000000u;
  static std::uint32_t CanKey(std::uint32_t identifier, bool extended) {
    return extended ? (identifier | kExtendedKeyBit) : identifier;
  }

  // Adds a message; false when one with the same key is already there.
  [[nodiscard]] bool Add(BusMessage message);
  void Clear();

  const std::vector<BusMessage>& Messages() const { return messages_; }
  std::vector<BusMessage>& MutableMessages() { return messages_; }
  // The message of a key, or nullptr: standard CAN and LIN identifiers index a table, the
  // others go through an open-addressing hash.
  const BusMessage* Find(std::uint32_t key) const;
  BusMessage* FindMutable(std::uint32_t key) { return const_cast<BusMessage*>(std::as_const(*this).Find(key)); }

  // LIN: the checksum model the protocol version gives the frames (Unknown for a DBC, or an
  // LDF that states no version).
  LinChecksumRule linChecksum = LinChecksumRule::Unknown;
  std::string protocolVersion;

 private:
  static constexpr std::uint32_t kDirectKeys = 2048;  // standard CAN identifiers, LIN's 64
  std::vector<std::int32_t> direct_;                  // index of the message, or -1
  struct Slot {
    std::uint32_t key = 0;
    std::int32_t index = -1;  // -1: free
  };
  std::vector<Slot> hashed_;  // a power of two of slots, at most half used
  std::size_t hashedCount_ = 0;
  std::vector<BusMessage> messages_;

  void Insert(std::uint32_t key, std::int32_t index);
};

// The raw value of the signal in the payload: sign-extended for a signed signal, the bit
// pattern for a float one.
std::uint64_t SignalRawBits(const BusSignal& signal, std::uint64_t payload);

// Appends "Name=value," for each signal of the message that the frame carries: its bytes are
// all among `receivedBytes` (bit i: byte i arrived intact) and, when it is multiplexed, the
// multiplexor holds its value.
void AppendSignalFields(std::string& line, const BusMessage& message, std::uint64_t payload,
                        std::uint8_t receivedBytes);

// The value text alone ("Off", "15.25 V"), as AppendSignalFields writes it.
void AppendSignalValue(std::string& out, const BusSignal& signal, std::uint64_t payload);

// Places a signal: DBC numbering (the start bit is the least significant bit of a
// little-endian signal, the most significant of a big-endian one, bit 7 of byte 0 being 7).
// False when part of it lies past the eight bytes of a classic frame.
[[nodiscard]] bool PlaceDbcSignal(BusSignal& signal, int startBit, int length, SignalByteOrder order);

// Digits after the point that a factor or offset needs, at most six.
int DecimalsOf(double value);

// A text of the database (a value text, a unit) made fit for a field of a line: Windows-1252
// (from UTF-8 when the file is UTF-8), with no comma (it would end the field) and no control
// character.
std::string FieldText(std::string_view text, bool fromUtf8);
// True when the bytes are valid UTF-8 and hold at least one character beyond ASCII.
bool IsUtf8BeyondAscii(std::string_view text);

}  // namespace velkor
