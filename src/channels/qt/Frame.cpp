#include "channels/qt/Frame.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include "channels/FrameDescriptionText.h"
#include "ui/QtText.h"

namespace velkor {

TfrmFrame::Dialogs TfrmFrame::Dialogs::Standard() {
  Dialogs d;
  d.message = [](QWidget* parent, const QString& text, const QString& caption, Buttons buttons) {
    QMessageBox box(buttons == Buttons::Ok ? QMessageBox::Critical : QMessageBox::Warning, caption, text,
                    buttons == Buttons::Ok ? QMessageBox::Ok
                                           : QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                    parent);
    switch (box.exec()) {
      case QMessageBox::Yes: return Answer::Yes;
      case QMessageBox::No: return Answer::No;
      case QMessageBox::Cancel: return Answer::Cancel;
      default: return Answer::Ok;
    }
  };
  d.saveFileName = [](QWidget* parent, const QString& filter, const QString& defaultSuffix) {
    QFileDialog dialog(parent, QString(), QDir::currentPath(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().front();
  };
  return d;
}

TfrmFrame::TfrmFrame(QWidget* parent) : QWidget(parent), dialogs_(Dialogs::Standard()) {
  setFixedSize(kClientWidth, kClientHeight);

  auto* layout = new QVBoxLayout(this);
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
  Label3 = new QLabel("?");
  Label3->setStyleSheet("color: blue; font-weight: bold; text-decoration: underline;");
  Label3->setCursor(Qt::WhatsThisCursor);
  Label3->installEventFilter(this);
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
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WidgetWithChildrenShortcut);
  connect(escape, &QShortcut::activated, this, &TfrmFrame::butCloseClick);

  SetCaption(ToQString(kNewFrameCaption));
}

bool TfrmFrame::LoadFile(const std::string& path) {
  std::string text;
  if (ReadFrameDescriptionText(path, text)) return true;
  txtDescription->setPlainText(ToQString(text));
  txtDescription->document()->setModified(false);
  SetCaption(PathToQString(path));
  cboType->setCurrentIndex(FrameTypeOfPath(path));
  cboType->setEnabled(false);
  return false;
}

void TfrmFrame::SetErrorText(const QString& text) { txtErreur->setText(text); }

bool TfrmFrame::Modified() const { return txtDescription->document()->isModified(); }

void TfrmFrame::SetCaption(const QString& caption) {
  caption_ = caption;
  setWindowTitle(caption);
  Q_EMIT CaptionChanged(caption);
}

void TfrmFrame::butSaveClick() {
  txtErreur->clear();
  SaveDescription(caption_ == ToQString(kNewFrameCaption));
}

void TfrmFrame::butSaveAsClick() { SaveDescription(true); }

void TfrmFrame::SaveDescription(bool saveAs) {
  if (!Modified() && !saveAs) return;
  const int type = cboType->currentIndex();
  if (type < 0) {
    dialogs_.message(this, "You must define the frame type", "Error", Dialogs::Buttons::Ok);
    return;
  }
  QString path = caption_;
  if (saveAs) {
    // "Serial Frame Description (*.sfd)|*.sfd": the dialog shows the part before the bar,
    // and the last three characters are the extension a bare name gets.
    const QString filter = ToQString(FrameTypeFilter(type));
    path = dialogs_.saveFileName(this, filter.section('|', 0, 0), filter.right(3));
    if (path.isEmpty()) return;
  }
  if (WriteFrameDescriptionText(PathFromQString(path), FromQString(txtDescription->toPlainText()))) {
    dialogs_.message(this, "The file ''" + path + "'' can not be written", "Error", Dialogs::Buttons::Ok);
    return;
  }
  if (saveAs) SetCaption(path);
  txtDescription->document()->setModified(false);
  saved_ = true;
}

void TfrmFrame::butCloseClick() {
  if (Modified()) {
    const Dialogs::Answer answer =
        dialogs_.message(this, "The text has been modified. Do you want save it before close ?", "Warning",
                         Dialogs::Buttons::YesNoCancel);
    if (answer == Dialogs::Answer::Cancel) return;
    if (answer == Dialogs::Answer::Yes) {
      saved_ = false;
      butSaveClick();
      if (!saved_) return;  // no type, a cancelled dialog or a failed write: stay open
    }
  }
  if (closer_) closer_();
  else close();
}

void TfrmFrame::Label3Click() {
  if (helpRequest_) helpRequest_();
}

// Closing by any way (the close box skips the question) forgets the editor.
void TfrmFrame::closeEvent(QCloseEvent* event) {
  event->accept();
  if (closed_) return;
  closed_ = true;
  if (closedNotice_) closedNotice_(this);
}

bool TfrmFrame::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label3 && event->type() == QEvent::MouseButtonRelease) {
    Label3Click();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace velkor
