#include "platform/Clock.h"

#include <chrono>
#include <thread>

namespace velkor::platform {

std::uint64_t MonotonicMicros() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

void SleepMilliseconds(std::uint32_t millis) { std::this_thread::sleep_for(std::chrono::milliseconds(millis)); }

}  // namespace velkor::platform
