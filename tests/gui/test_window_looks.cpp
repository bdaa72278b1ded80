// How the small windows look: which texts are bold, notes that fit their window, and the
// "?" help labels drawn alike in every window.

#include <gtest/gtest.h>

#include <QAction>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "GuiRig.h"
#include "ui/ClickLabel.h"
#include "ui/channels/Channel.h"
#include "ui/hardware/Hardware.h"
#include "ui/views/HexaView.h"

using namespace velkor;
using namespace velkor::test;

namespace {

// Pixels of the label's text: blue ones (the help colour) and dark ones of any other hue.
struct Ink {
  int blue = 0;
  int other = 0;
};

Ink InkOf(QWidget* label) {
  const QImage image = label->grab().toImage();
  Ink ink;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c(image.pixel(x, y));
      if (c.blue() > 150 && c.red() < 120 && c.green() < 120) ++ink.blue;
      else if (c.lightness() < 120) ++ink.other;
    }
  return ink;
}

QLabel* LabelStartingWith(QWidget* window, const QString& text) {
  for (QLabel* label : window->findChildren<QLabel*>())
    if (label->text().startsWith(text)) return label;
  return nullptr;
}

}  // namespace

TEST(HardwareWindowLook, OnlyTheGroupCaptionAndVersionAreBoldAndTheNoteFits) {
  GuiRig rig;
  rig.Show();
  ui::TfrmHardware& window = rig.main->HardwareWindow();
  window.show();
  GuiRig::Settle();

  auto* group = window.findChild<QGroupBox*>();
  ASSERT_NE(group, nullptr);
  EXPECT_TRUE(group->font().bold());
  QLabel* heading = LabelStartingWith(&window, "Version");
  ASSERT_NE(heading, nullptr);
  EXPECT_TRUE(heading->font().bold());
  EXPECT_FALSE(window.FindButton()->font().bold());
  for (int n = 1; n <= 12; ++n) {
    SCOPED_TRACE(n);
    EXPECT_FALSE(window.PortButton(n)->font().bold());
    EXPECT_FALSE(window.PortLabel(n)->font().bold());
  }

  QLabel* note = LabelStartingWith(&window, "Click to");
  ASSERT_NE(note, nullptr);
  const QStringList lines = note->text().split('\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], "Click to \"Auto find\" button to find all ");
  const QFontMetrics metrics(note->font());
  for (const QString& line : lines) EXPECT_LE(metrics.horizontalAdvance(line), note->contentsRect().width()) << line.toStdString();
  EXPECT_LE(metrics.lineSpacing() * 3, note->contentsRect().height());
  EXPECT_TRUE(window.rect().contains(note->geometry()));
  window.CancelButton()->click();
}

TEST(HelpLabels, EveryChannelWindowLabelIsBlueAndUnderlinedLikeTheViews) {
  GuiRig rig;
  rig.Show();
  rig.main->acHexaView->trigger();
  GuiRig::Settle();
  QWidget* hexaHelp = rig.main->HexaView()->lblAideHexa;
  const Ink reference = InkOf(hexaHelp);
  ASSERT_GT(reference.blue, 0);

  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    rig.main->ChannelCommand(i)->trigger();
    GuiRig::Settle();
    ui::TfrmChannel& w = *rig.main->ChannelWindow(i);
    for (QWidget* label : std::initializer_list<QWidget*>{w.lblAideChannel, w.lblAideManchester, w.Label9,
                                                           w.Label12, w.Label13, w.Label14}) {
      ASSERT_NE(label, nullptr);
      const Ink ink = InkOf(label);
      EXPECT_GT(ink.blue, 0);
      EXPECT_EQ(ink.other, 0);
      auto* help = qobject_cast<QLabel*>(label);
      ASSERT_NE(help, nullptr);
      EXPECT_TRUE(help->font().underline());
      EXPECT_TRUE(help->font().bold());
      EXPECT_EQ(help->cursor().shape(), Qt::WhatsThisCursor);
    }
  }
}
