// The main window: commands, start-up, closing, the port indicator and the hardware window.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>

#include "GuiRig.h"
#include "KivoSimulator.h"
#include "Waveform.h"
#include "ui/hardware/Hardware.h"
#include "ui/Progress.h"
#include "ui/views/Graphic.h"
#include "ui/views/HexaView.h"

using namespace velkor;
using namespace velkor::test;

namespace {

// Horizontal extent of the pixels darker than the background in a rectangle.
int InkWidth(const QImage& image, QRect area) {
  int left = area.right() + 1, right = area.left() - 1;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (qGray(image.pixel(x, y)) < 100) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
  return right < left ? 0 : right - left + 1;
}

}  // namespace

TEST(MainWindow, StartsWithTheCaptionsAsChannelHintsAndTheFrameSize) {
  GuiRig rig;
  rig.Show();
  EXPECT_EQ(rig.main->windowTitle(), "Kivo - Velkor");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(rig.main->ChannelCommand(i)->toolTip(), QString("Cha%1").arg(i + 1));
  ASSERT_NE(rig.main->HexaView(), nullptr);
  EXPECT_FALSE(rig.main->HexaView()->isVisible());
  EXPECT_FALSE(rig.main->mnuRemote->menuAction()->isVisible());
  EXPECT_EQ(rig.main->acFilterView->toolTip(), "Hexa View");
}

TEST(MainWindow, CtrlGHidesTheActiveGraphicViewAndRaisesItFromAnotherChild) {
  GuiRig rig;
  rig.Show();
  rig.main->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(rig.main.get()));
  auto* graphic = rig.main->GraphicView();

  QTest::keyClick(rig.main.get(), Qt::Key_G, Qt::ControlModifier);
  EXPECT_TRUE(graphic->isVisible());
  EXPECT_EQ(rig.main->MdiArea()->activeSubWindow(), graphic);
  QTest::keyClick(rig.main.get(), Qt::Key_G, Qt::ControlModifier);
  EXPECT_FALSE(graphic->isVisible());

  QTest::keyClick(rig.main.get(), Qt::Key_G, Qt::ControlModifier);
  QTest::keyClick(rig.main.get(), Qt::Key_H, Qt::ControlModifier);
  EXPECT_EQ(rig.main->MdiArea()->activeSubWindow(), rig.main->HexaView());
  QTest::keyClick(rig.main.get(), Qt::Key_G, Qt::ControlModifier);
  EXPECT_TRUE(graphic->isVisible());
  EXPECT_EQ(rig.main->MdiArea()->activeSubWindow(), graphic);
}

TEST(MainWindow, ClosingAViewOnlyHidesIt) {
  GuiRig rig;
  rig.Show();
  rig.main->acHexaView->trigger();
  ASSERT_TRUE(rig.main->HexaView()->isVisible());
  rig.main->HexaView()->close();
  EXPECT_FALSE(rig.main->HexaView()->isVisible());
  rig.main->acHexaView->trigger();
  EXPECT_TRUE(rig.main->HexaView()->isVisible());
}

TEST(MainWindow, QuitIsRefusedWhileRunningAndSavesTheConfigurationAfterStop) {
  GuiRig rig;
  rig.backend.present[2] = true;
  rig.backend.modules[3] = FakeModule{};
  rig.Show();
  rig.main->GetSettings().port = 3;
  rig.main->acRunFromAcq->trigger();
  ASSERT_TRUE(rig.main->Running());
  EXPECT_TRUE(rig.main->tmrAcq->isActive());
  EXPECT_EQ(rig.main->RunStatus(), "Running...");

  rig.main->acQuit->trigger();
  ASSERT_EQ(rig.dialogs.messages.size(), 1u);
  EXPECT_EQ(rig.dialogs.messages[0].text, "You must stop acquisitions before");
  EXPECT_EQ(rig.dialogs.messages[0].caption, "Velkor");
  EXPECT_TRUE(rig.main->isVisible());
  EXPECT_TRUE(rig.main->Running());
  EXPECT_FALSE(QFile::exists(rig.main->LastConfigPath()));

  rig.main->acStop->trigger();
  EXPECT_FALSE(rig.main->Running());
  EXPECT_FALSE(rig.main->tmrAcq->isActive());
  EXPECT_EQ(rig.main->RunStatus(), "");
  rig.main->acQuit->trigger();
  EXPECT_FALSE(rig.main->isVisible());
  EXPECT_EQ(rig.dialogs.messages.size(), 1u);
  const std::string saved = ReadWholeFile(rig.main->LastConfigPath().toStdString());
  EXPECT_NE(saved.find("PortCom=COM3"), std::string::npos);
}

TEST(MainWindow, QuitIsRefusedDuringAReplay) {
  GuiRig rig;
  rig.Show();
  const std::string capture = rig.dir.Write("long.bin", std::vector<std::uint8_t>(1 << 20, 0));
  bool refused = false;
  // The replay lets events run after its blocks: a close asked then must be refused.
  QTimer::singleShot(0, rig.main.get(), [&] {
    rig.main->close();
    refused = rig.main->isVisible();
  });
  rig.main->ReplayCaptureFile(QString::fromStdString(capture));
  GuiRig::Settle();
  EXPECT_TRUE(refused);
  ASSERT_FALSE(rig.dialogs.messages.empty());
  EXPECT_EQ(rig.dialogs.messages[0].text, "You must stop acquisitions before");
  EXPECT_EQ(rig.main->GetPipeline().sampleIndex, 1u << 20);
}

TEST(MainWindow, SerialArgumentReplaysLockCourtFromTheCurrentFolder) {
  TempDir folder;
  folder.Write("lockcourt.bin", std::vector<std::uint8_t>(3000, 1));
  CurrentFolder here(folder.Path());
  {
    GuiRig rig({"x+SERIALy"});
    rig.Show();
    ASSERT_TRUE(GuiRig::WaitFor([&] { return rig.main->GetPipeline().sampleIndex == 3000; }));
    EXPECT_FALSE(rig.main->Progress().isVisible());
  }
  {
    GuiRig rig({"+serial"});
    rig.Show();
    GuiRig::Settle(100);
    EXPECT_EQ(rig.main->GetPipeline().sampleIndex, 0u);
  }
  {
    // The argument counts only first; a missing file is silent.
    GuiRig rig({"-v", "+SERIAL"});
    rig.Show();
    GuiRig::Settle(100);
    EXPECT_EQ(rig.main->GetPipeline().sampleIndex, 0u);
    EXPECT_TRUE(rig.dialogs.messages.empty());
  }
}

TEST(MainWindow, PortIndicatorDrawsTheLinkAndThePort) {
  GuiRig rig;
  rig.backend.present[2] = true;
  rig.backend.modules[3] = FakeModule{};
  rig.Show();
  rig.main->GetSettings().port = 0;
  rig.main->DrawPortIndicator();
  QImage idle = rig.main->StatusBarWidget()->grab().toImage();
  EXPECT_EQ(QColor(idle.pixel(9, 10)), QColor(0, 64, 0));
  EXPECT_EQ(QColor(idle.pixel(6, 7)), QColor(0, 64, 0));
  EXPECT_EQ(QColor(idle.pixel(5, 6)), QColor(Qt::black));
  EXPECT_EQ(QColor(idle.pixel(13, 14)), QColor(Qt::black));
  const int dash = InkWidth(idle, QRect(QPoint(18, 3), QPoint(62, 17)));
  EXPECT_GT(dash, 0);
  EXPECT_LT(dash, 8);

  rig.main->GetSettings().port = 3;
  rig.main->acRunFromAcq->trigger();
  ASSERT_TRUE(rig.main->GetHardware().Connected());
  QImage running = rig.main->StatusBarWidget()->grab().toImage();
  EXPECT_EQ(QColor(running.pixel(9, 10)), QColor(0, 255, 0));
  EXPECT_GT(InkWidth(running, QRect(QPoint(18, 3), QPoint(62, 17))), 20);  // "COM3"
  rig.main->acStop->trigger();
  QImage stopped = rig.main->StatusBarWidget()->grab().toImage();
  EXPECT_EQ(QColor(stopped.pixel(9, 10)), QColor(0, 64, 0));
}

TEST(MainWindow, SecondRunStartIsRefused) {
  GuiRig rig;
  rig.backend.present[2] = true;
  rig.backend.modules[3] = FakeModule{};
  rig.Show();
  rig.main->GetSettings().port = 3;
  rig.main->acRunFromAcq->trigger();
  rig.main->acRunFromAcq->trigger();
  rig.main->acRunFromFile->trigger();
  ASSERT_EQ(rig.dialogs.messages.size(), 2u);
  EXPECT_EQ(rig.dialogs.messages[0].text, "Program is still running !");
  EXPECT_EQ(rig.dialogs.messages[1].caption, "Error");
  EXPECT_TRUE(rig.dialogs.fileRequests.empty());
  rig.main->acStop->trigger();
}

TEST(MainWindow, ReplayFromTheOpenDialog) {
  GuiRig rig;
  rig.Show();
  rig.dialogs.files.push_back(QString::fromStdString(rig.dir.Write("c.bin", std::vector<std::uint8_t>(1500, 0))));
  rig.main->acRunFromFile->trigger();
  ASSERT_EQ(rig.dialogs.fileRequests.size(), 1u);
  // Our own captures first; those of other instruments beside them.
  EXPECT_TRUE(rig.dialogs.fileRequests[0].filter.startsWith("Binary file (*.bin)|*.bin|"));
  for (const char* pattern : {"*.sr", "*.vcd", "*.csv"})
    EXPECT_TRUE(rig.dialogs.fileRequests[0].filter.contains(pattern)) << pattern;
  EXPECT_EQ(rig.main->GetPipeline().sampleIndex, 1500u);
  EXPECT_FALSE(rig.main->Running());
  EXPECT_FALSE(rig.main->Progress().isVisible());
  EXPECT_EQ(rig.main->Progress().PercentText(), "68%");
}

TEST(MainWindow, ProgressStopEndsAReplayAfterTheCurrentBlock) {
  GuiRig rig;
  rig.Show();
  const std::string capture = rig.dir.Write("long.bin", std::vector<std::uint8_t>(8 << 20, 0));
  QTimer::singleShot(0, rig.main.get(), [&] { rig.main->Progress().StopButton()->click(); });
  rig.main->ReplayCaptureFile(QString::fromStdString(capture));
  const auto dispatched = rig.main->GetPipeline().sampleIndex;
  EXPECT_GT(dispatched, 0u);
  EXPECT_LT(dispatched, 8u << 20);
  EXPECT_EQ(dispatched % 1024, 0u);
  EXPECT_FALSE(rig.main->Running());
}

TEST(MainWindow, MainStopEndsAReplayAsTheProgressStopAndNothingElseStartsBeforeItReturns) {
  GuiRig rig;
  rig.Show();
  const std::string capture = rig.dir.Write("long.bin", std::vector<std::uint8_t>(8 << 20, 0));
  rig.dialogs.files.push_back(QString::fromStdString(rig.dir.Write("other.bin", std::vector<std::uint8_t>(5000, 1))));
  bool runningAfterStop = false;
  bool visibleAfterQuit = false;
  QTimer::singleShot(0, rig.main.get(), [&] {
    rig.main->acStop->trigger();
    runningAfterStop = rig.main->Running();
    // Until the replay has returned: no second replay, no live run, no quit.
    rig.main->acRunFromFile->trigger();
    rig.main->acRunFromAcq->trigger();
    rig.main->acQuit->trigger();
    visibleAfterQuit = rig.main->isVisible();
  });
  rig.main->ReplayCaptureFile(QString::fromStdString(capture));

  EXPECT_TRUE(runningAfterStop);
  EXPECT_TRUE(visibleAfterQuit);
  EXPECT_TRUE(rig.dialogs.fileRequests.empty());
  std::vector<QString> texts;
  for (const auto& m : rig.dialogs.messages) texts.push_back(m.text);
  EXPECT_EQ(texts, (std::vector<QString>{"Program is still running !", "Program is still running !",
                                         "You must stop acquisitions before"}));
  const auto dispatched = rig.main->GetPipeline().sampleIndex;
  EXPECT_GT(dispatched, 0u);
  EXPECT_LT(dispatched, 8u << 20);
  EXPECT_EQ(dispatched % 1024, 0u);
  EXPECT_FALSE(rig.main->Running());
  EXPECT_FALSE(rig.main->Progress().isVisible());
  EXPECT_FALSE(QFile::exists(rig.main->LastConfigPath()));

  // Once the replay is over, the same commands work again.
  rig.main->acRunFromFile->trigger();
  EXPECT_EQ(rig.dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(rig.main->GetPipeline().sampleIndex, 5000u);
}

TEST(HardwareWindow, AutoFindProbesAndCancelRestoresThePort) {
  GuiRig rig;
  rig.backend.present = {true, false, true, false, true};
  rig.backend.modules[3] = FakeModule{};
  rig.backend.modules[5].answer = ModuleAnswer::Silent;
  rig.Show();
  auto& window = rig.main->HardwareWindow();
  rig.main->GetSettings().port = 2;
  window.show();
  ASSERT_TRUE(window.PortButton(2)->isChecked());

  window.FindButton()->click();
  EXPECT_TRUE(window.FindButton()->isEnabled());
  for (int n = 1; n <= 12; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(window.PortLabel(n)->text(), n == 3 ? "Version 2.7" : "-");
    EXPECT_EQ(window.PortButton(n)->isEnabled(), n == 3);
    EXPECT_FALSE(window.PortButton(n)->isChecked());
  }
  EXPECT_EQ(rig.main->GetHardware().SelectedPort(), 0);

  // A press probes the port and selects it.
  QTest::mouseClick(window.PortButton(3), Qt::LeftButton);
  EXPECT_EQ(window.PortLabel(3)->text(), "Version 2.7");
  EXPECT_EQ(rig.main->GetHardware().SelectedPort(), 3);

  window.CancelButton()->click();
  EXPECT_FALSE(window.isVisible());
  // Port 2 was selected when the window opened.
  EXPECT_EQ(rig.main->GetHardware().SelectedPort(), 2);
}

TEST(HardwareWindow, ProbeLabelsOfAPress) {
  GuiRig rig;
  rig.backend.unopenable.insert(1);
  rig.backend.modules[2].answer = ModuleAnswer::Silent;
  rig.backend.modules[4].major = 1;
  rig.backend.modules[4].minor = 4;
  rig.Show();
  auto& window = rig.main->HardwareWindow();
  window.show();
  QTest::mouseClick(window.PortButton(1), Qt::LeftButton);
  QTest::mouseClick(window.PortButton(2), Qt::LeftButton);
  QTest::mouseClick(window.PortButton(4), Qt::LeftButton);
  EXPECT_EQ(window.PortLabel(1)->text(), "COM port error");
  EXPECT_EQ(window.PortLabel(2)->text(), "No response");
  EXPECT_EQ(window.PortLabel(4)->text(), "Version 1.4");
  EXPECT_TRUE(window.PortButton(4)->isChecked());
  window.OkButton()->click();
  EXPECT_EQ(rig.main->GetHardware().SelectedPort(), 4);
}

// The program's own run against kivo-sim on a pseudo-terminal at COM3: the lines are those
// of the headless replay of the same live bytes.
TEST(MainWindowEndToEnd, LiveRunFromTheSimulatorDecodesAsHeadless) {
  GuiRig rig({}, /*systemPorts=*/true);
  const Capture c = FourChannelCapture();
  const std::vector<std::uint8_t> live = c.LiveBytes();
  const std::string file = rig.dir.Write("capture.bin", c.FileBytes(live.size() * 4 - c.SampleCount()));

  TestRig headless;
  SetAllLogical(headless.settings);
  const std::vector<std::string> expected = headless.Replay(LiveBytesToFileBytes(live));
  ASSERT_FALSE(expected.empty());

  rig.Show();
  SetAllLogical(rig.main->GetSettings());
  std::vector<std::string> lines;
  // A machine loaded enough to keep kivo-sim from answering within 50 ms fails a start;
  // a fault fails every try.
  for (int attempt = 0; attempt < 3 && lines != expected; ++attempt) {
    KivoSimulator sim({"--version", "3.9", "--time-limit", "30", file});
    ASSERT_FALSE(sim.Path().empty());
    PortOverride com3(sim.Path());
    rig.dialogs.messages.clear();
    rig.main->GetSettings().port = 3;
    rig.main->acRunFromAcq->trigger();
    if (!rig.main->Running()) continue;
    GuiRig::WaitFor([&] { return rig.main->GetPipeline().Lines().size() >= expected.size(); }, 5000);
    GuiRig::Settle(200);
    rig.main->acStop->trigger();
    lines.clear();
    const auto& list = rig.main->GetPipeline().Lines();
    for (std::size_t i = 0; i < list.size(); ++i) lines.emplace_back(list.Line(i));
  }
  EXPECT_EQ(lines, expected);
  EXPECT_FALSE(rig.main->GetHardware().Connected());
}
