#include "FakeKivo.h"

#include <cstdio>

namespace velkor::test {

namespace {
constexpr std::uint64_t kAnswerDelayMicros = 20000;
constexpr std::uint64_t kWakeNoiseDelayMicros = 100000;

std::string Hex(std::uint8_t b) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", b);
  return text;
}
}  // namespace

FakeModule* FakePortBackend::Module() {
  auto it = modules.find(openPort);
  return it == modules.end() ? nullptr : &it->second;
}

bool FakePortBackend::Open(int port, int openBaud, LineControl rtsControl, LineControl dtrControl) {
  Log("open " + std::to_string(port));
  if (openPort != 0) Log("error: second open while port " + std::to_string(openPort) + " is open");
  if (!present[port - 1] && !modules.count(port)) return true;
  if (unopenable.count(port) != 0) return true;
  openPort = port;
  ++opens;
  baud = openBaud;
  dtr = dtrControl == LineControl::Enabled;
  rts = rtsControl == LineControl::Enabled;
  input_.clear();
  previousWritten_ = -1;
  return false;
}

void FakePortBackend::Close() {
  Log("close");
  openPort = 0;
  input_.clear();
}

bool FakePortBackend::SetBaudRate(int newBaud) {
  Log("baud " + std::to_string(newBaud));
  if (refusedBauds.count(newBaud) != 0) return true;
  baud = newBaud;
  return false;
}

void FakePortBackend::SetDtr(bool on) {
  Log(std::string("dtr ") + (on ? "1" : "0"));
  const bool woke = on && !dtr && rts;
  dtr = on;
  FakeModule* m = Module();
  if (woke && m != nullptr) Queue(clock_.now + kWakeNoiseDelayMicros, m->wakeNoise);
}

void FakePortBackend::SetRts(bool on) {
  Log(std::string("rts ") + (on ? "1" : "0"));
  const bool woke = on && !rts && dtr;
  rts = on;
  FakeModule* m = Module();
  if (woke && m != nullptr) Queue(clock_.now + kWakeNoiseDelayMicros, m->wakeNoise);
}

std::size_t FakePortBackend::Read(std::uint8_t* buffer, std::size_t size) {
  std::size_t n = 0;
  const std::uint64_t now = clock_.now;
  while (n < size && !input_.empty() && input_.front().first <= now) {
    buffer[n++] = input_.front().second;
    input_.pop_front();
  }
  if (logReads) Log("read " + std::to_string(size) + "/" + std::to_string(n));
  return n;
}

void FakePortBackend::Write(const std::uint8_t* bytes, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const std::uint8_t b = bytes[i];
    Log("write " + Hex(b));
    FakeModule* m = Module();
    // The module reads at 115200 baud only.
    if (m != nullptr && baud == kProbeBaudRate) {
      if (previousWritten_ == 0x07 && b == 0x00) {
        std::vector<std::uint8_t> answer;
        switch (m->answer) {
          case ModuleAnswer::Normal:
            answer = {0xF8, static_cast<std::uint8_t>(m->major), static_cast<std::uint8_t>(m->minor)};
            break;
          case ModuleAnswer::WrongMarker:
            answer = {0x55, static_cast<std::uint8_t>(m->major), static_cast<std::uint8_t>(m->minor)};
            break;
          case ModuleAnswer::MarkerAndMajor:
            answer = {0xF8, static_cast<std::uint8_t>(m->major)};
            break;
          case ModuleAnswer::Silent:
            break;
        }
        Queue(clock_.now + kAnswerDelayMicros, answer);
      } else if (previousWritten_ == 0x04 && b == 0x02) {
        Queue(clock_.now, m->stream);
      }
    }
    previousWritten_ = b;
  }
}

void FakePortBackend::Log(std::string entry) {
  timeline.emplace_back(clock_.now, entry);
  log.push_back(std::move(entry));
}

void FakePortBackend::Deliver(const std::vector<std::uint8_t>& bytes) { Queue(clock_.now, bytes); }

void FakePortBackend::Queue(std::uint64_t at, const std::vector<std::uint8_t>& bytes) {
  for (std::uint8_t b : bytes) input_.emplace_back(at, b);
}

}  // namespace velkor::test
