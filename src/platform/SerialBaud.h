#pragma once
// Arbitrary baud rates through the kernel's termios2 interface. Kept apart because its
// header cannot be included beside <termios.h>.

#include <cstdint>

namespace velkor::platform::detail {

// True when the driver refused the rate or set one more than 2% away from it.
[[nodiscard]] bool SetBaudRateTermios2(int fd, std::uint32_t baud);

}  // namespace velkor::platform::detail
