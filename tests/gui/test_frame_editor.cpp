// The frame description editors: the registry of open editors, saving, closing, and the
// way in from a loader's error prompt; the help and version commands of the main window.

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

#include "GuiRig.h"
#include "channels/FrameDescriptionText.h"
#include "ui/channels/Frame.h"
#include "ui/Aide.h"
#include "ui/QtText.h"
#include "ui/VersionContacts.h"

using namespace velkor;
using namespace velkor::test;
using namespace velkor::ui;

namespace {

class FrameEditorTest : public ::testing::Test {
 protected:
  FrameEditorTest() { rig.Show(); }

  EditorRegistry<TfrmFrame>& Registry() { return rig.main->FrameEditors(); }
  TfrmFrame* Editor(int entry) { return Registry().At(entry); }
  QString File(const std::string& name, const std::string& content) {
    return QString::fromStdString(rig.dir.Write(name, content));
  }
  // Adds text at the end, as typing would: the text is then modified.
  static void Type(TfrmFrame* editor, const QString& text) {
    editor->txtDescription->moveCursor(QTextCursor::End);
    editor->txtDescription->insertPlainText(text);
  }
  // Closed editors are destroyed once their deferred deletion has run.
  static void Settle() {
    GuiRig::Settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  std::vector<QString> Messages() const {
    std::vector<QString> texts;
    for (const auto& m : rig.dialogs.messages) texts.push_back(m.caption + ": " + m.text);
    return texts;
  }

  GuiRig rig;
};

}  // namespace

TEST_F(FrameEditorTest, OpeningAnOpenFileBringsItForwardWithTheNewErrorAndKeepsTheEditedText) {
  const QString path = File("a.sfd", "[PROTOCOL]\r\nBaudrate=9600\r\n");
  rig.main->OpenFrameEditor(path, {});
  TfrmFrame* editor = Editor(0);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->Caption(), path);
  EXPECT_EQ(editor->txtDescription->toPlainText(), "[PROTOCOL]\nBaudrate=9600");
  EXPECT_EQ(editor->cboType->currentText(), "Serial");
  EXPECT_FALSE(editor->cboType->isEnabled());
  EXPECT_EQ(editor->size(), editor->minimumSize());  // a fixed border
  EXPECT_EQ(editor->Client()->size(), QSize(529, 425));
  Type(editor, "\nDataBits=8");

  rig.main->OpenFrameEditor(QStringLiteral("New Frame Description"), {});
  EXPECT_EQ(rig.main->MdiArea()->activeSubWindow(), Editor(1));

  rig.main->OpenFrameEditor(path, "Error : Value of DataBits");
  EXPECT_EQ(Registry().Count(), 2);
  EXPECT_EQ(rig.main->MdiArea()->activeSubWindow(), editor);
  EXPECT_EQ(editor->txtErreur->text(), "Error : Value of DataBits");
  EXPECT_EQ(editor->txtDescription->toPlainText(), "[PROTOCOL]\nBaudrate=9600\nDataBits=8");
  EXPECT_TRUE(editor->Modified());
  EXPECT_TRUE(rig.dialogs.messages.empty());
}

TEST_F(FrameEditorTest, OneFileNamedRelativelyAbsolutelyOrThroughALinkHasOneEditor) {
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(rig.dir.File("sub"))));
  const QString path = File("sub/b.cfd", "[BAUDRATE]\r\n");
  const QString link = QString::fromStdString(rig.dir.File("link.cfd"));
  ASSERT_TRUE(QFile::link(path, link));
  {
    CurrentFolder here(rig.dir.Path());
    rig.main->OpenFrameEditor("sub/b.cfd", {});  // as a configuration names it
  }
  ASSERT_NE(Editor(0), nullptr);
  Type(Editor(0), "\n[ID]");
  for (const QString& name : {path, QString::fromStdString(rig.dir.File("sub/../sub/b.cfd")), link}) {
    SCOPED_TRACE(name.toStdString());
    rig.main->OpenFrameEditor(name, "Error : again");
    EXPECT_EQ(Registry().Count(), 1);
    EXPECT_EQ(Editor(0)->txtErreur->text(), "Error : again");
    EXPECT_TRUE(Editor(0)->Modified());
  }
  // Another file of the same name elsewhere is another file.
  rig.main->OpenFrameEditor(File("b.cfd", "[BAUDRATE]\r\n"), {});
  EXPECT_EQ(Registry().Count(), 2);
}

TEST_F(FrameEditorTest, CharactersTheFileCannotHoldAreNamedBeforeWriting) {
  const QString path = File("c.sfd", "[PROTOCOL]\r\n");
  rig.main->OpenFrameEditor(path, {});
  TfrmFrame* editor = Editor(0);
  Type(editor, QString::fromUtf8("\n; \u03A9 \u00B5s \u20AC a\u200Bb \u03A9"));

  rig.dialogs.answers.push_back(ui::Answer::No);
  editor->butSaveClick();
  ASSERT_EQ(rig.dialogs.messages.size(), 1u);
  EXPECT_EQ(rig.dialogs.messages[0].caption, "Warning");
  EXPECT_EQ(rig.dialogs.messages[0].text,
            QString::fromUtf8("These characters can not be saved in a frame description and would be written as "
                              "\"?\" :\n\u03A9 (U+03A9), \u200B (U+200B)\nSave anyway ?"));
  EXPECT_EQ(ReadWholeFile(FromQt(path)), "[PROTOCOL]\r\n");
  EXPECT_TRUE(editor->Modified());

  rig.dialogs.answers.push_back(ui::Answer::Yes);
  editor->butSaveClick();
  EXPECT_EQ(ReadWholeFile(FromQt(path)), "[PROTOCOL]\r\n; ? \xB5s \x80 a?b ?\r\n");
  EXPECT_FALSE(editor->Modified());

  // A text the code page holds whole is saved without a word.
  editor->txtDescription->selectAll();
  editor->txtDescription->insertPlainText(QString::fromUtf8("[PROTOCOL]\n; \u00E9"));
  editor->butSaveClick();
  EXPECT_EQ(rig.dialogs.messages.size(), 2u);
  EXPECT_EQ(ReadWholeFile(FromQt(path)), "[PROTOCOL]\r\n; \xE9\r\n");
}

TEST_F(FrameEditorTest, TwoNewDescriptionsShareTheCaptionAndClosingOneFreesExactlyItsEntry) {
  rig.main->acNewFrame->trigger();
  rig.main->acNewFrame->trigger();
  TfrmFrame* first = Editor(0);
  TfrmFrame* second = Editor(1);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->Caption(), "New Frame Description");
  EXPECT_EQ(second->Caption(), "New Frame Description");
  EXPECT_TRUE(first->cboType->isEnabled());
  EXPECT_EQ(first->cboType->currentIndex(), -1);

  first->butCloseClick();  // unmodified: closes without a question
  Settle();
  EXPECT_EQ(Editor(0), nullptr);
  EXPECT_EQ(Editor(1), second);
  EXPECT_EQ(Registry().Count(), 1);
  rig.main->acNewFrame->trigger();
  EXPECT_NE(Editor(0), nullptr);  // the freed entry is taken again
  EXPECT_TRUE(rig.dialogs.messages.empty());
}

TEST_F(FrameEditorTest, AFourthEditorIsRefusedAndNothingElseChanges) {
  const QString path = File("b.cfd", "[BAUDRATE]\r\nValue=125000\r\n");
  rig.main->acNewFrame->trigger();
  rig.main->acNewFrame->trigger();
  rig.main->OpenFrameEditor(path, {});
  ASSERT_EQ(Registry().Count(), 3);
  QMdiSubWindow* active = rig.main->MdiArea()->activeSubWindow();

  rig.main->acNewFrame->trigger();
  rig.main->OpenFrameEditor(File("c.lfd", ""), {});
  EXPECT_EQ(Messages(), (std::vector<QString>{"Warning: Too many Frame Descritpions opened !",
                                              "Warning: Too many Frame Descritpions opened !"}));
  EXPECT_EQ(Registry().Count(), 3);
  EXPECT_EQ(rig.main->MdiArea()->activeSubWindow(), active);

  // An editor already open is still found with every entry taken.
  rig.main->OpenFrameEditor(path, "Error : Value of BAUDRATE");
  EXPECT_EQ(Messages().size(), 2u);
  EXPECT_EQ(Editor(2)->txtErreur->text(), "Error : Value of BAUDRATE");
}

TEST_F(FrameEditorTest, AnUpperCaseExtensionHasNoTypeAndEverySaveIsRefusedOnceModified) {
  const std::string content = "[PROTOCOL]\r\nBaudrate=9600\r\n";
  const QString path = File("UPPER.SFD", content);
  rig.main->OpenFrameEditor(path, {});
  TfrmFrame* editor = Editor(0);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->cboType->currentIndex(), -1);
  EXPECT_FALSE(editor->cboType->isEnabled());

  editor->butSaveClick();  // not modified: nothing to do, nothing said
  EXPECT_TRUE(rig.dialogs.messages.empty());

  Type(editor, "x");
  editor->butSaveClick();
  editor->butSaveAsClick();
  EXPECT_EQ(Messages(), (std::vector<QString>{"Error: You must define the frame type",
                                              "Error: You must define the frame type"}));
  EXPECT_TRUE(rig.dialogs.fileRequests.empty());
  EXPECT_EQ(ReadWholeFile(FromQt(path)), content);
  EXPECT_TRUE(editor->Modified());
}

TEST_F(FrameEditorTest, SaveOnAnUnmodifiedSavedDescriptionDoesNothing) {
  const QString path = File("d.mfd", "[BAUDRATE]\r\nValue=3906\r\n");
  rig.main->OpenFrameEditor(path, "Error : Value of INVERT");
  TfrmFrame* editor = Editor(0);
  ASSERT_NE(editor, nullptr);
  // Someone else rewrites the file meanwhile: a Save with nothing to save keeps their bytes.
  rig.dir.Write("d.mfd", "theirs");
  editor->butSaveClick();
  EXPECT_EQ(ReadWholeFile(FromQt(path)), "theirs");
  EXPECT_FALSE(editor->Saved());
  EXPECT_EQ(editor->txtErreur->text(), "");  // Save clears the error line
  EXPECT_TRUE(rig.dialogs.messages.empty());

  Type(editor, "\n[INVERT]\nValue=NO");
  editor->butSaveClick();  // a plain save to its own file, no dialog
  EXPECT_TRUE(rig.dialogs.fileRequests.empty());
  EXPECT_EQ(ReadWholeFile(FromQt(path)), "[BAUDRATE]\r\nValue=3906\r\n[INVERT]\r\nValue=NO\r\n");
  EXPECT_TRUE(editor->Saved());
  EXPECT_FALSE(editor->Modified());
}

TEST_F(FrameEditorTest, ANewDescriptionIsSavedAsWindows1252WithTheFilterOfItsType) {
  rig.main->acNewFrame->trigger();
  TfrmFrame* editor = Editor(0);
  ASSERT_NE(editor, nullptr);
  editor->cboType->setCurrentIndex(1);
  Type(editor, QString::fromUtf8("; 2.4 \u00b5s\n[PROTOCOL]"));
  const QString target = QString::fromStdString(rig.dir.File("new.sfd"));
  rig.dialogs.files.push_back(target);
  editor->butSaveClick();  // a new description: Save asks for a name
  ASSERT_EQ(rig.dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(rig.dialogs.fileRequests[0].filter, "Serial Frame Description (*.sfd)|*.sfd");
  EXPECT_EQ(rig.dialogs.fileRequests[0].defaultExtension, "sfd");
  EXPECT_EQ(ReadWholeFile(FromQt(target)), "; 2.4 \xB5s\r\n[PROTOCOL]\r\n");
  EXPECT_EQ(editor->Caption(), target);
  EXPECT_TRUE(editor->cboType->isEnabled());  // the type stays open until the editor closes

  // A cancelled dialog writes nothing and leaves the text modified.
  Type(editor, "\nBaudrate=1");
  editor->butSaveAsClick();
  EXPECT_EQ(rig.dialogs.fileRequests.size(), 2u);
  EXPECT_TRUE(editor->Modified());
  EXPECT_EQ(ReadWholeFile(FromQt(target)), "; 2.4 \xB5s\r\n[PROTOCOL]\r\n");
}

TEST_F(FrameEditorTest, AWriteErrorIsReportedAndTheTextStaysModified) {
  rig.main->acNewFrame->trigger();
  TfrmFrame* editor = Editor(0);
  editor->cboType->setCurrentIndex(3);
  Type(editor, "[BAUDRATE]");
  const QString target = QString::fromStdString(rig.dir.File("missing/folder/x.lfd"));
  rig.dialogs.files.push_back(target);
  editor->butSaveAsClick();
  EXPECT_EQ(Messages(), std::vector<QString>{"Error: The file can not be written: " + target});
  EXPECT_TRUE(editor->Modified());
  EXPECT_FALSE(editor->Saved());
  EXPECT_EQ(editor->Caption(), "New Frame Description");
}

TEST_F(FrameEditorTest, CloseAsksAboutUnsavedTextButTheCloseBoxDoesNot) {
  const QString path = File("e.cfd", "[BAUDRATE]\r\n");
  rig.main->OpenFrameEditor(path, {});
  TfrmFrame* editor = Editor(0);
  Type(editor, "Value=1");

  rig.dialogs.answers.push_back(Answer::Cancel);
  editor->butCloseClick();
  Settle();
  ASSERT_EQ(Editor(0), editor);
  EXPECT_EQ(rig.dialogs.messages.back().text, "The text has been modified. Do you want save it before close ?");
  EXPECT_EQ(rig.dialogs.messages.back().caption, "Warning");
  EXPECT_EQ(rig.dialogs.messages.back().buttons, Buttons::YesNoCancel);

  rig.dialogs.answers.push_back(Answer::Yes);  // saved, then closed
  editor->butCloseClick();
  Settle();
  EXPECT_EQ(Editor(0), nullptr);
  EXPECT_EQ(ReadWholeFile(FromQt(path)), "[BAUDRATE]Value=1\r\n");

  rig.main->OpenFrameEditor(path, {});
  editor = Editor(0);
  Type(editor, "2");
  rig.dialogs.answers.push_back(Answer::No);  // closed, nothing written
  editor->butCloseClick();
  Settle();
  EXPECT_EQ(Editor(0), nullptr);
  EXPECT_EQ(ReadWholeFile(FromQt(path)), "[BAUDRATE]Value=1\r\n");

  rig.main->OpenFrameEditor(path, {});
  editor = Editor(0);
  Type(editor, "3");
  const std::size_t asked = rig.dialogs.messages.size();
  editor->close();  // the window's own close box
  Settle();
  EXPECT_EQ(Editor(0), nullptr);
  EXPECT_EQ(rig.dialogs.messages.size(), asked);
  EXPECT_EQ(ReadWholeFile(FromQt(path)), "[BAUDRATE]Value=1\r\n");
}

TEST_F(FrameEditorTest, YesWithoutATypeKeepsTheEditorOpenAndEscapeAsksToo) {
  rig.main->acNewFrame->trigger();
  TfrmFrame* editor = Editor(0);
  Type(editor, "text");
  rig.dialogs.answers.push_back(Answer::Yes);
  editor->butCloseClick();
  Settle();
  EXPECT_EQ(Editor(0), editor);
  EXPECT_EQ(Messages().back(), "Error: You must define the frame type");

  rig.dialogs.answers.push_back(Answer::No);
  QTest::keyClick(editor->txtDescription, Qt::Key_Escape);
  Settle();
  EXPECT_EQ(Editor(0), nullptr);
  EXPECT_EQ(Messages().back(), "Warning: The text has been modified. Do you want save it before close ?");
}

TEST_F(FrameEditorTest, OpenFrameOffersTheFourTypesAndAnUnreadableFileOpensNothing) {
  const QString path = File("f.lfd", "[BAUDRATE]\r\n");
  rig.dialogs.files.push_back(path);
  rig.main->acOpenFrame->trigger();
  ASSERT_EQ(rig.dialogs.fileRequests.size(), 1u);
  EXPECT_EQ(rig.dialogs.fileRequests[0].filter,
            "Manchester Frame Description (*.mfd)|*.mfd|Serial Frame Description (*.sfd)|*.sfd"
            "|CAN Frame Description (*.cfd)|*.cfd|LIN Frame Description (*.lfd)|*.lfd");
  ASSERT_NE(Editor(0), nullptr);
  EXPECT_EQ(Editor(0)->cboType->currentText(), "LIN");

  rig.main->acOpenFrame->trigger();  // cancelled
  EXPECT_EQ(Registry().Count(), 1);

  rig.main->OpenFrameEditor(QString::fromStdString(rig.dir.File("gone.sfd")), "Error : Value of Baudrate");
  EXPECT_EQ(Messages(), std::vector<QString>{"Error: The file can not be opened"});
  EXPECT_EQ(Registry().Count(), 1);
}

TEST_F(FrameEditorTest, ALoadersYesOpensTheFileWithItsReason) {
  const std::string description = rig.dir.Write("bad.sfd", "[PROTOCOL]\r\nDataBits=8\r\n");
  const std::string capture = rig.dir.Write("c.bin", std::string(64, '\0'));
  ChannelSettings& channel = rig.main->GetSettings().channels[1];
  channel.type = ChannelType::Serial;
  channel.active = true;
  channel.serialFile = description;

  rig.dialogs.answers.push_back(Answer::Yes);
  rig.main->ReplayCaptureFile(QString::fromStdString(capture));
  ASSERT_FALSE(rig.dialogs.messages.empty());
  EXPECT_TRUE(rig.dialogs.messages[0].text.startsWith("Channel 2 : File ''"));
  EXPECT_TRUE(rig.dialogs.messages[0].text.endsWith("Do you want to open this file ?"));
  TfrmFrame* editor = Editor(0);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->Caption(), QString::fromStdString(description));
  EXPECT_EQ(editor->txtErreur->text(), "Error : Value of Baudrate");
  EXPECT_EQ(editor->txtDescription->toPlainText(), "[PROTOCOL]\nDataBits=8");

  // The next run's refusal finds the same editor.
  rig.dialogs.answers.push_back(Answer::Yes);
  rig.main->ReplayCaptureFile(QString::fromStdString(capture));
  EXPECT_EQ(Registry().Count(), 1);
}

TEST_F(FrameEditorTest, ARefusedOptionOpensTheFileAtItsKey) {
  const std::string description =
      rig.dir.Write("bus.cfd", "[BAUDRATE]\r\nValue=125000\r\n[OPTIONS]\r\nExtendedFrames=YES\r\nCheckFrame=ON\r\n");
  const std::string capture = rig.dir.Write("c.bin", std::string(64, '\0'));
  ChannelSettings& channel = rig.main->GetSettings().channels[0];
  channel.type = ChannelType::Can;
  channel.active = true;
  channel.canFile = description;

  rig.dialogs.answers.push_back(Answer::Yes);
  rig.main->ReplayCaptureFile(QString::fromStdString(capture));
  TfrmFrame* editor = Editor(0);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->cboType->currentText(), "CAN");
  EXPECT_EQ(editor->txtErreur->text(), "Error : Value of CheckFrame");
  EXPECT_EQ(editor->txtDescription->textCursor().blockNumber(), 4);
  EXPECT_FALSE(editor->Modified());
}

TEST_F(FrameEditorTest, ARefusedDatabaseOpensTheDescriptionAtItsFileKey) {
  rig.dir.Write("bus.ldf", "LIN_description_file;\nLIN_protocol_version = 2.1\nFrames {\n");
  const std::string description =
      rig.dir.Write("bus.lfd", "[BAUDRATE]\r\nValue=19200\r\n[INVERT]\r\nValue=NO\r\n[PROTOCOL]\r\n"
                               "InterFrame=2000\r\n[DATABASE]\r\nFile=bus.ldf\r\n[ID]\r\n");
  const std::string capture = rig.dir.Write("c.bin", std::string(64, '\0'));
  ChannelSettings& channel = rig.main->GetSettings().channels[1];
  channel.type = ChannelType::Lin;
  channel.active = true;
  channel.linFile = description;

  rig.dialogs.answers.push_back(Answer::Yes);
  rig.main->ReplayCaptureFile(QString::fromStdString(capture));
  TfrmFrame* editor = Editor(0);
  ASSERT_NE(editor, nullptr);
  EXPECT_TRUE(editor->txtErreur->text().startsWith("Error : Line ")) << editor->txtErreur->text().toStdString();
  EXPECT_EQ(editor->txtDescription->textCursor().blockNumber(), 7);
}

TEST_F(FrameEditorTest, TheHelpLabelAndTheHelpCommandsOpenTheManual) {
  rig.main->acNewFrame->trigger();
  QTest::mouseClick(Editor(0)->Label3, Qt::LeftButton);
  TfrmAide& help = rig.main->HelpWindow();
  EXPECT_TRUE(help.isVisible());
  EXPECT_FALSE(help.IndexShown());
  EXPECT_EQ(help.txtContent->textCursor().selectedText(), "Frame Description editor");

  rig.main->acHelpIndex->trigger();
  EXPECT_TRUE(help.IndexShown());
  EXPECT_EQ(rig.main->acHelpIndex->shortcut(), QKeySequence(Qt::Key_F1));
  rig.main->acHelpContent->trigger();
  EXPECT_FALSE(help.IndexShown());
  EXPECT_EQ(rig.main->acHelpContent->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F1));

  rig.main->ShowHelpTopic("Channel");
  EXPECT_EQ(help.txtContent->textCursor().selectedText(), "Channel settings");
}

TEST_F(FrameEditorTest, TheVersionCommandShowsTheVersionWindowModally) {
  bool shown = false;
  QTimer::singleShot(0, [&] {
    TfrmVersionContacts& window = rig.main->VersionWindow();
    shown = window.isVisible() && window.isModal();
    window.accept();
  });
  rig.main->acVersion->trigger();
  EXPECT_TRUE(shown);
  EXPECT_EQ(rig.main->VersionWindow().txtInformation1->text(),
            ToQt(VersionText(ProgramVersionRecord().fileVersion)));
}

TEST_F(FrameEditorTest, KeysThatCloseADropDownOnlyCloseTheDropDown) {
  rig.main->acNewFrame->trigger();
  TfrmFrame* editor = Editor(0);
  ASSERT_NE(editor, nullptr);
  QComboBox* type = editor->cboType;
  auto open = [type] {
    type->setFocus();
    type->showPopup();
    return GuiRig::WaitFor([type] { return type->view()->isVisible(); });
  };

  // Escape closes the open list; the editor and its type stay.
  ASSERT_TRUE(open());
  type->view()->setCurrentIndex(type->model()->index(1, 0));
  QTest::keyClick(type->view(), Qt::Key_Return);
  EXPECT_EQ(type->currentText(), "Serial");
  ASSERT_TRUE(open());
  QTest::keyClick(type->view(), Qt::Key_Down);
  QTest::keyClick(type->view(), Qt::Key_Escape);
  Settle();
  EXPECT_FALSE(type->view()->isVisible());
  EXPECT_EQ(Editor(0), editor);
  EXPECT_EQ(type->currentText(), "Serial");
  EXPECT_TRUE(rig.dialogs.messages.empty());

  // With no list open, Escape is the editor's Close again.
  QTest::keyClick(type, Qt::Key_Escape);
  Settle();
  EXPECT_EQ(Editor(0), nullptr);
}
