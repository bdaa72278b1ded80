// The help window: topic jumps, the two views, the index drawing, the search, the
// maintenance menu.

#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include "TestRig.h"
#include "ui/Aide.h"

using namespace velkor;
using namespace velkor::ui;

namespace {

QString SelectedText(const TfrmAide& help) { return help.txtContent->textCursor().selectedText(); }

// The distance from the top of the content box to the top of a chapter's heading line.
int HeadingOffset(const TfrmAide& help, int chapter) {
  QTextDocument* doc = help.txtContent->document();
  const QTextBlock block = doc->findBlock(static_cast<int>(help.Document().chapters[chapter].position));
  const int top = static_cast<int>(doc->documentLayout()->blockBoundingRect(block).top());
  return top - help.txtContent->verticalScrollBar()->value();
}

bool HasPixel(const QImage& image, const QRect& area, const QColor& colour) {
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (image.pixelColor(x, y) == colour) return true;
  return false;
}

class AideTest : public ::testing::Test {
 protected:
  AideTest() { help.resize(640, 480); }
  TfrmAide help;
};

}  // namespace

TEST_F(AideTest, EveryTopicOfTheWindowsOpensItsChapterWithTheHeadingAtTheTop) {
  // Chapters far enough down that the jump must scroll.
  for (const char* key : {"Frame Description", "Channel", "MANCHESTER type", "LOGICAL type", "LIN type",
                          "SERIAL type", "CAN type", "Graphic View", "Hexa View", "Filter View", "Apply"}) {
    help.ShowHelpTopic(key);
    EXPECT_TRUE(help.isVisible());
    EXPECT_FALSE(help.IndexShown()) << key;
    EXPECT_EQ(help.mnuAffiche->text(), "&Index");
    EXPECT_TRUE(SelectedText(help).contains(key)) << key;
    const int chapter = FindHelpTopic(help.Document().chapters, key);
    EXPECT_EQ(HeadingOffset(help, chapter), 0) << key;
  }
}

TEST_F(AideTest, AKeyNoTitleHoldsShowsTheIndexWithNothingSelected) {
  help.ShowHelpTopic("CAN type");
  help.lstIndex->setCurrentIndex(help.lstIndex->model()->index(3, 0));
  help.ShowHelpTopic("No such chapter");
  EXPECT_TRUE(help.isVisible());
  EXPECT_TRUE(help.IndexShown());
  EXPECT_EQ(help.mnuAffiche->text(), "&Contenu");
  EXPECT_FALSE(help.lstIndex->currentIndex().isValid());
  EXPECT_TRUE(help.lstIndex->selectionModel()->selectedIndexes().isEmpty());
}

TEST_F(AideTest, SmallDocumentsSameTitlesOneCharacterTitlesAndNoMarkers) {
  std::string rtf = R"({\rtf1 \'a7Twin\par first\par \'a7Q\par )";
  for (int i = 0; i < 80; ++i) rtf += "filler line\\par ";
  rtf += R"(\'a7Twin\par second\par )";
  for (int i = 0; i < 80; ++i) rtf += "filler line\\par ";
  rtf += "}";
  help.LoadHelp(rtf);
  ASSERT_EQ(help.lstIndex->model()->rowCount(), 3);  // the one-character title is listed

  help.ShowHelpTopic("Twin");
  EXPECT_EQ(help.txtContent->textCursor().selectionStart(), 1);  // the first of the two

  help.ShowIndex();
  const int scroll = help.txtContent->verticalScrollBar()->value();
  help.ShowChapter(1);  // "Q" cannot be jumped to
  EXPECT_TRUE(help.IndexShown());
  EXPECT_EQ(help.txtContent->verticalScrollBar()->value(), scroll);
  help.ShowHelpTopic("Q");
  EXPECT_TRUE(help.IndexShown());

  help.ShowChapter(2);
  EXPECT_FALSE(help.IndexShown());
  EXPECT_EQ(SelectedText(help), "Twin");
  EXPECT_EQ(HeadingOffset(help, 2), 0);

  help.LoadHelp(R"({\rtf1 Only text.\par})");
  EXPECT_EQ(help.lstIndex->model()->rowCount(), 0);
  help.ShowHelpTopic("Only");
  EXPECT_TRUE(help.IndexShown());
  help.ShowContent();
  EXPECT_EQ(help.txtContent->toPlainText(), "Only text.\n");
}

TEST_F(AideTest, TheMenuSwitchesViewsAndEscapeCloses) {
  help.ShowIndex();
  help.mnuAffiche->trigger();
  EXPECT_FALSE(help.IndexShown());
  EXPECT_EQ(help.mnuAffiche->text(), "&Index");
  help.mnuAffiche->trigger();
  EXPECT_TRUE(help.IndexShown());
  EXPECT_EQ(help.mnuAffiche->text(), "&Contenu");

  QApplication::setActiveWindow(&help);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&help));
  QTest::keyClick(help.lstIndex, Qt::Key_Escape);
  EXPECT_FALSE(help.isVisible());
}

TEST_F(AideTest, IndexRowsAreDrawnInTheHeadingColourAndWhiteWhenSelected) {
  help.LoadHelp(R"({\rtf1{\colortbl ;\red0\green0\blue128;\red0\green100\blue0;})"
                R"({\cf1\b \'a7Navy chapter\par}{\cf2 \'a7Green chapter\par}\'a7Z\par})");
  help.ShowIndex();
  QApplication::processEvents();
  const QRect row0 = help.lstIndex->visualRect(help.lstIndex->model()->index(0, 0));
  const QRect row1 = help.lstIndex->visualRect(help.lstIndex->model()->index(1, 0));
  const QRect row2 = help.lstIndex->visualRect(help.lstIndex->model()->index(2, 0));
  QImage image = help.lstIndex->viewport()->grab().toImage();
  EXPECT_TRUE(HasPixel(image, row0, QColor(0, 0, 128)));
  EXPECT_TRUE(HasPixel(image, row1, QColor(0, 100, 0)));
  EXPECT_FALSE(HasPixel(image, row1, QColor(0, 0, 128)));
  EXPECT_TRUE(HasPixel(image, row2, TfrmAide::kBackground));  // the one-letter row stays empty
  EXPECT_FALSE(HasPixel(image, row2, QColor(Qt::black)));
  EXPECT_FALSE(HasPixel(image, row0, QColor(Qt::white)));

  help.lstIndex->selectionModel()->select(help.lstIndex->model()->index(0, 0), QItemSelectionModel::Select);
  image = help.lstIndex->viewport()->grab().toImage();
  EXPECT_TRUE(HasPixel(image, row0, QColor(Qt::white)));
  EXPECT_FALSE(HasPixel(image, row0, QColor(0, 0, 128)));
}

TEST_F(AideTest, ClickingAnIndexRowOpensItsChapter) {
  help.ShowIndex();
  const int row = FindHelpTopic(help.Document().chapters, "Hexa View");
  const QModelIndex index = help.lstIndex->model()->index(row, 0);
  help.lstIndex->scrollTo(index);
  QTest::mouseClick(help.lstIndex->viewport(), Qt::LeftButton, {}, help.lstIndex->visualRect(index).center());
  EXPECT_FALSE(help.IndexShown());
  EXPECT_EQ(SelectedText(help), "Hexa View");
}

TEST_F(AideTest, FindSearchesDownwardsFromTheSelectionWithOrWithoutCase) {
  help.LoadHelp(R"({\rtf1 alpha Beta beta BETA\par})");
  help.ShowContent();
  help.mnuFindClick();
  help.dlgFind->txtFind->setText("beta");

  help.FindNext();  // nothing selected: from the start, any case
  EXPECT_EQ(help.txtContent->textCursor().selectionStart(), 6);
  help.FindNext();
  EXPECT_EQ(help.txtContent->textCursor().selectionStart(), 11);
  help.FindNext();
  EXPECT_EQ(help.txtContent->textCursor().selectionStart(), 16);
  help.FindNext();  // no further hit: the selection stays
  EXPECT_EQ(help.txtContent->textCursor().selectionStart(), 16);

  help.dlgFind->chkMatchCase->setChecked(true);
  help.txtContent->setTextCursor(QTextCursor(help.txtContent->document()));
  help.FindNext();
  EXPECT_EQ(help.txtContent->textCursor().selectionStart(), 11);
  EXPECT_EQ(SelectedText(help), "beta");
}

TEST_F(AideTest, TheFindDialogOpensNinetyPixelsAboveTheWindowButNotAboveTheScreen) {
  help.show();
  help.move(100, 300);
  QApplication::processEvents();
  help.mnuFindClick();
  EXPECT_EQ(help.dlgFind->pos().y(), help.geometry().top() - 90);
  help.move(100, 20);
  QApplication::processEvents();
  help.mnuFindClick();
  EXPECT_EQ(help.dlgFind->pos().y(), help.screen()->availableGeometry().top());
}

TEST_F(AideTest, TheMaintenanceMenuAppearsOnItsKeyAndWritesItsFiles) {
  velkor::test::TempDir dir;
  const QString previous = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(dir.Path())));

  EXPECT_FALSE(help.mnuFile->menuAction()->isVisible());
  help.show();
  QApplication::setActiveWindow(&help);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&help));
  QTest::keyClick(&help, Qt::Key_Space, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(help.mnuFile->menuAction()->isVisible());

  help.mnuCopyClick();
  EXPECT_EQ(velkor::test::ReadWholeFile(dir.File("HelpFile.rtf")), std::string(BuiltInManual()));
  help.mnuGenerateIndexClick();
  const std::string index = velkor::test::ReadWholeFile(dir.File("TableIndex.rtf"));
  EXPECT_EQ(index, HelpIndexRtf(help.Document().chapters));
  const QMimeData* clip = QApplication::clipboard()->mimeData();
  ASSERT_NE(clip, nullptr);
  EXPECT_TRUE(clip->text().startsWith("Velkor user manual\n"));

  QDir::setCurrent(previous);
}
