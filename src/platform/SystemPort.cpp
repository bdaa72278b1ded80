#include "platform/SystemPort.h"

#include <sys/stat.h>

#include "platform/Clock.h"
#include "platform/PortEnumeration.h"

namespace velkor::platform {

SystemPortBackend::SystemPortBackend() : port_(CreateSerialPort()) {}

std::array<bool, kPortCount> SystemPortBackend::ListPorts() {
  std::array<bool, kPortCount> present{};
  const PortDevices devices = EnumeratePortDevices();
  for (int i = 0; i < kPortCount; ++i) {
    struct stat st {};
    present[i] = !devices[i].empty() && ::stat(devices[i].c_str(), &st) == 0 && S_ISCHR(st.st_mode);
  }
  return present;
}

std::string SystemPortBackend::DevicePath(int port) {
  if (port < 1 || port > kPortCount) return {};
  return EnumeratePortDevices()[port - 1];
}

bool SystemPortBackend::Open(int port, int baud, LineControl rts, LineControl dtr) {
  const std::string device = DevicePath(port);
  if (device.empty() || baud <= 0 || port_->Open(device)) return true;
  LineSettings line;
  line.baud = static_cast<std::uint32_t>(baud);
  // RTS handshake is the one hardware flow control this driver offers; DTR handshake and
  // the toggle modes have no equivalent here and leave the line raised.
  line.rtsCtsFlow = rts == LineControl::Handshake;
  if (port_->SetLine(line)) {
    port_->Close();
    return true;
  }
  // A modem line that the device lacks is no failure (SetDtr/SetRts say so).
  bool failed = false;
  if (dtr != LineControl::Keep) failed |= port_->SetDtr(dtr != LineControl::Disabled);
  if (rts != LineControl::Keep && rts != LineControl::Handshake) failed |= port_->SetRts(rts != LineControl::Disabled);
  if (failed) {
    port_->Close();
    return true;
  }
  port_->FlushInput();
  return false;
}

bool SystemPortBackend::SetBaudRate(int baud) {
  return baud <= 0 || port_->SetBaudRate(static_cast<std::uint32_t>(baud));
}

void SystemPortBackend::Write(const std::uint8_t* bytes, std::size_t size) {
  (void)port_->Write(bytes, size);
  port_->DrainOutput();
}

std::uint64_t SystemClock::MonotonicMicros() { return platform::MonotonicMicros(); }
void SystemClock::SleepMilliseconds(std::uint32_t millis) { platform::SleepMilliseconds(millis); }

}  // namespace velkor::platform
