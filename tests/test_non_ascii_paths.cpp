// Paths with characters beyond ASCII: the core holds them as Windows-1252 texts (as they come
// from the windows and stand in configuration files) and the files are found under their
// UTF-8 names on disk.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>

#include "TestRig.h"
#include "app/ConfigFile.h"
#include "app/Cp1252.h"
#include "app/FilePath.h"
#include "app/SafeSave.h"
#include "capture/CaptureReader.h"
#include "capture/CaptureWriter.h"

using namespace velkor;
using namespace velkor::test;
namespace fs = std::filesystem;

namespace {

const std::string kSource = VELKOR_SOURCE_DIR;

// "Données ü" and "démo-serial.sfd", as the core writes them.
const std::string kFolder = "Donn\xE9" "es \xFC";
const std::string kDescription = "d\xE9mo-serial.sfd";

struct InFolder {
  explicit InFolder(const std::string& folder) : previous(fs::current_path()) { fs::current_path(folder); }
  ~InFolder() { fs::current_path(previous); }
  fs::path previous;
};

// A folder named with "é" and "ü" in a temporary folder: its path as the core holds it, and
// the same on disk.
struct AccentedFolder {
  AccentedFolder() : text(Utf8ToCp1252(dir.Path()) + "/" + kFolder), disk(Cp1252ToUtf8(text)) {
    fs::create_directory(disk);
  }
  std::string Text(std::string_view name) const { return text + "/" + std::string(name); }
  std::string Disk(std::string_view name) const { return disk + "/" + Cp1252ToUtf8(name); }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(disk)) names.insert(entry.path().filename().string());
    return names;
  }
  TempDir dir;
  std::string text;
  std::string disk;
};

// Channel 2 toggles once; channel 3 is Serial with its description named bare.
Settings ToggleAndSerial() {
  Settings s;
  for (auto& ch : s.channels) ch.active = false;
  s.channels[1].type = ChannelType::Logical;
  s.channels[1].active = true;
  s.channels[1].caption = "Door";
  s.channels[1].generation = true;
  s.channels[2].type = ChannelType::Serial;
  s.channels[2].active = true;
  s.channels[2].serialFile = kDescription;
  return s;
}

std::vector<std::uint8_t> ToggleCapture() {
  std::vector<std::uint8_t> bytes(14000, 0xF0);
  for (std::size_t n = 13916; n < bytes.size(); ++n) bytes[n] |= 0x02;
  return bytes;
}

void WriteDisk(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  TempDir scratch;
  fs::copy_file(scratch.Write("f", bytes), path);
}

}  // namespace

TEST(NonAsciiPaths, ConfigurationSavedAndLoadedWithItsDescriptionBeside) {
  AccentedFolder folder;
  fs::copy_file(kSource + "/examples/demo-serial.sfd", folder.Disk(kDescription));
  const std::string config = folder.Text("r\xE9glages.cfg");
  ASSERT_FALSE(SaveConfigFile(config, ToggleAndSerial()));
  // The file keeps the description's name in Windows-1252, as the Windows program writes it.
  EXPECT_NE(ReadWholeFile(folder.Disk("r\xE9glages.cfg")).find("=" + kDescription), std::string::npos);

  TempDir elsewhere;
  InFolder in(elsewhere.Path());
  TestRig rig;
  ASSERT_FALSE(LoadConfigFile(config, rig.settings));
  EXPECT_EQ(rig.settings.channels[2].serialFile, kDescription);
  rig.pipeline.Services().configFolder = ConfigFileFolder(config);
  EXPECT_EQ(rig.pipeline.Services().configFolder, folder.text);
  rig.pipeline.ResetRun();
  for (const RecordedMessage& m : rig.ui.messages) ADD_FAILURE() << Cp1252ToUtf8(m.text);
  EXPECT_FALSE(rig.pipeline.RunSetupFailed());
  EXPECT_TRUE(rig.pipeline.serial[2].settings.described);
}

TEST(NonAsciiPaths, CapturesAreReplayedWrittenAndRead) {
  AccentedFolder folder;
  const std::string bin = folder.Text("Mesures \xE9t\xE9.bin");
  WriteDisk(folder.Disk("Mesures \xE9t\xE9.bin"), ToggleCapture());

  TestRig rig;
  rig.settings = ToggleAndSerial();
  rig.settings.channels[2].active = false;
  ASSERT_TRUE(rig.pipeline.ReplayCaptureFile(bin));
  EXPECT_EQ(rig.Lines().size(), 2u);

  std::string error;
  const auto reader = OpenCapture(bin, error);
  ASSERT_TRUE(reader) << Cp1252ToUtf8(error);
  EXPECT_EQ(reader->Path(), bin);
  const std::string session = folder.Text("copie \xFC.sr");
  ASSERT_FALSE(WriteCapture(*reader, session, CaptureFormat::Sigrok, CaptureNames{}, error)) << Cp1252ToUtf8(error);
  EXPECT_TRUE(OpenCapture(session, error)) << Cp1252ToUtf8(error);
}

TEST(NonAsciiPaths, SafeSaveReplacesTheFileInTheFolderAndLeavesNothingElse) {
  AccentedFolder folder;
  const std::string disk = folder.Disk("ancien \xE9t\xE9.cfg");
  WriteDisk(disk, {'o', 'l', 'd'});
  fs::permissions(disk, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const std::set<std::string> before = folder.Names();

  EXPECT_FALSE(SafeSaveFile(folder.Text("ancien \xE9t\xE9.cfg"), "new"));
  EXPECT_EQ(ReadWholeFile(disk), "new");
  EXPECT_EQ(fs::status(disk).permissions() & fs::perms::mask,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(folder.Names(), before);

  // Through a link whose target has a name Windows-1252 cannot hold: the file it leads to
  // is written, and the link stays.
  const std::string greek = folder.disk + "/\xCE\xB1.cfg";
  WriteDisk(greek, {'o', 'l', 'd'});
  fs::create_symlink(greek, folder.Disk("lien.cfg"));
  EXPECT_FALSE(SafeSaveFile(folder.Text("lien.cfg"), "new"));
  EXPECT_TRUE(fs::is_symlink(folder.Disk("lien.cfg")));
  EXPECT_EQ(ReadWholeFile(greek), "new");
}

TEST(NonAsciiPaths, CommandLineNamesBecomePathTextsOnlyWhenWindows1252HoldsThem) {
  struct Case {
    std::string utf8;
    bool refused;
    std::string text;
  };
  for (const Case& c : std::vector<Case>{
           {"plain/name.bin", false, "plain/name.bin"},
           {"Donn\xC3\xA9" "es/\xC3\xBC\xE2\x82\xAC.bin", false, "Donn\xE9" "es/\xFC\x80.bin"},
           {"\xD0\x94\xD0\xB0.bin", true, ""},     // Cyrillic
           {"\xF0\x9F\x98\x80.bin", true, ""},     // an emoji
           {"Donn\xE9" "es.bin", true, ""},        // not UTF-8
           {"what?.bin", false, "what?.bin"},
       }) {
    std::string text;
    EXPECT_EQ(PathFromUtf8(c.utf8, text), c.refused) << c.utf8;
    EXPECT_EQ(text, c.text) << c.utf8;
  }
}

TEST(NonAsciiPaths, DecodeToolTakesUtf8NamesAndRefusesWhatWindows1252CannotHold) {
  AccentedFolder folder;
  fs::copy_file(kSource + "/examples/demo-serial.sfd", folder.Disk(kDescription));
  ASSERT_FALSE(SaveConfigFile(folder.Text("r\xE9glages.cfg"), ToggleAndSerial()));
  WriteDisk(folder.Disk("Mesures \xE9t\xE9.bin"), ToggleCapture());
  const std::string quotedFolder = "'" + folder.disk + "'";

  TempDir elsewhere;
  auto r = RunDecodeTool("--raw --config " + quotedFolder + "/'" + Cp1252ToUtf8("r\xE9glages.cfg") + "' " +
                             quotedFolder + "/'" + Cp1252ToUtf8("Mesures \xE9t\xE9.bin") + "'",
                         elsewhere.Path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "1,0,New Value=0,\n1,33398,New Value=1,\n");

  // A capture that is there, but whose name the program could not hold.
  const std::string cyrillic = "\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5.bin";
  WriteDisk(folder.disk + "/" + cyrillic, ToggleCapture());
  r = RunDecodeTool("--raw " + quotedFolder + "/" + cyrillic, elsewhere.Path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(cyrillic), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Windows-1252"), std::string::npos) << r.err;
}
