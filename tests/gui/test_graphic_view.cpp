// The Graphic view: the rolling picture against a picture shifted one pixel per column, the
// columns that replays draw (read from the window as it shows them), the resolution buttons,
// scrolling and resizing.

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>

#include "CanEncoder.h"
#include "GuiRig.h"
#include "Waveform.h"
#include "ui/views/Graphic.h"
#include "ui/views/RollingPicture.h"

using namespace velkor;
using namespace velkor::test;
using velkor::ui::RollingPicture;

namespace {

constexpr int kSamplesPer10ms = 4167;
constexpr QRgb kBlack = 0xFF000000u;

// The picture drawn the slow way: every column moves the whole picture one pixel left.
class ShiftingPicture {
 public:
  ShiftingPicture() : image_(5000, 69, QImage::Format_RGB32) { image_.fill(Qt::black); }

  const QImage& Image() const { return image_; }

  void Clear() {
    QPainter p(&image_);
    p.fillRect(QRect(0, 0, 5000, 68), Qt::black);
  }

  void DrawColumn(std::uint32_t trace, std::uint32_t event, const std::array<QRgb, 4>& colours) {
    for (int y = 0; y < 68; ++y) {
      auto* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
      std::memmove(row, row + 1, 4999 * sizeof(QRgb));
    }
    QPainter p(&image_);
    p.setPen(Qt::black);
    p.drawLine(4999, 0, 4999, 67);
    for (int k = 0; k < 4; ++k) {
      const bool t = (trace >> k) & 1, e = (event >> k) & 1;
      p.setPen(QColor::fromRgb(colours[k]));
      if (t && e) p.drawLine(4999, 16 * k + 6, 4999, 16 * k + 14);
      else if (t) p.drawPoint(4999, 16 * k + 14);
      else if (e) p.drawPoint(4999, 16 * k + 6);
    }
  }

 private:
  QImage image_;
};

std::string FirstDifference(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return "sizes differ";
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y))
        return "first difference at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
  return "";
}

// What channel k's band shows in one column of an image whose row 0 is the picture's row 0.
enum class Mark { None, Low, High, Bar, Other };

Mark MarkAt(const QImage& image, int x, int k, QRgb colour) {
  bool low = false, high = false, between = true;
  for (int row = 0; row < 16; ++row) {
    const QRgb p = image.pixel(x, 16 * k + row) | 0xFF000000u;
    if (p == kBlack) {
      if (row > 6 && row < 14) between = false;
      continue;
    }
    if (p != colour) return Mark::Other;
    if (row == 6) high = true;
    else if (row == 14) low = true;
    else if (row < 6 || row > 14) return Mark::Other;
  }
  if (low && high) return between ? Mark::Bar : Mark::Other;
  if (low) return Mark::Low;
  if (high) return Mark::High;
  return Mark::None;
}

const char* Name(Mark m) {
  switch (m) {
    case Mark::None: return "none";
    case Mark::Low: return "low";
    case Mark::High: return "high";
    case Mark::Bar: return "bar";
    case Mark::Other: break;
  }
  return "other";
}

// The marks of channel k in the `count` newest columns, oldest first, e.g. "low low bar".
std::string NewestMarks(const QImage& image, int rightX, int count, int k, QRgb colour) {
  std::string s;
  for (int x = rightX - count + 1; x <= rightX; ++x) s += std::string(s.empty() ? "" : " ") + Name(MarkAt(image, x, k, colour));
  return s;
}

const std::array<Colour, 4> kTraceColours{Colour{255, 64, 0}, Colour{0, 200, 255}, Colour{250, 250, 0},
                                          Colour{200, 0, 200}};

QRgb Rgb(Colour c) { return qRgb(c.red, c.green, c.blue); }

// A shown main window with the Graphic view shown, at 10 ms per column, with distinct trace
// colours and no decoder on any channel.
struct GraphicRig : GuiRig {
  GraphicRig() {
    Settings& s = main->GetSettings();
    for (auto& ch : s.channels) {
      ch.type = ChannelType::None;
      ch.active = true;
    }
    Show();
    s.traceColours = kTraceColours;
    main->acGraphicViewExecute();
    View().ResolutionButton(ColumnResolution::Ms10)->setChecked(true);
    Settle();
  }
  ui::TfrmGraphicView& View() { return *main->GraphicView(); }
  Settings& GetSettings() { return main->GetSettings(); }
  void Replay(const std::vector<std::uint8_t>& samples) {
    main->ReplayCaptureFile(QString::fromStdString(dir.Write("capture.bin", samples)));
  }
  // The panel as the window shows it.
  QImage Panel() { return View().PicturePanel()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  int NewestX() { return View().PicturePanel()->width() - 1; }
};

// Samples holding channel k at the levels of `levels`, one character per sample.
void SetLevels(std::vector<std::uint8_t>& samples, std::size_t from, std::size_t count, int k, int level) {
  for (std::size_t n = from; n < from + count; ++n)
    samples[n] = static_cast<std::uint8_t>(level ? samples[n] | (1u << k) : samples[n] & ~(1u << k));
}

}  // namespace

TEST(RollingPicture, LooksExactlyLikeThePictureShiftedOnePixelPerColumn) {
  RollingPicture ring;
  ShiftingPicture reference;
  std::mt19937 random(15);
  std::array<QRgb, 4> colours{qRgb(128, 255, 128), qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(10, 20, 30)};
  auto draw = [&](int columns) {
    for (int i = 0; i < columns; ++i) {
      // A colour changed now and then: the columns drawn before keep theirs.
      if (random() % 500 == 0) colours[random() % 4] = qRgb(random() % 256, random() % 256, random() % 256);
      const std::uint32_t trace = random() & 0xF, event = random() & 0xF;
      ring.DrawColumn(trace, event, colours);
      reference.DrawColumn(trace, event, colours);
    }
  };
  auto same = [&] { return FirstDifference(ring.ToImage(), reference.Image()); };

  EXPECT_EQ(same(), "") << "a new picture";
  draw(1);
  EXPECT_EQ(same(), "") << "one column";
  draw(699);
  EXPECT_EQ(same(), "") << "700 columns";
  ring.Clear();
  reference.Clear();
  EXPECT_EQ(same(), "") << "cleared";
  draw(4300);
  EXPECT_EQ(same(), "") << "5000 columns: the ring went round once";
  draw(1);
  EXPECT_EQ(same(), "") << "the first column fell off";
  draw(2345);
  EXPECT_EQ(same(), "") << "7346 columns";

  // A piece rendered elsewhere in an image is the same piece.
  QImage piece(100, 30, QImage::Format_RGB32);
  piece.fill(Qt::white);
  ring.Render(piece, QRect(4950, 50, 80, 40), QPoint(10, 5));
  EXPECT_EQ(piece.pixel(9, 5), qRgb(255, 255, 255));
  EXPECT_EQ(piece.pixel(10, 5), reference.Image().pixel(4950, 50));
  EXPECT_EQ(piece.pixel(59, 23), reference.Image().pixel(4999, 68));
  EXPECT_EQ(piece.pixel(60, 23), qRgb(255, 255, 255)) << "past the picture's right edge";
  EXPECT_EQ(piece.pixel(10, 24), qRgb(255, 255, 255)) << "past the picture's last row";
}

TEST(GraphicView, IsLaidOutAsAFixedHeightStripWithTwentyMillisecondsChosen) {
  GuiRig rig;
  rig.Show();
  rig.main->acGraphicViewExecute();
  GuiRig::Settle();
  ui::TfrmGraphicView& view = *rig.main->GraphicView();

  EXPECT_EQ(view.windowTitle(), "Graphic view");
  EXPECT_TRUE(view.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(view.ClientSize(), QSize(843, 115));
  EXPECT_TRUE(view.ResolutionButton(ColumnResolution::Ms20)->isChecked());
  EXPECT_EQ(rig.main->GetSettings().scrolling, ColumnResolution::Ms20);
  const char* captions[] = {"10ms", "20ms", "50ms", "100ms"};
  for (int i = 0; i < 4; ++i) {
    QRadioButton* b = view.ResolutionButton(static_cast<ColumnResolution>(i));
    EXPECT_EQ(b->text(), captions[i]);
    EXPECT_EQ(b->parentWidget(), view.ResolutionPanel());
  }
  EXPECT_EQ(view.HelpLabel()->text(), "?");
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(view.ChannelLabel(k)->y(), 21 + 16 * k);
    EXPECT_EQ(view.ChannelLabel(k)->text(), QString("Cha%1").arg(k + 1));
    EXPECT_TRUE(view.ChannelMark(k)->geometry().contains(view.ChannelLabel(k)->geometry()));
    EXPECT_EQ(view.ChannelMark(k)->palette().color(QPalette::Window), rig.main->ChannelTextColour(k));
  }
  EXPECT_EQ(view.PicturePanel()->size(), QSize(780, 68));
  EXPECT_EQ(view.PictureWidget()->size(), QSize(5000, 69));
  EXPECT_EQ(view.ScrollBar()->maximum(), 4220);
  EXPECT_EQ(view.ScrollBar()->value(), 4220);
  EXPECT_EQ(view.ScrollBar()->pageStep(), 422);
  EXPECT_EQ(view.ScrollBar()->singleStep(), 1);
  EXPECT_EQ(view.PictureWidget()->x(), -4220);
  EXPECT_FALSE(view.Client()->rect().intersects(view.FocusEdit()->geometry()));
  EXPECT_EQ(view.focusWidget(), view.FocusEdit());

  view.SetChannelCaption(2, "Door");
  EXPECT_EQ(view.ChannelLabel(2)->text(), "Door");
  view.resize(843, 300);
  EXPECT_EQ(view.ClientSize(), QSize(843, 115)) << "the height is fixed";
}

TEST(GraphicView, ResolutionButtonsSetTheScrollingAtOnceExceptWhileLocked) {
  GuiRig rig;
  rig.Show();
  rig.main->acGraphicViewExecute();
  GuiRig::Settle();
  ui::TfrmGraphicView& view = *rig.main->GraphicView();
  Settings& settings = rig.main->GetSettings();

  QTest::mouseClick(view.ResolutionButton(ColumnResolution::Ms100), Qt::LeftButton);
  EXPECT_EQ(settings.scrolling, ColumnResolution::Ms100);
  EXPECT_FALSE(view.ResolutionButton(ColumnResolution::Ms20)->isChecked());

  view.SetResolutionEnabled(false);
  QTest::mouseClick(view.ResolutionButton(ColumnResolution::Ms10), Qt::LeftButton);
  EXPECT_EQ(settings.scrolling, ColumnResolution::Ms100) << "locked during a run";
  view.SetResolutionEnabled(true);
  QTest::mouseClick(view.ResolutionButton(ColumnResolution::Ms10), Qt::LeftButton);
  EXPECT_EQ(settings.scrolling, ColumnResolution::Ms10);

  // A configuration file sets the buttons; one that names no resolution checks none.
  ASSERT_FALSE(rig.main->LoadConfiguration(
      QString::fromStdString(rig.dir.Write("fifty.cfg", "[GRAPHIC]\nScrolling=50ms\n"))));
  EXPECT_TRUE(view.ResolutionButton(ColumnResolution::Ms50)->isChecked());
  EXPECT_FALSE(view.ResolutionButton(ColumnResolution::Ms10)->isChecked());
  ASSERT_FALSE(rig.main->LoadConfiguration(
      QString::fromStdString(rig.dir.Write("odd.cfg", "[GRAPHIC]\nScrolling=5ms\n"))));
  for (int i = 0; i < 4; ++i)
    EXPECT_FALSE(view.ResolutionButton(static_cast<ColumnResolution>(i))->isChecked()) << i;
}

TEST(GraphicView, AnIdleCanChannelDrawsTheLowLineAndAFrameABar) {
  GraphicRig rig;
  Settings& s = rig.GetSettings();
  s.channels[0].type = ChannelType::Can;
  s.channels[0].canFile = rig.dir.Write("bus.cfd", "[BAUDRATE]\nValue=125000\n[ID]\n131=PIC_StatusFrame\n");

  Capture capture;
  SignalBuilder& bus = capture.channel[0];
  bus.Idle(45000);
  CanEncoder(bus, 125000).Frame(CanFrame{0x131, false, 2, {0x12, 0x34}});
  bus.IdleUntil(100000);
  const std::vector<std::uint8_t> bytes = capture.FileBytes();
  rig.Replay(bytes);

  const auto& lines = rig.main->GetPipeline().Lines();
  ASSERT_EQ(lines.size(), 1u);
  // The frame's line falls in the column holding its sample.
  const std::string line(lines.Line(0));
  const std::uint64_t date = std::stoull(line.substr(2));
  SampleIndex sample = date * 5 / 12;
  while (SampleTimeMicros(sample) < date) ++sample;
  const int columns = static_cast<int>(bytes.size() / kSamplesPer10ms);
  const int frameColumn = static_cast<int>(sample / kSamplesPer10ms);
  ASSERT_GT(columns, frameColumn + 1);

  const QImage panel = rig.Panel();
  std::string expected;
  for (int c = 0; c < columns; ++c) expected += std::string(c ? " " : "") + (c == frameColumn ? "bar" : "low");
  EXPECT_EQ(NewestMarks(panel, rig.NewestX(), columns, 0, Rgb(kTraceColours[0])), expected);
  EXPECT_EQ(MarkAt(panel, rig.NewestX() - columns, 0, Rgb(kTraceColours[0])), Mark::None) << "before the run";
  for (int k = 1; k < 4; ++k)
    for (int x = 0; x <= rig.NewestX(); ++x)
      ASSERT_EQ(MarkAt(panel, x, k, Rgb(kTraceColours[k])), Mark::None) << "channel " << k << " column " << x;
}

TEST(GraphicView, ALogicalChannelDrawsItsLevelAndABarWhereItChanged) {
  GraphicRig rig;
  rig.GetSettings().channels[1].type = ChannelType::Logical;
  rig.GetSettings().channels[1].generation = false;

  // Nine columns: three held low, three held high, three with both levels.
  std::vector<std::uint8_t> samples(9 * kSamplesPer10ms, 0);
  SetLevels(samples, 3 * kSamplesPer10ms, 3 * kSamplesPer10ms, 1, 1);
  SetLevels(samples, 6 * kSamplesPer10ms + 1000, 10, 1, 1);
  SetLevels(samples, 7 * kSamplesPer10ms, 1, 1, 1);  // the column's first sample only
  SetLevels(samples, 9 * kSamplesPer10ms - 1, 1, 1, 1);  // the column's last sample only
  rig.Replay(samples);

  const QImage panel = rig.Panel();
  EXPECT_EQ(NewestMarks(panel, rig.NewestX(), 9, 1, Rgb(kTraceColours[1])),
            "low low low high high high bar bar bar");
  for (int k : {0, 2, 3}) EXPECT_EQ(NewestMarks(panel, rig.NewestX(), 9, k, Rgb(kTraceColours[k])),
                                    "none none none none none none none none none");
}

TEST(GraphicView, AtTenMillisecondsThe4167thSampleAfterAColumnDrawsTheNext) {
  GraphicRig rig;
  QTest::mouseClick(rig.View().ResolutionButton(ColumnResolution::Ms10), Qt::LeftButton);
  rig.GetSettings().channels[0].type = ChannelType::Logical;
  rig.GetSettings().channels[0].generation = false;
  auto columnsDrawn = [&](std::size_t samples) {
    rig.Replay(std::vector<std::uint8_t>(samples, 1));
    int lit = 0;
    for (int x = 0; x < RollingPicture::kWidth; ++x) lit += rig.View().Picture().Pixel(x, 6) != kBlack;
    return lit;
  };
  EXPECT_EQ(columnsDrawn(kSamplesPer10ms - 1), 0);
  EXPECT_EQ(columnsDrawn(kSamplesPer10ms), 1);
  EXPECT_EQ(columnsDrawn(2 * kSamplesPer10ms - 1), 1);
  EXPECT_EQ(columnsDrawn(2 * kSamplesPer10ms), 2);
  EXPECT_EQ(columnsDrawn(7 * kSamplesPer10ms + 5), 7);
  // The next run starts on a cleared picture: the dots are this run's only.
  EXPECT_EQ(columnsDrawn(3 * kSamplesPer10ms), 3);
}

TEST(GraphicView, AfterAResizeTheNewestColumnIsAtTheRightEndAndTheBarScrollsBack) {
  GraphicRig rig;
  ui::TfrmGraphicView& view = rig.View();
  // 5000 columns: the oldest a high dot, the newest a bar, the others low dots.
  view.DrawColumn(0, 1);
  for (int i = 1; i < 4999; ++i) view.DrawColumn(1, 0);
  view.DrawColumn(1, 1);
  const QRgb colour = Rgb(kTraceColours[0]);

  view.ScrollBar()->setValue(1000);
  view.SetClientSize(QSize(600, 115));
  GuiRig::Settle();
  const int width = view.PicturePanel()->width();
  EXPECT_EQ(width, 600 - 63);
  EXPECT_EQ(view.ScrollBar()->maximum(), 5000 - width);
  EXPECT_EQ(view.ScrollBar()->value(), 5000 - width);
  QImage panel = rig.Panel();
  EXPECT_EQ(MarkAt(panel, width - 1, 0, colour), Mark::Bar);
  EXPECT_EQ(MarkAt(panel, width - 2, 0, colour), Mark::Low);

  // Back to the oldest column at the left edge.
  view.ScrollBar()->setValue(0);
  panel = rig.Panel();
  EXPECT_EQ(MarkAt(panel, 0, 0, colour), Mark::High);
  EXPECT_EQ(MarkAt(panel, 1, 0, colour), Mark::Low);

  // A panel wider than the picture shows all of it from the left.
  view.SetClientSize(QSize(5200, 115));
  GuiRig::Settle();
  EXPECT_EQ(view.ScrollBar()->maximum(), 0);
  panel = rig.Panel();
  EXPECT_EQ(MarkAt(panel, 0, 0, colour), Mark::High);
  EXPECT_EQ(MarkAt(panel, 4999, 0, colour), Mark::Bar);
  EXPECT_EQ(MarkAt(panel, 5000, 0, colour), Mark::None);
}
