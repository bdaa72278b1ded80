#pragma once
// A shell command run beside the test, to be signalled, killed or waited for; killed at the
// end of the test if it still runs.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace velkor::test {

class BackgroundProcess {
 public:
  // The command replaces the shell (exec), so that the process signalled is the command.
  explicit BackgroundProcess(const std::string& command) {
    pid_ = fork();
    if (pid_ == 0) {
      execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~BackgroundProcess() {
    if (Running()) {
      kill(pid_, SIGKILL);
      (void)Wait(10000);
    }
  }
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  pid_t Pid() const { return pid_; }
  bool Running() const { return pid_ > 0 && !status_; }
  void Signal(int signal) const {
    if (Running()) kill(pid_, signal);
  }

  // The wait status once the process has ended; nothing when it still runs after `millis`
  // (a bound against a hang, not a measure).
  std::optional<int> Wait(int millis) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(millis);
    while (Running()) {
      int status = 0;
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) status_ = status;
      else if (r < 0) status_ = -1;
      else if (std::chrono::steady_clock::now() >= until) break;
      else std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
  }
  // The exit code, or -1 when it ended by a signal or still runs after `millis`.
  int ExitCode(int millis) {
    const std::optional<int> status = Wait(millis);
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Polls a condition until it holds; false after `millis` (a bound against a hang).
template <typename Condition>
bool Eventually(Condition condition, int millis = 10000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(millis);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace velkor::test
