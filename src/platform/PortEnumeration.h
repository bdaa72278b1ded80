#pragma once
// Which device is COM1 .. COM12. The kernel's serial devices are numbered in a stable
// order: USB serial adapters (ttyUSB*) first, then ACM devices (ttyACM*), then the other
// devices that exist as hardware, each group in natural name order (ttyUSB2 before
// ttyUSB10). The environment variable VELKOR_COM<n> puts a given device at port n; the
// listed devices fill the ports left free, in that order. Only ports 1 to 12 are offered.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "app/Settings.h"

namespace velkor::platform {

using PortDevices = std::array<std::string, kPortCount>;  // index 0 is COM1; "" for none

// Device paths (/dev/<name>) of the serial devices listed under a sysfs tty class folder,
// in the order above. A device counts when it has a `device` link; a serial-core port
// whose `type` reads 0 has no hardware behind it (the legacy ttyS ports) and is skipped.
std::vector<std::string> ListSerialDevices(const std::string& sysClassTty = "/sys/class/tty");

// VELKOR_COM1 .. VELKOR_COM12 as the lookup gives them ("" when unset or empty).
PortDevices PortOverrides(const std::function<const char*(const char*)>& lookup);

// Ports from the overrides and the listed devices; a device that an override already
// places is not placed twice.
PortDevices AssignPorts(const std::vector<std::string>& devices, const PortDevices& overrides);

// The whole rule, from the running system and its environment.
PortDevices EnumeratePortDevices();

}  // namespace velkor::platform
