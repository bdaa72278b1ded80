#pragma once
// A program on the remote channel reduced to its line list: "Run" appends lines and sets the
// line event (as the derived host chooses), "Ask" serves them, everything else does nothing.
// The client tool's tests serve it from a thread and from the stand-in process.

#include <cstdint>
#include <string>
#include <string_view>

#include "pipeline/UserInterface.h"
#include "platform/Clock.h"
#include "remote/RemoteCommands.h"
#include "views/DecodedLine.h"

namespace velkor::test {

class LineServingHost : public RemoteHost {
 public:
  explicit LineServingHost(LineEventSignal& event) : event_(event) {}

  void Hide() override {}
  void Show() override {}
  bool LoadConfiguration(const std::string&) override { return false; }
  void Stop() override {}
  void SelectPort(int) override {}
  void DrawPortIndicator() override {}
  std::size_t LineCount() override { return lines_.size(); }
  std::string_view OldestLine() override { return lines_.Line(0); }
  void RemoveOldestLine() override { lines_.RemoveFirst(); }
  bool LogVisible() override { return false; }
  void AddLogLine(std::string_view) override {}
  void ProcessPendingEvents() override {}
  std::uint64_t MonotonicMicros() override { return platform::MonotonicMicros(); }

 protected:
  // Appends a line and signals it, as the program's sink does.
  void AppendLine(const std::string& line) {
    lines_.Append(line);
    event_.Signal();
  }

 private:
  LineEventSignal& event_;
  DecodedLineList lines_;
};

}  // namespace velkor::test
