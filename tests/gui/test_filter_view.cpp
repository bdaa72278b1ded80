// The Filter view: its rule rows, Execute from the Hexa lines or from its own list, Stop,
// Save, the field lists that the loaders fill, and the FILTER keys of the configuration.

#include <QAbstractItemView>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <gtest/gtest.h>

#include "GuiRig.h"
#include "app/ConfigFile.h"
#include "app/IniFile.h"
#include "ui/Progress.h"
#include "ui/views/FilterView.h"
#include "ui/views/LineList.h"

using namespace velkor;
using namespace velkor::test;
using velkor::ui::TfrmFilterView;

namespace {

const char kCan8[] = "0,1523642,ID=12A,DLC=8,DataFrame=00 01 02 03 04 05 06 07,";
const char kCan2[] = "0,1523700,ID=12A,DLC=2,DataFrame=00 01,";
const char kCanEmptyDlc[] = "0,1523800,ID=7FF,DLC=,";
const char kLogical[] = "1,1523900,New Value=1,";

struct FilterRig : GuiRig {
  FilterRig() {
    Show();
    main->acFilterView->trigger();
    filter = main->FilterView();
    Settle();
  }
  DecodedLineList& HexaLines() { return main->GetPipeline().Services().lines; }
  void AddHexa(std::initializer_list<std::string_view> lines) {
    for (std::string_view l : lines) HexaLines().Append(l);
  }
  std::vector<std::string> Rows() {
    std::vector<std::string> out;
    auto& model = filter->Panel().Model();
    for (int r = 0; r < model.rowCount(); ++r) out.emplace_back(model.Line(r));
    return out;
  }
  QString Count() { return filter->Panel().StatusText(2); }
  void RegisterCanNames(int channel) {
    for (const char* name : {"ID", "DataFrame", "DLC"}) main->GetPipeline().Services().fieldNames.Add(channel, name);
  }
  // Channel 1 at "If field ..." on the named field of its list.
  void FieldRule(const QString& field, int comparison, const QString& a, const QString& b) {
    filter->cboCha[0]->setCurrentIndex(1);
    filter->cboField[0]->setCurrentIndex(filter->cboField[0]->findText(field));
    filter->cboEgal[0]->setCurrentIndex(comparison);
    filter->txtContent[0]->setText(a);
    filter->txtContentB[0]->setText(b);
  }
  void Click(int row) {
    auto* list = filter->Panel().lstHexa;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualRect(filter->Panel().Model().index(row)).center());
  }

  TfrmFilterView* filter = nullptr;
};

// Which controls of a rule row show.
std::string Shown(TfrmFilterView& f, int i) {
  std::string s;
  if (!f.cboField[i]->isHidden()) s += "field ";
  if (!f.cboEgal[i]->isHidden()) s += "egal ";
  if (!f.txtContent[i]->isHidden()) s += "A ";
  if (!f.lblAndOr[i]->isHidden()) s += "andor ";
  if (!f.txtContentB[i]->isHidden()) s += "B ";
  if (!f.txtMatch[i]->isHidden()) s += "match ";
  return s;
}

}  // namespace

TEST(FilterView, ControlsAsCreated) {
  FilterRig rig;
  TfrmFilterView& f = *rig.filter;
  EXPECT_EQ(f.windowTitle(), "Filter View");
  EXPECT_EQ(f.grpFilter->title(), "Filter");
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(f.lblCha[i]->text(), QString("Cha%1").arg(i + 1));
    EXPECT_EQ(f.Shape[i]->palette().color(QPalette::Window), rig.main->ChannelTextColour(i));
    ASSERT_EQ(f.cboCha[i]->count(), 5);
    EXPECT_EQ(f.cboCha[i]->itemText(1), "If field ...");
    EXPECT_EQ(f.cboCha[i]->itemText(4), "If not match ..");
    EXPECT_EQ(f.cboCha[i]->currentIndex(), 0);
    EXPECT_EQ(f.cboEgal[i]->itemText(1), "<>");
    EXPECT_EQ(Shown(f, i), "") << i;
  }
  EXPECT_EQ(f.txtContentB[2]->objectName(), "txtContent13");
  EXPECT_EQ(f.cboApply->itemText(0), "HexaView");
  EXPECT_EQ(f.cboApply->itemText(1), "This list");
  EXPECT_EQ(f.cboApply->currentIndex(), TfrmFilterView::kApplyHexaView);
  EXPECT_EQ(f.butApplyExecute->text(), "Execute");
  EXPECT_EQ(f.butSave->text(), "Save all");
  EXPECT_EQ(f.Panel().lblDate->text(), "Date (ms)");
  QStringList menu;
  for (QAction* a : f.Panel().PopupMenu->actions()) menu << a->text();
  EXPECT_EQ(menu, (QStringList{"Save", "Save all", "Copy", "Edit", "", "Export..."}));

  f.SetChannelCaption(2, "Door");
  EXPECT_EQ(f.lblCha[2]->text(), "Door");
  rig.main->GetSettings().textColours[1] = Colour{1, 2, 3};
  rig.main->ApplyChannelColours();
  EXPECT_EQ(f.Shape[1]->palette().color(QPalette::Window), QColor(1, 2, 3));
}

TEST(FilterView, RuleAndComparisonShowTheirControls) {
  FilterRig rig;
  TfrmFilterView& f = *rig.filter;
  const FilterRowSettings& row = rig.main->GetSettings().filters[1];
  f.cboCha[1]->setCurrentIndex(1);
  EXPECT_EQ(Shown(f, 1), "field egal A andor B ");
  EXPECT_EQ(row.channelIf, 1);
  EXPECT_EQ(f.lblAndOr[1]->text(), "");  // no comparison chosen yet
  f.cboEgal[1]->setCurrentIndex(0);
  EXPECT_EQ(f.lblAndOr[1]->text(), "OR");
  f.cboEgal[1]->setCurrentIndex(1);
  EXPECT_EQ(f.lblAndOr[1]->text(), "AND");
  EXPECT_EQ(row.equal, 1);
  f.cboCha[1]->setCurrentIndex(3);
  EXPECT_EQ(Shown(f, 1), "match ");
  f.cboCha[1]->setCurrentIndex(4);
  EXPECT_EQ(Shown(f, 1), "match ");
  f.cboCha[1]->setCurrentIndex(2);
  EXPECT_EQ(Shown(f, 1), "");
  EXPECT_EQ(Shown(f, 0), "");

  QTest::keyClicks(f.txtMatch[1], "ID=12A");
  QTest::keyClicks(f.txtContent[1], "8");
  f.txtContentB[1]->setText(QString::fromUtf8("\xC3\xA9"));  // é: a Windows-1252 byte in the settings
  EXPECT_EQ(row.match, "ID=12A");
  EXPECT_EQ(row.contentA, "8");
  EXPECT_EQ(row.contentB, "\xE9");
}

TEST(FilterView, AllAlwaysCopiesEveryHexaLineInOrder) {
  FilterRig rig;
  rig.AddHexa({kCan8, kLogical, kCan2, "3,1600000,\xA3" "Error frame,"});
  rig.filter->butApplyExecute->click();
  EXPECT_EQ(rig.Rows(), (std::vector<std::string>{kCan8, kLogical, kCan2, "3,1600000,\xA3" "Error frame,"}));
  EXPECT_EQ(rig.Count(), "4 lines");
  EXPECT_FALSE(rig.main->Progress().isVisible());
  // A snapshot: lines decoded afterwards wait for the next Execute.
  rig.AddHexa({kCan2});
  rig.Settle();
  EXPECT_EQ(rig.Rows().size(), 4u);
}

TEST(FilterView, IfFieldWithEmptyContentB) {
  FilterRig rig;
  rig.RegisterCanNames(0);
  EXPECT_EQ(rig.filter->cboField[0]->count(), 3);
  EXPECT_EQ(rig.filter->cboField[0]->itemText(0), "DataFrame");
  rig.AddHexa({kCan8, kCan2, kCanEmptyDlc, "0,1,\xA3" "Error frame,", kLogical});

  rig.FieldRule("DLC", 0, "8", "");
  EXPECT_EQ(rig.main->GetSettings().filters[0].field, 1);
  rig.filter->butApplyExecute->click();
  EXPECT_EQ(rig.Rows(), (std::vector<std::string>{kCan8, kCanEmptyDlc, kLogical}));

  rig.filter->cboEgal[0]->setCurrentIndex(1);
  rig.filter->cboCha[1]->setCurrentIndex(2);
  rig.filter->butApplyExecute->click();
  EXPECT_EQ(rig.Rows(), (std::vector<std::string>{kCan2}));
  EXPECT_EQ(rig.Count(), "1 line");
}

TEST(FilterView, IfMatchSearchesTheStoredFrameText) {
  FilterRig rig;
  rig.AddHexa({kCan8, "0,5,ID=12A,", "0,6,ID=7FF,", kLogical});
  rig.filter->cboCha[0]->setCurrentIndex(3);
  QTest::keyClicks(rig.filter->txtMatch[0], "ID=12A");
  rig.filter->cboCha[1]->setCurrentIndex(4);
  QTest::keyClicks(rig.filter->txtMatch[1], "Value=1");
  rig.filter->butApplyExecute->click();
  EXPECT_EQ(rig.Rows(), (std::vector<std::string>{kCan8, "0,5,ID=12A,"}));
}

TEST(FilterView, ThisListFiltersTheViewsOwnLinesAgain) {
  FilterRig rig;
  rig.AddHexa({kCan8, kCan2, kCanEmptyDlc, kLogical});
  rig.filter->cboCha[1]->setCurrentIndex(2);
  rig.filter->butApplyExecute->click();
  ASSERT_EQ(rig.Rows().size(), 3u);
  rig.Click(1);

  rig.filter->cboApply->setCurrentIndex(TfrmFilterView::kApplyThisList);
  rig.filter->cboCha[1]->setCurrentIndex(0);  // the Hexa view's line of channel 2 is not in this list
  rig.filter->cboCha[0]->setCurrentIndex(4);
  rig.filter->txtMatch[0]->setText("DLC=2");
  rig.filter->butApplyExecute->click();
  EXPECT_EQ(rig.Rows(), (std::vector<std::string>{kCan8, kCanEmptyDlc}));
  EXPECT_EQ(rig.Count(), "2 lines");
  EXPECT_FALSE(rig.filter->Lines().Selected(0));
  EXPECT_FALSE(rig.filter->Lines().Selected(1));
  EXPECT_EQ(rig.HexaLines().size(), 4u);

  rig.filter->cboCha[0]->setCurrentIndex(0);
  rig.filter->butApplyExecute->click();
  EXPECT_EQ(rig.Rows(), (std::vector<std::string>{kCan8, kCanEmptyDlc}));
}

TEST(FilterView, EmptySourceEmptiesTheList) {
  FilterRig rig;
  rig.AddHexa({kCan8, kCan2});
  rig.filter->butApplyExecute->click();
  EXPECT_EQ(rig.Count(), "2 lines");
  rig.HexaLines().Clear();
  rig.filter->butApplyExecute->click();
  EXPECT_TRUE(rig.Rows().empty());
  EXPECT_EQ(rig.Count(), "0 line");
}

TEST(FilterView, ReturnExecutesEscapeCloses) {
  FilterRig rig;
  rig.AddHexa({kCan8});
  rig.filter->txtMatch[0]->setFocus();
  QTest::keyClick(rig.filter->cboApply, Qt::Key_Return);
  EXPECT_EQ(rig.Count(), "1 line");
  QTest::keyClick(rig.filter->cboApply, Qt::Key_Escape);
  EXPECT_TRUE(rig.filter->isHidden());
}

TEST(FilterView, KeysThatCloseADropDownOnlyCloseTheDropDown) {
  FilterRig rig;
  rig.AddHexa({kCan8, kCan2, kLogical});
  rig.filter->butApplyExecute->click();
  ASSERT_EQ(rig.Count(), "3 lines");
  // Any Execute from here on drops lines: channel 1 passes nothing, and the Hexa view is empty.
  rig.filter->cboCha[0]->setCurrentIndex(2);
  rig.HexaLines().Clear();
  auto open = [](QComboBox* combo) {
    combo->setFocus();
    combo->showPopup();
    return GuiRig::WaitFor([&] { return combo->view()->isVisible(); });
  };

  // Enter picks the item under the keyboard: "This list" becomes the source, nothing runs.
  QComboBox* apply = rig.filter->cboApply;
  ASSERT_TRUE(open(apply));
  QTest::keyClick(apply->view(), Qt::Key_Down);
  QTest::keyClick(apply->view(), Qt::Key_Return);
  EXPECT_FALSE(apply->view()->isVisible());
  EXPECT_EQ(apply->currentIndex(), TfrmFilterView::kApplyThisList);
  EXPECT_EQ(rig.Rows().size(), 3u);
  EXPECT_EQ(rig.Count(), "3 lines");

  // A rule's drop-down the same way, with Enter of the keypad.
  QComboBox* rule = rig.filter->cboCha[1];
  ASSERT_TRUE(open(rule));
  QTest::keyClick(rule->view(), Qt::Key_Down);
  QTest::keyClick(rule->view(), Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(rule->currentIndex(), 1);  // "If field ..."
  EXPECT_EQ(rig.Rows().size(), 3u);

  // Escape closes the drop-down and leaves the window and the choice alone.
  ASSERT_TRUE(open(rule));
  QTest::keyClick(rule->view(), Qt::Key_Down);
  QTest::keyClick(rule->view(), Qt::Key_Escape);
  EXPECT_FALSE(rule->view()->isVisible());
  EXPECT_TRUE(rig.filter->isVisible());
  EXPECT_EQ(rule->currentIndex(), 1);
  EXPECT_EQ(rig.Rows().size(), 3u);

  // With no drop-down open the keys are the window's again.
  QTest::keyClick(rule, Qt::Key_Return);
  EXPECT_EQ(rig.Rows().size(), 0u);  // "This list" with channels 1 and 2 passing nothing
  QTest::keyClick(rule, Qt::Key_Escape);
  EXPECT_TRUE(rig.filter->isHidden());
}

TEST(FilterView, SaveWritesEveryLineWhateverTheSelection) {
  FilterRig rig;
  rig.AddHexa({"0,1000,A=1,", "0,2000,B=2,", "1,3000,C=3,"});
  rig.filter->butApplyExecute->click();
  rig.Click(1);
  ASSERT_TRUE(rig.filter->Lines().Selected(1));
  const std::string all = "Cha1          1.000 A=1\r\nCha1          2.000 B=2\r\nCha2          3.000 C=3\r\n";
  const QString path = QString::fromStdString(rig.dir.File("filtered.txt"));
  for (QAction* action : {rig.filter->Panel().mnuSave, rig.filter->Panel().mnuSaveAll}) {
    rig.dialogs.files.push_back(path);
    action->trigger();
    EXPECT_EQ(ReadWholeFile(path.toStdString()), all) << action->text().toStdString();
    std::remove(path.toStdString().c_str());
  }
  rig.dialogs.files.push_back(path);
  rig.filter->butSave->click();
  EXPECT_EQ(ReadWholeFile(path.toStdString()), all);
  EXPECT_EQ(rig.dialogs.fileRequests.back().filter, "Text files (*.txt)|*.txt");
}

TEST(FilterView, ClickTimesTheFilterListsOwnRows) {
  FilterRig rig;
  rig.AddHexa({"0,1000,A=1,", "1,1500,B=1,", "0,2005,A=2,"});
  rig.filter->cboCha[1]->setCurrentIndex(2);
  rig.filter->butApplyExecute->click();
  rig.Click(1);
  EXPECT_EQ(rig.filter->Panel().StatusText(0), "Relative time : 1.005ms");
  EXPECT_EQ(rig.filter->Panel().StatusText(1), "Selected lines : 1");
}

TEST(FilterView, StopDuringALongExecuteKeepsTheLinesFoundSoFar) {
  FilterRig rig;
  const std::size_t total = 2'000'000;
  for (std::size_t i = 0; i < total; ++i) rig.HexaLines().Append(i % 2 ? kLogical : kCan8);
  rig.filter->cboCha[1]->setCurrentIndex(2);
  // Pressed as soon as the loop lets events run.
  QString title;
  QTimer::singleShot(0, rig.main.get(), [&] {
    title = rig.main->Progress().Title();
    rig.main->Progress().StopButton()->click();
  });
  rig.filter->butApplyExecute->click();
  EXPECT_EQ(title, "Filter...");
  const std::size_t kept = rig.filter->Lines().size();
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, total / 2);
  EXPECT_EQ(rig.Count(), QString("%1 lines").arg(kept));
  EXPECT_EQ(rig.filter->Panel().Model().rowCount(), static_cast<int>(kept));
  for (std::size_t i = 0; i < kept; i += 997) EXPECT_EQ(rig.filter->Lines().Line(i), kCan8);
  EXPECT_FALSE(rig.main->Progress().isVisible());
  EXPECT_FALSE(rig.filter->Executing());
}

TEST(FilterView, FieldListsFollowTheRunResetAndTheChosenFieldComesBackWithItsName) {
  FilterRig rig;
  Settings& s = rig.main->GetSettings();
  s.channels[0].type = ChannelType::Can;
  s.channels[0].active = true;
  s.channels[0].canFile = rig.dir.Write("bus.cfd", "[BAUDRATE]\r\nValue=500000\r\n");
  rig.main->GetPipeline().ResetRun();
  rig.FieldRule("ID", 0, "12A", "");
  EXPECT_EQ(s.filters[0].field, 2);
  rig.main->GetPipeline().Services().fieldNames.Add(0, "Checksum");
  EXPECT_EQ(rig.filter->cboField[0]->currentText(), "ID");
  EXPECT_EQ(s.filters[0].field, 3);

  // Each run start fills the list anew: the field stays chosen.
  rig.main->GetPipeline().ResetRun();
  EXPECT_EQ(rig.filter->cboField[0]->currentText(), "ID");
  rig.AddHexa({kCan8, "0,5,ID=7FF,DLC=0,"});
  rig.filter->butApplyExecute->click();
  EXPECT_EQ(rig.Rows(), (std::vector<std::string>{kCan8}));

  // A run without the name has no field; the next run that has it chooses it again.
  s.channels[0].type = ChannelType::Logical;
  rig.main->GetPipeline().ResetRun();
  ASSERT_EQ(rig.filter->cboField[0]->count(), 1);
  EXPECT_EQ(rig.filter->cboField[0]->itemText(0), "New Value");
  EXPECT_EQ(rig.filter->cboField[0]->currentIndex(), -1);
  EXPECT_EQ(s.filters[0].field, -1);
  s.channels[0].type = ChannelType::Can;
  rig.main->GetPipeline().ResetRun();
  EXPECT_EQ(rig.filter->cboField[0]->currentText(), "ID");

  // A configuration loaded gives the choice: one without a field awaits none.
  const std::string cfg = rig.dir.Write("nofield.cfg", "[FILTER]\r\nCHA1_If=1\r\nCHA1_Field=-1\r\n");
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(cfg)));
  EXPECT_EQ(rig.filter->cboField[0]->currentIndex(), -1);
  rig.main->GetPipeline().ResetRun();
  EXPECT_EQ(rig.filter->cboField[0]->currentIndex(), -1);
  EXPECT_EQ(s.filters[0].field, -1);
}

TEST(FilterView, PickingAFieldWithNoComparisonChoosesEqual) {
  FilterRig rig;
  rig.RegisterCanNames(0);
  rig.AddHexa({kCan8, kCan2});
  TfrmFilterView& f = *rig.filter;
  const FilterRowSettings& row = rig.main->GetSettings().filters[0];
  f.cboCha[0]->setCurrentIndex(1);
  f.txtContent[0]->setText("8");
  ASSERT_EQ(f.cboEgal[0]->currentIndex(), -1);
  EXPECT_EQ(f.lblAndOr[0]->text(), "");

  // DLC from the open drop-down, with the keys.
  QComboBox* field = f.cboField[0];
  field->setFocus();
  field->showPopup();
  ASSERT_TRUE(GuiRig::WaitFor([&] { return field->view()->isVisible(); }));
  field->view()->setCurrentIndex(field->model()->index(0, 0));
  QTest::keyClick(field->view(), Qt::Key_Down);
  QTest::keyClick(field->view(), Qt::Key_Return);
  ASSERT_EQ(field->currentText(), "DLC");
  EXPECT_EQ(f.cboEgal[0]->currentText(), "=");
  EXPECT_EQ(f.lblAndOr[0]->text(), "OR");
  EXPECT_EQ(row.field, 1);
  EXPECT_EQ(row.equal, 0);
  f.butApplyExecute->click();
  EXPECT_EQ(rig.Rows(), (std::vector<std::string>{kCan8}));

  // A comparison already chosen stays as it is.
  f.cboEgal[0]->setCurrentIndex(1);
  QTest::keyClick(field, Qt::Key_Up);
  EXPECT_EQ(field->currentText(), "DataFrame");
  EXPECT_EQ(f.cboEgal[0]->currentText(), "<>");
  EXPECT_EQ(f.lblAndOr[0]->text(), "AND");
  EXPECT_EQ(row.equal, 1);
}

TEST(FilterView, FilterKeysLoadAndSave) {
  FilterRig rig;
  rig.RegisterCanNames(2);
  Settings stored;
  stored.filters[0] = {3, -1, -1, "", "", "ID=12A"};
  stored.filters[1] = {4, -1, -1, "", "", "\xA3"};
  stored.filters[2] = {1, 1, 1, "8", "\xE9", ""};
  stored.filters[3] = {9, 5, 7, "a", "b", "c"};  // nothing the lists can select
  const std::string path = rig.dir.File("filter.cfg");
  ASSERT_FALSE(SaveConfigFile(path, stored));
  ASSERT_FALSE(rig.main->LoadConfiguration(QString::fromStdString(path)));

  TfrmFilterView& f = *rig.filter;
  EXPECT_EQ(f.cboCha[0]->currentIndex(), 3);
  EXPECT_EQ(Shown(f, 0), "match ");
  EXPECT_EQ(f.txtMatch[0]->text(), "ID=12A");
  EXPECT_EQ(f.txtMatch[1]->text(), QString::fromUtf8("\xC2\xA3"));
  EXPECT_EQ(Shown(f, 2), "field egal A andor B ");
  EXPECT_EQ(f.cboField[2]->currentText(), "DLC");
  EXPECT_EQ(f.lblAndOr[2]->text(), "AND");
  EXPECT_EQ(f.txtContentB[2]->text(), QString::fromUtf8("\xC3\xA9"));
  EXPECT_EQ(f.cboCha[3]->currentIndex(), -1);
  EXPECT_EQ(f.cboEgal[3]->currentIndex(), -1);
  EXPECT_EQ(f.cboField[3]->currentIndex(), -1);
  EXPECT_EQ(Shown(f, 3), "");

  // Changed in the window, written back.
  f.cboCha[0]->setCurrentIndex(1);
  f.cboEgal[0]->setCurrentIndex(0);
  f.txtContent[0]->setText("12A");
  const std::string saved = rig.dir.File("saved.cfg");
  ASSERT_FALSE(rig.main->SaveConfiguration(QString::fromStdString(saved)));
  Settings back;
  ASSERT_FALSE(LoadConfigFile(saved, back));
  EXPECT_EQ(back.filters[0], (FilterRowSettings{1, -1, 0, "12A", "", "ID=12A"}));
  EXPECT_EQ(back.filters[2], stored.filters[2]);
  // Channel 4 has no field names before a run: its field choice waits as it was loaded.
  EXPECT_EQ(back.filters[3], (FilterRowSettings{-1, 5, -1, "a", "b", "c"}));
}
