#pragma once
// The remote command channel: the command language, its replies, and the serving of a
// burst of commands from the shared block. The program is reached through RemoteHost, so
// the whole exchange runs here without windows; the GUI adds the 1 ms timer around
// ServeBurst and ends the process when it asks for that.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "remote/RemoteBlock.h"

namespace velkor {

inline constexpr std::size_t kRemoteMaxArgumentLength = 1000;
// After each command the server keeps polling this long before it waits for a timer tick.
inline constexpr std::uint64_t kRemoteServingWindowMicros = 50000;
inline constexpr int kRemotePollMillis = 1;
// The main window hides itself this long after start when a client was found.
inline constexpr int kRemoteHideDelayMillis = 500;

inline constexpr std::string_view kRemoteReplyOk = "OK";
inline constexpr std::string_view kRemoteReplyNothing = "(nothing)";
inline constexpr std::string_view kRemoteReplyFileNotFound = "(File not found)";
inline constexpr std::string_view kRemoteReplyErrorPort = "(Error port)";
inline constexpr std::string_view kRemoteReplyError = "ERROR";

// What the commands act on. Texts are Windows-1252 bytes.
class RemoteHost {
 public:
  virtual ~RemoteHost() = default;

  virtual void Hide() = 0;
  virtual void Show() = 0;
  // Loads a configuration file into the windows; true when it failed.
  [[nodiscard]] virtual bool LoadConfiguration(const std::string& path) = 0;
  virtual void Run() = 0;
  virtual void Stop() = 0;
  // Checks port 1..12 in the hardware settings; the indicator is redrawn separately.
  virtual void SelectPort(int port) = 0;
  virtual void DrawPortIndicator() = 0;

  // The decoded line list as the Hexa view holds it. RemoveOldestLine goes through the
  // view so that its list drops the row.
  virtual std::size_t LineCount() = 0;
  virtual std::string_view OldestLine() = 0;
  virtual void RemoveOldestLine() = 0;
  virtual std::string ChannelCaption(int channel) = 0;

  // The remote log window: lines are added only while it is visible.
  virtual bool LogVisible() = 0;
  virtual void AddLogLine(std::string_view line) = 0;

  // Between polls: let the pending window events run (timer ticks, input, repaints).
  virtual void ProcessPendingEvents() = 0;
  // A monotonic clock for the serving window.
  virtual std::uint64_t MonotonicMicros() = 0;
};

struct RemoteCommand {
  std::string_view word;
  std::string_view argument;  // at most 1000 characters
};

// Splits at the first ">": the word before it, the argument after it (later ">" belong to
// the argument), cut to its first 1000 characters. Without ">" the argument is empty.
RemoteCommand SplitRemoteCommand(std::string_view text);

// The port number of "Com": exactly one of "1" .. "12", else 0.
int ParseRemotePort(std::string_view argument);

struct RemoteOutcome {
  std::string reply;
  bool endAfterReply = false;  // "Close": end the process once the reply is written
};

// Carries out one command by the command table.
RemoteOutcome ExecuteRemoteCommand(const RemoteCommand& command, RemoteHost& host);

class RemoteServer {
 public:
  explicit RemoteServer(RemoteHost& host) : host_(host) {}

  // The block opened at the first showing; the server serves nothing before.
  void Attach(std::span<std::uint8_t> block) { block_ = block; }
  bool Attached() const { return !block_.empty(); }

  enum class Served { Nothing, Command, Close };
  // One look at the block: when a command waits, logs it, carries it out, logs and writes
  // the reply.
  Served ServeOne();

  // The body of the poll timer's tick: serves commands, letting events run between polls,
  // until 50 ms have passed without a new one. Returns true right after the reply to
  // "Close" is written: the caller ends the process with exit code 1. A call made from an
  // event handled inside it returns at once, so serving never nests.
  [[nodiscard]] bool ServeBurst();

  std::string_view LastWord() const { return lastWord_; }
  std::string_view LastArgument() const { return lastArgument_; }
  std::string_view LastReply() const { return lastReply_; }

 private:
  RemoteHost& host_;
  std::span<std::uint8_t> block_;
  RemoteCommandBuffer command_{};
  std::string lastWord_;
  std::string lastArgument_;
  std::string lastReply_;
  bool serving_ = false;
};

}  // namespace velkor
