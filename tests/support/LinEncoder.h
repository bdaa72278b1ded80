#pragma once
// A LIN 2.x bus as the acquisition module sees it: recessive is level 1, dominant level 0
// (or the reverse behind an inverting front end). A frame is a break, a break delimiter,
// the synchronisation byte 55, the protected identifier, the data bytes and the checksum,
// every byte sent as UART 8N1, least significant bit first. Bit times are the bus's own
// (1000000 / baud microseconds, not rounded); faults can be asked for per frame.

#include <cstdint>
#include <vector>

#include "Waveform.h"

namespace velkor::test {

enum class LinChecksumModel {
  Classic,   // data bytes only (LIN 1.x, and the diagnostic frames of LIN 2.x)
  Enhanced,  // protected identifier and data bytes
  Lin2x,     // enhanced, except classic for the diagnostic identifiers 3C and 3D
};

struct LinFrame {
  std::uint8_t id = 0;  // 6-bit frame identifier; the encoder adds the two parity bits
  std::vector<std::uint8_t> data;
  LinChecksumModel checksum = LinChecksumModel::Lin2x;
  double breakBits = 13;  // dominant; LIN asks for at least 13, a receiver needs more than 11
  double delimiterBits = 1;
  double interByteBits = 0;  // recessive space after each byte but the last

  // Faults.
  std::uint8_t sync = 0x55;
  std::uint8_t identifierXor = 0;  // bits of the protected identifier inverted on the wire
                                   // (the checksum is the one the sender computed)
  std::uint8_t checksumXor = 0;  // nonzero: a wrong checksum is sent
  int badStopAt = -1;            // byte on the wire (0 sync, 1 identifier, 2... data, then checksum)
  int sendBytes = -1;            // >= 0: only the first sendBytes bytes are sent (a lost response)
};

struct LinFrameTiming {
  double breakStart = 0;
  std::vector<double> byteStarts;  // time of each start bit's leading edge, in microseconds
};

class LinEncoder {
 public:
  LinEncoder(SignalBuilder& out, int baud, bool invertedFrontEnd = false)
      : out_(&out), baud_(baud), inverted_(invertedFrontEnd) {}

  double BitMicros() const { return 1e6 / baud_; }
  SignalBuilder& Signal() { return *out_; }

  LinEncoder& Dominant(double bits);
  LinEncoder& Recessive(double bits);
  // One UART byte; returns the time of its start edge.
  double Byte(std::uint8_t value, bool goodStopBit = true);
  LinFrameTiming Frame(const LinFrame& frame);

  static std::uint8_t ProtectedId(std::uint8_t id);
  static std::uint8_t Checksum(std::uint8_t protectedId, const std::vector<std::uint8_t>& data,
                               bool enhanced);
  static bool UsesEnhanced(const LinFrame& frame);

 private:
  int Level(bool dominant) const { return (dominant != inverted_) ? 0 : 1; }

  SignalBuilder* out_;
  int baud_;
  bool inverted_;
};

}  // namespace velkor::test
