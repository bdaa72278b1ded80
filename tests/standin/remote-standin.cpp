// remote-standin: a stand-in for the program on the remote channel, for the tests of the
// velkor-remote client. It opens the block named after itself (or VELKOR_REMOTE_NAME) and
// serves it with the real server over a host where "Run" appends three lines, "Hide"
// never answers (a program stuck in a message box), an empty configuration path fails and
// "Close" ends the process with exit code 1.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Clock.h"
#include "platform/SharedMemory.h"
#include "remote/RemoteCommands.h"
#include "views/DecodedLine.h"

using namespace velkor;

namespace {

class StandInHost final : public RemoteHost {
 public:
  explicit StandInHost(LineEventSignal& event) : event_(event) {}

  void Hide() override {
    for (;;) platform::SleepMilliseconds(1000);
  }
  void Show() override {}
  bool LoadConfiguration(const std::string& path) override { return path.empty(); }
  void Run() override {
    for (int i = 0; i < 3; ++i) {
      lines_.Append("0," + std::to_string(i * 1000) + ",Count=" + std::to_string(i) + ",\xB5s,");
      event_.Signal();
    }
  }
  void Stop() override {}
  void SelectPort(int) override {}
  void DrawPortIndicator() override {}
  std::size_t LineCount() override { return lines_.size(); }
  std::string_view OldestLine() override { return lines_.Line(0); }
  void RemoveOldestLine() override { lines_.RemoveFirst(); }
  std::string ChannelCaption(int) override { return "Cha1"; }
  bool LogVisible() override { return false; }
  void AddLogLine(std::string_view) override {}
  void ProcessPendingEvents() override {}
  std::uint64_t MonotonicMicros() override { return platform::MonotonicMicros(); }

 private:
  LineEventSignal& event_;
  DecodedLineList lines_;
};

}  // namespace

int main(int, char** argv) {
  const char* name = std::getenv(kRemoteNameVariable);
  const RemoteNames names = RemoteChannelNames(argv[0], name != nullptr ? name : "");
  platform::SharedBlock block;
  if (block.Open(names.block) != platform::BlockOpenResult::Success) {
    std::fprintf(stderr, "remote-standin: no block %s\n", names.block.c_str());
    return 4;
  }
  platform::NamedEvent event(names.event);
  StandInHost host(event);
  RemoteServer server(host);
  server.Attach(block.Bytes());
  for (;;) {
    if (server.ServeBurst()) std::_Exit(1);
    platform::SleepMilliseconds(kRemotePollMillis);
  }
}
