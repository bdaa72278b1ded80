#include "TestRig.h"

#include "Waveform.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace velkor::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velkor-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::Write(std::string_view name, std::string_view content) const {
  std::string path = File(name);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  return path;
}

std::string TempDir::Write(std::string_view name, const std::vector<std::uint8_t>& bytes) const {
  return Write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

MessageAnswer RecordingUi::ShowMessage(std::string_view text, std::string_view caption,
                                       MessageButtons buttons) {
  messages.push_back({std::string(text), std::string(caption), buttons});
  if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
  if (answers.empty()) return MessageAnswer::No;
  MessageAnswer a = answers.front();
  answers.pop_front();
  return a;
}

std::vector<std::string> TestRig::Lines() const {
  std::vector<std::string> out;
  const auto& lines = pipeline.Lines();
  for (std::size_t i = 0; i < lines.size(); ++i) out.emplace_back(lines.Line(i));
  return out;
}

std::vector<std::string> TestRig::Replay(const std::vector<std::uint8_t>& bytes) {
  std::string path = dir.Write("capture.bin", bytes);
  if (!pipeline.ReplayCaptureFile(path)) throw std::runtime_error("capture not replayed");
  return Lines();
}

std::vector<std::string> TestRig::DispatchLive(const std::vector<std::uint8_t>& live, std::size_t slice) {
  pipeline.ResetRun();
  pipeline.sampleIndex = 0;
  for (std::size_t at = 0; at < live.size(); at += slice)
    pipeline.DispatchLiveBytes(live.data() + at, std::min(slice, live.size() - at));
  return Lines();
}

void TestRig::NoDecoderOnAnyChannel() {
  for (auto& ch : settings.channels) {
    ch.type = ChannelType::None;
    ch.active = true;
  }
}

std::vector<std::string> TestRig::Dispatch(const std::vector<std::uint8_t>& samples) {
  pipeline.ResetRun();
  pipeline.sampleIndex = 0;
  for (std::uint8_t s : samples) pipeline.DispatchSample(static_cast<Sample>(s & 0x0F), pipeline.sampleIndex++);
  return Lines();
}

}  // namespace velkor::test

#include <sys/wait.h>

#include "app/IniFile.h"

namespace velkor::test {

ToolResult RunShellCommand(const std::string& command, const std::string& errPath) {
  ToolResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.err = ReadWholeFile(errPath);
  return result;
}

ToolResult RunDecodeTool(const std::string& args, const std::string& workingDir) {
  TempDir tmp;
  const std::string errPath = tmp.File("stderr.txt");
  // A tool that hangs (on a port, say) ends the test with status 124 instead of stalling it.
  std::string command = "timeout -k 10 300 " + std::string(VELKOR_DECODE_TOOL) + " " + args + " 2>" + errPath;
  if (!workingDir.empty()) command = "cd '" + workingDir + "' && " + command;
  return RunShellCommand(command, errPath);
}

std::string WriteChannelConfig(const TempDir& dir, std::string_view name, const Settings& settings) {
  IniDocument ini;
  for (int i = 0; i < kChannelCount; ++i) {
    const ChannelSettings& ch = settings.channels[i];
    const std::string section = "CHANNEL" + std::to_string(i + 1);
    ini.WriteInteger(section, "Type", static_cast<int>(ch.type));
    ini.WriteString(section, "Caption", ch.caption);
    ini.WriteBool(section, "Activation", ch.active);
    ini.WriteBool(section, "LOGICAL_Generation", ch.generation);
    for (int k = 0; k < static_cast<int>(ch.manchesterFiles.size()); ++k)
      ini.WriteString(section, "MANCHESTER_fd" + std::to_string(k),
                      (ch.manchesterFiles[k].enabled ? "[X]" : "[ ]") + ch.manchesterFiles[k].path);
    ini.WriteString(section, "CAN_File", ch.canFile);
    ini.WriteString(section, "SERIAL_File", ch.serialFile);
    ini.WriteString(section, "LIN_File", ch.linFile);
  }
  return dir.Write(name, ini.Serialize());
}

Capture FourChannelCapture() {
  Capture c;
  c.channel[0].Idle(100).Hold(0, 7.2).Idle(50).Hold(0, 2.4).Idle(2000).Hold(0, 300);
  c.channel[1].Idle(400).Hold(0, 9.6).Idle(900).Hold(0, 4.8);
  c.channel[2].Idle(1200).Hold(0, 19.2).Idle(600);
  c.channel[3].Idle(2500).Hold(0, 38.4).Idle(300);
  c.channel[0].IdleUntil(25000).Hold(0, 2.4).IdleUntil(30000);
  return c;
}

void SetAllLogical(Settings& settings) {
  for (auto& ch : settings.channels) {
    ch.type = ChannelType::Logical;
    ch.active = true;
    ch.generation = true;
  }
}

}  // namespace velkor::test
