// The channel settings windows: what each control writes to the channel's settings, the
// caption and activation as the rest of the program sees them, and the run that reads them.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "GuiRig.h"
#include "app/ConfigFile.h"
#include "ui/channels/Channel.h"
#include "ui/channels/Frame.h"
#include "ui/ClickLabel.h"

using namespace velkor;
using namespace velkor::test;

namespace {

const std::string kSource = VELKOR_SOURCE_DIR;

// A shown main window with channel window `channel` shown and active.
ui::TfrmChannel& OpenChannel(GuiRig& rig, int channel) {
  rig.Show();
  rig.main->ChannelCommand(channel)->trigger();
  return *rig.main->ChannelWindow(channel);
}

bool HasImage(QAction* command, const QIcon& image) { return command->icon().cacheKey() == image.cacheKey(); }

std::string ConfigWithChannel1(std::string_view keys) {
  return "[CHANNEL1]\r\n" + std::string(keys) + "\r\n";
}

}  // namespace

TEST(ChannelWindow, CreatedHiddenWithTheChannelsTextsAndDefaults) {
  GuiRig rig;
  rig.Show();
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    ui::TfrmChannel& w = *rig.main->ChannelWindow(i);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), QString("Channel %1").arg(i + 1));
    EXPECT_EQ(w.ClientSize(), QSize(527, 229));
    EXPECT_EQ(w.cboType->count(), 5);
    EXPECT_EQ(w.cboType->currentText(), "Manchester");
    EXPECT_EQ(w.FrontPanel(), w.panManchester);
    EXPECT_EQ(w.txtNom->text(), QString("Cha%1").arg(i + 1));
    EXPECT_FALSE(w.butOn->isChecked());
    EXPECT_TRUE(w.shaOn->isHidden());
    EXPECT_TRUE(w.chkGeneration->isChecked());
    EXPECT_TRUE(HasImage(rig.main->ChannelCommand(i), rig.main->Image(4 + i)));
  }
  const QString micro(QChar(0xB5));
  ui::TfrmChannel& one = *rig.main->ChannelWindow(0);
  EXPECT_EQ(one.lblSampling->text(), "2.4 " + micro + "s");
  EXPECT_EQ(one.lblBaudrateManchester->text(), "95 kbauds max");
  EXPECT_EQ(one.lblBaudrateSerial->text(), "190 kbauds max");
  EXPECT_EQ(one.lblBaudrateCan->text(), "190 kbauds max");
  EXPECT_EQ(one.lblBaudrateLin->text(), "190 kbauds max");
  ui::TfrmChannel& three = *rig.main->ChannelWindow(2);
  EXPECT_EQ(three.lblSampling->text(), "9.6" + micro + "s");
  EXPECT_EQ(three.lblBaudrateManchester->text(), "23 kbauds max");
  EXPECT_EQ(three.lblBaudrateSerial->text(), "47 kbauds max");
  EXPECT_EQ(three.lblBaudrateLin->text(), "47 kbauds max");
  EXPECT_EQ(rig.main->ChannelWindow(3)->lblSampling->text(), "9.6" + micro + "s");
  EXPECT_EQ(rig.main->ChannelWindow(1)->lblSampling->text(), "4.8" + micro + "s");

  rig.main->ChannelCommand(0)->trigger();
  GuiRig::Settle();
  EXPECT_EQ(one.Client()->size(), QSize(527, 229));
  EXPECT_EQ(one.ClientSize(), QSize(527, 229));
}

TEST(ChannelWindow, TypeChangesKeepTheFilesOfEveryPanel) {
  GuiRig rig;
  ui::TfrmChannel& w = OpenChannel(rig, 1);
  const ChannelSettings& store = rig.main->GetSettings().channels[1];
  rig.dir.Write("a.sfd", "");
  const QString cfd = QString::fromStdString(rig.dir.Write("b.cfd", ""));
  const QString lfd = QString::fromStdString(rig.dir.Write("c.lfd", ""));

  w.cboType->setCurrentIndex(1);
  EXPECT_EQ(w.FrontPanel(), w.panSerial);
  rig.dialogs.files = {QString::fromStdString(rig.dir.File("a.sfd"))};
  w.butSerialFile->click();
  ASSERT_EQ(rig.dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(rig.dialogs.fileRequests[0].filter, "SERIAL Frame Description (*.sfd)|*.sfd");
  EXPECT_EQ(rig.dialogs.fileRequests[0].defaultExtension, "sfd");

  w.cboType->setCurrentIndex(2);
  EXPECT_EQ(w.FrontPanel(), w.panCan);
  rig.dialogs.files = {cfd};
  w.butCanFile->click();
  EXPECT_EQ(rig.dialogs.fileRequests.back().filter, "CAN Frame Description (*.cfd)|*.cfd");
  w.cboType->setCurrentIndex(3);
  EXPECT_EQ(w.FrontPanel(), w.panLin);
  rig.dialogs.files = {lfd};
  w.butLinFile->click();
  EXPECT_EQ(rig.dialogs.fileRequests.back().defaultExtension, "lfd");
  // A cancelled dialog changes nothing.
  w.butLinFile->click();

  w.cboType->setCurrentIndex(4);
  EXPECT_EQ(w.FrontPanel(), w.panLogical);
  EXPECT_EQ(store.type, ChannelType::Logical);
  w.cboType->setCurrentIndex(1);
  EXPECT_EQ(w.FrontPanel(), w.panSerial);
  EXPECT_EQ(store.type, ChannelType::Serial);
  EXPECT_EQ(w.txtSerialFile->text(), QString::fromStdString(rig.dir.File("a.sfd")));
  EXPECT_EQ(w.txtCanFile->text(), cfd);
  EXPECT_EQ(w.txtLinFile->text(), lfd);
  EXPECT_EQ(store.serialFile, rig.dir.File("a.sfd"));
  EXPECT_EQ(store.canFile, cfd.toStdString());
  EXPECT_EQ(store.linFile, lfd.toStdString());
}

TEST(ChannelWindow, CaptionTypedWithoutEnterAppliesOnHideAndOnClose) {
  GuiRig rig;
  ui::TfrmChannel& w = OpenChannel(rig, 0);
  QAction* command = rig.main->ChannelCommand(0);

  w.txtNom->selectAll();
  QTest::keyClicks(w.txtNom, "Brake");
  // The lists draw the box's text at once; the labels wait for Enter, a hide or a close.
  EXPECT_EQ(rig.main->GetSettings().channels[0].caption, "Brake");
  EXPECT_EQ(command->toolTip(), "Cha1");
  EXPECT_TRUE(w.CaptionEdited());
  w.hide();
  EXPECT_EQ(command->toolTip(), "Brake");
  EXPECT_FALSE(w.CaptionEdited());

  command->trigger();
  w.txtNom->selectAll();
  QTest::keyClicks(w.txtNom, "Door");
  w.close();
  EXPECT_EQ(command->toolTip(), "Door");
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(rig.main->ChannelWindow(0), &w);  // hidden, not destroyed

  command->trigger();
  w.txtNom->selectAll();
  QTest::keyClicks(w.txtNom, "Light");
  QTest::keyClick(w.txtNom, Qt::Key_Return);
  EXPECT_EQ(command->toolTip(), "Light");
  EXPECT_TRUE(w.isVisible());
}

TEST(ChannelWindow, CaptionLimitsBlanksAndLongCaptionsFromAFile) {
  GuiRig rig;
  ui::TfrmChannel& w = OpenChannel(rig, 0);
  w.txtNom->selectAll();
  QTest::keyClicks(w.txtNom, "Wheels1");
  EXPECT_EQ(w.txtNom->text(), "Wheels");

  // Blanks only: empty labels, while the lists keep the box's text as it is.
  w.txtNom->selectAll();
  QTest::keyClicks(w.txtNom, "   ");
  QTest::keyClick(w.txtNom, Qt::Key_Enter);
  // (An action with an empty tool tip shows its own text instead.)
  EXPECT_EQ(rig.main->ChannelCommand(0)->statusTip(), "");
  EXPECT_EQ(rig.main->GetSettings().channels[0].caption, "   ");

  const std::string file = rig.dir.Write("long.cfg", ConfigWithChannel1("Caption=Gearbox\r\n"));
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(file)));
  EXPECT_EQ(w.txtNom->text(), "Gearbox");
  EXPECT_EQ(rig.main->ChannelCommand(0)->toolTip(), "Gearbox");
  // Typing cannot lengthen it, but may shorten it back to the limit.
  w.txtNom->end(false);
  QTest::keyClick(w.txtNom, Qt::Key_S);
  EXPECT_EQ(w.txtNom->text(), "Gearbox");
  QTest::keyClick(w.txtNom, Qt::Key_Backspace);
  QTest::keyClick(w.txtNom, Qt::Key_S);
  EXPECT_EQ(w.txtNom->text(), "Gearbo");
}

TEST(ChannelWindow, ActivationLabelTogglesLikeTheBox) {
  GuiRig rig;
  ui::TfrmChannel& w = OpenChannel(rig, 2);
  QAction* command = rig.main->ChannelCommand(2);
  const bool& active = rig.main->GetSettings().channels[2].active;

  QTest::mouseClick(w.lblOn, Qt::LeftButton);
  EXPECT_TRUE(active);
  EXPECT_TRUE(w.butOn->isChecked());
  EXPECT_TRUE(w.shaOn->isVisible());
  EXPECT_TRUE(HasImage(command, rig.main->Image(10)));

  QTest::mouseClick(w.butOn, Qt::LeftButton);
  EXPECT_FALSE(active);
  EXPECT_FALSE(w.shaOn->isVisible());
  EXPECT_TRUE(HasImage(command, rig.main->Image(6)));

  QTest::mouseClick(w.butOn, Qt::LeftButton);
  QTest::mouseClick(w.lblOn, Qt::LeftButton);
  EXPECT_FALSE(active);
  EXPECT_FALSE(w.butOn->isChecked());
  EXPECT_FALSE(w.shaOn->isVisible());
}

TEST(ChannelWindow, ManchesterListAddDeleteAndTheLimitOfSixteen) {
  GuiRig rig;
  ui::TfrmChannel& w = OpenChannel(rig, 3);
  const auto& files = rig.main->GetSettings().channels[3].manchesterFiles;

  w.butDelete->click();  // nothing selected, nothing there
  EXPECT_TRUE(w.butAdd->isEnabled());
  for (int i = 0; i < 16; ++i)
    rig.dialogs.files.push_back(QString::fromStdString(rig.dir.Write("f" + std::to_string(i) + ".mfd", "")));
  for (int i = 0; i < 16; ++i) w.butAdd->click();
  EXPECT_EQ(rig.dialogs.fileRequests[0].filter, "Manchester Frame Description (*.mfd)|*.mfd");
  ASSERT_EQ(files.size(), 16u);
  EXPECT_EQ(files[15], (ManchesterEntry{rig.dir.File("f15.mfd"), true}));
  EXPECT_EQ(w.lstFichiers->item(15)->checkState(), Qt::Checked);
  EXPECT_FALSE(w.butAdd->isEnabled());

  // Deleting without a selection changes nothing, even with a current row.
  w.lstFichiers->setCurrentRow(3, QItemSelectionModel::NoUpdate);
  w.butDelete->click();
  EXPECT_EQ(files.size(), 16u);
  EXPECT_FALSE(w.butAdd->isEnabled());

  w.lstFichiers->setCurrentRow(3);
  w.butDelete->click();
  ASSERT_EQ(files.size(), 15u);
  EXPECT_EQ(files[3].path, rig.dir.File("f4.mfd"));
  EXPECT_TRUE(w.butAdd->isEnabled());

  w.lstFichiers->item(0)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(files[0].enabled);

  // A configuration with sixteen entries disables Add again; a shorter one enables it.
  std::string keys;
  for (int i = 0; i < 16; ++i)
    keys += "MANCHESTER_fd" + std::to_string(i) + "=[ ]m" + std::to_string(i) + ".mfd\r\n";
  const std::string full = rig.dir.Write("full.cfg", "[CHANNEL4]\r\n" + keys);
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(full)));
  EXPECT_EQ(w.lstFichiers->count(), 16);
  EXPECT_EQ(w.lstFichiers->item(0)->checkState(), Qt::Unchecked);
  EXPECT_FALSE(w.butAdd->isEnabled());
  const std::string some = rig.dir.Write("some.cfg", "[CHANNEL4]\r\nMANCHESTER_fd0=[X]one.mfd\r\n");
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(some)));
  EXPECT_EQ(w.lstFichiers->count(), 1);
  EXPECT_TRUE(w.butAdd->isEnabled());
}

TEST(ChannelWindow, EditOfAMissingFileSaysSo) {
  GuiRig rig;
  ui::TfrmChannel& w = OpenChannel(rig, 0);
  w.butCanEdit->click();  // empty path
  ASSERT_EQ(rig.dialogs.messages.size(), 1u);
  EXPECT_EQ(rig.dialogs.messages[0].text, "The file can not be opened");
  EXPECT_EQ(rig.dialogs.messages[0].caption, "Error");

  const std::string cfg =
      rig.dir.Write("missing.cfg", ConfigWithChannel1("MANCHESTER_fd0=[X]" + rig.dir.File("gone.mfd") +
                                                      "\r\nLIN_File=" + rig.dir.File("gone.lfd")));
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(cfg)));
  w.butView->click();  // no line selected: nothing
  EXPECT_EQ(rig.dialogs.messages.size(), 1u);
  w.lstFichiers->setCurrentRow(0);
  w.butView->click();
  w.butLinEdit->click();
  ASSERT_EQ(rig.dialogs.messages.size(), 3u);
  EXPECT_EQ(rig.dialogs.messages[1].text, "The file can not be opened");
  EXPECT_EQ(rig.dialogs.messages[2].text, "The file can not be opened");

  // An existing file goes to the editor without a message.
  rig.dir.Write("gone.lfd", "");
  w.butLinEdit->click();
  EXPECT_EQ(rig.dialogs.messages.size(), 3u);
}

TEST(ChannelWindow, EditOpensTheFileTheRunReadsBesideTheConfiguration) {
  GuiRig rig;
  ui::TfrmChannel& w = OpenChannel(rig, 0);
  TempDir configDir, elsewhere;
  configDir.Write("bus.lfd", "[BAUDRATE]\r\nValue=19200\r\n");
  const std::string cfg = configDir.Write(
      "beside.cfg", ConfigWithChannel1("MANCHESTER_fd0=[X]gone.mfd\r\nLIN_File=bus.lfd\r\nCAN_File=gone.cfd"));
  CurrentFolder in(elsewhere.Path());
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(cfg)));
  EXPECT_EQ(w.txtLinFile->text(), "bus.lfd");  // the path stays as the file names it

  w.butLinEdit->click();
  EXPECT_TRUE(rig.dialogs.messages.empty());
  ASSERT_EQ(rig.main->FrameEditors().Count(), 1);
  EXPECT_EQ(rig.main->FrameEditors().At(0)->FilePath(), QString::fromStdString(configDir.File("bus.lfd")));

  const QString tried = QString::fromStdString("The file can not be opened\nFolders tried : " +
                                               QDir::currentPath().toStdString() + ", " + configDir.Path());
  w.butCanEdit->click();
  w.lstFichiers->setCurrentRow(0);
  w.butView->click();
  ASSERT_EQ(rig.dialogs.messages.size(), 2u);
  EXPECT_EQ(rig.dialogs.messages[0].text, tried);
  EXPECT_EQ(rig.dialogs.messages[1].text, tried);

  // Kept in another folder, the settings name the file found beside the configuration.
  ASSERT_FALSE(rig.main->SaveConfiguration(rig.main->LastConfigPath()));
  Settings saved;
  ASSERT_FALSE(LoadConfigFile(rig.main->LastConfigPath().toStdString(), saved));
  EXPECT_EQ(saved.channels[0].linFile, configDir.File("bus.lfd"));
  EXPECT_EQ(saved.channels[0].canFile, "gone.cfd");
  EXPECT_EQ(rig.main->GetSettings().channels[0].linFile, "bus.lfd");
}

TEST(ChannelWindow, LoadedSettingsReachEveryControl) {
  GuiRig rig;
  rig.Show();
  ui::TfrmChannel& w = *rig.main->ChannelWindow(0);
  const std::string cfg = rig.dir.Write(
      "c.cfg",
      ConfigWithChannel1("Type=3\r\nCaption= Gas \r\nActivation=1\r\nLOGICAL_Generation=0\r\n"
                         "MANCHESTER_fd0=[x]lower.mfd\r\nMANCHESTER_fd1=[X]a\r\nMANCHESTER_fd2=[X]up.mfd\r\n"
                         "CAN_File=k.cfd\r\nSERIAL_File=s.sfd\r\nLIN_File=l.lfd"));
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(cfg)));
  EXPECT_EQ(w.cboType->currentText(), "LIN");
  EXPECT_EQ(w.FrontPanel(), w.panLin);
  EXPECT_EQ(w.txtNom->text(), "Gas");  // the file's value is stripped
  EXPECT_TRUE(w.butOn->isChecked());
  EXPECT_FALSE(w.shaOn->isHidden());
  EXPECT_TRUE(HasImage(rig.main->ChannelCommand(0), rig.main->Image(8)));
  EXPECT_FALSE(w.chkGeneration->isChecked());
  ASSERT_EQ(w.lstFichiers->count(), 2);
  EXPECT_EQ(w.lstFichiers->item(0)->text(), "lower.mfd");
  EXPECT_EQ(w.lstFichiers->item(0)->checkState(), Qt::Unchecked);
  EXPECT_EQ(w.lstFichiers->item(1)->checkState(), Qt::Checked);
  EXPECT_EQ(w.txtCanFile->text(), "k.cfd");
  EXPECT_EQ(w.txtSerialFile->text(), "s.sfd");
  EXPECT_EQ(w.txtLinFile->text(), "l.lfd");

  // No Type key: no selection, the LIN panel stays in front and the store says None.
  const std::string none = rig.dir.Write("n.cfg", ConfigWithChannel1("Activation=0"));
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(none)));
  EXPECT_EQ(w.cboType->currentIndex(), -1);
  EXPECT_EQ(w.FrontPanel(), w.panLin);
  EXPECT_EQ(rig.main->GetSettings().channels[0].type, ChannelType::None);
  EXPECT_TRUE(w.shaOn->isHidden());
  EXPECT_TRUE(HasImage(rig.main->ChannelCommand(0), rig.main->Image(4)));
}

// The run start reads what the window holds: channel 1 of the demo turns from CAN to
// Logical in its window, and the next replay gives the Logical decoder's lines.
TEST(ChannelWindow, RunStartReadsTheTypeChosenInTheWindow) {
  CurrentFolder here(kSource);
  GuiRig rig({"--config", "examples/demo.cfg"});
  rig.Show();
  ui::TfrmChannel& w = *rig.main->ChannelWindow(0);
  ASSERT_EQ(w.cboType->currentText(), "CAN");

  auto replay = [&] {
    rig.main->ReplayCaptureFile("examples/demo.bin");
    std::vector<std::string> lines;
    const auto& list = rig.main->GetPipeline().Lines();
    for (std::size_t i = 0; i < list.size(); ++i) lines.emplace_back(list.Line(i));
    return lines;
  };
  auto expected = [&](ChannelType type) {
    TestRig headless;
    EXPECT_FALSE(LoadConfigFile("examples/demo.cfg", headless.settings));
    headless.pipeline.Services().configFolder = ConfigFileFolder("examples/demo.cfg");
    headless.settings.channels[0].type = type;
    const std::string capture = ReadWholeFile("examples/demo.bin");
    return headless.Replay(std::vector<std::uint8_t>(capture.begin(), capture.end()));
  };

  const std::vector<std::string> can = replay();
  EXPECT_EQ(can, expected(ChannelType::Can));
  w.cboType->setCurrentIndex(4);
  const std::vector<std::string> logical = replay();
  EXPECT_EQ(logical, expected(ChannelType::Logical));
  EXPECT_NE(logical, can);
  EXPECT_TRUE(rig.dialogs.messages.empty());
}

TEST(ChannelWindow, AFolderNamedWithAccentsWorksFromLoadToEditAndSave) {
  GuiRig rig;
  ui::TfrmChannel& w = OpenChannel(rig, 0);
  TempDir parent, elsewhere;
  // "Données ü" and "bus é.lfd": UTF-8 on disk, Windows-1252 in the configuration.
  const std::string folder = parent.Path() + "/Donn\xC3\xA9" "es \xC3\xBC";
  QDir().mkpath(QString::fromStdString(folder));
  std::filesystem::copy_file(kSource + "/examples/demo-lin.lfd", folder + "/bus \xC3\xA9.lfd");
  std::filesystem::copy_file(kSource + "/examples/demo-lin.ldf", folder + "/demo-lin.ldf");
  const std::string cfg = folder + "/r\xC3\xA9glages.cfg";
  {
    TempDir scratch;
    std::filesystem::copy_file(
        scratch.Write("c.cfg", ConfigWithChannel1("Type=3\r\nActivation=1\r\nLIN_File=bus \xE9.lfd")), cfg);
  }
  CurrentFolder in(elsewhere.Path());
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(cfg)));
  EXPECT_EQ(w.txtLinFile->text(), QString::fromStdString("bus \xC3\xA9.lfd"));

  rig.main->GetPipeline().ResetRun();
  for (const auto& m : rig.dialogs.messages) ADD_FAILURE() << m.text.toStdString();
  EXPECT_FALSE(rig.main->GetPipeline().RunSetupFailed());
  EXPECT_TRUE(rig.main->GetPipeline().lin[0].loaded);

  w.butLinEdit->click();
  EXPECT_TRUE(rig.dialogs.messages.empty());
  ASSERT_EQ(rig.main->FrameEditors().Count(), 1);
  EXPECT_EQ(rig.main->FrameEditors().At(0)->FilePath(), QString::fromStdString(folder + "/bus \xC3\xA9.lfd"));

  const std::string copy = folder + "/copie \xC3\xA9.cfg";
  ASSERT_FALSE(rig.main->SaveConfiguration(QString::fromStdString(copy)));
  EXPECT_NE(ReadWholeFile(copy).find("LIN_File=bus \xE9.lfd"), std::string::npos);
}

// A name the configuration cannot hold (Cyrillic here) is refused where the dialog gives it,
// saying which characters: the channel keeps its file, and the frame editor's save writes nothing.
TEST(ChannelWindow, AFileNameBeyondWindows1252IsRefusedWhereItIsChosen) {
  GuiRig rig;
  ui::TfrmChannel& w = OpenChannel(rig, 0);
  w.cboType->setCurrentIndex(3);
  w.txtLinFile->setText("bus.lfd");
  const QString russian = QString::fromStdString(rig.dir.Path() + "/\xD0\xB8\xD0\xB7\xD0\xBC.lfd");
  rig.dialogs.files = {russian};
  w.butLinFile->click();
  EXPECT_EQ(w.txtLinFile->text(), "bus.lfd");
  ASSERT_EQ(rig.dialogs.messages.size(), 1u);
  EXPECT_EQ(rig.dialogs.messages[0].caption, "Error");
  EXPECT_TRUE(rig.dialogs.messages[0].text.startsWith("The file ''" + russian + "'' can not be used"))
      << rig.dialogs.messages[0].text.toStdString();
  EXPECT_TRUE(rig.dialogs.messages[0].text.contains(QString::fromStdString("\xD0\xB8 (U+0438), \xD0\xB7 (U+0437)")))
      << rig.dialogs.messages[0].text.toStdString();

  // The same name through a save dialog (the frame editor's "Save as") and an accented one.
  ui::Dialogs& dialogs = rig.dialogs;
  rig.dialogs.files = {russian, QString::fromStdString(rig.dir.Path() + "/\xC3\xA9t\xC3\xA9.lfd")};
  EXPECT_EQ(dialogs.SaveFile(nullptr, {}), QString());
  EXPECT_EQ(rig.dialogs.messages.size(), 2u);
  EXPECT_EQ(dialogs.SaveFile(nullptr, {}), QString::fromStdString(rig.dir.Path() + "/\xC3\xA9t\xC3\xA9.lfd"));
  EXPECT_EQ(rig.dialogs.messages.size(), 2u);
}
