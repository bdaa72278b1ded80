#pragma once
// An asynchronous serial (UART) transmitter writing into a SignalBuilder. It follows the
// line protocol itself: the bit time is the exact 1 / bit rate, not a receiver's rounding.
// Polarity is stated the way a Serial description states it, so a test can write a line
// "as the module sees it" and "behind an inverter" with the same keys it gives the decoder.

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "Waveform.h"

namespace velkor::test {

struct UartFormat {
  double baud = 9600;
  int dataBits = 8;  // 1 to 16
  bool lsbFirst = true;
  bool invertedStart = false;  // true: start bit level 0, stop bit (and quiet line) level 1
  bool invertedData = true;    // true: a data bit 1 is level 0
  int stopBits = 1;

  // RS232 as the acquisition module sees it: quiet at 0, start bit 1, data bit 1 at level 0.
  static UartFormat Rs232AsSeen(double baud) { return UartFormat{baud, 8, true, false, true, 1}; }
  // The same line behind a logic inverter: quiet at 1, start bit 0, data bit 1 at level 1.
  static UartFormat BehindInverter(double baud) { return UartFormat{baud, 8, true, true, false, 1}; }

  double BitMicros() const { return 1e6 / baud; }
  int StartLevel() const { return invertedStart ? 0 : 1; }
  int StopLevel() const { return 1 - StartLevel(); }
  int DataLevel(bool one) const { return one != invertedData ? 1 : 0; }
  // Duration of one word: start bit, data bits, stop bits.
  double WordMicros() const { return (1 + dataBits + stopBits) * BitMicros(); }
};

// A builder whose idle level is the format's quiet (stop) level.
SignalBuilder UartLine(const UartFormat& format);

class UartEncoder {
 public:
  UartEncoder(SignalBuilder& line, UartFormat format) : line_(&line), format_(format) {}

  const UartFormat& Format() const { return format_; }
  double Now() const { return line_->Now(); }

  // One word; only the low dataBits bits of the value are sent.
  UartEncoder& Word(std::uint32_t value);
  UartEncoder& Words(std::initializer_list<std::uint32_t> values);
  // One word per character (its byte value).
  UartEncoder& Text(std::string_view text);
  // A word whose stop bit is held at the start level instead (a framing error); the line
  // returns to the quiet level afterwards only through a following Gap.
  UartEncoder& WordWithBadStop(std::uint32_t value);
  // Quiet line.
  UartEncoder& Gap(double micros);
  // Quiet line up to an absolute time.
  UartEncoder& GapUntil(double micros);

 private:
  void Frame(std::uint32_t value, int stopLevel);

  SignalBuilder* line_;
  UartFormat format_;
};

}  // namespace velkor::test
