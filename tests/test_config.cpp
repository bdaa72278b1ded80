// Configuration files: what a file gives the settings, what a save writes and keeps.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "TestRig.h"
#include "app/ConfigFile.h"
#include "app/IniFile.h"

using namespace velkor;
using namespace velkor::test;

namespace {

Settings LoadText(const std::string& text, Settings settings = {}) {
  TempDir dir;
  EXPECT_FALSE(LoadConfigFile(dir.Write("t.cfg", text), settings));
  return settings;
}

IniDocument Saved(const Settings& settings) {
  TempDir dir;
  const std::string path = dir.File("t.cfg");
  EXPECT_FALSE(SaveConfigFile(path, settings));
  IniDocument ini;
  EXPECT_TRUE(ini.LoadFile(path));
  return ini;
}

Settings NonDefaultSettings() {
  Settings s;
  s.port = 7;
  s.channels[0] = {ChannelType::Serial, "Door", true, false, {}, "C:\\s.sfd", "c.cfd", "l.lfd"};
  s.channels[1].type = ChannelType::None;
  s.channels[2].type = ChannelType::Logical;
  s.channels[2].caption = "LongerThanSix";
  s.channels[3].manchesterFiles = {{"a.mfd", true}, {"b b.mfd", false}, {"\xB5.mfd", true}};
  s.scrolling = ColumnResolution::Ms100;
  s.hexaClear = false;
  s.hexaAutoScroll = true;
  s.filters[2] = {3, 1, 2, "12", "0x4F", "Door"};
  s.main = {-4, -4, 700, 900, true};
  s.mainMaximized = false;
  s.graphic = {1, 2, 3, 4, true};
  s.hexa = {-10, 20, 30, 40, true};
  s.filter = {5, 6, 7, 8, true};
  s.channelWindows[1] = {11, 12, 229, 527, true};  // channel windows keep their created size
  s.textColours[0] = {1, 2, 3};
  s.traceColours[3] = {0xFE, 0x00, 0x80};
  return s;
}

}  // namespace

TEST(ConfigFile, MissingFileFailsAndChangesNothing) {
  TempDir dir;
  Settings settings = NonDefaultSettings();
  EXPECT_TRUE(LoadConfigFile(dir.File("none.cfg"), settings));
  EXPECT_TRUE(LoadConfigFile(dir.Path(), settings));  // a folder is no file
  EXPECT_EQ(settings, NonDefaultSettings());
}

TEST(ConfigFile, FilesThatAreNoConfigurationAreRefusedAndChangeNothing) {
  TempDir dir;
  std::vector<std::uint8_t> capture(3 << 20);
  for (std::size_t i = 0; i < capture.size(); ++i) capture[i] = static_cast<std::uint8_t>((i / 7) & 0x0F);
  // A capture never holds a NUL byte when every channel stays high; it is refused for its size.
  const std::vector<std::uint8_t> highCapture(2 << 20, 0x0F);
  std::string padded = "[CHANNEL1]\r\nCaption=Big\r\n[NOTES]\r\n";
  while (padded.size() <= kMaxConfigFileBytes) padded += "note=" + std::string(70, 'n') + "\r\n";
  const struct {
    const char* name;
    std::string path;
  } cases[] = {
      {"capture", dir.Write("capture.bin", capture)},
      {"capture with no NUL byte", dir.Write("high.bin", highCapture)},
      {"small capture", dir.Write("small.bin", std::vector<std::uint8_t>{1, 3, 2, 0, 15, 9})},
      {"empty file", dir.Write("empty.cfg", "")},
      {"text with no section", dir.Write("notes.txt", "PortCom=COM3\r\nCaption=Door\r\n")},
      {"sections of another kind", dir.Write("door.cfd", "[BAUDRATE]\r\nValue=500000\r\n[ID]\r\n12A=Door\r\n")},
      {"NUL bytes", dir.Write("nul.cfg", std::string(4096, '\0'))},
      {"a configuration with a NUL byte", dir.Write("cut.cfg", std::string("[CHANNEL1]\r\nCaption=X") + '\0' + "\r\n")},
      {"a configuration grown too large", dir.Write("large.cfg", padded)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Settings settings = NonDefaultSettings();
    ConfigRefusal refusal = ConfigRefusal::None;
    EXPECT_TRUE(LoadConfigFile(c.path, settings, &refusal));
    EXPECT_EQ(refusal, ConfigRefusal::NotAConfiguration);
    EXPECT_EQ(settings, NonDefaultSettings());
  }
  Settings settings = NonDefaultSettings();
  ConfigRefusal refusal = ConfigRefusal::None;
  EXPECT_TRUE(LoadConfigFile(dir.File("none.cfg"), settings, &refusal));
  EXPECT_EQ(refusal, ConfigRefusal::Missing);
}

TEST(ConfigFile, AConfigurationWithOneSectionLoadsTheRestAsDefaults) {
  Settings s = LoadText("[Channel2]\r\nType=2\r\nCaption=Door\r\nActivation=1\r\nCAN_File=door.cfd\r\n",
                        NonDefaultSettings());
  EXPECT_EQ(s.channels[1].type, ChannelType::Can);
  EXPECT_EQ(s.channels[1].caption, "Door");
  EXPECT_TRUE(s.channels[1].active);
  EXPECT_EQ(s.channels[1].canFile, "door.cfd");
  EXPECT_EQ(s.channels[0].caption, "Cha1");
  EXPECT_EQ(s.port, 1);
  // Any one section of the file's own, even empty, makes a configuration.
  for (const char* section : {"PORT", "CHANNEL4", "GRAPHIC", "HEXA", "FILTER", "WINDOWS", "COLORS"}) {
    TempDir dir;
    Settings other = NonDefaultSettings();
    EXPECT_FALSE(LoadConfigFile(dir.Write("t.cfg", "; mine\n[" + std::string(section) + "]\n"), other)) << section;
    EXPECT_EQ(other.channels[0].caption, "Cha1") << section;
  }
}

TEST(ConfigFile, AFileOfOneEmptySectionGivesTheFileDefaults) {
  const Settings s = LoadText("[WINDOWS]\r\n", NonDefaultSettings());
  EXPECT_EQ(s.port, 1);
  for (int n = 0; n < kChannelCount; ++n) {
    const ChannelSettings& ch = s.channels[n];
    EXPECT_EQ(ch.type, ChannelType::None);
    EXPECT_EQ(ch.caption, "Cha" + std::to_string(n + 1));
    EXPECT_FALSE(ch.active);
    EXPECT_FALSE(ch.generation);
    EXPECT_TRUE(ch.manchesterFiles.empty());
    EXPECT_EQ(ch.serialFile + ch.canFile + ch.linFile, "");
    EXPECT_EQ(s.filters[n], FilterRowSettings{});
    EXPECT_EQ(s.channelWindows[n].left, n * 50 + 150);
    EXPECT_FALSE(s.channelWindows[n].visible);
  }
  const Settings created;
  EXPECT_EQ(s.scrolling, ColumnResolution::Ms20);
  EXPECT_TRUE(s.hexaClear);
  EXPECT_FALSE(s.hexaAutoScroll);
  EXPECT_EQ(s.main, (WindowPlacement{-4, -4, 480, 640, true}));  // no key for the main window's visibility
  EXPECT_TRUE(s.mainMaximized);
  EXPECT_EQ(s.graphic, created.graphic);
  EXPECT_EQ(s.hexa, created.hexa);
  EXPECT_EQ(s.filter, created.filter);
  EXPECT_EQ(s.textColours, created.textColours);
  EXPECT_EQ(s.traceColours, created.traceColours);
}

TEST(ConfigFile, PortText) {
  const struct {
    const char* file;
    int port;
  } cases[] = {
      {"[HEXA]\n[OTHER]\nPortCom=COM5\n", 1}, {"[PORT]\nPortCom=COM12\n", 12}, {"[port]\nportcom = COM4 \n", 4},
      {"[PORT]\nPortCom=COM13\n", 0}, {"[PORT]\nPortCom=COM0\n", 0},   {"[PORT]\nPortCom=com3\n", 0},
      {"[PORT]\nPortCom=COM03\n", 0}, {"[PORT]\nPortCom=\n", 0},       {"[PORT]\n", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(LoadText(c.file).port, c.port) << c.file;
}

TEST(ConfigFile, SavingWithNoPortKeepsTheStoredOne) {
  TempDir dir;
  const std::string path = dir.Write("t.cfg", "[PORT]\nPortCom=COM9\n");
  Settings s;
  s.port = 0;
  ASSERT_FALSE(SaveConfigFile(path, s));
  IniDocument ini;
  ASSERT_TRUE(ini.LoadFile(path));
  EXPECT_EQ(ini.ReadString("PORT", "PortCom", "?"), "COM9");
  EXPECT_EQ(Saved(s).FindSection("PORT"), nullptr);
  s.port = 3;
  EXPECT_EQ(Saved(s).ReadString("PORT", "PortCom", "?"), "COM3");
}

TEST(ConfigFile, ManchesterEntries) {
  TempDir dir;
  std::string old = "[CHANNEL2]\n";
  for (int i = 0; i < 16; ++i) old += "MANCHESTER_fd" + std::to_string(i) + "=[X]old.mfd\n";
  const std::string path = dir.Write("t.cfg", old);
  Settings s;
  s.channels[1].manchesterFiles = {{"a.mfd", true}, {"b.mfd", false}, {"c.mfd", true}};
  ASSERT_FALSE(SaveConfigFile(path, s));
  IniDocument ini;
  ASSERT_TRUE(ini.LoadFile(path));
  EXPECT_EQ(ini.ReadString("CHANNEL2", "MANCHESTER_fd0", "?"), "[X]a.mfd");
  EXPECT_EQ(ini.ReadString("CHANNEL2", "MANCHESTER_fd1", "?"), "[ ]b.mfd");
  EXPECT_EQ(ini.ReadString("CHANNEL2", "MANCHESTER_fd2", "?"), "[X]c.mfd");
  for (int i = 3; i < 16; ++i) EXPECT_EQ(ini.ReadString("CHANNEL2", "MANCHESTER_fd" + std::to_string(i), "?"), "");
  for (int i = 0; i < 16; ++i) EXPECT_NE(ini.Find("CHANNEL1", "MANCHESTER_fd" + std::to_string(i)), nullptr);
  Settings back;
  ASSERT_FALSE(LoadConfigFile(path, back));
  EXPECT_EQ(back.channels[1].manchesterFiles, s.channels[1].manchesterFiles);

  const std::string longPath(600, 'p');
  const Settings loaded = LoadText(
      "[CHANNEL1]\nMANCHESTER_fd0=[x]lower.mfd\nMANCHESTER_fd1=[X]a\nMANCHESTER_fd2=[X]ab\n"
      "MANCHESTER_fd4=[?]odd.mfd\nMANCHESTER_fd15=[X]" + longPath + "\nMANCHESTER_fd16=[X]beyond.mfd\n");
  EXPECT_EQ(loaded.channels[0].manchesterFiles,
            (std::vector<ManchesterEntry>{{"lower.mfd", false}, {"ab", true}, {"odd.mfd", false},
                                          {std::string(512, 'p'), true}}));
}

// A path cut at 512 characters that ended in a blank lost the blank at the next save and
// load, so the list changed by itself (the fuzz target's save-and-reload check).
TEST(ConfigFile, ManchesterPathCutAtItsLimitKeepsNoTrailingBlank) {
  const std::string cutBeforeBlank = "MANCHESTER_fd0=[X]" + std::string(511, 'p') + " q\n";
  const std::string onlyBlanksKept = "MANCHESTER_fd1=[X]" + std::string(600, ' ') + "q\n";
  const Settings loaded = LoadText("[CHANNEL1]\n" + cutBeforeBlank + onlyBlanksKept);
  EXPECT_EQ(loaded.channels[0].manchesterFiles, (std::vector<ManchesterEntry>{{std::string(511, 'p'), true}}));

  TempDir dir;
  const std::string path = dir.File("again.cfg");
  ASSERT_FALSE(SaveConfigFile(path, loaded));
  Settings reloaded;
  ASSERT_FALSE(LoadConfigFile(path, reloaded));
  EXPECT_EQ(reloaded, loaded);
}

TEST(ConfigFile, TypeAndScrollingSelectNothingWhenTheyMatchNoItem) {
  const struct {
    const char* line;
    ChannelType type;
  } types[] = {{"", ChannelType::None},          {"Type=4", ChannelType::Logical}, {"Type=0x2", ChannelType::Can},
               {"Type=-1", ChannelType::None},   {"Type=5", ChannelType::None},    {"Type=CAN", ChannelType::None}};
  for (const auto& c : types)
    EXPECT_EQ(LoadText(std::string("[CHANNEL3]\n") + c.line + "\n").channels[2].type, c.type) << c.line;

  const struct {
    const char* line;
    ColumnResolution resolution;
  } scrolls[] = {{"", ColumnResolution::Ms20},           {"Scrolling=10ms", ColumnResolution::Ms10},
                 {"Scrolling=50ms", ColumnResolution::Ms50}, {"Scrolling=100ms", ColumnResolution::Ms100},
                 {"Scrolling=20MS", ColumnResolution::None}, {"Scrolling=", ColumnResolution::None}};
  for (const auto& c : scrolls)
    EXPECT_EQ(LoadText(std::string("[GRAPHIC]\n") + c.line + "\n").scrolling, c.resolution) << c.line;
}

TEST(ConfigFile, HandWrittenFileWithOddCaseBlanksCommentsAndHex) {
  const Settings s = LoadText(
      "Type=4\n"
      "[CHANNEL1]\n"
      "[channel2]\n"
      "  TYPE =  3 \n"
      "; Type=1\n"
      "caption= Door  \n"
      "ACTIVATION=0x1\n"
      "logical_generation=yes\n"
      "lin_file = C:\\My files\\a=b.lfd\n"
      "[Windows]\n"
      "main_maximized=0\n"
      "hexa_visible=-3\n"
      "CHANNEL1_Width=999\n"
      "CHANNEL1_Left=0x10\n"
      "[colors]\n"
      "CHK1=0x563412\n"
      "but2=garbage\n");
  EXPECT_EQ(s.channels[0].type, ChannelType::None);  // the line before any section is ignored
  const ChannelSettings& ch = s.channels[1];
  EXPECT_EQ(ch.type, ChannelType::Lin);
  EXPECT_EQ(ch.caption, "Door");
  EXPECT_TRUE(ch.active);
  EXPECT_FALSE(ch.generation);
  EXPECT_EQ(ch.linFile, "C:\\My files\\a=b.lfd");
  EXPECT_FALSE(s.mainMaximized);
  EXPECT_TRUE(s.hexa.visible);
  EXPECT_EQ(s.channelWindows[1].left, 16);
  EXPECT_EQ(s.channelWindows[1].width, Settings{}.channelWindows[1].width);
  EXPECT_EQ(s.textColours[0], (Colour{0x12, 0x34, 0x56}));
  EXPECT_EQ(s.traceColours[1], Colour::FromBgr(0x80FF80));
}

TEST(ConfigFile, SaveThenLoadGivesTheSettingsBack) {
  const Settings original = NonDefaultSettings();
  TempDir dir;
  const std::string path = dir.File("t.cfg");
  ASSERT_FALSE(SaveConfigFile(path, original));
  Settings back;
  back.channels[1].type = ChannelType::Can;
  ASSERT_FALSE(LoadConfigFile(path, back));
  EXPECT_EQ(back, original);
  // Saving what was loaded changes no byte.
  const std::string first = ReadWholeFile(path);
  ASSERT_FALSE(SaveConfigFile(path, back));
  EXPECT_EQ(ReadWholeFile(path), first);
}

TEST(ConfigFile, SectionsAndKeysInTheTablesOrder) {
  const IniDocument ini = Saved(Settings{});
  std::vector<std::string> sections;
  for (const auto& s : ini.Sections()) sections.push_back(s.name);
  EXPECT_EQ(sections, (std::vector<std::string>{"PORT", "CHANNEL1", "CHANNEL2", "CHANNEL3", "CHANNEL4", "GRAPHIC",
                                                "HEXA", "FILTER", "WINDOWS", "COLORS", "CAPTURE_MAP"}));
  std::vector<std::string> channelKeys{"Type", "Caption", "Activation", "LOGICAL_Generation"};
  for (int i = 0; i < 16; ++i) channelKeys.push_back("MANCHESTER_fd" + std::to_string(i));
  channelKeys.insert(channelKeys.end(), {"CAN_File", "SERIAL_File", "LIN_File"});
  EXPECT_EQ(ini.Keys("CHANNEL4"), channelKeys);
  const std::vector<std::string> filterKeys = ini.Keys("FILTER");
  ASSERT_EQ(filterKeys.size(), 24u);
  EXPECT_EQ(std::vector<std::string>(filterKeys.begin() + 6, filterKeys.begin() + 12),
            (std::vector<std::string>{"CHA2_If", "CHA2_Field", "CHA2_Equal", "CHA2_ContentA", "CHA2_ContentB",
                                      "CHA2_Match"}));
  std::vector<std::string> windowKeys{"MAIN_Left", "MAIN_Top", "MAIN_Height", "MAIN_Width", "MAIN_Maximized"};
  for (const char* w : {"GRAPHIC", "HEXA", "FILTER", "CHANNEL0", "CHANNEL1", "CHANNEL2", "CHANNEL3"})
    for (const char* k : {"_Left", "_Top", "_Height", "_Width", "_Visible"}) windowKeys.push_back(std::string(w) + k);
  EXPECT_EQ(ini.Keys("WINDOWS"), windowKeys);

  const std::string text = ini.Serialize();
  EXPECT_NE(text.find("[PORT]\r\nPortCom=COM1\r\n\r\n[CHANNEL1]\r\nType=0\r\nCaption=Cha1\r\nActivation=0\r\n"
                      "LOGICAL_Generation=1\r\nMANCHESTER_fd0=\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("[GRAPHIC]\r\nScrolling=20ms\r\n\r\n[HEXA]\r\nClear=1\r\nAutoScroll=0\r\n\r\n"
                      "[FILTER]\r\nCHA1_If=0\r\nCHA1_Field=-1\r\nCHA1_Equal=-1\r\nCHA1_ContentA=\r\n"),
            std::string::npos);
  // A channel window's size is written though never read back: its created client size.
  EXPECT_NE(text.find("CHANNEL2_Left=250\r\nCHANNEL2_Top=0\r\nCHANNEL2_Height=229\r\nCHANNEL2_Width=527\r\n"
                      "CHANNEL2_Visible=0\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("[COLORS]\r\nchk1=26316\r\nchk2=255\r\nchk3=5683198\r\nchk4=65535\r\n"
                      "but1=8454016\r\nbut2=8454016\r\nbut3=8454016\r\nbut4=8454016\r\n\r\n"),
            std::string::npos);
}

TEST(ConfigFile, UnknownSectionsAndKeysSurviveASave) {
  TempDir dir;
  const std::string path = dir.Write("t.cfg",
                                     "; written by hand\n"
                                     "[Extra]\nkeep=me\n\n"
                                     "[channel1]\nFuture=42\ntype=3\n"
                                     "[WINDOWS]\nPLOT_Left=7\n");
  ASSERT_FALSE(SaveConfigFile(path, Settings{}));
  const std::string text = ReadWholeFile(path);
  EXPECT_EQ(text.find("written by hand"), std::string::npos);
  EXPECT_TRUE(text.starts_with("[Extra]\r\nkeep=me\r\n\r\n[channel1]\r\nFuture=42\r\ntype=0\r\nCaption=Cha1\r\n"))
      << text;
  IniDocument ini;
  ASSERT_TRUE(ini.LoadFile(path));
  EXPECT_EQ(ini.ReadString("WINDOWS", "PLOT_Left", "?"), "7");
  std::vector<std::string> sections;
  for (const auto& section : ini.Sections()) sections.push_back(section.name);
  EXPECT_EQ(sections, (std::vector<std::string>{"Extra", "channel1", "WINDOWS", "PORT", "CHANNEL2", "CHANNEL3",
                                                "CHANNEL4", "GRAPHIC", "HEXA", "FILTER", "COLORS", "CAPTURE_MAP"}));
}

TEST(ConfigFile, AFailedSaveIsReportedAndTheOldFileStays) {
  TempDir dir;
  const std::string old = "[PORT]\nPortCom=COM2\n";
  const std::string path = dir.Write("t.cfg", old);
  // The rename cannot replace a folder.
  std::filesystem::create_directories(dir.File("taken/inside"));
  EXPECT_TRUE(SaveConfigFile(dir.File("taken"), NonDefaultSettings()));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken/inside")));
  // A link to a folder that is not there: the link stays as it was.
  std::filesystem::create_symlink("gone/t.cfg", dir.File("link.cfg"));
  EXPECT_TRUE(SaveConfigFile(dir.File("link.cfg"), NonDefaultSettings()));
  EXPECT_EQ(std::filesystem::read_symlink(dir.File("link.cfg")), "gone/t.cfg");
  EXPECT_EQ(ReadWholeFile(path), old);
  EXPECT_TRUE(SaveConfigFile(dir.File("no/such/folder.cfg"), Settings{}));
}

TEST(ConfigFile, RandomAndTruncatedFilesLoadOrAreRefusedWhole) {
  TempDir dir;
  const std::string path = dir.File("t.cfg");
  ASSERT_FALSE(SaveConfigFile(path, NonDefaultSettings()));
  const std::string whole = ReadWholeFile(path);
  std::mt19937 rng(7);
  for (int round = 0; round < 800; ++round) {
    std::string text = whole.substr(0, rng() % (whole.size() + 1));
    for (int flips = rng() % 8; flips > 0 && !text.empty(); --flips)
      text[rng() % text.size()] = static_cast<char>(rng() & 0xFF);
    Settings s;
    ConfigRefusal refusal = ConfigRefusal::None;
    if (LoadConfigFile(dir.Write("t.cfg", text), s, &refusal)) {
      // Cut before its first section, or a byte turned NUL.
      ASSERT_EQ(refusal, ConfigRefusal::NotAConfiguration);
      ASSERT_EQ(s, Settings{});
      continue;
    }
    EXPECT_LE(s.channels[3].manchesterFiles.size(), 16u);
    EXPECT_GE(s.port, 0);
    EXPECT_LE(s.port, 12);
    for (const auto& ch : s.channels)
      for (const auto& e : ch.manchesterFiles) EXPECT_LE(e.path.size(), 512u);
  }
}

TEST(ConfigFile, TheDecodeToolReadsASavedFile) {
  TempDir dir;
  Settings s;
  s.channels[1] = {ChannelType::Logical, "Door", true, true, {}, "", "", ""};
  const std::string config = dir.File("full.cfg");
  ASSERT_FALSE(SaveConfigFile(config, s));
  std::vector<std::uint8_t> bytes(14000, 0xF0);
  for (std::size_t n = 13916; n < bytes.size(); ++n) bytes[n] |= 0x02;
  const std::string capture = dir.Write("toggle.bin", bytes);
  const ToolResult r = RunDecodeTool("--raw --config " + config + " " + capture);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1,0,New Value=0,\n1,33398,New Value=1,\n");
}
