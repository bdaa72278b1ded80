#pragma once
// The small progress window of a replay or a filtering: title, a 200 x 20 bar revealed by
// 2 x percent pixels, the percentage and "Stop".

#include <QWidget>

class QLabel;
class QPushButton;

namespace velkor::ui {

class TfrmProgress : public QWidget {
  Q_OBJECT
 public:
  TfrmProgress();

  // Without `stoppable` the Stop button is disabled: for work that nothing may interrupt.
  void ShowProgress(const QString& title, bool stoppable = true);
  void SetProgress(int percent);
  void HideProgress();
  bool StopRequested() const { return stopRequested_; }

  QString Title() const;
  QString PercentText() const;
  int BarLeft() const { return barLeft_; }
  QPushButton* StopButton() { return butStop_; }

  void butStopClick() { stopRequested_ = true; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QLabel* lblTitre_;
  QLabel* lblPourcent_;
  QPushButton* butStop_;
  QWidget* bar_;
  int barLeft_ = -200;
  bool stopRequested_ = false;
};

}  // namespace velkor::ui
