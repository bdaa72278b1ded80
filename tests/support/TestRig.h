#pragma once
// What most tests need: a temporary folder, a recording user interface and a pipeline.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Settings.h"
#include "pipeline/DecMain.h"
#include "pipeline/UserInterface.h"

namespace velkor::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
  // Writes a file in the folder and returns its path.
  std::string Write(std::string_view name, std::string_view content) const;
  std::string Write(std::string_view name, const std::vector<std::uint8_t>& bytes) const;

 private:
  std::string path_;
};

std::string ReadWholeFile(const std::string& path);

struct RecordedMessage {
  std::string text;
  std::string caption;
  MessageButtons buttons;
};

// Records everything the core shows; questions take their answers from `answers`, then No.
class RecordingUi : public UserInterface {
 public:
  MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                            MessageButtons buttons) override;
  void OpenFrameEditor(std::string_view path, std::string_view errorText) override {
    editors.push_back({std::string(path), std::string(errorText)});
  }
  void ShowProgress(std::string_view title) override { progress.push_back("show:" + std::string(title)); }
  void SetProgress(int percent) override { progress.push_back(std::to_string(percent) + "%"); }
  void HideProgress() override { progress.push_back("hide"); }
  bool StopRequested() override {
    ++blocks;
    if (onBlock) onBlock(blocks);
    return stopAfterBlocks >= 0 && blocks > stopAfterBlocks;
  }
  void RefreshLineCount(std::size_t count) override { refreshes.push_back(count); }
  void ClearGraphic() override { ++graphicClears; }
  void DrawColumn(std::uint32_t trace, std::uint32_t event) override { columns.push_back({trace, event}); }
  void SetResolutionEnabled(bool enabled) override { resolutionEnabled = enabled; }
  void SetRunStatus(std::string_view text) override { runStatus = text; }

  std::vector<RecordedMessage> messages;
  std::deque<MessageAnswer> answers;
  std::vector<std::pair<std::string, std::string>> editors;
  std::vector<std::string> progress;
  std::vector<std::size_t> refreshes;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> columns;
  int graphicClears = 0;
  int stopAfterBlocks = -1;  // >= 0: StopRequested turns true after that many blocks
  int blocks = 0;
  std::function<void(int)> onBlock;  // called with the number of each block done, before Stop is asked
  bool resolutionEnabled = true;
  std::string runStatus;
};

struct TestRig {
  TestRig() : pipeline(settings, ui) {}

  // Replays the bytes as a capture file; returns the lines now held.
  std::vector<std::string> Replay(const std::vector<std::uint8_t>& bytes);
  // Runs the setup, then feeds the samples straight to the dispatch from index 0.
  std::vector<std::string> Dispatch(const std::vector<std::uint8_t>& samples);
  // Runs the setup, then feeds live bytes to the pipeline `slice` bytes at a time; the lines
  // must not depend on how the input is cut.
  std::vector<std::string> DispatchLive(const std::vector<std::uint8_t>& live, std::size_t slice);
  // Every channel active with no decoder, so only the channel a test sets up reaches one.
  void NoDecoderOnAnyChannel();
  std::vector<std::string> Lines() const;

  TempDir dir;
  Settings settings;
  RecordingUi ui;
  Pipeline pipeline;
};

}  // namespace velkor::test

namespace velkor::test {

// Four Logical channels, each with its own edges, so every bit of a live byte counts.
struct Capture;
Capture FourChannelCapture();
// Every channel active and Logical, with its messages.
void SetAllLogical(Settings& settings);

struct ToolResult {
  int status = -1;  // exit status, -1 when the tool did not exit normally
  std::string out;
  std::string err;
};
// Runs a shell command, its output and the status collected; `errPath` is where the command
// sends its error output (read back into `err`).
ToolResult RunShellCommand(const std::string& command, const std::string& errPath);
// Runs velkor-decode with the given arguments (already quoted for the shell), optionally
// from another working folder.
ToolResult RunDecodeTool(const std::string& args, const std::string& workingDir = "");

// Writes a configuration file with the channel keys of the given settings.
std::string WriteChannelConfig(const TempDir& dir, std::string_view name, const Settings& settings);

}  // namespace velkor::test
