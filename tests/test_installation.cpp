// Where the program finds its shipped files: the installed share folder beside bin/, else
// the source tree; and the demo's relative description paths anchored to a folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "app/Installation.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

class InstallationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("velkor-installation-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path Touch(const fs::path& relative) {
    const fs::path path = root_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
    return path;
  }

  fs::path root_;
};

TEST_F(InstallationTest, InstalledTreeIsFoundFromTheBinFolderWhateverItsPrefix) {
  Touch("usr/local/share/velkor/examples/demo.cfg");
  fs::create_directories(root_ / "usr/local/bin");
  fs::create_directories(root_ / "opt/velkor/bin");

  const auto installed = InstalledDataFolder((root_ / "usr/local/bin").string());
  ASSERT_TRUE(installed.has_value());
  EXPECT_EQ(*installed, (root_ / "usr/local/share/velkor").string());
  // A bin folder without the shared files beside it is no installed program.
  EXPECT_FALSE(InstalledDataFolder((root_ / "opt/velkor/bin").string()).has_value());
  EXPECT_FALSE(InstalledDataFolder("").has_value());

  const auto demo = FindDemo((root_ / "usr/local/bin/").string());
  ASSERT_TRUE(demo.has_value());
  EXPECT_EQ(demo->folder, (root_ / "usr/local/share/velkor").string());
  EXPECT_EQ(demo->config, (root_ / "usr/local/share/velkor/examples/demo.cfg").string());
  EXPECT_EQ(demo->capture, (root_ / "usr/local/share/velkor/examples/demo.bin").string());
}

TEST_F(InstallationTest, ProgramOutsideAnInstalledTreeFindsTheSourceTree) {
  fs::create_directories(root_ / "build/src/ui");
  const auto folder = FindDataFolder((root_ / "build/src/ui").string());
  ASSERT_TRUE(folder.has_value());
  EXPECT_EQ(fs::path(*folder), fs::path(VELKOR_SOURCE_DIR).lexically_normal());
  EXPECT_TRUE(fs::is_regular_file(fs::path(*folder) / "examples/demo.cfg"));
}

TEST_F(InstallationTest, RelativeDescriptionsThatExistUnderTheBaseBecomeAbsolute) {
  const fs::path can = Touch("share/examples/demo-can.cfd");
  const fs::path rxa = Touch("share/examples/FD_RXA.mfd");
  const fs::path key = Touch("share/examples/FD_KEY.mfd");
  Touch("share/examples/demo-lin.lfd");
  const std::string base = (root_ / "share").string();

  Settings s;
  s.channels[0].canFile = "examples/demo-can.cfd";
  s.channels[1].manchesterFiles = {{"examples/FD_RXA.mfd", true}, {"examples/none.mfd", true},
                                   {"./examples/FD_KEY.mfd", false}};
  s.channels[2].serialFile = "examples/missing.sfd";        // not under the base: kept
  s.channels[3].linFile = "/elsewhere/examples/demo-lin.lfd";  // absolute: kept
  s.channels[3].canFile = "";                               // none: stays none
  Settings anchored = s;
  AnchorDescriptionPaths(anchored, base);

  EXPECT_EQ(anchored.channels[0].canFile, can.string());
  ASSERT_EQ(anchored.channels[1].manchesterFiles.size(), 3u);
  EXPECT_EQ(anchored.channels[1].manchesterFiles[0], (ManchesterEntry{rxa.string(), true}));
  EXPECT_EQ(anchored.channels[1].manchesterFiles[1], (ManchesterEntry{"examples/none.mfd", true}));
  EXPECT_EQ(anchored.channels[1].manchesterFiles[2], (ManchesterEntry{key.string(), false}));
  EXPECT_EQ(anchored.channels[2].serialFile, "examples/missing.sfd");
  EXPECT_EQ(anchored.channels[3].linFile, "/elsewhere/examples/demo-lin.lfd");
  EXPECT_EQ(anchored.channels[3].canFile, "");

  // Anchoring twice changes nothing more: the paths are absolute now.
  Settings again = anchored;
  AnchorDescriptionPaths(again, base);
  EXPECT_EQ(again, anchored);
}

}  // namespace
}  // namespace velkor
