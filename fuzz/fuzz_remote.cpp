// The remote command interpreter over a shared block of any size and content: the input is
// the block as the client left it. Serving must stay inside the block; a waiting command
// gets a reply that ends with its zero inside the block (when there is room) and the state
// byte back at 0; an idle block is not touched.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "remote/RemoteCommands.h"
#include "views/DecodedLine.h"

using namespace velkor;
using namespace velkor::fuzz;

namespace {

// The program as the commands see it: a few stored lines, a clock that runs fast enough
// for the serving window to close after a handful of polls, and no files or windows.
class FakeHost final : public RemoteHost {
 public:
  FakeHost() {
    lines_.Append("0,1523642,ID=12A,DLC=2,DataFrame=00 01,");
    lines_.Append("1,33398,New Value=1,");
    lines_.Append("3,5,\xA3" "Error frame,$T=54,");
  }
  void Hide() override { visible_ = false; }
  void Show() override { visible_ = true; }
  bool LoadConfiguration(const std::string& path) override { return path.empty() || path[0] != '/'; }
  void Run() override { running_ = true; }
  void Stop() override { running_ = false; }
  void SelectPort(int port) override {
    if (port < 1 || port > 12) Fail("a port outside 1..12 was selected");
  }
  void DrawPortIndicator() override {}
  std::size_t LineCount() override { return lines_.size(); }
  std::string_view OldestLine() override { return lines_.Line(0); }
  void RemoveOldestLine() override { lines_.RemoveFirst(); }
  std::string ChannelCaption(int channel) override { return "Cha" + std::to_string(channel + 1); }
  bool LogVisible() override { return visible_; }
  void AddLogLine(std::string_view line) override { logged_ += line.size(); }
  void ProcessPendingEvents() override {}
  std::uint64_t MonotonicMicros() override { return now_ += 20000; }

 private:
  DecodedLineList lines_;
  bool visible_ = true;
  bool running_ = false;
  std::size_t logged_ = 0;
  std::uint64_t now_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A block of exactly the input's size on the heap, so a step past its end is caught.
  std::vector<std::uint8_t> block(data, data + size);
  const std::vector<std::uint8_t> before = block;
  FakeHost host;
  RemoteServer server(host);
  server.Attach(std::span<std::uint8_t>(block));
  // Attaching an empty block attaches nothing, and nothing is served then.
  if (size == 0) {
    if (server.Attached() || server.ServeBurst()) Fail("an empty block was served");
    return 0;
  }
  const bool waiting = before[0] == kRemoteStateCommand;
  (void)server.ServeBurst();

  if (!waiting) {
    if (block != before) Fail("a block without a waiting command was written");
    return 0;
  }
  if (block[0] != kRemoteStateIdle) Fail("the state byte was not set back to 0 after the reply");
  if (size > kRemoteTextOffset) {
    const void* zero = std::memchr(block.data() + kRemoteTextOffset, 0, size - kRemoteTextOffset);
    if (zero == nullptr) Fail("a reply without its zero inside the block");
    const std::string_view reply(reinterpret_cast<const char*>(block.data() + kRemoteTextOffset),
                                 static_cast<const std::uint8_t*>(zero) - (block.data() + kRemoteTextOffset));
    if (!std::string_view(server.LastReply()).starts_with(reply)) Fail("the block holds another reply than was made");
  }
  return 0;
}
