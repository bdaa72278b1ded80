#include "KivoSimulator.h"

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Waveform.h"

namespace velkor::test {

KivoSimulator::KivoSimulator(const std::vector<std::string>& args) {
  int out[2];
  if (pipe(out) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv;
    std::string program = VELKOR_KIVO_SIM;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  // The path comes at once; the bound only keeps a broken simulator from stalling the run.
  pollfd p{out[0], POLLIN, 0};
  char c;
  while (poll(&p, 1, 30000) == 1 && read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
  close(out[0]);
}

KivoSimulator::~KivoSimulator() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  waitpid(pid_, nullptr, 0);
}

std::vector<std::uint8_t> SamplesAsStreamed(const std::vector<std::uint8_t>& samples) {
  std::vector<std::uint8_t> live;
  for (std::size_t k = 0; k + 3 < samples.size(); k += 4) {
    auto bit = [&](std::size_t j, int channel) { return (samples[k + j] >> channel) & 1u; };
    live.push_back(static_cast<std::uint8_t>(bit(0, 0) | bit(0, 1) << 1 | bit(1, 0) << 2 | bit(0, 2) << 3 |
                                             bit(2, 0) << 4 | bit(2, 1) << 5 | bit(3, 0) << 6 | bit(0, 3) << 7));
  }
  return LiveBytesToFileBytes(live);
}

PortOverride::PortOverride(const std::string& device) { setenv("VELKOR_COM3", device.c_str(), 1); }
PortOverride::~PortOverride() { unsetenv("VELKOR_COM3"); }

}  // namespace velkor::test
