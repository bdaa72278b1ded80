#include "ui/channels/Frame.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

#include "app/Cp1252.h"
#include "channels/FrameDescriptionText.h"
#include "ui/ClickLabel.h"
#include "ui/Icons.h"
#include "ui/Main.h"
#include "ui/QtText.h"
#include "ui/WindowKeys.h"

namespace velkor::ui {

TfrmFrame::TfrmFrame(TfrmMain& main)
    : MdiChild(main, ToQt(kNewFrameCaption), QSize(kClientWidth, kClientHeight)) {
  // A fixed single border with the system menu and the close box only.
  setWindowFlags(Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  SetClientSize(QSize(kClientWidth, kClientHeight));
  setFixedSize(size());
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowIcon(main.Image(kImageNewFrame));

  auto* layout = new QVBoxLayout(Client());
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel("Type :"));
  cboType = new QComboBox;
  cboType->addItems({"Manchester", "Serial", "CAN", "LIN"});
  cboType->setCurrentIndex(-1);
  cboType->setToolTip("Choose the Frame Description type");
  top->addWidget(cboType);
  txtErreur = new QLabel;
  txtErreur->setWordWrap(true);
  txtErreur->setTextFormat(Qt::PlainText);
  txtErreur->setTextInteractionFlags(Qt::TextSelectableByMouse);
  txtErreur->setStyleSheet("color: rgb(160, 0, 0);");
  top->addWidget(txtErreur, 1);
  Label3 = new HelpLabel(nullptr, [this] { Label3Click(); });
  top->addWidget(Label3);
  layout->addLayout(top);

  layout->addWidget(new QLabel("Frame Description :"));
  txtDescription = new QPlainTextEdit;
  txtDescription->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtDescription->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtDescription->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtDescription->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  layout->addWidget(txtDescription, 1);

  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  butSave = new QPushButton("Save");
  butSave->setDefault(true);
  butSaveAs = new QPushButton("Save as");
  butClose = new QPushButton("Close");
  bottom->addWidget(butSave);
  bottom->addWidget(butSaveAs);
  bottom->addWidget(butClose);
  layout->addLayout(bottom);

  connect(butSave, &QPushButton::clicked, this, &TfrmFrame::butSaveClick);
  connect(butSaveAs, &QPushButton::clicked, this, &TfrmFrame::butSaveAsClick);
  connect(butClose, &QPushButton::clicked, this, &TfrmFrame::butCloseClick);
  // Escape is Close, unless it only closes the open type list.
  new WindowKeys(Client(), nullptr, [this] { butCloseClick(); });
}

bool TfrmFrame::LoadFile(const QString& path) {
  std::string text;
  if (ReadFrameDescriptionText(FromQt(path), text)) return true;
  txtDescription->setPlainText(ToQt(text));
  txtDescription->document()->setModified(false);
  setWindowTitle(path);
  filePath_ = QFileInfo(path).absoluteFilePath();
  cboType->setCurrentIndex(FrameTypeOfPath(FromQt(path)));
  cboType->setEnabled(false);
  return false;
}

void TfrmFrame::SetErrorText(const QString& text) {
  txtErreur->setText(text);
  // A loader's refusal names the key at fault: the cursor goes to its line.
  const int line = RefusedKeyLine(FromQt(txtDescription->toPlainText()), FromQt(text), cboType->currentIndex());
  if (line < 0) return;
  QTextCursor cursor(txtDescription->document()->findBlockByNumber(line));
  cursor.movePosition(QTextCursor::EndOfBlock);
  txtDescription->setTextCursor(cursor);
  txtDescription->ensureCursorVisible();
}

bool TfrmFrame::Modified() const { return txtDescription->document()->isModified(); }

void TfrmFrame::butSaveClick() {
  txtErreur->clear();
  SaveDescription(Caption() == ToQt(kNewFrameCaption));
}

void TfrmFrame::butSaveAsClick() { SaveDescription(true); }

void TfrmFrame::SaveDescription(bool saveAs) {
  if (!Modified() && !saveAs) return;
  const int type = cboType->currentIndex();
  if (type < 0) {
    Main().ShowMessage("You must define the frame type", "Error");
    return;
  }
  const QString text = txtDescription->toPlainText();
  if (!ConfirmUnsavableCharacters(text)) return;
  QString path = filePath_;
  if (saveAs) {
    const QString filter = ToQt(FrameTypeFilter(type));
    path = Main().GetDialogs().SaveFile(this, FileRequest{{}, filter, filter.right(3), {}});
    if (path.isEmpty()) return;
  }
  // The decoders read these files as Windows-1252, so that is how they are written.
  if (WriteFrameDescriptionText(FromQt(path), FromQt(text))) {
    Main().ShowMessage("The file can not be written: " + path, "Error");
    return;
  }
  if (saveAs) {
    setWindowTitle(path);
    filePath_ = QFileInfo(path).absoluteFilePath();
  }
  txtDescription->document()->setModified(false);
  saved_ = true;
}

bool TfrmFrame::ConfirmUnsavableCharacters(const QString& text) {
  const std::vector<char32_t> missing = CharactersOutsideCp1252(text.toStdString());
  if (missing.empty()) return true;
  return Main().ShowMessage("These characters can not be saved in a frame description and would be written as "
                            "\"?\" :\n" + CharacterList(missing) + "\nSave anyway ?",
                            "Warning", Buttons::YesNo) == Answer::Yes;
}

void TfrmFrame::butCloseClick() {
  if (Modified()) {
    switch (Main().ShowMessage("The text has been modified. Do you want save it before close ?", "Warning",
                               Buttons::YesNoCancel)) {
      case Answer::Yes:
        saved_ = false;
        butSaveClick();
        if (!saved_) return;  // no type, a cancelled dialog or a failed write: stay open
        break;
      case Answer::No: break;
      case Answer::Cancel:
      case Answer::Ok: return;
    }
  }
  close();
}

void TfrmFrame::Label3Click() { Main().ShowHelpTopic("Frame Description"); }

// Every way of closing ends here, the window's own close box too, which asks nothing.
void TfrmFrame::closeEvent(QCloseEvent* event) {
  if (!forgotten_) {
    forgotten_ = true;
    Main().ForgetFrameEditor(this);
  }
  QMdiSubWindow::closeEvent(event);
}

}  // namespace velkor::ui
