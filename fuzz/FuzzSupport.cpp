#include "FuzzSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>

#include "database/DatabaseReaders.h"
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

// Records the calls that the two dispatch paths must make alike.
class CallLog final : public SilentUserInterface {
 public:
  void RefreshLineCount(std::size_t count) override { calls.push_back(count << 1); }
  void DrawColumn(std::uint32_t trace, std::uint32_t event) override {
    calls.push_back(static_cast<std::uint64_t>(trace << 4 | event) << 1 | 1);
  }
  std::vector<std::uint64_t> calls;
};

// Piece lengths as a driver or a replay might hand them over: now and then one sample, often
// a few dozen, mostly thousands.
class Cuts {
 public:
  explicit Cuts(std::uint32_t seed) : state_(seed * 2654435761u + 1) {}
  std::size_t Next() {
    const std::uint32_t r = Step();
    const std::uint32_t kind = r % 10;
    return kind == 0 ? 1 : kind < 4 ? 2 + Step() % 63 : 65 + Step() % 20000;
  }
  bool Coin() { return (Step() >> 7 & 1) != 0; }

 private:
  std::uint32_t Step() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  std::uint32_t state_;
};

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

DecodeOutcome Decode(const Settings& settings, std::string_view bytes, Feed feed, std::uint32_t cutSeed) {
  Settings copy = settings;
  CallLog ui;
  auto pipeline = std::make_unique<Pipeline>(copy, ui);
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  if (feed == Feed::Replay) {
    if (!pipeline->ReplayCaptureFile(WriteScratchFile("capture.bin", bytes))) Fail("the capture could not be replayed");
  } else {
    pipeline->ResetRun();
    pipeline->sampleIndex = 0;
    const bool live = feed == Feed::LivePerSample || feed == Feed::LivePieces;
    if (feed == Feed::PerSample || feed == Feed::LivePerSample) pipeline->SetDispatchPath(DispatchPath::PerSample);
    Cuts cuts(cutSeed);
    // A refused description stops a replay before its first sample; the others do the same.
    for (std::size_t at = 0; at < bytes.size() && !pipeline->RunSetupFailed();) {
      std::size_t n = bytes.size() - at;
      if (feed == Feed::Pieces || feed == Feed::LivePieces) {
        n = std::min(n, live ? cuts.Next() / 4 + 1 : cuts.Next());
        pipeline->SetDispatchPath(cuts.Coin() ? DispatchPath::PerSample : DispatchPath::RunSkipping);
      }
      if (live)
        pipeline->DispatchLiveBytes(data + at, n);
      else
        pipeline->DispatchSamples(data + at, n);
      at += n;
    }
  }
  DecodeOutcome o;
  o.lines = CheckedLines(pipeline->Lines());
  o.calls = std::move(ui.calls);
  o.sampleIndex = pipeline->sampleIndex;
  o.columnClock = pipeline->columnClock;
  o.traceMask = pipeline->Services().columnTraceMask;
  o.eventMask = pipeline->Services().columnEventMask;
  return o;
}

std::vector<std::string> DecodeEveryWay(const Settings& settings, std::string_view capture, std::uint32_t cutSeed) {
  DecodeOutcome reference = Decode(settings, capture, Feed::PerSample, cutSeed);
  if (!(Decode(settings, capture, Feed::Replay, cutSeed) == reference))
    Fail("the replay and the per-sample path differ");
  if (!(Decode(settings, capture, Feed::Pieces, cutSeed) == reference))
    Fail("the run-skipping path, cut in pieces, and the per-sample path differ");
  return std::move(reference.lines);
}

int FuzzDescriptionAndDecode(ChannelType type, std::string_view extension, const std::uint8_t* data,
                             std::size_t size) {
  const DescriptionAndCapture input = SplitAtCapture(data, size);
  const std::string description = WriteScratchFile("input." + std::string(extension), input.description);

  Settings settings;
  for (ChannelSettings& ch : settings.channels) {
    ch.type = type;
    ch.active = true;
    ch.serialFile = ch.canFile = ch.linFile = description;
    // Two slots of the same description compete for every frame.
    ch.manchesterFiles = {{description, true}, {description, true}};
  }
  (void)DecodeEveryWay(settings, input.capture, static_cast<std::uint32_t>(input.capture.size()));
  return 0;
}

int FuzzBusDatabase(bool ldf, const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  BusDatabase db;
  DatabaseError error;
  const bool ok = ldf ? ReadLdf(text, db, error) : ReadDbc(text, db, error);
  if (!ok) {
    const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    if (error.line < 1 || error.line > lines) Fail("a refusal names line " + std::to_string(error.line));
    if (error.what.empty()) Fail("a refusal says nothing");
    return 0;
  }
  std::uint64_t payload = 0;
  std::memcpy(&payload, data, std::min<std::size_t>(size, sizeof payload));
  std::string line;
  for (const BusMessage& m : db.Messages()) {
    if (db.Find(m.key) != &m) Fail("message " + m.name + " is not found by its key");
    for (const std::uint8_t received : {std::uint8_t{0xFF}, std::uint8_t{0x0F}, std::uint8_t{0x00}}) {
      for (const std::uint64_t p : {payload, ~payload, std::uint64_t{0}}) {
        line.clear();
        AppendSignalFields(line, m, p, received);
        if (!line.empty() && line.back() != ',') Fail("signal fields do not end a field: " + line);
        if (line.find_first_of("\r\n") != std::string::npos) Fail("a line break in signal fields: " + line);
        if (received == 0 && !line.empty()) Fail("signal fields without data: " + line);
      }
    }
  }
  return 0;
}

}  // namespace velkor::fuzz
