// Configuration files applied to every window and read back from them, and the Colors
// dialog whose colours they carry.

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "GuiRig.h"
#include "app/IniFile.h"
#include "ui/channels/Channel.h"
#include "ui/hardware/Hardware.h"
#include "ui/Colors.h"
#include "ui/QtText.h"
#include "ui/views/FilterView.h"
#include "ui/views/Graphic.h"
#include "ui/views/HexaView.h"

using namespace velkor;
using namespace velkor::test;

namespace {

// Every section and key of the reference, each with a value that is not its default.
std::string FullConfiguration() {
  std::string text = "[PORT]\r\nPortCom=COM7\r\n";
  const char* const captions[] = {"Brake", "Gearbox", "  Door", "L 4"};
  const char* const types[] = {"1", "-1", "4", "0"};
  for (int n = 1; n <= 4; ++n) {
    text += "[CHANNEL" + std::to_string(n) + "]\r\nType=" + types[n - 1] + "\r\nCaption=" + captions[n - 1] +
            "\r\nActivation=" + (n % 2 ? "1" : "0") + "\r\nLOGICAL_Generation=" + (n == 3 ? "0" : "1") +
            "\r\n";
    for (int i = 0; i < 16; ++i) {
      const bool entry = n == 4 || i < n - 1;
      text += "MANCHESTER_fd" + std::to_string(i) + "=" +
              (entry ? std::string(i % 3 ? "[X]" : "[ ]") + "/data/m" + std::to_string(i) + ".mfd" : "") +
              "\r\n";
    }
    text += "CAN_File=/data/c" + std::to_string(n) + ".cfd\r\nSERIAL_File=\r\nLIN_File=rel/l.lfd\r\n";
  }
  text += "[GRAPHIC]\r\nScrolling=50ms\r\n[HEXA]\r\nClear=0\r\nAutoScroll=1\r\n[FILTER]\r\n";
  for (int n = 1; n <= 4; ++n) {
    const std::string c = "CHA" + std::to_string(n);
    text += c + "_If=" + std::to_string(n - 1) + "\r\n" + c + "_Field=2\r\n" + c + "_Equal=1\r\n" + c +
            "_ContentA=0x1F\r\n" + c + "_ContentB=\r\n" + c + "_Match=abc\r\n";
  }
  text +=
      "[WINDOWS]\r\nMAIN_Left=-4\r\nMAIN_Top=-4\r\nMAIN_Height=480\r\nMAIN_Width=640\r\nMAIN_Maximized=1\r\n"
      "GRAPHIC_Left=3\r\nGRAPHIC_Top=250\r\nGRAPHIC_Height=115\r\nGRAPHIC_Width=843\r\nGRAPHIC_Visible=1\r\n"
      "HEXA_Left=40\r\nHEXA_Top=10\r\nHEXA_Height=462\r\nHEXA_Width=657\r\nHEXA_Visible=1\r\n"
      "FILTER_Left=100\r\nFILTER_Top=30\r\nFILTER_Height=462\r\nFILTER_Width=657\r\nFILTER_Visible=0\r\n";
  for (int i = 0; i < 4; ++i) {
    const std::string w = "CHANNEL" + std::to_string(i);
    text += w + "_Left=" + std::to_string(20 + 37 * i) + "\r\n" + w + "_Top=" + std::to_string(5 + 11 * i) +
            "\r\n" + w + "_Height=229\r\n" + w + "_Width=527\r\n" + w + "_Visible=" + (i == 1 ? "0" : "1") +
            "\r\n";
  }
  text +=
      "[COLORS]\r\nchk1=1193046\r\nchk2=255\r\nchk3=65280\r\nchk4=16711680\r\n"
      "but1=8421504\r\nbut2=4210752\r\nbut3=12632256\r\nbut4=33023\r\n"
      "[LATER]\r\nKey=kept\r\n";
  return text;
}

}  // namespace

TEST(ConfigurationWindows, RoundTripThroughTheWindowsWritesEveryKeyBack) {
  GuiRig rig;
  rig.Show();
  const std::string original = rig.dir.Write("full.cfg", FullConfiguration());
  rig.dialogs.files = {QString::fromStdString(original)};
  rig.main->mnuLoadConfigClick();
  ASSERT_EQ(rig.dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(rig.dialogs.fileRequests[0].title, "Load configuration");
  EXPECT_EQ(rig.dialogs.fileRequests[0].filter, "Configuration file (*.cfg)|*.cfg");
  EXPECT_EQ(rig.dialogs.fileRequests[0].defaultExtension, "cfg");
  GuiRig::Settle();

  // The windows show the file.
  EXPECT_TRUE(rig.main->isMaximized());
  EXPECT_TRUE(rig.main->HardwareWindow().PortButton(7)->isChecked());
  ui::TfrmChannel& two = *rig.main->ChannelWindow(1);
  EXPECT_EQ(two.txtNom->text(), "Gearbox");
  EXPECT_EQ(two.cboType->currentIndex(), -1);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    ui::TfrmChannel& w = *rig.main->ChannelWindow(i);
    EXPECT_EQ(w.pos(), QPoint(20 + 37 * i, 5 + 11 * i));
    EXPECT_EQ(w.ClientSize(), QSize(527, 229));
    EXPECT_EQ(w.isVisible(), i != 1);
  }
  EXPECT_TRUE(rig.main->HexaView()->isVisible());
  EXPECT_EQ(rig.main->HexaView()->pos(), QPoint(40, 10));
  EXPECT_EQ(rig.main->HexaView()->ClientSize(), QSize(657, 462));
  EXPECT_FALSE(rig.main->FilterView()->isVisible());

  const std::string saved = rig.dir.File("saved.cfg");
  rig.dialogs.files = {QString::fromStdString(saved)};
  rig.main->mnuSaveConfigClick();
  ASSERT_EQ(rig.dialogs.fileRequests.size(), 2u);
  EXPECT_EQ(rig.dialogs.fileRequests[1].title, "Save configuration");
  EXPECT_EQ(rig.dialogs.fileRequests[1].filter, "Configuration file (*.cfg)|*.cfg");
  EXPECT_EQ(rig.dialogs.fileRequests[1].defaultExtension, "cfg");
  EXPECT_TRUE(rig.dialogs.messages.empty());

  IniDocument before, after;
  ASSERT_TRUE(before.LoadFile(original));
  ASSERT_TRUE(after.LoadFile(saved));
  int keys = 0;
  for (const IniDocument::Section& section : before.Sections()) {
    if (section.name == "LATER") continue;  // unknown to the program: not written
    for (const auto& [key, value] : section.entries) {
      const std::string* written = after.Find(section.name, key);
      ASSERT_NE(written, nullptr) << section.name << "/" << key;
      EXPECT_EQ(*written, value) << section.name << "/" << key;
      ++keys;
    }
  }
  EXPECT_EQ(keys, 1 + 4 * 23 + 1 + 2 + 24 + 5 + 3 * 5 + 4 * 5 + 8);
}

TEST(ConfigurationWindows, MainWindowPlacementAndChannelWindowSizes) {
  GuiRig rig;
  rig.Show();
  EXPECT_FALSE(rig.main->isMaximized());  // no LastVelkor.cfg: as created
  const std::string saved = rig.dir.File("saved.cfg");
  IniDocument ini;

  // Maximised by a file; saved at its normal place, it loads maximised once more.
  const std::string maximised =
      rig.dir.Write("max.cfg", "[WINDOWS]\r\nMAIN_Left=-4\r\nMAIN_Top=-4\r\nMAIN_Maximized=1\r\n");
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(maximised)));
  GuiRig::Settle();
  EXPECT_TRUE(rig.main->isMaximized());
  ASSERT_FALSE(rig.main->SaveConfiguration(QString::fromStdString(saved)));
  ASSERT_TRUE(ini.LoadFile(saved));
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "MAIN_Maximized", -1), 1);
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "MAIN_Left", 0), -4);
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "MAIN_Top", 0), -4);
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "MAIN_Height", 0), 480);
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "MAIN_Width", 0), 640);
  rig.main->setWindowState(Qt::WindowNoState);
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(saved)));
  GuiRig::Settle();
  EXPECT_TRUE(rig.main->isMaximized());

  // A zero leaves the frame maximised; the place is where it goes when restored.
  const std::string normal = rig.dir.Write(
      "normal.cfg",
      "[WINDOWS]\r\nMAIN_Left=30\r\nMAIN_Top=20\r\nMAIN_Height=500\r\nMAIN_Width=700\r\nMAIN_Maximized=0\r\n"
      "CHANNEL2_Left=60\r\nCHANNEL2_Top=70\r\nCHANNEL2_Height=400\r\nCHANNEL2_Width=300\r\nCHANNEL2_Visible="
      "1\r\n");
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(normal)));
  GuiRig::Settle();
  EXPECT_TRUE(rig.main->isMaximized());
  ui::TfrmChannel& three = *rig.main->ChannelWindow(2);
  EXPECT_EQ(three.pos(), QPoint(60, 70));
  EXPECT_EQ(three.ClientSize(), QSize(527, 229));
  EXPECT_TRUE(three.isVisible());
  // Channel 1's window: no keys, the file's defaults.
  EXPECT_EQ(rig.main->ChannelWindow(0)->pos(), QPoint(150, 0));
  EXPECT_FALSE(rig.main->ChannelWindow(0)->isVisible());

  rig.main->setWindowState(Qt::WindowNoState);
  GuiRig::Settle();
  EXPECT_EQ(rig.main->pos(), QPoint(30, 20));
  EXPECT_EQ(rig.main->size(), QSize(700, 500));
  ASSERT_FALSE(rig.main->SaveConfiguration(QString::fromStdString(saved)));
  ASSERT_TRUE(ini.LoadFile(saved));
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "MAIN_Maximized", -1), 0);
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "MAIN_Left", 0), 30);
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "MAIN_Width", 0), 700);
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "CHANNEL2_Height", 0), 229);
  EXPECT_EQ(ini.ReadInteger("WINDOWS", "CHANNEL2_Width", 0), 527);
}

TEST(ConfigurationWindows, LoadDuringALiveRunChangesTheWindowsAtOnce) {
  GuiRig rig;
  rig.backend.present[1] = true;
  rig.backend.modules[2] = FakeModule{};
  rig.Show();
  rig.main->GetSettings().port = 2;
  rig.main->acRunFromAcq->trigger();
  ASSERT_TRUE(rig.main->Running());
  const std::string cfg = rig.dir.Write("c.cfg", "[CHANNEL2]\r\nCaption=Live\r\nType=4\r\n");
  rig.dialogs.files = {QString::fromStdString(cfg)};
  rig.main->mnuLoadConfigClick();
  EXPECT_EQ(rig.main->ChannelWindow(1)->txtNom->text(), "Live");
  EXPECT_EQ(rig.main->ChannelCommand(1)->toolTip(), "Live");
  EXPECT_TRUE(rig.dialogs.messages.empty());
  rig.main->acStop->trigger();
}

TEST(ConfigurationWindows, AFileThatIsNoConfigurationIsRefusedAndTheWindowsKeepTheirSettings) {
  GuiRig rig;
  rig.Show();
  const std::string mine = rig.dir.Write("mine.cfg", FullConfiguration());
  rig.dialogs.files = {QString::fromStdString(mine)};
  rig.main->mnuLoadConfigClick();
  ASSERT_EQ(rig.main->ChannelWindow(0)->txtNom->text(), "Brake");
  const Settings before = rig.main->GetSettings();

  const struct {
    const char* name;
    std::string path;
  } refused[] = {
      {"capture", rig.dir.Write("capture.bin", std::vector<std::uint8_t>(2 << 20, 0x05))},
      {"empty file", rig.dir.Write("empty.cfg", "")},
      {"text with no section", rig.dir.Write("notes.txt", "Caption=Door\r\nPortCom=COM2\r\n")},
      {"NUL bytes", rig.dir.Write("nul.cfg", std::string(300, '\0'))},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    rig.dialogs.messages.clear();
    rig.dialogs.files = {QString::fromStdString(c.path)};
    rig.main->mnuLoadConfigClick();
    EXPECT_EQ(rig.main->GetSettings(), before);
    EXPECT_EQ(rig.main->ChannelWindow(0)->txtNom->text(), "Brake");
    EXPECT_EQ(rig.main->GetHardware().SelectedPort(), 7);
    ASSERT_EQ(rig.dialogs.messages.size(), 1u);
    EXPECT_EQ(rig.dialogs.messages[0].text,
              "The file " + QString::fromStdString(c.path) + " is not a Velkor configuration");
    EXPECT_EQ(rig.dialogs.messages[0].caption, "Error");
  }

  // A configuration of one section loads, its channel and the defaults of the rest.
  rig.dialogs.messages.clear();
  rig.dialogs.files = {QString::fromStdString(rig.dir.Write("two.cfg", "[CHANNEL2]\r\nCaption=Door\r\nType=3\r\n"))};
  rig.main->mnuLoadConfigClick();
  EXPECT_TRUE(rig.dialogs.messages.empty());
  EXPECT_EQ(rig.main->ChannelWindow(1)->txtNom->text(), "Door");
  EXPECT_EQ(rig.main->ChannelWindow(1)->cboType->currentIndex(), 3);
  EXPECT_EQ(rig.main->ChannelWindow(0)->txtNom->text(), "Cha1");

  // A missing file stays silent, as before.
  rig.dialogs.files = {QString::fromStdString(rig.dir.File("gone.cfg"))};
  rig.main->mnuLoadConfigClick();
  EXPECT_TRUE(rig.dialogs.messages.empty());
}

// ---------------------------------------------------------------------------------------
// Colors

namespace {

QColor PreviewPixel(ui::TfrmColors& colors, int channel) {
  const QImage image = colors.panTraces->grab().toImage();
  return QColor(image.pixel(colors.panTraces->width() - 10, ui::TfrmColors::PreviewLineY(channel)));
}

// Runs `inside` while the dialog is shown by the Colors command, which it must end.
void WithColorsOpen(GuiRig& rig, const std::function<void(ui::TfrmColors&)>& inside) {
  ui::TfrmColors& colors = rig.main->ColorsWindow();
  bool ran = false;
  QTimer::singleShot(0, &colors, [&] {
    ran = true;
    inside(colors);
    if (colors.isVisible()) colors.reject();
  });
  rig.main->mnuColorsClick();
  EXPECT_TRUE(ran);
}

}  // namespace

TEST(Colors, CancelRestoresAllEightColoursAndThePreviewLines) {
  GuiRig rig;
  rig.Show();
  const Settings initial = rig.main->GetSettings();
  EXPECT_EQ(initial.traceColours, initial.textColours);
  WithColorsOpen(rig, [&](ui::TfrmColors& colors) {
    EXPECT_EQ(colors.windowTitle(), "Colors");
    EXPECT_EQ(colors.size(), QSize(289, 102));
    EXPECT_TRUE(colors.isModal());
    EXPECT_EQ(PreviewPixel(colors, 1), QColor(255, 0, 0));
    rig.dialogs.colours = {Qt::green, Qt::blue, Qt::magenta, Qt::cyan};
    colors.chkVxClick(0);
    colors.chkVxClick(3);
    colors.butVxClick(1);
    colors.butVxClick(2);
    colors.butVxClick(0);  // the colour dialog closed without a choice
    EXPECT_EQ(colors.chkV[0]->GetColour(), Colour::FromBgr(0x00FF00));
    EXPECT_EQ(colors.butV[2]->GetColour(), Colour::FromBgr(0xFFFF00));
    EXPECT_EQ(colors.butV[0]->GetColour(), initial.traceColours[0]);
    EXPECT_EQ(PreviewPixel(colors, 1), QColor(Qt::magenta));
    EXPECT_EQ(PreviewPixel(colors, 2), QColor(Qt::cyan));
    colors.butCancel->click();
  });
  ui::TfrmColors& colors = rig.main->ColorsWindow();
  EXPECT_FALSE(colors.isVisible());
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(colors.chkV[i]->GetColour(), initial.textColours[i]);
    EXPECT_EQ(colors.butV[i]->GetColour(), initial.traceColours[i]);
    EXPECT_EQ(PreviewPixel(colors, i), ui::ToQColor(initial.traceColours[i]));
  }
  EXPECT_EQ(rig.main->GetSettings(), initial);
}

TEST(Colors, OkKeepsTheColoursForTheViewsAndTheFile) {
  GuiRig rig;
  rig.Show();
  WithColorsOpen(rig, [&](ui::TfrmColors& colors) {
    rig.dialogs.colours = {QColor(1, 2, 3), QColor(4, 5, 6)};
    colors.chkVxClick(1);
    colors.butVxClick(3);
    colors.butOk->click();
  });
  EXPECT_EQ(rig.main->ChannelTextColour(1), QColor(1, 2, 3));
  EXPECT_EQ(rig.main->ChannelTraceColour(3), QColor(4, 5, 6));
  const std::string saved = rig.dir.File("c.cfg");
  ASSERT_FALSE(rig.main->SaveConfiguration(QString::fromStdString(saved)));
  IniDocument ini;
  ASSERT_TRUE(ini.LoadFile(saved));
  EXPECT_EQ(ini.ReadInteger("COLORS", "chk2", 0), 0x030201);
  EXPECT_EQ(ini.ReadInteger("COLORS", "but4", 0), 0x060504);
  EXPECT_EQ(ini.ReadInteger("COLORS", "but1", 0), 0x0066CC);
}

TEST(Colors, AFileWithoutTraceKeysLoadsLightGreenTraces) {
  GuiRig rig;
  rig.Show();
  const std::string cfg = rig.dir.Write("c.cfg", "[COLORS]\r\nchk1=255\r\n");
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(cfg)));
  ui::TfrmColors& colors = rig.main->ColorsWindow();
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rig.main->ChannelTraceColour(i), QColor(128, 255, 128));
    EXPECT_EQ(colors.butV[i]->GetColour(), Colour::FromBgr(0x80FF80));
  }
  EXPECT_EQ(rig.main->ChannelTextColour(0), QColor(255, 0, 0));
  EXPECT_EQ(colors.chkV[0]->GetColour(), Colour::FromBgr(0x0000FF));
  EXPECT_EQ(rig.main->ChannelTextColour(3), QColor(255, 255, 0));
}

// The settings stay beside the program unless the user could not keep them there: a folder
// not writable, or one whose name the configuration's code page cannot hold.
TEST(SettingsFolder, BesideTheProgramWhenItCanBeWrittenAndNamed) {
  TempDir dir, config;
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.Path()));
  const QString own = QString::fromStdString(dir.Path());
  const QString accented = QString::fromStdString(dir.Path() + "/Donn\xC3\xA9" "es");
  const QString russian = QString::fromStdString(dir.Path() + "/\xD0\x97\xD0\xB0\xD0\xB3\xD1\x80\xD1\x83\xD0\xB7\xD0\xBA\xD0\xB8");
  QDir().mkpath(accented);
  QDir().mkpath(russian);
  const QString fallback = QString::fromStdString(config.Path() + "/velkor");
  EXPECT_EQ(ui::SettingsFolder(own), own);
  EXPECT_EQ(ui::SettingsFolder(accented), accented);
  EXPECT_EQ(ui::SettingsFolder(russian), fallback);
  EXPECT_EQ(ui::SettingsFolder(own + "/missing"), fallback);
  EXPECT_TRUE(QFileInfo(fallback).isDir());
  if (saved.isNull())
    qunsetenv("XDG_CONFIG_HOME");
  else
    qputenv("XDG_CONFIG_HOME", saved);
}
