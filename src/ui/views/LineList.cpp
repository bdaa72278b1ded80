#include "ui/views/LineList.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "export/ExportFile.h"
#include "ui/Main.h"
#include "ui/Progress.h"
#include "ui/QtText.h"
#include "views/LineText.h"
#include "ui/views/Edit.h"

namespace velkor::ui {

namespace {

constexpr std::size_t kCopyPartBytes = 1 << 20;
const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kGrey(128, 128, 128);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kTitleBackground(223, 223, 223);  // 14671839, 0xDFDFDF

QLabel* TitleLabel(QLabel* label) {
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  label->setAutoFillBackground(true);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, kTitleBackground);
  label->setPalette(palette);
  label->setFixedHeight(16);
  return label;
}

int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

const QColor& MarkerColour(FieldMarker marker) {
  switch (marker) {
    case FieldMarker::ErrorLine: return kRed;
    case FieldMarker::DescribedField: return kGreen;
    case FieldMarker::None: break;
  }
  return kBlack;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// LineListModel

LineListModel::LineListModel(DecodedLineList& lines, QObject* parent)
    : QAbstractListModel(parent), lines_(lines) {
  generation_ = lines_.Generation();
  removed_ = lines_.RemovedFromFront();
  rows_ = static_cast<int>(std::min<std::size_t>(lines_.size(), INT_MAX));
}

int LineListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

QVariant LineListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  return ToQt(Line(index.row()));
}

Qt::ItemFlags LineListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

std::string_view LineListModel::Line(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= lines_.size()) return {};
  return lines_.Line(static_cast<std::size_t>(row));
}

bool LineListModel::Sync() {
  const auto listRows = [this] { return static_cast<int>(std::min<std::size_t>(lines_.size(), INT_MAX)); };
  if (lines_.Generation() != generation_) {
    syncing_ = true;
    beginResetModel();
    generation_ = lines_.Generation();
    removed_ = lines_.RemovedFromFront();
    rows_ = listRows();
    // A row selected between the clear and now marked a line of the emptied list.
    for (std::size_t i = 0; i < lines_.size(); ++i) lines_.SetSelected(i, false);
    endResetModel();
    syncing_ = false;
    return true;
  }
  bool changed = false;
  const std::uint64_t removed = lines_.RemovedFromFront() - removed_;
  if (removed > 0) {
    // Lines taken before they were ever shown have no row to remove.
    const int shown = static_cast<int>(std::min<std::uint64_t>(removed, static_cast<std::uint64_t>(rows_)));
    if (shown > 0) {
      syncing_ = true;
      beginRemoveRows(QModelIndex(), 0, shown - 1);
      rows_ -= shown;
      removed_ = lines_.RemovedFromFront();
      endRemoveRows();
      syncing_ = false;
    }
    removed_ = lines_.RemovedFromFront();
    changed = true;
  }
  const int target = listRows();
  if (target > rows_) {
    syncing_ = true;
    beginInsertRows(QModelIndex(), rows_, target - 1);
    rows_ = target;
    endInsertRows();
    syncing_ = false;
    changed = true;
  } else if (target < rows_) {
    // Only a clear or a removal shortens the list, and both are counted: this is a list
    // changed behind the counters' back. Start again from it.
    syncing_ = true;
    beginResetModel();
    rows_ = target;
    endResetModel();
    syncing_ = false;
    changed = true;
  }
  return changed;
}

void LineListModel::RemoveFirstLine() {
  Sync();
  if (lines_.empty()) return;
  syncing_ = true;
  beginRemoveRows(QModelIndex(), 0, 0);
  lines_.RemoveFirst();
  removed_ = lines_.RemovedFromFront();
  --rows_;
  endRemoveRows();
  syncing_ = false;
}

// ---------------------------------------------------------------------------------------
// LineDelegate

LineDelegate::LineDelegate(TfrmMain& main, const LineListModel& model, const LineLook& look, QObject* parent)
    : QAbstractItemDelegate(parent),
      main_(main),
      model_(model),
      look_(look),
      font_(RowFont()),
      metrics_(font_),
      ascent_(metrics_.ascent()),
      rawFont_(QRawFont::fromFont(font_)) {
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    const QString text = ToQt(std::string_view(&byte, 1));
    Glyph& g = glyphTable_[static_cast<std::size_t>(b)];
    if (!rawFont_.isValid() || text.size() != 1) continue;
    const QList<quint32> indexes = rawFont_.glyphIndexesForString(text);
    if (indexes.size() != 1) continue;
    g.index = indexes[0];
    const QList<QPointF> advances = rawFont_.advancesForGlyphIndexes(indexes);
    g.advance = advances.isEmpty() ? 0 : advances[0].x();
  }
  run_.setRawFont(rawFont_);
}

QFont LineDelegate::RowFont() {
  // "Courier New" where it exists; fontconfig offers its metric twin, Liberation Mono.
  QFont font("Courier New");
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(11);
  return font;
}

void LineDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  // A view may paint between a clear of the list and the next sync: the row is then empty.
  const std::string_view line = model_.Line(index.row());
  if (line.empty()) {
    painter->fillRect(option.rect, option.palette.color(QPalette::Base));
    return;
  }
  PaintLine(*painter, option.rect, line, (option.state & QStyle::State_Selected) != 0);
}

QSize LineDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
  return QSize(option.rect.width(), kLineRowHeight);
}

bool LineDelegate::LayOut(std::string_view cp1252, qreal& width) const {
  glyphs_.resize(static_cast<qsizetype>(cp1252.size()));
  positions_.resize(static_cast<qsizetype>(cp1252.size()));
  qreal at = 0;
  for (std::size_t i = 0; i < cp1252.size(); ++i) {
    const Glyph& g = glyphTable_[static_cast<unsigned char>(cp1252[i])];
    // Glyph 0 is the font's "missing" box: such a piece goes through text layout, which
    // finds the character in another font.
    if (g.index == 0) return false;
    glyphs_[static_cast<qsizetype>(i)] = g.index;
    positions_[static_cast<qsizetype>(i)] = QPointF(at, 0);
    at += g.advance;
  }
  width = at;
  return true;
}

int LineDelegate::TextWidth(std::string_view cp1252) const {
  qreal width = 0;
  if (LayOut(cp1252, width)) return qRound(width);
  return metrics_.horizontalAdvance(ToQt(cp1252));
}

int LineDelegate::DrawPiece(QPainter& painter, int x, const QRect& row, std::string_view cp1252, const QColor& text,
                            const QColor& background) const {
  if (cp1252.empty()) return x;
  qreal exact = 0;
  const bool glyphs = LayOut(cp1252, exact);
  const QString fallback = glyphs ? QString() : ToQt(cp1252);
  const int width = glyphs ? qRound(exact) : metrics_.horizontalAdvance(fallback);
  painter.fillRect(QRect(x, row.top(), width, row.height()), background);
  painter.setPen(text);
  if (glyphs) {
    run_.setGlyphIndexes(glyphs_);
    run_.setPositions(positions_);
    painter.drawGlyphRun(QPointF(x, row.top() + ascent_), run_);
  } else {
    painter.drawText(x, row.top() + ascent_, fallback);
  }
  return x + width;
}

void LineDelegate::PaintLine(QPainter& painter, const QRect& rect, std::string_view line, bool selected) const {
  if (line.empty()) return;
  LineReader reader(line);
  painter.fillRect(rect, kWhite);
  painter.setFont(font_);

  const int channel = reader.Channel();
  const bool known = channel >= 0 && channel < kChannelCount;
  char cell[6] = {' ', ' ', ' ', ' ', ' ', ' '};
  if (known) {
    const std::string& caption = main_.GetSettings().channels[channel].caption;
    std::copy_n(caption.begin(), std::min<std::size_t>(caption.size(), 6), cell);
  }
  int x = rect.left() + 1;
  x = DrawPiece(painter, x, rect, std::string_view(cell, 6), kBlack, known ? main_.ChannelTextColour(channel) : kWhite);

  const QColor& back = selected ? kBlue : kWhite;
  const auto colour = [selected](const QColor& own) -> const QColor& { return selected ? kWhite : own; };
  x = DrawPiece(painter, x, rect, DateColumnText(reader.Date(), look_.dateInMilliseconds), colour(kGrey), back);

  LineField field;
  int named = 0;
  while (reader.NextField(field)) {
    const QColor& own = MarkerColour(field.marker);
    if (!field.hasValue) {
      scratch_.assign(1, ' ').append(field.text);
      x = DrawPiece(painter, x, rect, scratch_, colour(own), back);
      continue;
    }
    if (++named <= look_.fieldScroll) {
      painter.setPen(kBlack);
      painter.drawLine(rect.left() + kHiddenFieldLineX, rect.top(), rect.left() + kHiddenFieldLineX, rect.bottom());
      x = rect.left() + kHiddenFieldLineX + 1;
      continue;
    }
    scratch_.assign(1, ' ').append(field.name).append(1, '=');
    x = DrawPiece(painter, x, rect, scratch_, colour(own), back);
    x = DrawPiece(painter, x, rect, field.value, colour(kBlue), back);
  }
}

// ---------------------------------------------------------------------------------------
// LineListView

LineListView::LineListView(QWidget* parent) : QAbstractItemView(parent) {
  setSelectionMode(ExtendedSelection);
  setSelectionBehavior(SelectRows);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setEditTriggers(NoEditTriggers);
  setTabKeyNavigation(false);
  setFont(LineDelegate::RowFont());
  viewport()->setAutoFillBackground(false);
}

int LineListView::RowCount() const { return model() ? model()->rowCount(rootIndex()) : 0; }
int LineListView::TopRow() const { return verticalScrollBar()->value(); }
void LineListView::SetTopRow(int row) { verticalScrollBar()->setValue(row); }
int LineListView::PageRows() const { return std::max(1, viewport()->height() / kLineRowHeight); }
int LineListView::verticalOffset() const { return TopRow() * kLineRowHeight; }
int LineListView::RowAt(int y) const { return TopRow() + FloorDiv(y, kLineRowHeight); }

QRect LineListView::visualRect(const QModelIndex& index) const {
  if (!index.isValid()) return {};
  return QRect(0, (index.row() - TopRow()) * kLineRowHeight, viewport()->width(), kLineRowHeight);
}

void LineListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid()) return;
  const int row = index.row();
  const int top = TopRow();
  const int page = PageRows();
  switch (hint) {
    case EnsureVisible:
      if (row < top) SetTopRow(row);
      else if (row >= top + page) SetTopRow(row - page + 1);
      break;
    case PositionAtTop: SetTopRow(row); break;
    case PositionAtBottom: SetTopRow(row - page + 1); break;
    case PositionAtCenter: SetTopRow(row - page / 2); break;
  }
}

QModelIndex LineListView::indexAt(const QPoint& point) const {
  const int row = RowAt(point.y());
  if (row < 0 || row >= RowCount()) return {};
  return model()->index(row, 0, rootIndex());
}

void LineListView::setModel(QAbstractItemModel* newModel) {
  if (model()) disconnect(model(), nullptr, this, nullptr);
  QAbstractItemView::setModel(newModel);
  if (newModel) connect(newModel, &QAbstractItemModel::rowsRemoved, this, &LineListView::RowsRemoved);
  updateGeometries();
}

void LineListView::reset() {
  QAbstractItemView::reset();
  updateGeometries();
  viewport()->update();
}

QModelIndex LineListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers) {
  const int rows = RowCount();
  if (rows == 0) return {};
  const QModelIndex current = currentIndex();
  int row = current.isValid() ? current.row() : 0;
  switch (cursorAction) {
    case MoveUp:
    case MovePrevious: --row; break;
    case MoveDown:
    case MoveNext: row = current.isValid() ? row + 1 : 0; break;
    case MovePageUp: row -= PageRows(); break;
    case MovePageDown: row += PageRows(); break;
    case MoveHome: row = 0; break;
    case MoveEnd: row = rows - 1; break;
    case MoveLeft:
    case MoveRight: break;
  }
  return model()->index(std::clamp(row, 0, rows - 1), 0, rootIndex());
}

void LineListView::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
  const int rows = RowCount();
  int first = RowAt(std::min(rect.top(), rect.bottom()));
  int last = RowAt(std::max(rect.top(), rect.bottom()));
  if (rows == 0 || last < 0 || first >= rows) {
    selectionModel()->select(QItemSelection(), command);
    return;
  }
  first = std::clamp(first, 0, rows - 1);
  last = std::clamp(last, 0, rows - 1);
  selectionModel()->select(QItemSelection(model()->index(first, 0, rootIndex()), model()->index(last, 0, rootIndex())),
                           command);
}

QRegion LineListView::visualRegionForSelection(const QItemSelection& selection) const {
  QRegion region;
  const int top = TopRow();
  const int bottom = top + PageRows() + 1;
  for (const QItemSelectionRange& range : selection) {
    const int first = std::max(range.top(), top);
    const int last = std::min(range.bottom(), bottom);
    if (first > last) continue;
    region += QRect(0, (first - top) * kLineRowHeight, viewport()->width(), (last - first + 1) * kLineRowHeight);
  }
  return region;
}

void LineListView::updateGeometries() {
  const int page = PageRows();
  verticalScrollBar()->setRange(0, std::max(0, RowCount() - page));
  verticalScrollBar()->setPageStep(page);
  verticalScrollBar()->setSingleStep(1);
  QAbstractItemView::updateGeometries();
}

void LineListView::rowsInserted(const QModelIndex& parent, int start, int end) {
  QAbstractItemView::rowsInserted(parent, start, end);
  updateGeometries();
  if (start <= TopRow() + PageRows() && end >= TopRow()) viewport()->update();
}

void LineListView::RowsRemoved() {
  updateGeometries();
  viewport()->update();
}

void LineListView::scrollContentsBy(int, int) {
  // The scroll bar counts rows, not pixels: the rows are drawn again from the new top.
  viewport()->update();
}

void LineListView::resizeEvent(QResizeEvent* event) {
  QAbstractItemView::resizeEvent(event);
  updateGeometries();
}

void LineListView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QRect area = event->rect();
  const int rows = model() && itemDelegate() ? RowCount() : 0;
  const int first = std::max(0, RowAt(area.top()));
  const int last = std::min(rows - 1, RowAt(area.bottom()));
  // Rows fill their own width; only the space below the last one needs the background.
  const int rowsBottom = last >= first ? (last + 1 - TopRow()) * kLineRowHeight : area.top();
  if (rowsBottom <= area.bottom())
    painter.fillRect(QRect(area.left(), rowsBottom, area.width(), area.bottom() + 1 - rowsBottom),
                     palette().color(QPalette::Base));
  if (rows == 0) return;
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const QStyle::State base = option.state;
  const QModelIndex current = currentIndex();
  const bool focused = hasFocus();
  for (int row = first; row <= last; ++row) {
    const QModelIndex index = model()->index(row, 0, rootIndex());
    option.rect = visualRect(index);
    option.state = base;
    if (selectionModel() && selectionModel()->isSelected(index)) option.state |= QStyle::State_Selected;
    itemDelegate()->paint(&painter, option, index);
    if (focused && index == current) {
      QStyleOptionFocusRect focus;
      focus.initFrom(this);
      focus.rect = option.rect;
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
  }
}

void LineListView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    event->accept();
    return;
  }
  QAbstractItemView::mousePressEvent(event);
}

void LineListView::mouseReleaseEvent(QMouseEvent* event) {
  QAbstractItemView::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && currentIndex().isValid()) Q_EMIT RowClicked();
}

void LineListView::keyPressEvent(QKeyEvent* event) {
  const QModelIndex before = currentIndex();
  QAbstractItemView::keyPressEvent(event);
  if (currentIndex() != before && currentIndex().isValid()) Q_EMIT RowClicked();
}

// ---------------------------------------------------------------------------------------
// Small controls

LineStatusBar::LineStatusBar(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 1, 0, 0);
  layout->setSpacing(2);
  const int widths[3] = {200, 200, 50};
  for (int i = 0; i < 3; ++i) {
    auto* panel = new QLabel(this);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    panel->setIndent(2);
    if (i < 2) panel->setFixedWidth(widths[i]);
    else panel->setMinimumWidth(widths[i]);
    layout->addWidget(panel, i == 2 ? 1 : 0);
    panels_[i] = panel;
  }
  setFixedHeight(19);
}

void LineStatusBar::SetPanelText(int panel, const QString& text) { panels_[panel]->setText(text); }
QString LineStatusBar::PanelText(int panel) const { return panels_[panel]->text(); }

// ---------------------------------------------------------------------------------------
// LinePanel

LinePanel::LinePanel(TfrmMain& main, DecodedLineList& lines, QWidget* client, LinePanelOptions options)
    : QObject(client), main_(main), options_(options) {
  model_ = new LineListModel(lines, this);
  delegate_ = new LineDelegate(main, *model_, look_, this);

  lblDate = new ClickLabel("Date (ms)", client);
  QFont bold = lblDate->font();
  bold.setBold(true);
  lblDate->setFont(bold);
  lblDate->setCursor(Qt::PointingHandCursor);
  lblDate->setToolTip("Click to change unit");
  connect(lblDate, &ClickLabel::clicked, this, &LinePanel::lblDateClick);

  lstHexa = new LineListView(client);
  lstHexa->setModel(model_);
  lstHexa->setItemDelegate(delegate_);
  lstHexa->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(lstHexa, &LineListView::RowClicked, this, &LinePanel::lstHexaClick);
  connect(lstHexa, &QAbstractItemView::doubleClicked, this, &LinePanel::EditClick);
  connect(lstHexa->selectionModel(), &QItemSelectionModel::selectionChanged, this, &LinePanel::SelectionChanged);
  // The rows the panels spoke of are gone once the list is emptied (Clear, a new run).
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    SetStatusText(0, QString());
    SetStatusText(1, QString());
  });

  scbFrame = new QScrollBar(Qt::Horizontal, client);
  scbFrame->setRange(0, kMaxFieldScroll);
  scbFrame->setPageStep(1);
  connect(scbFrame, &QScrollBar::valueChanged, this, &LinePanel::scbFrameChange);

  StatusBar = new LineStatusBar(client);

  PopupMenu = new QMenu(client);
  mnuSave = PopupMenu->addAction("Save");
  mnuSaveAll = PopupMenu->addAction("Save all");
  mnuCopy = PopupMenu->addAction("Copy");
  mnuEdit = PopupMenu->addAction("Edit");
  PopupMenu->addSeparator();
  mnuExport = PopupMenu->addAction("Export...");
  if (options_.menuSaveSelectedOnly)
    connect(mnuSave, &QAction::triggered, this, &LinePanel::SaveL);
  else
    connect(mnuSave, &QAction::triggered, this, &LinePanel::SaveA);
  connect(mnuSaveAll, &QAction::triggered, this, &LinePanel::SaveA);
  connect(mnuCopy, &QAction::triggered, this, &LinePanel::mnuCopyClick);
  connect(mnuEdit, &QAction::triggered, this, &LinePanel::EditClick);
  connect(mnuExport, &QAction::triggered, this, &LinePanel::mnuExportClick);
  connect(lstHexa, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu->popup(lstHexa->viewport()->mapToGlobal(at)); });

  batchTimer_ = new QTimer(this);
  batchTimer_->setSingleShot(true);
  batchTimer_->setInterval(kBatchMillis);
  connect(batchTimer_, &QTimer::timeout, this, &LinePanel::SyncNow);
}

LineTitles LinePanel::CreateTitles(QWidget* client) {
  LineTitles t;
  t.row = new QWidget(client);
  t.row->setAutoFillBackground(true);
  QPalette titlePalette = t.row->palette();
  titlePalette.setColor(QPalette::Window, kTitleBackground);
  t.row->setPalette(titlePalette);
  auto* titleRow = new QHBoxLayout(t.row);
  titleRow->setContentsMargins(0, 0, 0, 0);
  titleRow->setSpacing(0);
  t.chan = TitleLabel(new QLabel("Chan", t.row));
  t.chan->setFixedWidth(47);
  TitleLabel(lblDate);
  lblDate->setParent(t.row);
  lblDate->setFixedWidth(95);
  lblDate->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
  t.frame = TitleLabel(new QLabel("Frame", t.row));
  t.help = new HelpLabel(t.row);
  TitleLabel(t.help);
  t.help->setFixedWidth(16);
  titleRow->addSpacing(8);
  titleRow->addWidget(t.chan);
  titleRow->addWidget(lblDate);
  titleRow->addWidget(t.frame, 1);
  titleRow->addWidget(t.help);
  return t;
}

void LinePanel::ScheduleSync() {
  if (!batchTimer_->isActive()) batchTimer_->start();
}

bool LinePanel::SyncPending() const { return batchTimer_->isActive(); }

void LinePanel::SyncNow() {
  batchTimer_->stop();
  if (model_->Sync()) Q_EMIT Synced();
}

void LinePanel::ClearLines() {
  model_->Lines().Clear();
  SyncNow();
}

void LinePanel::RemoveFirstLine() {
  batchTimer_->stop();
  model_->RemoveFirstLine();
  Q_EMIT Synced();
}

void LinePanel::ScrollToLastLine() {
  const int rows = model_->rowCount();
  if (rows > 0) lstHexa->scrollTo(model_->index(rows - 1), QAbstractItemView::PositionAtTop);
}

void LinePanel::Repaint() { lstHexa->viewport()->update(); }

void LinePanel::SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
  // Rows that the model moves or drops take their flags with their lines.
  if (model_->Syncing()) return;
  DecodedLineList& lines = model_->Lines();
  const auto mark = [&lines](const QItemSelection& ranges, bool on) {
    for (const QItemSelectionRange& range : ranges) {
      const std::size_t last = std::min<std::size_t>(static_cast<std::size_t>(range.bottom()) + 1, lines.size());
      for (std::size_t i = static_cast<std::size_t>(range.top()); i < last; ++i) lines.SetSelected(i, on);
    }
  };
  mark(deselected, false);
  mark(selected, true);
  // A selection made otherwise than by a click (Ctrl+A, a drag) shows its block as well.
  ShowSelectionStatus();
}

void LinePanel::ShowSelectionStatus() {
  const DecodedLineList& lines = model_->Lines();
  std::size_t focus = lines.size();
  const QModelIndex current = lstHexa->currentIndex();
  if (current.isValid()) {
    focus = static_cast<std::size_t>(current.row());
  } else {
    for (const QItemSelectionRange& range : lstHexa->selectionModel()->selection())
      focus = std::min(focus, static_cast<std::size_t>(range.top()));
  }
  if (focus >= lines.size()) {
    SetStatusText(0, QString());
    SetStatusText(1, QString());
    return;
  }
  const ClickStatus status = ClickStatusAt(lines, focus);
  SetStatusText(0, ToQt(status.relativeTime));
  SetStatusText(1, ToQt(status.selectedLines));
}

void LinePanel::lblDateClick() {
  look_.dateInMilliseconds = !look_.dateInMilliseconds;
  lblDate->setText(look_.dateInMilliseconds ? "Date (ms)" : "Date (s)");
  Repaint();
}

void LinePanel::lstHexaClick() {
  if (lstHexa->currentIndex().isValid()) ShowSelectionStatus();
}

void LinePanel::scbFrameChange(int position) {
  look_.fieldScroll = position;
  Repaint();
}

void LinePanel::SaveL() { Save(true); }
void LinePanel::SaveA() { Save(false); }

void LinePanel::Save(bool selectedOnly) {
  const QString path = main_.GetDialogs().SaveFile(lstHexa->window(), {QString(), "Text files (*.txt)|*.txt", "txt", "."});
  if (path.isEmpty()) return;
  // File names go to the system as its own bytes, not as Windows-1252 text.
  if (SaveRenderedLines(FromQt(path), model_->Lines(), CaptionsOf(main_.GetSettings()),
                        selectedOnly))
    main_.ShowMessage("The file can not be written: " + path, "Error");
}

void LinePanel::mnuCopyClick() {
  const DecodedLineList& lines = model_->Lines();
  if (lines.empty()) return;
  // Millions of lines take seconds: the text is built a part at a time, straight into the
  // bytes the clipboard keeps, with the progress window up once it takes more than a part.
  RenderedLineParts parts(lines, CaptionsOf(main_.GetSettings()), true);
  QByteArray text;
  std::string part;
  TfrmProgress& progress = main_.Progress();
  bool shown = false;
  // The user's input waits until the copy is done (so no Stop); a run or the remote client
  // may still change the list meanwhile, and the copy is then given up.
  const std::uint64_t generation = lines.Generation();
  const std::uint64_t removed = lines.RemovedFromFront();
  bool changed = false;
  for (;;) {
    part.clear();
    if (!parts.NextPart(part, kCopyPartBytes)) break;
    text.append(part.data(), static_cast<qsizetype>(part.size()));
    if (!shown && parts.Percent() < 100) {
      text.reserve(static_cast<qsizetype>(parts.ExpectedBytes(static_cast<std::size_t>(text.size()))));
      progress.ShowProgress("Copy...", false);
      shown = true;
    }
    if (shown) {
      progress.SetProgress(parts.Percent());
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
      changed = lines.Generation() != generation || lines.RemovedFromFront() != removed;
      if (changed) break;
    }
  }
  if (shown) progress.HideProgress();
  // Copying an empty selection leaves the clipboard as it was.
  if (text.isEmpty() || changed) return;
  auto* data = new QMimeData;
  // Kept as UTF-8 bytes; a text of millions of lines is not made over as a string.
  data->setData("text/plain", text);
  QGuiApplication::clipboard()->setMimeData(data);
}

void LinePanel::EditClick() {
  const QModelIndex current = lstHexa->currentIndex();
  if (!current.isValid()) return;
  const std::string_view line = model_->Line(current.row());
  if (line.empty()) return;
  main_.EditWindow().ShowLine(ToQt(RenderDecodedLine(line, CaptionsOf(main_.GetSettings()).text)));
}

namespace {
// The formats of "Export...", in the order of the save dialog's filters.
constexpr ExportFormat kExportFormats[] = {ExportFormat::Csv,  ExportFormat::JsonLines, ExportFormat::Candump,
                                           ExportFormat::Asc,  ExportFormat::Blf,       ExportFormat::PcapCan,
                                           ExportFormat::PcapLin};
}  // namespace

void LinePanel::mnuExportClick() {
  QString filter;
  for (ExportFormat format : kExportFormats) {
    const ExportFormatInfo& info = FormatInfo(format);
    if (!filter.isEmpty()) filter += '|';
    filter += QString("%1 (*.%2)|*.%2").arg(info.description, info.extension);
  }
  int chosen = 0;
  const QString path =
      main_.GetDialogs().SaveFile(lstHexa->window(), {"Export", filter, FormatInfo(kExportFormats[0]).extension, ".", &chosen});
  if (path.isEmpty() || chosen < 0 || chosen >= static_cast<int>(std::size(kExportFormats))) return;
  const ExportFormat format = kExportFormats[chosen];

  const DecodedLineList& lines = model_->Lines();
  std::size_t selected = 0;
  for (std::size_t i = 0; i < lines.size() && selected < 2; ++i) selected += lines.Selected(i) ? 1 : 0;
  bool selectedOnly = false;
  if (selected > 1) {
    // A click selects one row: only a selection of several is taken as the lines meant.
    switch (main_.GetDialogs().Message(lstHexa->window(), "Export only the selected lines?", "Warning",
                                       Buttons::YesNoCancel)) {
      case Answer::Yes: selectedOnly = true; break;
      case Answer::No: break;
      default: return;
    }
  }

  ExportContext context;
  const ChannelCaptions captions = CaptionsOf(main_.GetSettings());
  for (int i = 0; i < 4; ++i) context.captions[i] = captions.text[i];
  context.runStartMicros = main_.GetPipeline().runStartMicros;
  ExportCounts counts;
  // File names go to the system as its own bytes, not as Windows-1252 text.
  const ExportOutcome outcome = ExportLinesToFile(FromQt(path), lines, selectedOnly, format,
                                                  context, main_.Ui(), counts);
  if (outcome == ExportOutcome::Failed) {
    main_.ShowMessage("The file can not be written: " + path, "Error");
    return;
  }
  // Lines of other channels are left out of a bus log by its nature; lines of its bus only
  // when the format has no record for them, which the user is told.
  if (outcome == ExportOutcome::Written && counts.dropped != 0)
    main_.ShowMessage(ToQt(ExportReport(format, counts)), "Warning");
}

}  // namespace velkor::ui
