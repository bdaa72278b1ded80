#include "platform/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Clock.h"
#include "platform/SerialBaud.h"

namespace velkor::platform {

namespace {

// Write timeouts of the module link: 10 ms per byte plus a constant 50 ms.
int WriteBudgetMillis(std::size_t bytes) { return static_cast<int>(10 * bytes + 50); }

class PosixSerialPort final : public SerialPort {
 public:
  ~PosixSerialPort() override { Close(); }

  bool Open(const std::string& device) override {
    Close();
    // Non-blocking from the start: no wait for a carrier, and reads return at once.
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return true;
    // Exclusive: TIOCEXCL keeps other programs out, the lock keeps out a second Velkor
    // even when it runs as root (which TIOCEXCL lets through).
    if (!isatty(fd) || ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      return true;
    }
    fd_ = fd;
    return false;
  }

  void Close() override {
    if (fd_ < 0) return;
    (void)ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
  }

  bool IsOpen() const override { return fd_ >= 0; }

  bool SetLine(const LineSettings& line) override {
    if (fd_ < 0) return true;
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) return true;
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                          IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    switch (line.dataBits) {
      case 5: tio.c_cflag |= CS5; break;
      case 6: tio.c_cflag |= CS6; break;
      case 7: tio.c_cflag |= CS7; break;
      default: tio.c_cflag |= CS8; break;
    }
    if (line.parity != Parity::None) {
      tio.c_cflag |= PARENB;
      tio.c_iflag |= INPCK;
      if (line.parity == Parity::Odd) tio.c_cflag |= PARODD;
    }
    if (line.stopBits == 2) tio.c_cflag |= CSTOPB;
    if (line.rtsCtsFlow) tio.c_cflag |= CRTSCTS;
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) return true;
    return SetBaudRate(line.baud);
  }

  bool SetBaudRate(std::uint32_t baud) override { return fd_ < 0 || detail::SetBaudRateTermios2(fd_, baud); }

  bool SetDtr(bool on) override { return SetModemLine(TIOCM_DTR, on); }
  bool SetRts(bool on) override { return SetModemLine(TIOCM_RTS, on); }

  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    if (fd_ < 0 || size == 0) return 0;
    for (;;) {
      ssize_t n = ::read(fd_, buffer, size);
      if (n > 0) return static_cast<std::size_t>(n);
      if (n < 0 && errno == EINTR) continue;
      return 0;
    }
  }

  std::size_t Write(const std::uint8_t* bytes, std::size_t size) override {
    if (fd_ < 0) return 0;
    const std::uint64_t deadline = MonotonicMicros() + 1000ull * WriteBudgetMillis(size);
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::write(fd_, bytes + done, size - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) break;
      const std::uint64_t now = MonotonicMicros();
      if (now >= deadline) break;
      pollfd p{fd_, POLLOUT, 0};
      (void)poll(&p, 1, static_cast<int>((deadline - now + 999) / 1000));
    }
    return done;
  }

  void DrainOutput() override {
    if (fd_ < 0) return;
    // tcdrain can wait forever on a stuck adapter; poll the output queue within the budget.
    int pending = 0;
    if (ioctl(fd_, TIOCOUTQ, &pending) != 0) return;
    const std::uint64_t deadline =
        MonotonicMicros() + 1000ull * WriteBudgetMillis(static_cast<std::size_t>(pending > 0 ? pending : 0));
    while (pending > 0 && MonotonicMicros() < deadline) {
      SleepMilliseconds(1);
      if (ioctl(fd_, TIOCOUTQ, &pending) != 0) return;
    }
  }

  void FlushInput() override {
    if (fd_ >= 0) (void)tcflush(fd_, TCIFLUSH);
  }

 private:
  bool SetModemLine(int line, bool on) {
    if (fd_ < 0) return true;
    int bits = line;
    if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return false;
    return !(errno == ENOTTY || errno == EINVAL);
  }

  int fd_ = -1;
};

}  // namespace

std::unique_ptr<SerialPort> CreateSerialPort() { return std::make_unique<PosixSerialPort>(); }

}  // namespace velkor::platform
