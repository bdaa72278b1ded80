// velkor-bench-capture: writes a benchmark capture of any length, with its configuration, so
// that velkor-decode can be timed on it:
//   velkor-bench-capture idle|mixed|dense SAMPLES FOLDER
// writes FOLDER/capture.bin, FOLDER/bench.cfg and the descriptions it names. Long captures
// repeat a piece of 20 million samples.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "BenchCaptures.h"
#include "app/IniFile.h"

using namespace velkor;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: velkor-bench-capture idle|mixed|dense SAMPLES FOLDER\n");
    return 2;
  }
  const std::string_view kind = argv[1];
  const bench::Traffic traffic = kind == "idle"    ? bench::Traffic::Idle
                                 : kind == "dense" ? bench::Traffic::DenseCan
                                                   : bench::Traffic::Mixed;
  const std::size_t samples = std::strtoull(argv[2], nullptr, 10);
  const std::string folder = argv[3];

  Settings settings;
  bench::SetUpChannels(folder, settings);
  // The configuration names the descriptions by their full paths.
  IniDocument ini;
  for (int i = 0; i < kChannelCount; ++i) {
    const ChannelSettings& ch = settings.channels[i];
    const std::string section = "CHANNEL" + std::to_string(i + 1);
    ini.WriteInteger(section, "Type", static_cast<int>(ch.type));
    ini.WriteString(section, "Caption", ch.caption);
    ini.WriteBool(section, "Activation", ch.active);
    ini.WriteBool(section, "LOGICAL_Generation", ch.generation);
    ini.WriteString(section, "CAN_File", ch.canFile);
    ini.WriteString(section, "SERIAL_File", ch.serialFile);
    ini.WriteString(section, "LIN_File", ch.linFile);
  }
  const std::string config = ini.Serialize();
  if (FILE* f = std::fopen((folder + "/bench.cfg").c_str(), "wb")) {
    std::fwrite(config.data(), 1, config.size(), f);
    std::fclose(f);
  }

  constexpr std::size_t kPiece = 20'000'000;
  const auto piece = bench::MakeTraffic(traffic, samples < kPiece ? samples : kPiece);
  FILE* out = std::fopen((folder + "/capture.bin").c_str(), "wb");
  if (out == nullptr) return 2;
  for (std::size_t left = samples; left > 0;) {
    const std::size_t n = left < piece.size() ? left : piece.size();
    if (std::fwrite(piece.data(), 1, n, out) != n) return 2;
    left -= n;
  }
  return std::fclose(out) == 0 ? 0 : 2;
}
