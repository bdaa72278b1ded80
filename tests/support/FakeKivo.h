#pragma once
// A serial port driver and a Kivo module in memory, on a simulated clock, for the module
// link's tests. The module answers after a delay, as the real one does, so that a host
// that reads before it has waited gets nothing.

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "hardware/Hardware.h"

namespace velkor::test {

class FakeClock : public HardwareClock {
 public:
  // Every look at the clock moves it on a little, so busy-waits end.
  std::uint64_t MonotonicMicros() override { return now += 50; }
  void SleepMilliseconds(std::uint32_t millis) override {
    sleeps.push_back(millis);
    now += 1000ull * millis;
  }
  std::uint64_t now = 1000000;
  std::vector<std::uint32_t> sleeps;
};

enum class ModuleAnswer { Normal, Silent, WrongMarker, MarkerAndMajor };

struct FakeModule {
  ModuleAnswer answer = ModuleAnswer::Normal;
  int major = 2;
  int minor = 7;
  // Sent once DTR and RTS are both up, 100 ms later: what the module says on waking.
  std::vector<std::uint8_t> wakeNoise{0x11, 0x22, 0x33};
  // Sent right after the start command (all at once).
  std::vector<std::uint8_t> stream;
};

class FakePortBackend : public PortBackend {
 public:
  explicit FakePortBackend(FakeClock& clock) : clock_(clock) {}

  std::array<bool, kPortCount> ListPorts() override { return present; }
  bool Open(int port, int baud, LineControl rts, LineControl dtr) override;
  void Close() override;
  bool SetBaudRate(int baud) override;
  void SetDtr(bool on) override;
  void SetRts(bool on) override;
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override;
  void Write(const std::uint8_t* bytes, std::size_t size) override;

  // Queues bytes from the module on the open port, available at once.
  void Deliver(const std::vector<std::uint8_t>& bytes);

  std::array<bool, kPortCount> present{};
  std::set<int> unopenable;
  std::set<int> refusedBauds;
  std::map<int, FakeModule> modules;  // by port; a port without one is silent

  int openPort = 0;  // 0: none
  int baud = 0;
  bool dtr = false;
  bool rts = false;
  int opens = 0;
  std::vector<std::string> log;  // "open 3", "dtr 1", "write 07", "baud 1228800", "close", "read 1024/1024"
  bool logReads = false;
  // The same entries with the simulated time at which each happened; kept when a test
  // clears `log`.
  std::vector<std::pair<std::uint64_t, std::string>> timeline;

 private:
  void Log(std::string entry);
  void Queue(std::uint64_t at, const std::vector<std::uint8_t>& bytes);
  FakeModule* Module();

  FakeClock& clock_;
  std::deque<std::pair<std::uint64_t, std::uint8_t>> input_;
  int previousWritten_ = -1;
};

}  // namespace velkor::test
