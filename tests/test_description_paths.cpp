// Where the run finds a channel's description file: the path as it stands (relative ones
// from the current folder), then the folder of the configuration that named it; and what the
// user is told when it is in neither.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestRig.h"
#include "app/ConfigFile.h"
#include "decoders/DescriptionFile.h"

using namespace velkor;
using namespace velkor::test;
namespace fs = std::filesystem;

namespace {

const std::string kSource = VELKOR_SOURCE_DIR;

// Runs the test body in another current folder and comes back.
struct InFolder {
  explicit InFolder(const std::string& folder) : previous(fs::current_path()) { fs::current_path(folder); }
  ~InFolder() { fs::current_path(previous); }
  fs::path previous;
};

void CopyExample(const TempDir& dir, const char* name) {
  fs::copy_file(kSource + "/examples/" + name, dir.File(name));
}

// Each type on its own channel, each naming its description by a bare file name.
Settings FourTypesByName() {
  Settings s;
  auto set = [&s](int i, ChannelType type) {
    s.channels[i].type = type;
    s.channels[i].active = true;
  };
  set(0, ChannelType::Can);
  s.channels[0].canFile = "demo-can.cfd";
  set(1, ChannelType::Manchester);
  s.channels[1].manchesterFiles = {{"FD_RXA.mfd", true}};
  set(2, ChannelType::Serial);
  s.channels[2].serialFile = "demo-serial.sfd";
  set(3, ChannelType::Lin);
  s.channels[3].linFile = "demo-lin.lfd";
  return s;
}

}  // namespace

TEST(DescriptionPaths, ConfigurationBesideItsDescriptionsRunsFromAnyFolder) {
  TempDir configDir, elsewhere;
  for (const char* name :
       {"demo-can.cfd", "demo-can.dbc", "FD_RXA.mfd", "demo-serial.sfd", "demo-lin.lfd", "demo-lin.ldf"})
    CopyExample(configDir, name);
  const std::string config = WriteChannelConfig(configDir, "beside.cfg", FourTypesByName());

  InFolder in(elsewhere.Path());
  TestRig rig;
  ASSERT_FALSE(LoadConfigFile(config, rig.settings));
  rig.pipeline.Services().configFolder = ConfigFileFolder(config);
  rig.pipeline.ResetRun();
  for (const RecordedMessage& m : rig.ui.messages) ADD_FAILURE() << m.text;
  EXPECT_FALSE(rig.pipeline.RunSetupFailed());
  EXPECT_TRUE(rig.pipeline.can[0].loaded);
  // The bus database is still named from the description's own folder.
  EXPECT_FALSE(rig.pipeline.can[0].database.Messages().empty());
  EXPECT_TRUE(rig.pipeline.manchester[1].slots[0].loaded);
  EXPECT_EQ(rig.pipeline.Services().fieldNames.Names(2), (std::vector<std::string>{"Data"}));
  EXPECT_TRUE(rig.pipeline.lin[3].loaded);
  EXPECT_FALSE(rig.pipeline.lin[3].database.Messages().empty());
}

TEST(DescriptionPaths, TheCurrentFolderComesFirst) {
  TempDir configDir, current;
  configDir.Write("bus.cfd", "[BAUDRATE]\r\nValue=500000\r\n");
  current.Write("bus.cfd", "[BAUDRATE]\r\nValue=250000\r\n");
  InFolder in(current.Path());
  TestRig rig;
  rig.settings.channels[0] = ChannelSettings{ChannelType::Can, "Cha1", true, true, {}, "", "bus.cfd", ""};
  rig.pipeline.Services().configFolder = configDir.Path();
  rig.pipeline.ResetRun();
  EXPECT_EQ(rig.pipeline.can[0].bitRate, 250000);
  fs::remove(current.File("bus.cfd"));
  rig.pipeline.ResetRun();
  EXPECT_EQ(rig.pipeline.can[0].bitRate, 500000);
  EXPECT_TRUE(rig.ui.messages.empty());
}

TEST(DescriptionPaths, MissingEverywhereNamesTheFoldersTried) {
  TempDir configDir, current;
  InFolder in(current.Path());
  const std::string cwd = fs::current_path().string();
  const std::string both = "\nFolders tried : " + cwd + ", " + configDir.Path();
  struct Case {
    ChannelType type;
    std::string path;
    std::string configFolder;
    std::string message;
  };
  const Case cases[] = {
      {ChannelType::Can, "gone.cfd", configDir.Path(),
       "Channel 1 : File ''gone.cfd'' \n--> The file can not be opened" + both},
      {ChannelType::Serial, "sub/gone.sfd", configDir.Path(),
       "Channel 1 : File ''sub/gone.sfd'' \n--> The file can not be opened" + both},
      {ChannelType::Lin, "gone.lfd", configDir.Path(),
       "Channel 1 : File ''gone.lfd'' \n--> The file can not be opened" + both},
      {ChannelType::Manchester, "gone.mfd", configDir.Path(),
       "Channel 1 : The file ''gone.mfd'' can not be opened" + both},
      // No configuration loaded: the current folder alone; the configuration in it: once.
      {ChannelType::Can, "gone.cfd", "",
       "Channel 1 : File ''gone.cfd'' \n--> The file can not be opened" + ("\nFolders tried : " + cwd)},
      {ChannelType::Can, "gone.cfd", cwd + "/.",
       "Channel 1 : File ''gone.cfd'' \n--> The file can not be opened" + ("\nFolders tried : " + cwd)},
      // A path that names its folder, or nothing at all, is looked for nowhere else.
      {ChannelType::Lin, current.File("gone.lfd"), configDir.Path(),
       "Channel 1 : File ''" + current.File("gone.lfd") + "'' \n--> The file can not be opened"},
      {ChannelType::Manchester, current.File("gone.mfd"), configDir.Path(),
       "Channel 1 : The file ''" + current.File("gone.mfd") + "'' can not be opened"},
      {ChannelType::Serial, "", configDir.Path(), "Channel 1 : File '''' \n--> The file can not be opened"},
  };
  for (const Case& c : cases) {
    TestRig rig;
    ChannelSettings& ch = rig.settings.channels[0];
    ch.type = c.type;
    ch.active = true;
    ch.canFile = ch.serialFile = ch.linFile = c.path;
    ch.manchesterFiles = {{c.path, true}};
    rig.pipeline.Services().configFolder = c.configFolder;
    rig.pipeline.ResetRun();
    ASSERT_EQ(rig.ui.messages.size(), 1u) << c.path;
    EXPECT_EQ(rig.ui.messages[0].text, c.message);
    EXPECT_EQ(rig.ui.messages[0].caption, "Error");
  }
}

TEST(DescriptionPaths, AFaultyFileFoundBesideTheConfigurationIsOfferedToTheEditor) {
  TempDir configDir, current;
  configDir.Write("bad.sfd", "[PROTOCOL]\r\nBaudrate=0\r\n");
  InFolder in(current.Path());
  TestRig rig;
  rig.settings.channels[1] = ChannelSettings{ChannelType::Serial, "Cha2", true, true, {}, "bad.sfd", "", ""};
  rig.pipeline.Services().configFolder = configDir.Path();
  rig.ui.answers.push_back(MessageAnswer::Yes);
  rig.pipeline.ResetRun();
  ASSERT_EQ(rig.ui.messages.size(), 1u);
  EXPECT_EQ(rig.ui.messages[0].text.rfind("Channel 2 : File ''" + configDir.File("bad.sfd") + "'' \n--> ", 0),
            0u)
      << rig.ui.messages[0].text;
  ASSERT_EQ(rig.ui.editors.size(), 1u);
  EXPECT_EQ(rig.ui.editors[0].first, configDir.File("bad.sfd"));
}

TEST(DescriptionPaths, SavedElsewhereTheFilesFoundBesideTheConfigurationGetTheirFolder) {
  TempDir configDir, current, target;
  configDir.Write("beside.cfd", "");
  configDir.Write("both.sfd", "");
  current.Write("both.sfd", "");
  InFolder in(current.Path());
  Settings s;
  s.channels[0].canFile = "beside.cfd";
  s.channels[0].serialFile = "both.sfd";  // the current folder's, as the run reads it
  s.channels[0].linFile = "gone.lfd";
  s.channels[1].manchesterFiles = {{"beside.cfd", false}, {current.File("both.sfd"), true}};

  Settings same = s;
  AnchorDescriptionsFoundBeside(same, configDir.Path(), configDir.Path() + "/.");
  EXPECT_EQ(same, s);
  Settings noConfig = s;
  AnchorDescriptionsFoundBeside(noConfig, "", target.Path());
  EXPECT_EQ(noConfig, s);

  AnchorDescriptionsFoundBeside(s, configDir.Path(), target.Path());
  EXPECT_EQ(s.channels[0].canFile, configDir.File("beside.cfd"));
  EXPECT_EQ(s.channels[0].serialFile, "both.sfd");
  EXPECT_EQ(s.channels[0].linFile, "gone.lfd");
  EXPECT_EQ(s.channels[1].manchesterFiles,
            (std::vector<ManchesterEntry>{{configDir.File("beside.cfd"), false},
                                          {current.File("both.sfd"), true}}));
}

TEST(ConfigFileFolder, AbsoluteFolderOfTheFile) {
  TempDir dir;
  InFolder in(dir.Path());
  const std::string cwd = fs::current_path().string();
  EXPECT_EQ(ConfigFileFolder("a.cfg"), cwd);
  EXPECT_EQ(ConfigFileFolder("sub/../x/a.cfg"), cwd + "/x");
  EXPECT_EQ(ConfigFileFolder("/etc/velkor/a.cfg"), "/etc/velkor");
}
