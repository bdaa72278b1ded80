// velkor-decode: the headless decoder. Replays a capture file through the four channel
// decoders configured in a configuration file and writes the decoded lines.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

#include "app/ConfigFile.h"
#include "app/Cp1252.h"
#include "app/Settings.h"
#include "pipeline/DecMain.h"

namespace {

using namespace velkor;

constexpr const char* kUsage =
    "Usage: velkor-decode [--config FILE.cfg] [--raw] [--progress] CAPTURE.bin\n"
    "\n"
    "Replays a capture file (one sample per byte, 2.4 us apart, bit i = channel i+1)\n"
    "through the channel decoders and writes every decoded line to standard output.\n"
    "\n"
    "Options:\n"
    "  --config FILE   take the four channels' settings (sections CHANNEL1..CHANNEL4)\n"
    "                  from this configuration file; without it every channel is off\n"
    "  --raw           write the stored lines unchanged (Windows-1252 bytes, field\n"
    "                  markers included) instead of the rendered UTF-8 text\n"
    "  --progress      draw a progress bar on standard error\n"
    "  --help          show this text\n"
    "\n"
    "Messages the program would show in a message box go to standard error; a Yes/No\n"
    "question is answered No.\n"
    "\n"
    "Exit status: 0 after a replay, 1 when a frame description was refused at run\n"
    "start, 2 for bad arguments or a missing or unreadable capture or configuration.\n";

class TerminalUi : public UserInterface {
 public:
  explicit TerminalUi(bool progress) : progress_(progress) {}

  MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                            MessageButtons buttons) override {
    std::cerr << Cp1252ToUtf8(caption) << ": " << Cp1252ToUtf8(text) << '\n';
    if (buttons == MessageButtons::YesNo) {
      std::cerr << "(answered No)\n";
      return MessageAnswer::No;
    }
    return MessageAnswer::Ok;
  }
  void ShowProgress(std::string_view title) override {
    title_ = title;
    SetProgress(0);
  }
  void SetProgress(int percent) override {
    if (!progress_) return;
    const int width = 40;
    std::string bar(static_cast<std::size_t>(percent * width / 100), '#');
    bar.resize(width, ' ');
    std::fprintf(stderr, "\r%s [%s] %3d%%", title_.c_str(), bar.c_str(), percent);
    std::fflush(stderr);
  }
  void HideProgress() override {
    if (progress_) std::fputc('\n', stderr);
  }

 private:
  bool progress_;
  std::string title_;
};

struct Options {
  std::string config;
  std::string capture;
  bool raw = false;
  bool progress = false;
};

int Fail(const std::string& message) {
  std::cerr << "velkor-decode: " << message << '\n';
  return 2;
}

void WriteLines(const DecodedLineList& lines, const Settings& settings, bool raw) {
  std::string captions[4];
  for (int i = 0; i < kChannelCount; ++i) captions[i] = settings.channels[i].caption;
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (raw)
      out.append(lines.Line(i));
    else
      out += Cp1252ToUtf8(RenderDecodedLine(lines.Line(i), captions));
    out += '\n';
    if (out.size() > (1 << 16)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--raw") {
      opt.raw = true;
    } else if (arg == "--progress") {
      opt.progress = true;
    } else if (arg == "--config") {
      if (++i >= argc) return Fail("--config needs a file name");
      opt.config = argv[i];
    } else if (arg.starts_with("--")) {
      return Fail("unknown option " + std::string(arg) + " (see --help)");
    } else if (opt.capture.empty()) {
      opt.capture = std::string(arg);
    } else {
      return Fail("only one capture file may be given (see --help)");
    }
  }
  if (opt.capture.empty()) return Fail("no capture file given (see --help)");

  Settings settings;
  for (auto& ch : settings.channels) ch.active = false;
  if (!opt.config.empty()) {
    if (LoadConfigFile(opt.config, settings))
      return Fail("cannot read the configuration file " + opt.config);
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(opt.capture, ec))
    return Fail("cannot read the capture file " + opt.capture);

  TerminalUi ui(opt.progress);
  Pipeline pipeline(settings, ui);
  if (!pipeline.ReplayCaptureFile(opt.capture))
    return Fail("cannot read the capture file " + opt.capture);
  WriteLines(pipeline.Lines(), settings, opt.raw);
  return pipeline.RunSetupFailed() ? 1 : 0;
}
