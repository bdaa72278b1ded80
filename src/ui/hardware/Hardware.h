#pragma once
// "Hardware settings": the port buttons COM1..COM12 with their probe results, "Auto find",
// OK and Cancel, over the core's Hardware operations.

#include <QDialog>
#include <array>

#include "hardware/Hardware.h"

class QLabel;
class QPushButton;
class QRadioButton;

namespace velkor::ui {

class TfrmHardware : public QDialog, public HardwareWindow {
  Q_OBJECT
 public:
  TfrmHardware(Hardware& hardware, Settings& settings, QWidget* parent = nullptr);

  // Shows the labels, buttons and selection as the core holds them.
  void Refresh();
  void Repaint() override;

  QRadioButton* PortButton(int port) { return chkCOM_[port - 1]; }
  QLabel* PortLabel(int port) { return lblCOM_[port - 1]; }
  QPushButton* FindButton() { return butFind_; }
  QPushButton* OkButton() { return butOK_; }
  QPushButton* CancelButton() { return butCancel_; }

  void butFindClick();
  void butOKClick();
  void butCancelClick();
  void chkCOMxMouseDown(int port);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void reject() override;

 private:
  Hardware& hardware_;
  Settings& settings_;
  QPushButton* butFind_;
  QPushButton* butOK_;
  QPushButton* butCancel_;
  std::array<QRadioButton*, kPortCount> chkCOM_{};
  std::array<QLabel*, kPortCount> lblCOM_{};
};

}  // namespace velkor::ui
