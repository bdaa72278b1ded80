#pragma once
// Monotonic clock and waits (the high-resolution counter of the platform).

#include <cstdint>

namespace velkor::platform {

// Microseconds from an arbitrary fixed origin; never goes back.
std::uint64_t MonotonicMicros();
void SleepMilliseconds(std::uint32_t millis);

}  // namespace velkor::platform
