// velkor-convert: a capture from one format to another, through the 2.4 us grid that Velkor
// decodes, so that a Kivo capture opens in the waveform viewers of the field and a capture of
// another instrument becomes a *.bin.

#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>

#include "app/ConfigFile.h"
#include "app/Cp1252.h"
#include "app/FilePath.h"
#include "app/Version.h"
#include "capture/CaptureReader.h"
#include "capture/CaptureWriter.h"

namespace {

using namespace velkor;

constexpr const char* kUsage =
    "Usage: velkor-convert [--map MAP] [--config FILE.cfg] IN OUT\n"
    "\n"
    "Converts a capture between Velkor's own format (.bin: one sample per byte, 2.4 us\n"
    "apart), sigrok sessions (.sr), value change dumps (.vcd) and CSV exports (.csv).\n"
    "The input's format goes by its extension, else by its content; the output's by its\n"
    "extension. The samples pass through the 2.4 us grid Velkor decodes (each tick takes\n"
    "the last level at or before it), four channels: what is written is what Velkor\n"
    "decodes. Written files keep that timing exactly: a .sr at 416.667 kHz, a .vcd in\n"
    "steps of 100 ns, a .csv with one row per sample and its time in seconds.\n"
    "\n"
    "Options:\n"
    "  --map MAP       which channels of IN become channels 1 to 4, by name or 1-based\n"
    "                  number: 1=SDA,2=3 (#3 is always the number); default the first four\n"
    "  --config FILE   name the channels of OUT by the captions of this configuration\n"
    "                  file; without it they keep the names IN gives them, else Cha1..Cha4\n"
    "  --help          show this text\n"
    "  --version       show the version number\n"
    "\n"
    "Exit status: 0 when OUT was written, 2 for bad arguments (a file name with a\n"
    "character that Windows-1252 cannot hold among them), an input that cannot be\n"
    "read (also when it turns out damaged part way: no OUT is then left) or an output\n"
    "that cannot be written.\n";

int Fail(const std::string& message) {
  std::cerr << "velkor-convert: " << Cp1252ToUtf8(message) << '\n';
  return 2;
}

// File names come in the locale's UTF-8; the core takes them as Windows-1252 texts, as the
// Windows program does. A name it could not hold would name another file, or none.
bool ToPathText(std::string& path, const char* what) {
  if (path.empty() || !PathFromUtf8(path, path)) return false;
  std::cerr << "velkor-convert: the " << what << " file name " << path
            << " has a character that Windows-1252 cannot hold: rename the file or its folder\n";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string in, out, mapText, config;
  bool hasMap = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--version") {
      std::cout << "velkor-convert " << PackageVersion() << '\n';
      return 0;
    } else if (arg == "--map") {
      if (++i >= argc) return Fail("--map needs a map such as 1=D0,2=D1");
      mapText = argv[i];
      hasMap = true;
    } else if (arg == "--config") {
      if (++i >= argc) return Fail("--config needs a file name");
      config = argv[i];
    } else if (arg.starts_with("--")) {
      return Fail("unknown option " + Utf8ToCp1252(arg) + " (see --help)");
    } else if (in.empty()) {
      in = arg;
    } else if (out.empty()) {
      out = arg;
    } else {
      return Fail("give one input and one output (see --help)");
    }
  }
  if (out.empty()) return Fail("give an input and an output file (see --help)");
  if (ToPathText(in, "input") || ToPathText(out, "output") || ToPathText(config, "configuration")) return 2;
  CaptureFormat format;
  if (!CaptureFormatOfName(out, format)) return Fail(out + ": give it the extension .bin, .sr, .vcd or .csv");

  std::string error;
  const std::unique_ptr<CaptureReader> reader = OpenCapture(in, error);
  if (!reader) return Fail(error);
  if (hasMap) {
    ChannelMap map;
    if (ParseChannelMap(Utf8ToCp1252(mapText), reader->ChannelNames(), map, error))
      return Fail(in + ": --map " + Utf8ToCp1252(mapText) + ": " + error);
    reader->SetMap(map);
  }
  CaptureNames names;
  if (!config.empty()) {
    Settings settings;
    if (LoadConfigFile(config, settings)) return Fail("cannot read the configuration file " + config);
    for (int i = 0; i < kChannelCount; ++i) names[i] = settings.channels[i].caption;
  } else {
    for (int i = 0; i < kChannelCount; ++i) {
      const int channel = reader->Map()[i];
      const bool named = channel >= 0 && !reader->ChannelNames()[static_cast<std::size_t>(channel)].empty();
      names[i] = named ? reader->ChannelNames()[static_cast<std::size_t>(channel)] : "Cha" + std::to_string(i + 1);
    }
  }
  for (const std::string& warning : reader->Warnings()) std::cerr << "Warning: " << Cp1252ToUtf8(warning) << '\n';
  if (WriteCapture(*reader, out, format, names, error)) return Fail(error);
  return 0;
}
