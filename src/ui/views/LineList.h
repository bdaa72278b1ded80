#pragma once
// The list of decoded lines as the Hexa and Filter views show it: a model that reads a
// DecodedLineList in place and follows its changes in batches, a view of uniform rows of
// 13 pixels that costs the same at ten rows or ten million, the delegate that draws a row
// in columns and colours, and LinePanel, the controls and commands both views share (date
// unit, field scroll, status panels, pop-up menu, Copy, Save, Save all, Edit).

#include <QAbstractItemDelegate>
#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QFont>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QRawFont>
#include <QLabel>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/ClickLabel.h"
#include "views/DecodedLine.h"

class QAction;
class QMenu;
class QScrollBar;
class QTimer;

namespace velkor::ui {

class TfrmMain;

inline constexpr int kLineRowHeight = 13;
inline constexpr int kHiddenFieldLineX = 140;  // the mark of the hidden fields
inline constexpr int kMaxFieldScroll = 15;

// Rows over a DecodedLineList. The list is changed by others (the decoders append, a run
// start or Clear empties it, the remote client takes its first line) without telling the
// model; Sync brings the rows up to the list: one insertion for all the lines appended
// since, one removal at the front for the lines taken there, a reset after a clear. Until
// then the rows are those last synced, so a row may lie beyond the list: Line() is then
// empty.
class LineListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  explicit LineListModel(DecodedLineList& lines, QObject* parent = nullptr);

  DecodedLineList& Lines() { return lines_; }
  const DecodedLineList& Lines() const { return lines_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  // The stored line (markers included) as display text; the delegate reads the list itself.
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The line of a row, or an empty view when the row lies beyond the list.
  std::string_view Line(int row) const;

  // Brings the rows up to the list; true when anything changed.
  bool Sync();
  // Takes line 0 from the list and row 0 from the model together.
  void RemoveFirstLine();
  // True while the rows are being changed (selection changes then come from the model).
  bool Syncing() const { return syncing_; }

 private:
  DecodedLineList& lines_;
  int rows_ = 0;
  std::uint64_t generation_ = 0;
  std::uint64_t removed_ = 0;
  bool syncing_ = false;
};

// The drawing options of a view: date unit and the number of named fields hidden.
struct LineLook {
  bool dateInMilliseconds = true;
  int fieldScroll = 0;
};

// Draws one row: the channel cell on the channel's text colour, the date in grey, the
// fields in red, green or black by marker with their values in blue, hidden named fields
// as a mark at x = 140; a selected row white on blue except its channel cell. Captions and
// colours are read at each paint, so a change shows at the next repaint.
class LineDelegate : public QAbstractItemDelegate {
  Q_OBJECT
 public:
  LineDelegate(TfrmMain& main, const LineListModel& model, const LineLook& look, QObject* parent = nullptr);

  static QFont RowFont();

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  // One row of text drawn into `rect` (the row's height is kLineRowHeight).
  void PaintLine(QPainter& painter, const QRect& rect, std::string_view line, bool selected) const;
  // The width a piece of Windows-1252 text takes in a row.
  int TextWidth(std::string_view cp1252) const;

 private:
  // Each of the 256 characters as a glyph of the row font and its advance, so that a piece
  // is drawn as a run of glyphs without being laid out as text again at every paint.
  struct Glyph {
    quint32 index = 0;
    qreal advance = 0;
  };
  // Lays the piece out into glyphs_ and positions_; false when the font lacks a glyph.
  bool LayOut(std::string_view cp1252, qreal& width) const;
  int DrawPiece(QPainter& painter, int x, const QRect& row, std::string_view cp1252, const QColor& text,
                const QColor& background) const;

  TfrmMain& main_;
  const LineListModel& model_;
  const LineLook& look_;
  QFont font_;
  QFontMetrics metrics_;
  int ascent_;
  QRawFont rawFont_;
  std::array<Glyph, 256> glyphTable_{};
  mutable QList<quint32> glyphs_;
  mutable QList<QPointF> positions_;
  mutable QGlyphRun run_;
  mutable std::string scratch_;  // a field with its blank, kept so a row allocates nothing
};

// A list of uniform rows for millions of lines: the scroll bar counts rows, and a row's
// place is computed, never stored, so layout, scrolling and painting do not grow with the
// row count. Selection, keyboard and mouse come from QAbstractItemView. A right click
// leaves the selection as it is, so the pop-up menu acts on it.
class LineListView : public QAbstractItemView {
  Q_OBJECT
 public:
  explicit LineListView(QWidget* parent = nullptr);

  int TopRow() const;
  void SetTopRow(int row);
  // Rows that fit wholly in the viewport (at least one).
  int PageRows() const;
  int RowAt(int y) const;

  QRect visualRect(const QModelIndex& index) const override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  QModelIndex indexAt(const QPoint& point) const override;
  void setModel(QAbstractItemModel* model) override;
  void reset() override;

 Q_SIGNALS:
  // A click on a row, or a move of the current row by the keyboard.
  void RowClicked();

 protected:
  QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
  int horizontalOffset() const override { return 0; }
  int verticalOffset() const override;
  bool isIndexHidden(const QModelIndex&) const override { return false; }
  void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
  QRegion visualRegionForSelection(const QItemSelection& selection) const override;
  void updateGeometries() override;
  void rowsInserted(const QModelIndex& parent, int start, int end) override;
  void scrollContentsBy(int dx, int dy) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void RowsRemoved();
  int RowCount() const;
};

// The three panels of a view's status bar, 200, 200 and the rest wide.
class LineStatusBar : public QWidget {
  Q_OBJECT
 public:
  explicit LineStatusBar(QWidget* parent = nullptr);
  void SetPanelText(int panel, const QString& text);
  QString PanelText(int panel) const;

 private:
  std::array<QLabel*, 3> panels_{};
};

// The column titles over the rows, on the title colour: "Chan" (Label2) over x = 8 to 55,
// the panel's date unit label, "Frame" (Label3) from x = 150, and the view's help label "?"
// at the right, whose click the view connects to its own help topic.
struct LineTitles {
  QWidget* row = nullptr;
  QLabel* chan = nullptr;
  QLabel* frame = nullptr;
  ClickLabel* help = nullptr;
};

struct LinePanelOptions {
  // The pop-up menu's "Save" writes the selected rows (the Hexa view) or every row.
  bool menuSaveSelectedOnly = true;
};

// The controls and commands a line view shares, created on the view's client widget; the
// view lays them out beside its own. The handlers keep the names the windows give them.
class LinePanel : public QObject {
  Q_OBJECT
 public:
  LinePanel(TfrmMain& main, DecodedLineList& lines, QWidget* client, LinePanelOptions options = {});

  // The column titles, with the date unit label moved onto them.
  LineTitles CreateTitles(QWidget* client);

  LineListModel& Model() { return *model_; }
  LineDelegate& Delegate() { return *delegate_; }
  const LineLook& Look() const { return look_; }
  DecodedLineList& Lines() { return model_->Lines(); }

  // Lines appended during a run reach the rows at most every kBatchMillis: the first
  // request starts a single-shot timer, later ones until it fires cost nothing.
  static constexpr int kBatchMillis = 40;
  void ScheduleSync();
  // Brings the rows up to the list now; Synced() follows when anything changed.
  void SyncNow();
  bool SyncPending() const;
  // Empties the list and the rows.
  void ClearLines();
  // Takes line 0 from the list and row 0 from the rows (the remote client's request).
  void RemoveFirstLine();
  // Makes the last row the top visible one, as far as the list scrolls.
  void ScrollToLastLine();
  void Repaint();

  void SetStatusText(int panel, const QString& text) { StatusBar->SetPanelText(panel, text); }
  QString StatusText(int panel) const { return StatusBar->PanelText(panel); }

  // Handlers.
  void lblDateClick();
  void lstHexaClick();
  void scbFrameChange(int position);
  void SaveL();
  void SaveA();
  void mnuCopyClick();
  void EditClick();
  // "Export...": the lines, or the selected ones when several are, in a format of the
  // save dialog's filters.
  void mnuExportClick();

  ClickLabel* lblDate = nullptr;
  LineListView* lstHexa = nullptr;
  QScrollBar* scbFrame = nullptr;
  LineStatusBar* StatusBar = nullptr;
  QMenu* PopupMenu = nullptr;
  QAction* mnuSave = nullptr;
  QAction* mnuSaveAll = nullptr;
  QAction* mnuCopy = nullptr;
  QAction* mnuEdit = nullptr;
  QAction* mnuExport = nullptr;

 Q_SIGNALS:
  // The rows changed at a sync (a batch, SyncNow, Clear).
  void Synced();

 private:
  void Save(bool selectedOnly);
  void SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
  // The relative time and the selected lines around the current row (else the first
  // selected one); both panels empty when there is neither.
  void ShowSelectionStatus();

  TfrmMain& main_;
  LinePanelOptions options_;
  LineLook look_;
  LineListModel* model_ = nullptr;
  LineDelegate* delegate_ = nullptr;
  QTimer* batchTimer_ = nullptr;
};

}  // namespace velkor::ui
