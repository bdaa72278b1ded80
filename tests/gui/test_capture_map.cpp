// "from file" with the captures of other instruments: the channel map is asked when the file
// names its channels, remembered for the next one, and kept in the configuration file.

#include <QComboBox>
#include <gtest/gtest.h>

#include "GuiRig.h"
#include "app/ConfigFile.h"
#include "ui/CaptureMap.h"

using namespace velkor;
using namespace velkor::test;

namespace {

// SDA changes every 100 us, SCL stays high.
std::string NamedCapture(const TempDir& dir) {
  return dir.Write("bus.csv", "Time [s],SCL,SDA\n0,1,0\n0.0001,1,1\n0.0002,1,0\n0.0003,1,1\n");
}

}  // namespace

TEST(CaptureMapWindow, OffersTheFileChannelsAndGivesTheChoice) {
  ui::TfrmCaptureMap dialog(nullptr, "/some/bus.vcd", {"clk", "", "data[0]"}, {"CAN", "Man2", "Ser3", "LIN"},
                            {2, kUnmapped, 0, 1});
  EXPECT_EQ(dialog.windowTitle(), "Capture channels");
  ASSERT_EQ(dialog.cboSource[0]->count(), 4);
  EXPECT_EQ(dialog.cboSource[0]->itemText(0), "(none)");
  EXPECT_EQ(dialog.cboSource[0]->itemText(1), "#1  clk");
  EXPECT_EQ(dialog.cboSource[0]->itemText(2), "#2");
  EXPECT_EQ(dialog.cboSource[0]->currentText(), "#3  data[0]");
  EXPECT_EQ(dialog.cboSource[1]->currentText(), "(none)");
  dialog.cboSource[1]->setCurrentIndex(1);
  dialog.cboSource[3]->setCurrentIndex(0);
  EXPECT_EQ(dialog.Map(), (ChannelMap{2, 0, 0, kUnmapped}));
}

TEST(CaptureMapWindow, ANamedCaptureIsDecodedThroughTheChosenMapWhichIsRemembered) {
  GuiRig rig;
  rig.Show();
  Settings& settings = rig.main->GetSettings();
  for (auto& ch : settings.channels) ch.active = false;
  settings.channels[0].type = ChannelType::Logical;
  settings.channels[0].active = true;
  settings.channels[0].generation = true;
  const std::string capture = NamedCapture(rig.dir);

  // Cancelled: nothing is replayed.
  rig.main->ReplayCaptureFile(QString::fromStdString(capture));
  ASSERT_EQ(rig.dialogs.offeredMaps.size(), 1u);
  EXPECT_EQ(rig.dialogs.offeredMaps[0], (ChannelMap{0, 1, kUnmapped, kUnmapped}));
  EXPECT_EQ(rig.main->GetPipeline().Lines().size(), 0u);

  rig.dialogs.channelMaps.push_back({1, kUnmapped, kUnmapped, kUnmapped});
  rig.main->ReplayCaptureFile(QString::fromStdString(capture));
  EXPECT_EQ(rig.main->GetPipeline().Lines().size(), 4u);  // SDA's first level and its three changes
  EXPECT_EQ(settings.captureMap, (std::array<std::string, 4>{"SDA", "", "", ""}));

  // The next capture with those names starts from the remembered map, which the
  // configuration file keeps.
  rig.main->ReplayCaptureFile(QString::fromStdString(capture));
  ASSERT_EQ(rig.dialogs.offeredMaps.size(), 3u);
  EXPECT_EQ(rig.dialogs.offeredMaps[2], (ChannelMap{1, kUnmapped, kUnmapped, kUnmapped}));
  const std::string config = rig.dir.File("kept.cfg");
  ASSERT_FALSE(SaveConfigFile(config, settings));
  EXPECT_NE(ReadWholeFile(config).find("[CAPTURE_MAP]\r\nChannel1=SDA\r\nChannel2=\r\n"), std::string::npos);
  Settings loaded;
  ASSERT_FALSE(LoadConfigFile(config, loaded));
  EXPECT_EQ(loaded.captureMap, settings.captureMap);
}

TEST(CaptureMapWindow, ADamagedCaptureIsRefusedWithAMessage) {
  GuiRig rig;
  rig.Show();
  rig.main->ReplayCaptureFile(QString::fromStdString(rig.dir.Write("bad.sr", "not a zip")));
  ASSERT_EQ(rig.dialogs.messages.size(), 1u);
  EXPECT_EQ(rig.dialogs.messages[0].caption, "Error");
  EXPECT_TRUE(rig.dialogs.messages[0].text.endsWith("bad.sr: not a zip archive (a sigrok session is one)"));
  EXPECT_TRUE(rig.dialogs.offeredMaps.empty());
}
