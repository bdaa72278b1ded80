#pragma once
// The help window: the manual shown read-only, its chapter index, a search, and the jump to
// a topic that the "?" labels of the other windows ask for.

#include <QAbstractListModel>
#include <QDialog>
#include <QMainWindow>
#include <QStyledItemDelegate>

#include <string>
#include <string_view>

#include "app/HelpIndex.h"

class QAction;
class QCheckBox;
class QLineEdit;
class QListView;
class QMenu;
class QStackedWidget;
class QTextEdit;

namespace velkor::ui {

// The chapter titles as the index list shows them.
class HelpIndexModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;
  void SetChapters(const std::vector<HelpChapter>* chapters);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  const HelpChapter* Chapter(int row) const;

 private:
  const std::vector<HelpChapter>* chapters_ = nullptr;
};

// Draws a title 2 pixels from the row's left edge in its heading's colour, white on the
// selection; one-character titles leave their row empty.
class HelpIndexDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The search dialog: downwards only, with a match-case box.
class TfrmFind : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmFind(QWidget* parent);
  QLineEdit* txtFind = nullptr;
  QCheckBox* chkMatchCase = nullptr;

 Q_SIGNALS:
  void FindNext();
};

class TfrmAide : public QMainWindow {
  Q_OBJECT
 public:
  inline static const QColor kBackground{255, 255, 234};

  explicit TfrmAide(QWidget* parent = nullptr);

  // Reads the document again (the file beside the program, else the built-in manual).
  void Reload();
  // Shows and indexes a given help text.
  void LoadHelp(std::string source);

  // The chapter whose title holds the key, or the index when none does.
  void ShowHelpTopic(std::string_view key);
  void ShowIndex();
  void ShowContent();
  // Scrolls the content so the chapter's heading is at the top. Titles shorter than two
  // characters are not shown.
  void ShowChapter(int chapter);

  const HelpDocument& Document() const { return document_; }
  bool IndexShown() const;

  // Controls, named as the form names them.
  QAction* mnuAffiche = nullptr;
  QMenu* mnuFile = nullptr;
  QListView* lstIndex = nullptr;
  QTextEdit* txtContent = nullptr;
  TfrmFind* dlgFind = nullptr;

  // Handlers.
  void mnuAfficheClick();
  void mnuFindClick();
  void FindNext();
  void mnuCopyClick();
  void mnuGenerateIndexClick();
  void ShowMaintenanceMenu();

 private:
  void BuildContent();
  void ShowView(bool index);

  HelpDocument document_;
  HelpIndexModel* model_ = nullptr;
  QStackedWidget* views_ = nullptr;
};

}  // namespace velkor::ui
