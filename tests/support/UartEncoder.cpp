#include "UartEncoder.h"

namespace velkor::test {

SignalBuilder UartLine(const UartFormat& format) { return SignalBuilder(format.StopLevel()); }

void UartEncoder::Frame(std::uint32_t value, int stopLevel) {
  const double bit = format_.BitMicros();
  line_->Hold(format_.StartLevel(), bit);
  for (int i = 0; i < format_.dataBits; ++i) {
    const int n = format_.lsbFirst ? i : format_.dataBits - 1 - i;
    line_->Hold(format_.DataLevel(((value >> n) & 1u) != 0), bit);
  }
  line_->Hold(stopLevel, bit * format_.stopBits);
}

UartEncoder& UartEncoder::Word(std::uint32_t value) {
  Frame(value, format_.StopLevel());
  return *this;
}

UartEncoder& UartEncoder::Words(std::initializer_list<std::uint32_t> values) {
  for (std::uint32_t v : values) Word(v);
  return *this;
}

UartEncoder& UartEncoder::Text(std::string_view text) {
  for (char c : text) Word(static_cast<unsigned char>(c));
  return *this;
}

UartEncoder& UartEncoder::WordWithBadStop(std::uint32_t value) {
  Frame(value, format_.StartLevel());
  return *this;
}

UartEncoder& UartEncoder::Gap(double micros) {
  line_->Hold(format_.StopLevel(), micros);
  return *this;
}

UartEncoder& UartEncoder::GapUntil(double micros) {
  if (micros > line_->Now()) Gap(micros - line_->Now());
  return *this;
}

}  // namespace velkor::test
