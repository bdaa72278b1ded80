// remote-standin: a stand-in for the program on the remote channel, for the tests of the
// velkor-remote client. It opens the block named after itself (or VELKOR_REMOTE_NAME) and
// serves it with the real server over a host where "Run" appends three lines, "Hide"
// never answers (a program stuck in a message box), an empty configuration path fails and
// "Close" ends the process with exit code 1. It holds the block as the program does: a block
// nobody holds is not served, and the name goes with its last holder.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "LineServingHost.h"
#include "platform/Clock.h"
#include "platform/SharedMemory.h"
#include "remote/RemoteCommands.h"

using namespace velkor;

namespace {

class StandInHost final : public test::LineServingHost {
 public:
  using LineServingHost::LineServingHost;

  void Hide() override {
    for (;;) platform::SleepMilliseconds(1000);
  }
  bool LoadConfiguration(const std::string& path) override { return path.empty(); }
  void Run() override {
    for (int i = 0; i < 3; ++i) AppendLine("0," + std::to_string(i * 1000) + ",Count=" + std::to_string(i) + ",\xB5s,");
  }
  std::string ChannelCaption(int) override { return "Cha1"; }
};

}  // namespace

int main(int, char** argv) {
  const char* name = std::getenv(kRemoteNameVariable);
  const RemoteNames names = RemoteChannelNames(argv[0], name != nullptr ? name : "");
  platform::SharedBlock block;
  if (block.OpenHeld(names.block) != platform::BlockOpenResult::Success) {
    std::fprintf(stderr, "remote-standin: no block %s\n", names.block.c_str());
    return 4;
  }
  block.ReleaseOnTerminationSignals();
  platform::NamedEvent event(names.event);
  StandInHost host(event);
  RemoteServer server(host);
  server.Attach(block.Bytes());
  for (;;) {
    if (server.ServeBurst()) {
      block.Release();
      std::_Exit(1);
    }
    platform::SleepMilliseconds(kRemotePollMillis);
  }
}
