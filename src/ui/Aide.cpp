#include "ui/Aide.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "app/SafeSave.h"
#include "ui/QtText.h"

namespace velkor::ui {

// ---- index list ----

void HelpIndexModel::SetChapters(const std::vector<HelpChapter>* chapters) {
  beginResetModel();  // a new document, not an append
  chapters_ = chapters;
  endResetModel();
}

int HelpIndexModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || chapters_ == nullptr ? 0 : static_cast<int>(chapters_->size());
}

const HelpChapter* HelpIndexModel::Chapter(int row) const {
  if (chapters_ == nullptr || row < 0 || row >= static_cast<int>(chapters_->size())) return nullptr;
  return &(*chapters_)[static_cast<std::size_t>(row)];
}

QVariant HelpIndexModel::data(const QModelIndex& index, int role) const {
  const HelpChapter* c = Chapter(index.row());
  if (c == nullptr || role != Qt::DisplayRole) return {};
  return ToQt(c->title);
}

void HelpIndexDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  const auto* model = static_cast<const HelpIndexModel*>(index.model());
  const HelpChapter* c = model->Chapter(index.row());
  const bool selected = option.state & QStyle::State_Selected;
  painter->save();
  painter->fillRect(option.rect, selected ? option.palette.highlight().color() : TfrmAide::kBackground);
  if (c != nullptr && c->length > 1) {
    QFont font = option.font;
    font.setBold(c->style & kHelpBold);
    font.setItalic(c->style & kHelpItalic);
    painter->setFont(font);
    const QColor colour = c->hasColour ? QColor(c->colour.red, c->colour.green, c->colour.blue) : QColor(Qt::black);
    painter->setPen(selected ? QColor(Qt::white) : colour);
    painter->drawText(option.rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      ToQt(c->title));
  }
  painter->restore();
}

QSize HelpIndexDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  QFont bold = option.font;
  bold.setBold(true);
  return QSize(200, QFontMetrics(bold).height() + 2);
}

// ---- find dialog ----

TfrmFind::TfrmFind(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Find");
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel("Find what:"));
  txtFind = new QLineEdit;
  row->addWidget(txtFind);
  auto* butFindNext = new QPushButton("Find Next");
  butFindNext->setDefault(true);
  row->addWidget(butFindNext);
  layout->addLayout(row);
  auto* bottom = new QHBoxLayout;
  chkMatchCase = new QCheckBox("Match case");
  bottom->addWidget(chkMatchCase);
  bottom->addStretch();
  auto* butCancel = new QPushButton("Cancel");
  bottom->addWidget(butCancel);
  layout->addLayout(bottom);
  connect(butFindNext, &QPushButton::clicked, this, &TfrmFind::FindNext);
  connect(butCancel, &QPushButton::clicked, this, &QDialog::hide);
}

// ---- help window ----

TfrmAide::TfrmAide(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle("Help");
  resize(640, 560);

  QMenu* mnuWindow = menuBar()->addMenu("Window");
  mnuWindow->addAction("Close", this, &QWidget::hide);
  mnuAffiche = menuBar()->addAction("&Contenu");
  connect(mnuAffiche, &QAction::triggered, this, &TfrmAide::mnuAfficheClick);
  QAction* mnuFind = menuBar()->addAction("Find");
  connect(mnuFind, &QAction::triggered, this, &TfrmAide::mnuFindClick);
  mnuFile = menuBar()->addMenu("File");
  mnuFile->addAction("Copy", this, &TfrmAide::mnuCopyClick);
  mnuFile->addAction("Reload", this, &TfrmAide::Reload);
  mnuFile->addAction("Generate Index", this, &TfrmAide::mnuGenerateIndexClick);
  mnuFile->menuAction()->setVisible(false);  // for whoever maintains the manual

  auto* maintenance = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Space), this);
  connect(maintenance, &QShortcut::activated, this, &TfrmAide::ShowMaintenanceMenu);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::hide);

  QPalette pale = palette();
  pale.setColor(QPalette::Base, kBackground);

  model_ = new HelpIndexModel(this);
  lstIndex = new QListView;
  lstIndex->setModel(model_);
  lstIndex->setItemDelegate(new HelpIndexDelegate(lstIndex));
  lstIndex->setUniformItemSizes(true);
  lstIndex->setSelectionMode(QAbstractItemView::SingleSelection);
  lstIndex->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lstIndex->setPalette(pale);
  connect(lstIndex, &QListView::clicked, this, [this](const QModelIndex& i) { ShowChapter(i.row()); });
  connect(lstIndex, &QListView::activated, this, [this](const QModelIndex& i) { ShowChapter(i.row()); });

  txtContent = new QTextEdit;
  txtContent->setReadOnly(true);
  txtContent->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  txtContent->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtContent->setPalette(pale);

  views_ = new QStackedWidget;
  views_->addWidget(txtContent);
  views_->addWidget(lstIndex);
  setCentralWidget(views_);

  dlgFind = new TfrmFind(this);
  connect(dlgFind, &TfrmFind::FindNext, this, &TfrmAide::FindNext);

  Reload();
  ShowView(true);
}

void TfrmAide::Reload() {
  LoadHelp(LoadHelpSource(FromQt(QCoreApplication::applicationFilePath())));
}

void TfrmAide::LoadHelp(std::string source) {
  model_->SetChapters(nullptr);
  document_ = IndexHelpDocument(std::move(source));
  BuildContent();
  model_->SetChapters(&document_.chapters);
}

// The runs become one QTextDocument. Windows-1252 has one UTF-16 unit per character and a
// paragraph end is one character in both, so core positions are document positions.
void TfrmAide::BuildContent() {
  QTextDocument* doc = txtContent->document();
  doc->clear();
  QTextCursor cursor(doc);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  const QFont normal = txtContent->font();
  for (const RtfRun& run : document_.content.runs) {
    QTextCharFormat format;
    format.setFontFamilies((run.format.fixedPitch ? fixed : normal).families());
    format.setFontPointSize(run.format.halfPoints / 2.0);
    format.setFontWeight(run.format.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(run.format.italic);
    format.setFontUnderline(run.format.underline);
    format.setForeground(run.format.hasColour
                             ? QColor(run.format.colour.red, run.format.colour.green, run.format.colour.blue)
                             : QColor(Qt::black));
    QString text = ToQt(run.text);
    text.replace(QChar('\v'), QChar(QChar::LineSeparator));
    cursor.insertText(text, format);
  }
  doc->setModified(false);
  QTextCursor start(doc);
  txtContent->setTextCursor(start);
}

bool TfrmAide::IndexShown() const { return views_->currentWidget() == lstIndex; }

void TfrmAide::ShowView(bool index) {
  views_->setCurrentWidget(index ? static_cast<QWidget*>(lstIndex) : txtContent);
  mnuAffiche->setText(index ? "&Contenu" : "&Index");
}

void TfrmAide::ShowIndex() {
  lstIndex->clearSelection();
  lstIndex->setCurrentIndex(QModelIndex());
  ShowView(true);
  show();
  raise();
  activateWindow();
}

void TfrmAide::ShowContent() {
  ShowView(false);
  show();
  raise();
  activateWindow();
}

void TfrmAide::ShowHelpTopic(std::string_view key) {
  const int chapter = FindHelpTopic(document_.chapters, key);
  // A title too short to be shown is no better than no title at all.
  if (chapter < 0 || !IsChapterShowable(document_.chapters[static_cast<std::size_t>(chapter)])) {
    ShowIndex();
    return;
  }
  ShowChapter(chapter);
  show();
  raise();
  activateWindow();
}

void TfrmAide::ShowChapter(int chapter) {
  if (chapter < 0 || chapter >= static_cast<int>(document_.chapters.size())) return;
  const HelpChapter& c = document_.chapters[static_cast<std::size_t>(chapter)];
  if (!IsChapterShowable(c)) return;
  ShowContent();
  QTextCursor cursor(txtContent->document());
  cursor.setPosition(static_cast<int>(c.position + 1));
  cursor.setPosition(static_cast<int>(c.position + 1 + c.length), QTextCursor::KeepAnchor);
  txtContent->setTextCursor(cursor);
  // The heading's line goes to the top, as far as the text below it allows.
  const QTextBlock block = txtContent->document()->findBlock(static_cast<int>(c.position));
  const QRectF rect = txtContent->document()->documentLayout()->blockBoundingRect(block);
  QScrollBar* bar = txtContent->verticalScrollBar();
  bar->setValue(bar->maximum());
  bar->setValue(static_cast<int>(rect.top()));
}

void TfrmAide::mnuAfficheClick() {
  if (IndexShown()) ShowContent();
  else ShowIndex();
}

void TfrmAide::mnuFindClick() {
  dlgFind->adjustSize();
  // Just above the help window, so the hit stays in sight; never above the screen's top.
  int top = geometry().top() - 90;
  if (const QScreen* s = screen(); s != nullptr) top = std::max(top, s->availableGeometry().top());
  dlgFind->move(frameGeometry().left() + 40, top);
  dlgFind->show();
  dlgFind->raise();
  dlgFind->activateWindow();
}

void TfrmAide::FindNext() {
  const QString what = dlgFind->txtFind->text();
  if (what.isEmpty()) return;
  const QTextCursor current = txtContent->textCursor();
  const int from = current.hasSelection() ? current.selectionEnd() : 0;
  QTextDocument::FindFlags flags;
  if (dlgFind->chkMatchCase->isChecked()) flags |= QTextDocument::FindCaseSensitively;
  const QTextCursor hit = txtContent->document()->find(what, from, flags);
  if (hit.isNull()) return;
  if (IndexShown()) ShowView(false);
  txtContent->setTextCursor(hit);
  txtContent->ensureCursorVisible();
  txtContent->setFocus();
}

static bool WriteTextFile(QWidget* parent, const QString& name, const std::string& bytes) {
  if (!SafeSaveFile(FromQt(name), bytes)) return true;
  QMessageBox::warning(parent, "Error", "The file " + name + " can not be written");
  return false;
}

void TfrmAide::mnuCopyClick() { WriteTextFile(this, "HelpFile.rtf", document_.source); }

void TfrmAide::mnuGenerateIndexClick() {
  const std::string index = HelpIndexRtf(document_.chapters);
  WriteTextFile(this, "TableIndex.rtf", index);
  auto* mime = new QMimeData;
  mime->setData("text/rtf", QByteArray(index.data(), static_cast<qsizetype>(index.size())));
  QString titles;
  for (const HelpChapter& c : document_.chapters)
    if (IsChapterShowable(c)) titles += ToQt(c.title) + "\n";
  mime->setText(titles);
  QGuiApplication::clipboard()->setMimeData(mime);
}

void TfrmAide::ShowMaintenanceMenu() {
  mnuFile->menuAction()->setVisible(true);
  Reload();
}


}  // namespace velkor::ui
