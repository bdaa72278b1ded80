#pragma once
// The settings the windows edit, the configuration file stores and the run setup reads.
// Every default is the state of the windows as they are created.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pipeline/Types.h"

namespace velkor {

inline constexpr int kMaxManchesterFiles = 16;
inline constexpr int kPortCount = 12;
// A channel window's fixed client size; stored files hold it, no load restores it.
inline constexpr int kChannelWindowHeight = 229;
inline constexpr int kChannelWindowWidth = 527;

struct ManchesterEntry {
  std::string path;
  bool enabled = true;
  bool operator==(const ManchesterEntry&) const = default;
};

struct ChannelSettings {
  ChannelType type = ChannelType::Manchester;
  std::string caption;  // at most 6 characters
  bool active = false;
  bool generation = true;  // Logical: "Generation of messages in HexaView window"
  std::vector<ManchesterEntry> manchesterFiles;  // at most kMaxManchesterFiles
  std::string serialFile;
  std::string canFile;
  std::string linFile;
  bool operator==(const ChannelSettings&) const = default;
};

// The Graphic view's column period, in units of 0.1 microsecond.
enum class ColumnResolution : std::int8_t { None = -1, Ms10, Ms20, Ms50, Ms100 };

constexpr std::uint32_t ColumnPeriod(ColumnResolution r) {
  switch (r) {
    case ColumnResolution::Ms10: return 100000;
    case ColumnResolution::Ms50: return 500000;
    case ColumnResolution::Ms100: return 1000000;
    case ColumnResolution::Ms20:
    case ColumnResolution::None: break;  // no button checked: keep the created choice
  }
  return 200000;
}

struct FilterRowSettings {
  int channelIf = 0;  // cboChaN item index
  int field = -1;     // cboFieldN
  int equal = -1;     // cboEgalN
  std::string contentA;
  std::string contentB;
  std::string match;
  bool operator==(const FilterRowSettings&) const = default;
};

struct WindowPlacement {
  int left = 0;
  int top = 0;
  int height = 500;
  int width = 500;
  bool visible = false;
  bool operator==(const WindowPlacement&) const = default;
};

struct Colour {
  std::uint8_t red = 0, green = 0, blue = 0;
  // Stored files hold 0x00BBGGRR.
  static constexpr Colour FromBgr(std::uint32_t v) {
    return Colour{static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>((v >> 8) & 0xFF),
                  static_cast<std::uint8_t>((v >> 16) & 0xFF)};
  }
  constexpr std::uint32_t ToBgr() const {
    return red | (static_cast<std::uint32_t>(green) << 8) | (static_cast<std::uint32_t>(blue) << 16);
  }
  bool operator==(const Colour&) const = default;
};

struct Settings {
  Settings();

  int port = 1;  // selected port 1..12; 0 when no port button is checked
  std::array<ChannelSettings, kChannelCount> channels;
  ColumnResolution scrolling = ColumnResolution::Ms20;
  bool hexaClear = true;
  bool hexaAutoScroll = false;
  std::array<FilterRowSettings, kChannelCount> filters;

  WindowPlacement main{-4, -4, 480, 640, true};
  bool mainMaximized = true;
  WindowPlacement graphic{0, 0, 142, 500, false};
  WindowPlacement hexa{50, 0, 500, 500, false};
  WindowPlacement filter{100, 0, 500, 500, false};
  std::array<WindowPlacement, kChannelCount> channelWindows;

  std::array<Colour, kChannelCount> textColours;   // ChannelTextColour (colours window, column 1)
  std::array<Colour, kChannelCount> traceColours;  // ChannelTraceColour (column 2)

  // The channel of another instrument's capture each channel read last, by its name in that
  // file (empty: none); offered again for the next capture that has the names.
  std::array<std::string, kChannelCount> captureMap;

  bool operator==(const Settings&) const = default;
};

inline Settings::Settings() {
  for (int i = 0; i < kChannelCount; ++i) {
    channels[i].caption = "Cha" + std::to_string(i + 1);
    channelWindows[i] = WindowPlacement{i * 50 + 150, 0, kChannelWindowHeight, kChannelWindowWidth, false};
    traceColours[i] = Colour::FromBgr(0x80FF80);
  }
  textColours = {Colour::FromBgr(0x0066CC), Colour::FromBgr(0x0000FF), Colour::FromBgr(0x56B7FE),
                 Colour::FromBgr(0x00FFFF)};
}

}  // namespace velkor
