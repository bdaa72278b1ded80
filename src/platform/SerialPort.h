#pragma once
// A serial device, opened exclusively, with reads that never wait. The interface holds no
// operating system types so that another platform's version can sit behind it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace velkor::platform {

enum class Parity { None, Odd, Even };

struct LineSettings {
  std::uint32_t baud = 115200;
  int dataBits = 8;  // 5..8
  Parity parity = Parity::None;
  int stopBits = 1;  // 1 or 2
  bool rtsCtsFlow = false;
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Opens the device for reading and writing, refusing a second user. True when failed.
  [[nodiscard]] virtual bool Open(const std::string& device) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // Raw 8-bit line, no software flow control, no echo, reads that return at once.
  [[nodiscard]] virtual bool SetLine(const LineSettings& line) = 0;
  // Any rate the driver takes, standard or not. True when the driver refused it.
  [[nodiscard]] virtual bool SetBaudRate(std::uint32_t baud) = 0;
  // True when the driver failed. A device without modem lines (a pseudo-terminal) is not a
  // failure: there is nothing to set.
  [[nodiscard]] virtual bool SetDtr(bool on) = 0;
  [[nodiscard]] virtual bool SetRts(bool on) = 0;

  // The bytes already received, at most `size`; 0 when none (or on an error).
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t size) = 0;
  // Writes all bytes unless the line stays blocked for longer than 10 ms per byte plus
  // 50 ms; returns the number written.
  virtual std::size_t Write(const std::uint8_t* bytes, std::size_t size) = 0;
  // Waits (within the same bound) until the driver has sent what was written.
  virtual void DrainOutput() = 0;
  // Drops everything received and not yet read.
  virtual void FlushInput() = 0;
};

std::unique_ptr<SerialPort> CreateSerialPort();

}  // namespace velkor::platform
