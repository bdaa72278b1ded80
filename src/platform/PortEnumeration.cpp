#include "platform/PortEnumeration.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace velkor::platform {

namespace {

int Group(std::string_view name) {
  if (name.starts_with("ttyUSB")) return 0;
  if (name.starts_with("ttyACM")) return 1;
  return 2;
}

// Natural order: the trailing number compares as a number.
bool NaturalLess(const std::string& a, const std::string& b) {
  auto split = [](const std::string& s) {
    std::size_t i = s.size();
    while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
    const std::string digits = s.substr(i);
    // Keep a number short enough for stoull; longer ones compare as text.
    unsigned long long n = digits.empty() || digits.size() > 18 ? 0 : std::stoull(digits);
    return std::make_pair(s.substr(0, i), n);
  };
  auto [pa, na] = split(a);
  auto [pb, nb] = split(b);
  if (pa != pb) return pa < pb;
  if (na != nb) return na < nb;
  return a < b;
}

bool IsRealDevice(const std::filesystem::path& entry) {
  std::error_code ec;
  if (!std::filesystem::exists(entry / "device", ec)) return false;
  std::ifstream type(entry / "type");
  int value = -1;
  if (type >> value) return value != 0;
  return true;
}

}  // namespace

std::vector<std::string> ListSerialDevices(const std::string& sysClassTty) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(sysClassTty, ec)) {
    const std::string name = entry.path().filename().string();
    if (IsRealDevice(entry.path())) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    const int ga = Group(a), gb = Group(b);
    return ga != gb ? ga < gb : NaturalLess(a, b);
  });
  std::vector<std::string> paths;
  paths.reserve(names.size());
  for (const auto& n : names) paths.push_back("/dev/" + n);
  return paths;
}

PortDevices PortOverrides(const std::function<const char*(const char*)>& lookup) {
  PortDevices out;
  for (int n = 1; n <= kPortCount; ++n) {
    const std::string key = "VELKOR_COM" + std::to_string(n);
    const char* value = lookup(key.c_str());
    if (value != nullptr) out[n - 1] = value;
  }
  return out;
}

PortDevices AssignPorts(const std::vector<std::string>& devices, const PortDevices& overrides) {
  PortDevices ports = overrides;
  std::size_t next = 0;
  for (const std::string& device : devices) {
    if (std::find(overrides.begin(), overrides.end(), device) != overrides.end()) continue;
    while (next < ports.size() && !ports[next].empty()) ++next;
    if (next == ports.size()) break;
    ports[next] = device;
  }
  return ports;
}

PortDevices EnumeratePortDevices() {
  return AssignPorts(ListSerialDevices(), PortOverrides([](const char* key) { return std::getenv(key); }));
}

}  // namespace velkor::platform
