#include "app/ConfigFile.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string_view>

#include "app/FilePath.h"
#include "app/IniFile.h"
#include "app/SafeSave.h"

namespace velkor {

namespace {

// Every key of the file beside the value it takes when a file lacks it. These defaults are
// the file's own and differ in places from the windows' creation state (a file without
// LOGICAL_Generation turns generation off, a file without Type selects no type).
struct TextKey {
  std::string_view name;
  std::string_view fallback;
};
struct IntKey {
  std::string_view name;
  std::int32_t fallback;
};
struct BoolKey {
  std::string_view name;
  bool fallback;
};

constexpr std::string_view kPortSection = "PORT";
constexpr TextKey kPortCom{"PortCom", "COM1"};
constexpr std::string_view kPortPrefix = "COM";

constexpr std::string_view kChannelSectionPrefix = "CHANNEL";  // followed by 1..4
constexpr IntKey kType{"Type", -1};
constexpr std::string_view kCaption = "Caption";
constexpr std::string_view kCaptionFallbackPrefix = "Cha";  // followed by 1..4
constexpr BoolKey kActivation{"Activation", false};
constexpr BoolKey kGeneration{"LOGICAL_Generation", false};
constexpr std::string_view kManchesterPrefix = "MANCHESTER_fd";  // followed by 0..15; empty
constexpr std::string_view kEnabledMark = "[X]";
constexpr std::string_view kDisabledMark = "[ ]";
constexpr std::size_t kMarkLength = 3;
constexpr std::size_t kShortestManchesterEntry = 5;  // a mark and a path of two characters
constexpr std::size_t kLongestManchesterPath = 512;
constexpr TextKey kCanFile{"CAN_File", ""};
constexpr TextKey kSerialFile{"SERIAL_File", ""};
constexpr TextKey kLinFile{"LIN_File", ""};

constexpr std::string_view kGraphicSection = "GRAPHIC";
constexpr TextKey kScrolling{"Scrolling", "20ms"};
struct ScrollingText {
  ColumnResolution resolution;
  std::string_view text;
};
constexpr std::array<ScrollingText, 4> kScrollingTexts{{{ColumnResolution::Ms10, "10ms"},
                                                        {ColumnResolution::Ms20, "20ms"},
                                                        {ColumnResolution::Ms50, "50ms"},
                                                        {ColumnResolution::Ms100, "100ms"}}};

constexpr std::string_view kHexaSection = "HEXA";
constexpr BoolKey kClear{"Clear", true};
constexpr BoolKey kAutoScroll{"AutoScroll", false};

// FILTER keys are "CHA", the channel 1..4 and one of these suffixes.
constexpr std::string_view kFilterSection = "FILTER";
constexpr std::string_view kFilterPrefix = "CHA";
constexpr IntKey kFilterIf{"_If", 0};
constexpr IntKey kFilterField{"_Field", -1};
constexpr IntKey kFilterEqual{"_Equal", -1};
constexpr TextKey kFilterContentA{"_ContentA", ""};
constexpr TextKey kFilterContentB{"_ContentB", ""};
constexpr TextKey kFilterMatch{"_Match", ""};

// WINDOWS keys are a window prefix and one of these suffixes.
constexpr std::string_view kWindowsSection = "WINDOWS";
constexpr std::string_view kLeft = "_Left";
constexpr std::string_view kTop = "_Top";
constexpr std::string_view kHeight = "_Height";
constexpr std::string_view kWidth = "_Width";
constexpr std::string_view kVisible = "_Visible";
struct WindowKeys {
  std::string_view prefix;
  WindowPlacement fallback;
};
constexpr WindowKeys kMainWindow{"MAIN", {-4, -4, 480, 640, false}};
constexpr BoolKey kMainMaximized{"MAIN_Maximized", true};
constexpr WindowKeys kGraphicWindow{"GRAPHIC", {0, 0, 142, 500, false}};
constexpr WindowKeys kHexaWindow{"HEXA", {50, 0, 500, 500, false}};
constexpr WindowKeys kFilterWindow{"FILTER", {100, 0, 500, 500, false}};
// Channel windows count from 0 here ("CHANNEL0" is channel 1's window).
constexpr std::string_view kChannelWindowPrefix = "CHANNEL";
constexpr int kChannelWindowLeftBase = 150;
constexpr int kChannelWindowLeftStep = 50;

constexpr std::string_view kCaptureMapSection = "CAPTURE_MAP";
constexpr std::string_view kCaptureMapPrefix = "Channel";  // followed by 1..4

constexpr std::string_view kColorsSection = "COLORS";
constexpr std::string_view kTextColourPrefix = "chk";   // followed by 1..4
constexpr std::string_view kTraceColourPrefix = "but";  // followed by 1..4
constexpr std::array<std::uint32_t, kChannelCount> kTextColourFallbacks{0x0066CC, 0x0000FF, 0x56B7FE,
                                                                        0x00FFFF};
constexpr std::uint32_t kTraceColourFallback = 0x80FF80;

std::string Numbered(std::string_view prefix, int n) {
  std::string s(prefix);
  s += std::to_string(n);
  return s;
}

std::string Join(std::string_view a, std::string_view b) {
  std::string s(a);
  s += b;
  return s;
}

std::string ChannelSection(int channel) { return Numbered(kChannelSectionPrefix, channel + 1); }
std::string FilterKey(int channel, std::string_view suffix) {
  return Join(Numbered(kFilterPrefix, channel + 1), suffix);
}
std::string ChannelWindowPrefix(int channel) { return Numbered(kChannelWindowPrefix, channel); }

// --- Reading ---------------------------------------------------------------------------

std::string Read(const IniDocument& ini, std::string_view section, const TextKey& key) {
  return ini.ReadString(section, key.name, key.fallback);
}

std::int32_t Read(const IniDocument& ini, std::string_view section, const IntKey& key) {
  return ini.ReadInteger(section, key.name, key.fallback);
}

bool Read(const IniDocument& ini, std::string_view section, const BoolKey& key) {
  return ini.ReadBool(section, key.name, key.fallback);
}

int LoadPort(const IniDocument& ini) {
  const std::string text = Read(ini, kPortSection, kPortCom);
  for (int n = 1; n <= kPortCount; ++n)
    if (text == Numbered(kPortPrefix, n)) return n;
  return 0;
}

// The type list has five items; a number that names none of them selects nothing.
ChannelType LoadType(const IniDocument& ini, std::string_view section) {
  const std::int32_t value = Read(ini, section, kType);
  if (value < static_cast<std::int32_t>(ChannelType::Manchester) ||
      value > static_cast<std::int32_t>(ChannelType::Logical))
    return ChannelType::None;
  return static_cast<ChannelType>(value);
}

void LoadChannel(const IniDocument& ini, int channel, ChannelSettings& ch) {
  const std::string section = ChannelSection(channel);
  ch.type = LoadType(ini, section);
  ch.caption = ini.ReadString(section, kCaption, Numbered(kCaptionFallbackPrefix, channel + 1));
  ch.active = Read(ini, section, kActivation);
  ch.generation = Read(ini, section, kGeneration);
  ch.manchesterFiles.clear();
  for (int i = 0; i < kMaxManchesterFiles; ++i) {
    const std::string* value = ini.Find(section, Numbered(kManchesterPrefix, i));
    if (value == nullptr || value->size() < kShortestManchesterEntry) continue;
    // A path cut at its limit may end in blanks, which no file keeps (values are stripped
    // when read): drop them now, so that a save and a load give the same list.
    std::string_view path = std::string_view(*value).substr(kMarkLength, kLongestManchesterPath);
    while (!path.empty() && static_cast<unsigned char>(path.back()) <= ' ') path.remove_suffix(1);
    if (kMarkLength + path.size() < kShortestManchesterEntry) continue;
    ch.manchesterFiles.push_back(ManchesterEntry{std::string(path), (*value)[1] == 'X'});
  }
  ch.canFile = Read(ini, section, kCanFile);
  ch.serialFile = Read(ini, section, kSerialFile);
  ch.linFile = Read(ini, section, kLinFile);
}

ColumnResolution LoadScrolling(const IniDocument& ini) {
  const std::string text = Read(ini, kGraphicSection, kScrolling);
  for (const ScrollingText& s : kScrollingTexts)
    if (text == s.text) return s.resolution;
  return ColumnResolution::None;
}

void LoadFilter(const IniDocument& ini, int channel, FilterRowSettings& row) {
  auto readInt = [&](const IntKey& k) {
    return ini.ReadInteger(kFilterSection, FilterKey(channel, k.name), k.fallback);
  };
  auto readText = [&](const TextKey& k) {
    return ini.ReadString(kFilterSection, FilterKey(channel, k.name), k.fallback);
  };
  row.channelIf = readInt(kFilterIf);
  row.field = readInt(kFilterField);
  row.equal = readInt(kFilterEqual);
  row.contentA = readText(kFilterContentA);
  row.contentB = readText(kFilterContentB);
  row.match = readText(kFilterMatch);
}

// Visibility is read as an integer: any nonzero number shows the window.
void LoadWindow(const IniDocument& ini, std::string_view prefix, const WindowPlacement& fallback,
                bool withSize, bool withVisibility, WindowPlacement& w) {
  auto read = [&](std::string_view suffix, int value) {
    return ini.ReadInteger(kWindowsSection, Join(prefix, suffix), value);
  };
  w.left = read(kLeft, fallback.left);
  w.top = read(kTop, fallback.top);
  if (withSize) {
    w.height = read(kHeight, fallback.height);
    w.width = read(kWidth, fallback.width);
  }
  if (withVisibility) w.visible = read(kVisible, fallback.visible ? 1 : 0) != 0;
}

// --- Writing ---------------------------------------------------------------------------

void Write(IniDocument& ini, std::string_view section, std::string_view key, std::string_view v) {
  ini.WriteString(section, key, v);
}

void SaveChannel(IniDocument& ini, int channel, const ChannelSettings& ch) {
  const std::string section = ChannelSection(channel);
  ini.WriteInteger(section, kType.name, static_cast<std::int32_t>(ch.type));
  Write(ini, section, kCaption, ch.caption);
  ini.WriteBool(section, kActivation.name, ch.active);
  ini.WriteBool(section, kGeneration.name, ch.generation);
  // All sixteen keys, so that a longer list saved earlier leaves nothing behind.
  for (int i = 0; i < kMaxManchesterFiles; ++i) {
    std::string value;
    if (i < static_cast<int>(ch.manchesterFiles.size())) {
      const ManchesterEntry& e = ch.manchesterFiles[i];
      value = Join(e.enabled ? kEnabledMark : kDisabledMark, e.path);
    }
    Write(ini, section, Numbered(kManchesterPrefix, i), value);
  }
  Write(ini, section, kCanFile.name, ch.canFile);
  Write(ini, section, kSerialFile.name, ch.serialFile);
  Write(ini, section, kLinFile.name, ch.linFile);
}

std::string_view ScrollingTextOf(ColumnResolution r) {
  for (const ScrollingText& s : kScrollingTexts)
    if (s.resolution == r) return s.text;
  return {};  // no radio button checked
}

void SaveFilter(IniDocument& ini, int channel, const FilterRowSettings& row) {
  ini.WriteInteger(kFilterSection, FilterKey(channel, kFilterIf.name), row.channelIf);
  ini.WriteInteger(kFilterSection, FilterKey(channel, kFilterField.name), row.field);
  ini.WriteInteger(kFilterSection, FilterKey(channel, kFilterEqual.name), row.equal);
  Write(ini, kFilterSection, FilterKey(channel, kFilterContentA.name), row.contentA);
  Write(ini, kFilterSection, FilterKey(channel, kFilterContentB.name), row.contentB);
  Write(ini, kFilterSection, FilterKey(channel, kFilterMatch.name), row.match);
}

void SaveWindow(IniDocument& ini, std::string_view prefix, const WindowPlacement& w) {
  ini.WriteInteger(kWindowsSection, Join(prefix, kLeft), w.left);
  ini.WriteInteger(kWindowsSection, Join(prefix, kTop), w.top);
  ini.WriteInteger(kWindowsSection, Join(prefix, kHeight), w.height);
  ini.WriteInteger(kWindowsSection, Join(prefix, kWidth), w.width);
}

void SaveWindowAndVisibility(IniDocument& ini, std::string_view prefix, const WindowPlacement& w) {
  SaveWindow(ini, prefix, w);
  ini.WriteBool(kWindowsSection, Join(prefix, kVisible), w.visible);
}

// Reads at most one byte more than a configuration may have, and stops at the first NUL
// byte: a capture chosen by mistake is never read whole.
ConfigRefusal ReadConfigText(const std::string& path, std::string& text) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(FilePath(path).c_str(), "rb"), &std::fclose);
  if (!file) return ConfigRefusal::Missing;
  char buffer[8192];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (std::memchr(buffer, '\0', n) != nullptr || text.size() + n > kMaxConfigFileBytes)
      return ConfigRefusal::NotAConfiguration;
    text.append(buffer, n);
  }
  // A read that stops half-way must not pass for a shorter file.
  return std::ferror(file.get()) != 0 ? ConfigRefusal::Missing : ConfigRefusal::None;
}

// A file without any of these would load as nothing but defaults, wiping every setting.
bool HasConfigSection(const IniDocument& ini) {
  for (std::string_view section : {kPortSection, kGraphicSection, kHexaSection, kFilterSection, kWindowsSection,
                                   kColorsSection})
    if (ini.FindSection(section) != nullptr) return true;
  for (int n = 0; n < kChannelCount; ++n)
    if (ini.FindSection(ChannelSection(n)) != nullptr) return true;
  return false;
}

}  // namespace

bool LoadConfigFile(const std::string& path, Settings& settings, ConfigRefusal* refusal) {
  ConfigRefusal ignored;
  ConfigRefusal& why = refusal != nullptr ? *refusal : ignored;
  why = ConfigRefusal::None;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(FilePath(path), ec)) {
    why = ConfigRefusal::Missing;
    return true;
  }
  const std::uintmax_t size = std::filesystem::file_size(FilePath(path), ec);
  if (!ec && size > kMaxConfigFileBytes) {
    why = ConfigRefusal::NotAConfiguration;
    return true;
  }
  std::string content;
  why = ReadConfigText(path, content);
  if (why != ConfigRefusal::None) return true;
  IniDocument ini;
  ini.Parse(content);
  if (!HasConfigSection(ini)) {
    why = ConfigRefusal::NotAConfiguration;
    return true;
  }

  settings.port = LoadPort(ini);
  for (int n = 0; n < kChannelCount; ++n) LoadChannel(ini, n, settings.channels[n]);
  settings.scrolling = LoadScrolling(ini);
  settings.hexaClear = Read(ini, kHexaSection, kClear);
  settings.hexaAutoScroll = Read(ini, kHexaSection, kAutoScroll);
  for (int n = 0; n < kChannelCount; ++n) LoadFilter(ini, n, settings.filters[n]);

  LoadWindow(ini, kMainWindow.prefix, kMainWindow.fallback, true, false, settings.main);
  settings.mainMaximized =
      ini.ReadInteger(kWindowsSection, kMainMaximized.name, kMainMaximized.fallback ? 1 : 0) != 0;
  LoadWindow(ini, kGraphicWindow.prefix, kGraphicWindow.fallback, true, true, settings.graphic);
  LoadWindow(ini, kHexaWindow.prefix, kHexaWindow.fallback, true, true, settings.hexa);
  LoadWindow(ini, kFilterWindow.prefix, kFilterWindow.fallback, true, true, settings.filter);
  for (int i = 0; i < kChannelCount; ++i) {
    const WindowPlacement fallback{i * kChannelWindowLeftStep + kChannelWindowLeftBase, 0, 0, 0, false};
    LoadWindow(ini, ChannelWindowPrefix(i), fallback, false, true, settings.channelWindows[i]);
  }

  for (int i = 0; i < kChannelCount; ++i) {
    const std::int32_t text =
        ini.ReadInteger(kColorsSection, Numbered(kTextColourPrefix, i + 1),
                        static_cast<std::int32_t>(kTextColourFallbacks[i]));
    const std::int32_t trace = ini.ReadInteger(kColorsSection, Numbered(kTraceColourPrefix, i + 1),
                                               static_cast<std::int32_t>(kTraceColourFallback));
    settings.textColours[i] = Colour::FromBgr(static_cast<std::uint32_t>(text));
    settings.traceColours[i] = Colour::FromBgr(static_cast<std::uint32_t>(trace));
  }
  for (int i = 0; i < kChannelCount; ++i)
    settings.captureMap[i] = ini.ReadString(kCaptureMapSection, Numbered(kCaptureMapPrefix, i + 1), "");
  return false;
}

bool SaveConfigFile(const std::string& path, const Settings& settings) {
  IniDocument ini;
  std::error_code ec;
  // A file that is there but cannot be read would lose its unknown keys: leave it alone.
  if (std::filesystem::is_regular_file(FilePath(path), ec) && !ini.LoadFile(path)) return true;

  if (settings.port >= 1 && settings.port <= kPortCount)
    Write(ini, kPortSection, kPortCom.name, Numbered(kPortPrefix, settings.port));
  for (int n = 0; n < kChannelCount; ++n) SaveChannel(ini, n, settings.channels[n]);
  Write(ini, kGraphicSection, kScrolling.name, ScrollingTextOf(settings.scrolling));
  ini.WriteBool(kHexaSection, kClear.name, settings.hexaClear);
  ini.WriteBool(kHexaSection, kAutoScroll.name, settings.hexaAutoScroll);
  for (int n = 0; n < kChannelCount; ++n) SaveFilter(ini, n, settings.filters[n]);

  SaveWindow(ini, kMainWindow.prefix, settings.main);
  ini.WriteBool(kWindowsSection, kMainMaximized.name, settings.mainMaximized);
  SaveWindowAndVisibility(ini, kGraphicWindow.prefix, settings.graphic);
  SaveWindowAndVisibility(ini, kHexaWindow.prefix, settings.hexa);
  SaveWindowAndVisibility(ini, kFilterWindow.prefix, settings.filter);
  for (int i = 0; i < kChannelCount; ++i)
    SaveWindowAndVisibility(ini, ChannelWindowPrefix(i), settings.channelWindows[i]);

  for (int i = 0; i < kChannelCount; ++i)
    ini.WriteInteger(kColorsSection, Numbered(kTextColourPrefix, i + 1),
                     static_cast<std::int32_t>(settings.textColours[i].ToBgr()));
  for (int i = 0; i < kChannelCount; ++i)
    ini.WriteInteger(kColorsSection, Numbered(kTraceColourPrefix, i + 1),
                     static_cast<std::int32_t>(settings.traceColours[i].ToBgr()));
  for (int i = 0; i < kChannelCount; ++i)
    ini.WriteString(kCaptureMapSection, Numbered(kCaptureMapPrefix, i + 1), settings.captureMap[i]);

  return SafeSaveFile(path, ini.Serialize());
}

std::string ConfigFileFolder(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(FilePath(path), ec);
  if (ec) return {};
  return PathText(absolute.lexically_normal().parent_path());
}

}  // namespace velkor
