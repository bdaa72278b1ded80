#pragma once
// "Remote": the log of the exchanges with a remote client, a tool window created at start
// and shown by the main window's "Remote" / "Display log".

#include <QAbstractListModel>
#include <QWidget>
#include <string>
#include <string_view>
#include <vector>

class QListView;
class QPushButton;

namespace velkor::ui {

// The log lines as they came (Windows-1252), never cut; only "Clear" empties them.
class RemoteLogModel final : public QAbstractListModel {
  Q_OBJECT
 public:
  using QAbstractListModel::QAbstractListModel;
  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  void Append(std::string_view line);
  void Clear();
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  std::vector<std::string> lines_;
};

class TfrmRemote final : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmRemote(QWidget* parent = nullptr);

  // Adds a line at the end.
  void AddLine(std::string_view line);
  const RemoteLogModel& Log() const { return model_; }

  void butClearClick();

  QPushButton* butClear = nullptr;
  QListView* lstRemote = nullptr;

 private:
  RemoteLogModel model_;
};

}  // namespace velkor::ui
