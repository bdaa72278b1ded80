#include "FuzzSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "pipeline/DecMain.h"
#include "pipeline/UserInterface.h"

namespace velkor::fuzz {

namespace {

struct Scratch {
  Scratch() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velkor-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) Fail("cannot make a scratch folder");
    path = pattern;
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string path;
};

// Each description in both timings. The demo ones are the example files' contents; the
// fast ones keep their frames within a few hundred samples of 2.4 microseconds.
constexpr std::string_view kSerial[] = {
    "[PROTOCOL]\nBaudrate=9600\nDataBits=8\nLsbFirst=YES\nInvertedStart=NO\nInvertedData=YES\n"
    "InterFrame=5000\nAscii=YES\n",
    "[PROTOCOL]\nBaudrate=115200\nDataBits=8\nLsbFirst=YES\nInvertedStart=NO\nInvertedData=NO\n"
    "InterFrame=100\nAscii=NO\n"};
constexpr std::string_view kCan[] = {
    "[BAUDRATE]\nValue=125000\n\n[ID]\n112=PIC_ImmoCommand\n131=PIC_StatusFrame\n",
    "[BAUDRATE]\nValue=125000\n[ID]\n000=Zero\n7FF=All\n123=Motor\n"};
constexpr std::string_view kLin[] = {
    "[BAUDRATE]\nValue=19200\n\n[INVERT]\nValue=NO\n\n[PROTOCOL]\nInterFrame=2000\n"
    "ChecksumIncludeID=YES\n\n[ID]\nA8=BCM_Status\n39=Door_Switches\n",
    "[BAUDRATE]\nValue=100000\n[INVERT]\nValue=NO\n[PROTOCOL]\nInterFrame=100\n"
    "ChecksumIncludeID=NO\n[ID]\n3C=Diag\n"};
constexpr std::array<std::string_view, 2> kManchester[] = {
    {"[BAUDRATE]\nValue=3906\n[INVERT]\nValue=NO\n[TIMEOUT]\nValue=5\n[PREAMBLE]\nContent=0000 M0S0\n"
     "[FIELDS]\nIDE=32\nAcc=8\n",
     "[BAUDRATE]\nValue=9600\n[INVERT]\nValue=YES\n[TIMEOUT]\nValue=3\n[PREAMBLE]\nContent=1111 M1S1\n"
     "[FIELDS]\nCmd=4\nArg=12\n"},
    {"[BAUDRATE]\nValue=20000\n[INVERT]\nValue=NO\n[TIMEOUT]\nValue=4\n[PREAMBLE]\nContent=01\n"
     "[FIELDS]\nA=4\nB=4\n",
     "[BAUDRATE]\nValue=20000\n[INVERT]\nValue=YES\n[TIMEOUT]\nValue=2\n[PREAMBLE]\nContent=1M\n"
     "[FIELDS]\nC=8\n"}};

FixedDescriptions WriteDescriptions(Timing timing) {
  const int t = timing == Timing::Demo ? 0 : 1;
  const std::string prefix = t == 0 ? "demo-" : "fast-";
  FixedDescriptions d;
  d.serial = WriteScratchFile(prefix + "serial.sfd", kSerial[t]);
  d.can = WriteScratchFile(prefix + "can.cfd", kCan[t]);
  d.lin = WriteScratchFile(prefix + "lin.lfd", kLin[t]);
  for (std::size_t i = 0; i < kManchester[t].size(); ++i)
    d.manchester.push_back(WriteScratchFile(prefix + "m" + std::to_string(i) + ".mfd", kManchester[t][i]));
  return d;
}

}  // namespace

void Fail(std::string_view what) {
  std::fprintf(stderr, "\nproperty failed: %.*s\n", static_cast<int>(what.size()), what.data());
  std::abort();
}

const std::string& ScratchFolder() {
  static const Scratch scratch;
  return scratch.path;
}

std::string WriteScratchFile(std::string_view name, std::string_view bytes) {
  std::string path = ScratchFolder() + "/" + std::string(name);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) Fail("cannot write " + path);
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !written) Fail("cannot write " + path);
  return path;
}

DescriptionAndCapture SplitAtCapture(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t at = input.find(kCaptureSeparator);
  if (at == std::string_view::npos) return {input, {}};
  return {input.substr(0, at), input.substr(at + kCaptureSeparator.size())};
}

const FixedDescriptions& WrittenDescriptions(Timing timing) {
  static const std::map<Timing, FixedDescriptions> written{{Timing::Demo, WriteDescriptions(Timing::Demo)},
                                                           {Timing::Fast, WriteDescriptions(Timing::Fast)}};
  return written.at(timing);
}

void UseFixedDescription(Settings& settings, int channel, ChannelType type, Timing timing) {
  const FixedDescriptions& d = WrittenDescriptions(timing);
  ChannelSettings& ch = settings.channels[channel];
  ch.type = type;
  ch.active = true;
  ch.serialFile = d.serial;
  ch.canFile = d.can;
  ch.linFile = d.lin;
  ch.manchesterFiles.clear();
  for (const std::string& path : d.manchester) ch.manchesterFiles.push_back({path, true});
}

void ArrangeFramedChannels(Settings& settings, unsigned order, Timing timing) {
  std::array<ChannelType, kChannelCount> types{ChannelType::Can, ChannelType::Manchester, ChannelType::Serial,
                                               ChannelType::Lin};
  for (unsigned n = order % 24; n > 0; --n) std::next_permutation(types.begin(), types.end());
  for (int i = 0; i < kChannelCount; ++i) UseFixedDescription(settings, i, types[i], timing);
}

void CheckLineLayout(std::string_view line) {
  auto fail = [&](std::string_view why) { Fail(std::string(why) + ": \"" + std::string(line) + "\""); };
  if (line.size() > kMaxDecodedLineLength) fail("longer than 1000 characters");
  if (line.size() < 5 || line[0] < '0' || line[0] > '3' || line[1] != ',') fail("no channel digit and comma");
  std::size_t i = 2;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
  if (i == 2 || i >= line.size() || line[i] != ',') fail("no decimal date and comma");
  if (i + 1 == line.size()) fail("empty frame text");
  if (line.back() != ',') fail("frame text without its final comma");
}

std::vector<std::string> CheckedLines(const DecodedLineList& lines) {
  std::vector<std::string> out;
  out.reserve(lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    CheckLineLayout(lines.Line(i));
    out.emplace_back(lines.Line(i));
  }
  return out;
}

int FuzzDescriptionAndDecode(ChannelType type, std::string_view extension, const std::uint8_t* data,
                             std::size_t size) {
  const DescriptionAndCapture input = SplitAtCapture(data, size);
  const std::string description = WriteScratchFile("input." + std::string(extension), input.description);
  const std::string capture = WriteScratchFile("input.bin", input.capture);

  Settings settings;
  for (ChannelSettings& ch : settings.channels) {
    ch.type = type;
    ch.active = true;
    ch.serialFile = ch.canFile = ch.linFile = description;
    // Two slots of the same description compete for every frame.
    ch.manchesterFiles = {{description, true}, {description, true}};
  }
  SilentUserInterface ui;
  Pipeline pipeline(settings, ui);
  if (!pipeline.ReplayCaptureFile(capture)) Fail("the capture could not be replayed");
  (void)CheckedLines(pipeline.Lines());
  return 0;
}

}  // namespace velkor::fuzz
