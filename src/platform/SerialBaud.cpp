#include "platform/SerialBaud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace velkor::platform::detail {

bool SetBaudRateTermios2(int fd, std::uint32_t baud) {
  if (baud == 0) return true;
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return true;
  tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ospeed = baud;
  tio.c_ispeed = baud;
  if (ioctl(fd, TCSETS2, &tio) != 0) return true;
  // Drivers round to the rates their divisor can make and report what they set: an adapter
  // that cannot come near the rate has refused it.
  struct termios2 back {};
  if (ioctl(fd, TCGETS2, &back) != 0) return true;
  const std::uint64_t got = back.c_ospeed;
  const std::uint64_t want = baud;
  const std::uint64_t diff = got > want ? got - want : want - got;
  return diff * 50 > want;
}

}  // namespace velkor::platform::detail
