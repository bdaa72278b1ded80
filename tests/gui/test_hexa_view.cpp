// The Hexa view: rows drawn from the line list, the relative time and selection count,
// Copy, Save, Edit, Clear, and the rows following the list in batches during a replay.

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QImage>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "GuiRig.h"
#include "app/Cp1252.h"
#include "views/LineText.h"
#include "ui/Progress.h"
#include "ui/views/Edit.h"
#include "ui/views/HexaView.h"
#include "ui/views/LineList.h"

using namespace velkor;
using namespace velkor::test;
using velkor::ui::LinePanel;
using velkor::ui::TfrmHexaView;

namespace {

struct HexaRig : GuiRig {
  HexaRig() {
    Show();
    main->acHexaView->trigger();
    hexa = main->HexaView();
    panel = &hexa->Panel();
    Settle();
  }
  DecodedLineList& Lines() { return main->GetPipeline().Services().lines; }
  void Add(std::initializer_list<std::string_view> lines) {
    for (std::string_view l : lines) Lines().Append(l);
    hexa->SyncLines();
  }
  // Rows "0,<date>,x," at the given dates.
  void AddDates(std::initializer_list<long long> dates) {
    for (long long d : dates) Lines().Append("0," + std::to_string(d) + ",ID=1,");
    hexa->SyncLines();
  }
  QPoint RowCentre(int row) { return panel->lstHexa->visualRect(panel->Model().index(row)).center(); }
  void Click(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::mouseClick(panel->lstHexa->viewport(), Qt::LeftButton, modifiers, RowCentre(row));
  }
  QString Status(int panelIndex) { return panel->StatusText(panelIndex); }

  TfrmHexaView* hexa = nullptr;
  LinePanel* panel = nullptr;
};

// A row drawn alone into an image 600 pixels wide.
QImage RenderRow(const LinePanel& panel, std::string_view line, bool selected = false) {
  QImage image(600, ui::kLineRowHeight, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  const_cast<LinePanel&>(panel).Delegate().PaintLine(painter, image.rect(), line, selected);
  return image;
}

// Width of n characters as the row drawing advances.
int Advance(LinePanel& panel, int n) { return panel.Delegate().TextWidth(std::string(static_cast<std::size_t>(n), '0')); }

bool IsInk(QRgb p) { return qRed(p) < 230 || qGreen(p) < 230 || qBlue(p) < 230; }

// First and last column in [from, to) holding a pixel that `ink` accepts; -1 when none.
std::pair<int, int> InkColumns(const QImage& image, int from, int to, const std::function<bool(QRgb)>& ink) {
  int first = -1, last = -1;
  for (int x = from; x < to && x < image.width(); ++x)
    for (int y = 0; y < image.height(); ++y)
      if (ink(image.pixel(x, y))) {
        if (first < 0) first = x;
        last = x;
        break;
      }
  return {first, last};
}

bool AnyPixel(const QImage& image, int from, int to, const std::function<bool(QRgb)>& accept) {
  return InkColumns(image, from, to, accept).first >= 0;
}

// Channel 1 Logical, toggling every second sample: one line per two samples.
std::vector<std::uint8_t> ToggleCapture(std::size_t lines) {
  std::vector<std::uint8_t> bytes(lines * 2);
  for (std::size_t n = 0; n < bytes.size(); ++n) bytes[n] = static_cast<std::uint8_t>((n / 2) & 1);
  return bytes;
}

void OneLogicalChannel(Settings& s) {
  for (auto& ch : s.channels) ch.active = false;
  s.channels[0].type = ChannelType::Logical;
  s.channels[0].active = true;
  s.channels[0].generation = true;
}

}  // namespace

TEST(HexaView, ControlsAsCreated) {
  HexaRig rig;
  EXPECT_EQ(rig.hexa->windowTitle(), "Hexadecimal View");
  EXPECT_EQ(rig.hexa->ClientSize(), QSize(657, 462));
  EXPECT_EQ(rig.hexa->minimumSize(), QSize(600, 250));
  EXPECT_EQ(rig.panel->lblDate->text(), "Date (ms)");
  EXPECT_EQ(rig.panel->lblDate->toolTip(), "Click to change unit");
  EXPECT_EQ(rig.hexa->Label2->text(), "Chan");
  EXPECT_EQ(rig.hexa->Label2->x(), 8);
  EXPECT_EQ(rig.hexa->Label3->text(), "Frame");
  EXPECT_EQ(rig.hexa->Label3->x(), 150);
  EXPECT_EQ(rig.hexa->Label2->palette().color(QPalette::Window), QColor(223, 223, 223));
  EXPECT_TRUE(rig.hexa->chkClear->isChecked());
  EXPECT_FALSE(rig.hexa->chkAutoScroll->isChecked());
  EXPECT_EQ(rig.panel->scbFrame->minimum(), 0);
  EXPECT_EQ(rig.panel->scbFrame->maximum(), 15);
  QStringList menu;
  for (QAction* a : rig.panel->PopupMenu->actions()) menu << a->text();
  EXPECT_EQ(menu, QStringList({"Save", "Save all", "Copy", "Edit", "", "Export..."}));
  EXPECT_EQ(rig.hexa->butSave->text(), "Save all");
}

TEST(HexaView, RowDrawingColumnsAndColours) {
  HexaRig rig;
  rig.main->GetSettings().textColours[0] = Colour{10, 200, 30};
  const int dateStart = 1 + Advance(*rig.panel, 6);
  const int fieldsStart = dateStart + Advance(*rig.panel, 13);
  const QImage row = RenderRow(*rig.panel, "0,1523642,ID=12A,DLC=2,DataFrame=00 01,");
  // The caption cell on the channel's colour, from x = 1 over six characters.
  EXPECT_EQ(QColor(row.pixel(0, 6)), QColor(Qt::white));
  EXPECT_EQ(QColor(row.pixel(dateStart - 1, 1)), QColor(10, 200, 30));
  EXPECT_EQ(QColor(row.pixel(1, 1)), QColor(10, 200, 30));
  // The date in grey: no dark ink, but grey.
  const auto grey = [](QRgb p) { return qRed(p) < 200 && qRed(p) == qGreen(p) && qGreen(p) == qBlue(p); };
  const auto dark = [](QRgb p) { return qRed(p) < 60 && qGreen(p) < 60 && qBlue(p) < 60; };
  EXPECT_TRUE(AnyPixel(row, dateStart, fieldsStart, grey));
  EXPECT_FALSE(AnyPixel(row, dateStart, fieldsStart, dark));
  // " ID=" in black, then "12A" in blue.
  const auto blue = [](QRgb p) { return qBlue(p) > 200 && qRed(p) < 100 && qGreen(p) < 100; };
  EXPECT_TRUE(AnyPixel(row, fieldsStart, fieldsStart + Advance(*rig.panel, 4), dark));
  EXPECT_FALSE(AnyPixel(row, fieldsStart, fieldsStart + Advance(*rig.panel, 4), blue));
  EXPECT_TRUE(AnyPixel(row, fieldsStart + Advance(*rig.panel, 4), fieldsStart + Advance(*rig.panel, 7), blue));

  // Markers: a described name in green, an error text in red, the marker never drawn.
  const QImage described = RenderRow(*rig.panel, "1,17867,$IDE=F0005800,");
  const auto green = [](QRgb p) { return qGreen(p) > 80 && qRed(p) < 60 && qBlue(p) < 60; };
  EXPECT_TRUE(AnyPixel(described, fieldsStart + Advance(*rig.panel, 1), fieldsStart + Advance(*rig.panel, 4), green));
  const auto [ideFirst, ideLast] = InkColumns(described, fieldsStart, 600, IsInk);
  EXPECT_GE(ideFirst, fieldsStart + Advance(*rig.panel, 1));      // the blank, then "I": no "$" before it
  EXPECT_LT(ideFirst, fieldsStart + Advance(*rig.panel, 2));
  EXPECT_LT(ideLast, fieldsStart + Advance(*rig.panel, 13));  // " IDE=F0005800" is 13 characters
  const QImage error = RenderRow(*rig.panel, "0,1390377,\xA3" "Error frame,");
  const auto red = [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 80 && qBlue(p) < 80; };
  EXPECT_TRUE(AnyPixel(error, fieldsStart, fieldsStart + Advance(*rig.panel, 12), red));

  // Selected: white on blue except the caption cell; the channel colour at paint time.
  rig.main->GetSettings().textColours[0] = Colour{250, 0, 250};
  const QImage selected = RenderRow(*rig.panel, "0,1523642,ID=12A,", true);
  EXPECT_EQ(QColor(selected.pixel(1, 1)), QColor(250, 0, 250));
  EXPECT_EQ(QColor(selected.pixel(dateStart + 1, 1)), QColor(0, 0, 255));
  EXPECT_EQ(QColor(selected.pixel(fieldsStart, 1)), QColor(0, 0, 255));
  EXPECT_FALSE(AnyPixel(selected, dateStart, fieldsStart + Advance(*rig.panel, 7), dark));
  // Past the last piece the row keeps the window colour.
  EXPECT_EQ(QColor(selected.pixel(590, 6)), QColor(Qt::white));

  // A list filled without the sink's cut may hold longer lines: drawn all the same.
  const QImage longRow = RenderRow(*rig.panel, "0,1," + std::string(3000, 'N') + "=" + std::string(3000, 'v') + ",");
  EXPECT_TRUE(AnyPixel(longRow, fieldsStart, 600, dark));
}

TEST(HexaView, DateInSecondsAndMilliseconds) {
  HexaRig rig;
  const int dateStart = 1 + Advance(*rig.panel, 6);
  const std::string_view line = "0,1523642,X,";
  // Milliseconds: 5 blanks, then "1523.642" up to the 13th character.
  auto [msFirst, msLast] = InkColumns(RenderRow(*rig.panel, line), dateStart, dateStart + Advance(*rig.panel, 13), IsInk);
  EXPECT_GE(msFirst, dateStart + Advance(*rig.panel, 5));
  EXPECT_LT(msFirst, dateStart + Advance(*rig.panel, 6));
  EXPECT_GE(msLast, dateStart + Advance(*rig.panel, 12));

  QTest::mouseClick(rig.panel->lblDate, Qt::LeftButton);
  EXPECT_EQ(rig.panel->lblDate->text(), "Date (s)");
  EXPECT_FALSE(rig.panel->Look().dateInMilliseconds);
  // Seconds: 8 blanks, then "1.523".
  auto [sFirst, sLast] = InkColumns(RenderRow(*rig.panel, line), dateStart, dateStart + Advance(*rig.panel, 13), IsInk);
  EXPECT_GE(sFirst, dateStart + Advance(*rig.panel, 8));
  EXPECT_LT(sFirst, dateStart + Advance(*rig.panel, 9));
  EXPECT_GE(sLast, dateStart + Advance(*rig.panel, 12));
  QTest::mouseClick(rig.panel->lblDate, Qt::LeftButton);
  EXPECT_EQ(rig.panel->lblDate->text(), "Date (ms)");
}

TEST(HexaView, FieldScrollHidesNamedFieldsBehindTheMarkAt140) {
  HexaRig rig;
  const std::string_view can = "0,1523642,ID=12A,DLC=2,DataFrame=00 01,";
  const QImage before = RenderRow(*rig.panel, can);
  const std::string_view errorRow = "0,1390377,\xA3" "Error frame,";
  const QImage errorBefore = RenderRow(*rig.panel, errorRow);

  rig.panel->scbFrame->setValue(1);
  const QImage after = RenderRow(*rig.panel, can);
  for (int y = 0; y < ui::kLineRowHeight; ++y) EXPECT_EQ(QColor(after.pixel(140, y)), QColor(Qt::black)) << y;
  // Nothing of "ID=12A" between the date and the mark; " DLC=2" starts at 141.
  const int fieldsStart = 1 + Advance(*rig.panel, 6) + Advance(*rig.panel, 13);
  EXPECT_FALSE(AnyPixel(after, fieldsStart, 140, IsInk));
  const auto [dlcFirst, dlcLast] = InkColumns(after, 141, 600, IsInk);
  EXPECT_GE(dlcFirst, 141 + Advance(*rig.panel, 1));
  EXPECT_LT(dlcFirst, 141 + Advance(*rig.panel, 2));
  EXPECT_NE(before, after);
  // A row with only a plain field has nothing to hide.
  EXPECT_EQ(RenderRow(*rig.panel, errorRow), errorBefore);

  // Scrolled past every named field: only the mark is left of the fields.
  rig.panel->scbFrame->setValue(15);
  const QImage all = RenderRow(*rig.panel, can);
  EXPECT_FALSE(AnyPixel(all, fieldsStart, 140, IsInk));
  EXPECT_FALSE(AnyPixel(all, 141, 600, IsInk));
}

TEST(HexaView, ClickShowsTheRelativeTimeAndTheSelectedLines) {
  HexaRig rig;
  rig.AddDates({0, 100, 105, 3000, 4000, 5000, 6000, 7500, 9000});
  rig.Click(0);
  EXPECT_EQ(rig.Status(0), "Relative time : -");
  EXPECT_EQ(rig.Status(1), "Selected lines : 1");

  rig.Click(2);
  EXPECT_EQ(rig.Status(0), "Relative time : 0.005ms");
  EXPECT_EQ(rig.Status(1), "Selected lines : 1");
  EXPECT_FALSE(rig.Lines().Selected(0));
  EXPECT_TRUE(rig.Lines().Selected(2));

  // Rows 3 to 7 selected, the focus moved to row 5 without changing the selection.
  rig.Click(3);
  rig.Click(7, Qt::ShiftModifier);
  QTest::keyClick(rig.panel->lstHexa, Qt::Key_Up, Qt::ControlModifier);
  QTest::keyClick(rig.panel->lstHexa, Qt::Key_Up, Qt::ControlModifier);
  ASSERT_EQ(rig.panel->lstHexa->currentIndex().row(), 5);
  EXPECT_EQ(rig.Status(0), "Relative time : 4.500ms");
  EXPECT_EQ(rig.Status(1), "Selected lines : 5");
  for (std::size_t i = 0; i < rig.Lines().size(); ++i) EXPECT_EQ(rig.Lines().Selected(i), i >= 3 && i <= 7) << i;

  // A row clicked out of the block starts a new one.
  rig.Click(8);
  EXPECT_EQ(rig.Status(0), "Relative time : 1.500ms");
  EXPECT_EQ(rig.Status(1), "Selected lines : 1");
}

TEST(HexaView, StatusPanelsFollowCtrlAAndForgetClearedRows) {
  HexaRig rig;
  rig.AddDates({0, 100, 105, 3000});
  rig.Click(2);
  ASSERT_EQ(rig.Status(1), "Selected lines : 1");

  QTest::keyClick(rig.panel->lstHexa, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(rig.Status(0), "Relative time : 3.000ms");
  EXPECT_EQ(rig.Status(1), "Selected lines : 4");

  // Clear empties the list: no row is selected or timed any more.
  rig.hexa->butClear->click();
  EXPECT_EQ(rig.Status(0), "");
  EXPECT_EQ(rig.Status(1), "");
  EXPECT_EQ(rig.Status(2), "0 lines");

  // A run that clears the list on its start, then Ctrl+A with no current row.
  rig.AddDates({10, 20, 30});
  rig.Click(1);
  rig.Lines().Clear();
  rig.AddDates({0, 40, 90});
  EXPECT_EQ(rig.Status(0), "");
  EXPECT_EQ(rig.Status(1), "");
  QTest::keyClick(rig.panel->lstHexa, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(rig.Status(0), "Relative time : 0.090ms");
  EXPECT_EQ(rig.Status(1), "Selected lines : 3");
}

TEST(HexaView, CopyPutsTheSelectedRowsOnTheClipboard) {
  HexaRig rig;
  rig.main->GetSettings().channels[1].caption = "Door";
  rig.Add({"0,1523642,ID=12A,DLC=2,", "1,33398,New Value=1,", "2,5,\xA3" "Bad\x95,", "1,40000,New Value=0,"});
  rig.Click(1);
  rig.Click(2, Qt::ControlModifier);
  QApplication::clipboard()->setText("before");
  rig.panel->mnuCopy->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(),
            QString::fromUtf8("Door         33.398 New Value=1\r\nCha3          0.005 Bad\u2022\r\n"));

  // Nothing selected: the clipboard keeps what it had.
  rig.Click(1, Qt::ControlModifier);
  rig.Click(2, Qt::ControlModifier);
  QApplication::clipboard()->setText("before");
  rig.panel->mnuCopy->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), "before");
}

namespace {

// The peak of the process's resident memory in bytes since the last ResetPeakMemory.
long long PeakMemory() {
  QFile status("/proc/self/status");
  if (!status.open(QIODevice::ReadOnly)) return -1;
  const QRegularExpressionMatch m = QRegularExpression("VmHWM:\\s*(\\d+) kB").match(QString(status.readAll()));
  return m.hasMatch() ? m.captured(1).toLongLong() * 1024 : -1;
}
bool ResetPeakMemory() {
  QFile refs("/proc/self/clear_refs");
  return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

}  // namespace

TEST(HexaView, ACopyOfManyRowsShowsItsProgressAndHoldsTheTextOnce) {
  HexaRig rig;
  constexpr int kRows = 300000;
  for (int i = 0; i < kRows; ++i)
    rig.Lines().Append("1," + std::to_string(i * 7) + ",ID=1A2,DLC=8,Data=00 11 22 33 44 55 66 77,");
  rig.hexa->SyncLines();
  QTest::keyClick(rig.panel->lstHexa, Qt::Key_A, Qt::ControlModifier);
  ASSERT_EQ(rig.Status(1), "Selected lines : 300000");

  struct ProgressSpy : QObject {
    ui::TfrmProgress& progress;
    QString title;
    bool stoppable = true;
    explicit ProgressSpy(ui::TfrmProgress& p) : progress(p) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Show) {
        title = progress.Title();
        stoppable = progress.StopButton()->isEnabled();
      }
      return false;
    }
  } spy(rig.main->Progress());
  rig.main->Progress().installEventFilter(&spy);
  const bool measured = ResetPeakMemory();
  const long long before = PeakMemory();
  rig.panel->mnuCopy->trigger();
  const long long peak = PeakMemory() - before;
  rig.main->Progress().removeEventFilter(&spy);

  EXPECT_EQ(spy.title, "Copy...");
  EXPECT_FALSE(spy.stoppable);
  EXPECT_FALSE(rig.main->Progress().isVisible());
  const QByteArray copied = QApplication::clipboard()->mimeData()->data("text/plain");
  ASSERT_EQ(copied.count('\n'), kRows);
  EXPECT_TRUE(copied.startsWith("Cha2          0.000 ID=1A2 DLC=8 Data=00 11 22 33 44 55 66 77\r\nCha2          0.007 "));
#if !defined(__SANITIZE_ADDRESS__)
  // The text as the clipboard keeps it, a part being made, and little else.
  if (measured && before > 0) {
    EXPECT_LT(peak, copied.size() * 3 / 2) << "text " << copied.size();
  }
#endif
  (void)peak;
}

TEST(HexaView, SaveWritesTheSelectedRowsAndSaveAllEveryRow) {
  HexaRig rig;
  rig.Add({"0,1000,A=1,", "0,2000,B=2,", "1,3000,\xA3" "C\x95,"});
  const QString path = QString::fromStdString(rig.dir.File("lines.txt"));

  // "Save" with no selected row: an empty file.
  rig.dialogs.files.push_back(path);
  rig.panel->mnuSave->trigger();
  ASSERT_EQ(rig.dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(rig.dialogs.fileRequests[0].filter, "Text files (*.txt)|*.txt");
  EXPECT_EQ(rig.dialogs.fileRequests[0].defaultExtension, "txt");
  EXPECT_EQ(ReadWholeFile(path.toStdString()), "");

  rig.Click(1);
  rig.dialogs.files.push_back(path);
  rig.panel->mnuSave->trigger();
  EXPECT_EQ(ReadWholeFile(path.toStdString()), "Cha1          2.000 B=2\r\n");

  // "Save all" from the button: every row, UTF-8, CR LF.
  rig.dialogs.files.push_back(path);
  rig.hexa->butSave->click();
  EXPECT_EQ(ReadWholeFile(path.toStdString()),
            "Cha1          1.000 A=1\r\nCha1          2.000 B=2\r\nCha2          3.000 C\xE2\x80\xA2\r\n");

  // Cancelled: nothing written, nothing shown.
  rig.panel->mnuSaveAll->trigger();
  EXPECT_TRUE(rig.dialogs.messages.empty());
}

TEST(HexaView, ExportWritesTheFormatOfTheChosenFilter) {
  HexaRig rig;
  rig.Lines().Append("0,1000,ID=Named,DLC=1,DataFrame=42,", FrameTag::Can(0x12A, false));
  rig.Lines().Append("1,2000,New Value=1,");
  rig.Lines().Append("2,3000,\xA3" "Bad Synchro byte,", FrameTag::NoId(FrameBus::Lin));
  rig.Lines().Append("0,4000,ID=7FF,DLC=0,DataFrame=,", FrameTag::Can(0x7FF, false));
  rig.hexa->SyncLines();
  const QString path = QString::fromStdString(rig.dir.File("frames.log"));

  // The third filter is candump's: the identifier, not the name shown.
  rig.dialogs.files.push_back(path);
  rig.dialogs.filterChoices.push_back(2);
  rig.panel->mnuExport->trigger();
  ASSERT_EQ(rig.dialogs.fileRequests.size(), 1u);
  EXPECT_TRUE(rig.dialogs.fileRequests[0].filter.startsWith("CSV tables (*.csv)|*.csv|JSON Lines (*.jsonl)|*.jsonl|"));
  EXPECT_EQ(ReadWholeFile(path.toStdString()), "(0.001000) velkor1 12A#42\n(0.004000) velkor1 7FF#\n");
  EXPECT_TRUE(rig.dialogs.messages.empty());

  // Several rows selected: asked whether only those go; Yes.
  rig.Click(0);
  rig.Click(1, Qt::ShiftModifier);
  rig.dialogs.files.push_back(path);
  rig.dialogs.filterChoices.push_back(2);
  rig.dialogs.answers.push_back(ui::Answer::Yes);
  rig.panel->mnuExport->trigger();
  ASSERT_EQ(rig.dialogs.messages.size(), 1u);
  EXPECT_EQ(rig.dialogs.messages[0].buttons, ui::Buttons::YesNoCancel);
  EXPECT_EQ(ReadWholeFile(path.toStdString()), "(0.001000) velkor1 12A#42\n");

  // A LIN capture of lines with no LIN frame record: the line left out is reported.
  rig.Click(2);
  const QString pcap = QString::fromStdString(rig.dir.File("lin.pcap"));
  rig.dialogs.files.push_back(pcap);
  rig.dialogs.filterChoices.push_back(6);
  rig.panel->mnuExport->trigger();
  ASSERT_EQ(rig.dialogs.messages.size(), 2u);
  EXPECT_EQ(rig.dialogs.messages[1].caption, "Warning");
  EXPECT_TRUE(rig.dialogs.messages[1].text.contains("1 lines of the bus")) << rig.dialogs.messages[1].text.toStdString();
  EXPECT_EQ(ReadWholeFile(pcap.toStdString()).size(), 24u);  // the pcap header alone
}

TEST(HexaView, SaveReportsAFileThatCannotBeWritten) {
  HexaRig rig;
  rig.Add({"0,1000,A=1,"});
  const QString path = QString::fromStdString(rig.dir.File("missing/folder/lines.txt"));
  rig.dialogs.files.push_back(path);
  rig.hexa->butSave->click();
  ASSERT_EQ(rig.dialogs.messages.size(), 1u);
  EXPECT_EQ(rig.dialogs.messages[0].caption, "Error");
  EXPECT_TRUE(rig.dialogs.messages[0].text.contains(path));
}

TEST(HexaView, EditShowsTheCurrentRowInTheLineEditionWindow) {
  HexaRig rig;
  auto& edit = rig.main->EditWindow();
  EXPECT_EQ(edit.windowTitle(), "Line Edition");
  EXPECT_EQ(edit.size(), QSize(852, 36));
  EXPECT_EQ(edit.txtEdit->width(), 785);

  // No row yet: nothing to show.
  rig.panel->mnuEdit->trigger();
  EXPECT_FALSE(edit.isVisible());

  rig.Add({"0,1000,A=1,", "0,2000,\xA3" "Bad\x95,"});
  rig.Click(1);
  QTest::mouseDClick(rig.panel->lstHexa->viewport(), Qt::LeftButton, Qt::NoModifier, rig.RowCentre(1));
  ASSERT_TRUE(edit.isVisible());
  EXPECT_TRUE(edit.isModal());
  EXPECT_EQ(edit.txtEdit->text(), QString::fromUtf8("Cha1          2.000 Bad\u2022"));
  // The offscreen platform does not activate a tool window by itself.
  QApplication::setActiveWindow(&edit);
  QTest::keyClick(&edit, Qt::Key_Escape);
  EXPECT_FALSE(edit.isVisible());

  rig.Click(0);
  rig.panel->mnuEdit->trigger();
  EXPECT_EQ(edit.txtEdit->text(), "Cha1          1.000 A=1");
  edit.butClose->click();
  EXPECT_FALSE(edit.isVisible());
}

TEST(HexaView, ClearEmptiesTheListAndTheRows) {
  HexaRig rig;
  rig.Add({"0,1,A=1,", "0,2,A=2,"});
  rig.Click(1);
  rig.hexa->butClear->click();
  EXPECT_TRUE(rig.Lines().empty());
  EXPECT_EQ(rig.panel->Model().rowCount(), 0);
  EXPECT_EQ(rig.Status(2), "0 lines");
  EXPECT_FALSE(rig.panel->lstHexa->currentIndex().isValid());
  rig.Add({"0,3,A=3,"});
  EXPECT_FALSE(rig.Lines().Selected(0));
}

TEST(HexaView, RowsFollowClearsRemovalsAndAppendsMadeBehindTheirBack) {
  HexaRig rig;
  for (int i = 0; i < 10; ++i) rig.Lines().Append("0," + std::to_string(i) + ",A=1,");
  rig.hexa->SyncLines();
  auto& model = rig.panel->Model();
  QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

  // Three taken from the front and two appended, unannounced: one removal, one insertion.
  for (int i = 0; i < 3; ++i) rig.Lines().RemoveFirst();
  rig.Lines().Append("0,10,A=1,");
  rig.Lines().Append("0,11,A=1,");
  rig.panel->lstHexa->viewport()->grab();  // a paint before the sync finds rows beyond the list
  rig.hexa->SyncLines();
  ASSERT_EQ(removed.count(), 1);
  EXPECT_EQ(removed[0][1].toInt(), 0);
  EXPECT_EQ(removed[0][2].toInt(), 2);
  ASSERT_EQ(inserted.count(), 1);
  EXPECT_EQ(model.rowCount(), 9);
  EXPECT_EQ(reset.count(), 0);

  // Cleared and refilled with more lines than before: a reset, not an append.
  rig.Lines().Clear();
  for (int i = 0; i < 20; ++i) rig.Lines().Append("1," + std::to_string(i) + ",B=1,");
  rig.hexa->SyncLines();
  EXPECT_EQ(reset.count(), 1);
  EXPECT_EQ(model.rowCount(), 20);

  // Cleared and not yet synced: painting rows beyond the list draws nothing and holds.
  rig.Lines().Clear();
  rig.panel->lstHexa->viewport()->grab();
  rig.hexa->SyncLines();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST(HexaView, RemovingTheOldestLineKeepsSelectionAndFlagsInStep) {
  HexaRig rig;
  rig.Add({"0,1,A=0,", "0,2,A=1,", "0,3,A=2,", "0,4,A=3,"});
  rig.Click(0);
  rig.Click(2, Qt::ControlModifier);
  QSignalSpy removed(&rig.panel->Model(), &QAbstractItemModel::rowsRemoved);
  rig.hexa->RemoveOldestLine();
  ASSERT_EQ(removed.count(), 1);
  EXPECT_EQ(rig.panel->Model().rowCount(), 3);
  EXPECT_EQ(rig.Lines().Line(0), "0,2,A=1,");
  const auto* selection = rig.panel->lstHexa->selectionModel();
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(selection->isSelected(rig.panel->Model().index(row)), row == 1) << row;
    EXPECT_EQ(rig.Lines().Selected(static_cast<std::size_t>(row)), row == 1) << row;
  }
  const QString path = QString::fromStdString(rig.dir.File("sel.txt"));
  rig.dialogs.files.push_back(path);
  rig.panel->mnuSave->trigger();
  EXPECT_EQ(ReadWholeFile(path.toStdString()), "Cha1          0.003 A=2\r\n");
}

TEST(HexaView, CheckBoxesAreTheHexaSettings) {
  HexaRig rig;
  rig.hexa->chkClear->click();
  rig.hexa->chkAutoScroll->click();
  EXPECT_FALSE(rig.main->GetSettings().hexaClear);
  EXPECT_TRUE(rig.main->GetSettings().hexaAutoScroll);
  const std::string cfg = rig.dir.Write("h.cfg", "[HEXA]\nClear=1\nAutoScroll=0\n");
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(cfg)));
  EXPECT_TRUE(rig.hexa->chkClear->isChecked());
  EXPECT_FALSE(rig.hexa->chkAutoScroll->isChecked());
}

TEST(HexaView, ClearOnRunDecidesWhetherARunStartsFromAnEmptyList) {
  HexaRig rig;
  OneLogicalChannel(rig.main->GetSettings());
  const QString capture = QString::fromStdString(rig.dir.Write("t.bin", ToggleCapture(50)));
  rig.main->ReplayCaptureFile(capture);
  EXPECT_EQ(rig.panel->Model().rowCount(), 50);
  rig.main->ReplayCaptureFile(capture);
  EXPECT_EQ(rig.panel->Model().rowCount(), 50);
  EXPECT_EQ(rig.Status(2), "50 lines");
  rig.hexa->chkClear->setChecked(false);
  rig.main->ReplayCaptureFile(capture);
  EXPECT_EQ(rig.panel->Model().rowCount(), 100);
  EXPECT_EQ(rig.Status(2), "100 lines");
}

TEST(HexaView, AHundredThousandLinesInOneReplayArriveInBatches) {
  HexaRig rig;
  OneLogicalChannel(rig.main->GetSettings());
  rig.hexa->chkAutoScroll->setChecked(true);
  const std::size_t n = 100000;
  const QString capture = QString::fromStdString(rig.dir.Write("long.bin", ToggleCapture(n)));
  QSignalSpy inserted(&rig.panel->Model(), &QAbstractItemModel::rowsInserted);
  QSignalSpy reset(&rig.panel->Model(), &QAbstractItemModel::modelReset);
  rig.main->ReplayCaptureFile(capture);

  ASSERT_EQ(rig.Lines().size(), n);
  EXPECT_EQ(rig.panel->Model().rowCount(), static_cast<int>(n));
  EXPECT_EQ(rig.Status(2), "100000 lines");
  // The run start's clear resets the rows once; then one insertion per batch, never one
  // per line.
  EXPECT_EQ(reset.count(), 1);
  EXPECT_LT(inserted.count(), 1000);
  // AutoScroll: the last row is in view, as low as the list scrolls.
  auto* list = rig.panel->lstHexa;
  const QRect last = list->visualRect(rig.panel->Model().index(static_cast<int>(n) - 1));
  EXPECT_TRUE(list->viewport()->rect().contains(last)) << last.y();
  EXPECT_EQ(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
  EXPECT_EQ(list->TopRow(), static_cast<int>(n) - list->PageRows());
}

TEST(HexaView, WithoutAutoScrollTheListStaysWhereItIs) {
  HexaRig rig;
  OneLogicalChannel(rig.main->GetSettings());
  rig.main->ReplayCaptureFile(QString::fromStdString(rig.dir.Write("t.bin", ToggleCapture(5000))));
  EXPECT_EQ(rig.panel->lstHexa->TopRow(), 0);
  EXPECT_EQ(rig.Status(2), "5000 lines");
}

TEST(HexaView, KeyboardAndPagesOverManyRows) {
  HexaRig rig;
  for (int i = 0; i < 1000; ++i) rig.Lines().Append("0," + std::to_string(i * 10) + ",A=1,");
  rig.hexa->SyncLines();
  auto* list = rig.panel->lstHexa;
  rig.Click(0);
  QTest::keyClick(list, Qt::Key_PageDown);
  EXPECT_EQ(list->currentIndex().row(), list->PageRows());
  QTest::keyClick(list, Qt::Key_End);
  EXPECT_EQ(list->currentIndex().row(), 999);
  EXPECT_TRUE(list->viewport()->rect().contains(list->visualRect(list->currentIndex())));
  EXPECT_EQ(rig.Status(0), "Relative time : 0.010ms");
  QTest::keyClick(list, Qt::Key_Home, Qt::ShiftModifier);
  EXPECT_EQ(list->TopRow(), 0);
  EXPECT_EQ(rig.Status(1), "Selected lines : 1000");
  EXPECT_EQ(rig.Status(0), "Relative time : 9.990ms");
  // A right click keeps the selection for the pop-up menu.
  QTest::mouseClick(list->viewport(), Qt::RightButton, Qt::NoModifier, rig.RowCentre(3));
  EXPECT_TRUE(rig.Lines().Selected(999));
  EXPECT_EQ(list->selectionModel()->selectedRows().size(), 1000);
}
