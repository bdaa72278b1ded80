#include "remote/RemoteCommands.h"

#include "pipeline/Types.h"
#include "views/DecodedLine.h"

namespace velkor {

RemoteCommand SplitRemoteCommand(std::string_view text) {
  const std::size_t mark = text.find('>');
  if (mark == std::string_view::npos) return {text, {}};
  return {text.substr(0, mark), text.substr(mark + 1, kRemoteMaxArgumentLength)};
}

int ParseRemotePort(std::string_view argument) {
  // Only the twelve texts themselves: no sign, no blank, no leading zero.
  if (argument.empty() || argument.size() > 2 || argument[0] < '1' || argument[0] > '9') return 0;
  if (argument.size() == 1) return argument[0] - '0';
  if (argument[0] != '1' || argument[1] < '0' || argument[1] > '2') return 0;
  return 10 + (argument[1] - '0');
}

RemoteOutcome ExecuteRemoteCommand(const RemoteCommand& command, RemoteHost& host) {
  const std::string_view word = command.word;
  RemoteOutcome outcome;
  outcome.reply = kRemoteReplyOk;
  if (word == "Close") {
    outcome.endAfterReply = true;
  } else if (word == "Hide") {
    host.Hide();
  } else if (word == "Show") {
    host.Show();
  } else if (word == "Ask") {
    if (host.LineCount() == 0) {
      outcome.reply = kRemoteReplyNothing;
    } else {
      std::string captions[kChannelCount];
      for (int i = 0; i < kChannelCount; ++i) captions[i] = host.ChannelCaption(i);
      outcome.reply = RenderDecodedLine(host.OldestLine(), captions);
      host.RemoveOldestLine();
    }
  } else if (word == "LoadConfiguration") {
    if (host.LoadConfiguration(std::string(command.argument))) outcome.reply = kRemoteReplyFileNotFound;
  } else if (word == "Run") {
    host.Run();
  } else if (word == "Stop") {
    host.Stop();
  } else if (word == "Com") {
    const int port = ParseRemotePort(command.argument);
    if (port == 0) {
      outcome.reply = kRemoteReplyErrorPort;
    } else {
      host.SelectPort(port);
      host.DrawPortIndicator();
    }
  } else {
    outcome.reply = kRemoteReplyError;
  }
  return outcome;
}

RemoteServer::Served RemoteServer::ServeOne() {
  const std::optional<std::string_view> text = ReadRemoteCommand(block_, command_);
  if (!text) return Served::Nothing;
  const RemoteCommand command = SplitRemoteCommand(*text);
  lastWord_ = command.word;
  lastArgument_ = command.argument;
  if (host_.LogVisible()) {
    std::string line(*text);
    line += " (";
    line += command.argument;
    line += "):";
    host_.AddLogLine(line);
  }
  const RemoteOutcome outcome = ExecuteRemoteCommand(command, host_);
  lastReply_ = outcome.reply;
  // The command may have shown or hidden the log window meanwhile.
  if (host_.LogVisible()) host_.AddLogLine("->" + lastReply_);
  WriteRemoteReply(block_, lastReply_);
  return outcome.endAfterReply ? Served::Close : Served::Command;
}

bool RemoteServer::ServeBurst() {
  if (serving_ || !Attached()) return false;
  serving_ = true;
  bool busy = false;
  std::uint64_t deadline = 0;
  do {
    // Every command opens a new window from the moment it was read, so a command that
    // held a message box open for long is not followed by 50 ms of polling.
    const std::uint64_t readAt = host_.MonotonicMicros();
    switch (ServeOne()) {
      case Served::Close:
        serving_ = false;
        return true;
      case Served::Command:
        busy = true;
        deadline = readAt + kRemoteServingWindowMicros;
        break;
      case Served::Nothing:
        break;
    }
    host_.ProcessPendingEvents();
    if (host_.MonotonicMicros() > deadline) busy = false;
  } while (busy);
  serving_ = false;
  return false;
}

}  // namespace velkor
