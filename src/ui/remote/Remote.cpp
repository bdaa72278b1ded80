#include "ui/remote/Remote.h"

#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "ui/QtText.h"

namespace velkor::ui {

int RemoteLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant RemoteLogModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  return ToQt(lines_[static_cast<std::size_t>(index.row())]);
}

void RemoteLogModel::Append(std::string_view line) {
  const int row = rowCount();
  beginInsertRows({}, row, row);
  lines_.emplace_back(line);
  endInsertRows();
}

void RemoteLogModel::Clear() {
  beginResetModel();
  lines_.clear();
  endResetModel();
}

TfrmRemote::TfrmRemote(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle("Remote");
  resize(456, 179);

  butClear = new QPushButton("Clear", this);
  butClear->setFixedSize(41, 17);
  connect(butClear, &QPushButton::clicked, this, &TfrmRemote::butClearClick);

  lstRemote = new QListView(this);
  lstRemote->setModel(&model_);
  lstRemote->setUniformItemSizes(true);
  lstRemote->setEditTriggers(QAbstractItemView::NoEditTriggers);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(butClear, 0, Qt::AlignLeft);
  layout->addWidget(lstRemote, 1);
}

void TfrmRemote::AddLine(std::string_view line) {
  // The log follows its newest line, unless the user scrolled back to read an older one.
  const QScrollBar* bar = lstRemote->verticalScrollBar();
  const bool atNewest = bar->value() >= bar->maximum();
  model_.Append(line);
  if (atNewest) lstRemote->scrollToBottom();
}

void TfrmRemote::butClearClick() { model_.Clear(); }

}  // namespace velkor::ui
