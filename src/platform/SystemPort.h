#pragma once
// The module link's port and clock on this system: COMn is the device that
// EnumeratePortDevices places at port n.

#include <memory>
#include <string>

#include "hardware/Hardware.h"
#include "platform/SerialPort.h"

namespace velkor::platform {

class SystemPortBackend final : public PortBackend {
 public:
  SystemPortBackend();

  std::array<bool, kPortCount> ListPorts() override;
  bool Open(int port, int baud, LineControl rts, LineControl dtr) override;
  void Close() override { port_->Close(); }
  bool SetBaudRate(int baud) override;
  void SetDtr(bool on) override { (void)port_->SetDtr(on); }
  void SetRts(bool on) override { (void)port_->SetRts(on); }
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override { return port_->Read(buffer, size); }
  void Write(const std::uint8_t* bytes, std::size_t size) override;

  // The device of port 1..12 as the enumeration gives it now ("" for none).
  static std::string DevicePath(int port);

 private:
  std::unique_ptr<SerialPort> port_;
};

class SystemClock final : public HardwareClock {
 public:
  std::uint64_t MonotonicMicros() override;
  void SleepMilliseconds(std::uint32_t millis) override;
};

}  // namespace velkor::platform
