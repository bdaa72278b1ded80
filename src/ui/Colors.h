#pragma once
// "Colors": each channel's text colour (its caption cells and marks in the views) and trace
// colour (the pen of its logic trace). A modal dialog; OK writes its boxes to the settings,
// Cancel puts back the colours they had when it was shown.

#include <QDialog>
#include <QFrame>
#include <array>
#include <functional>

#include "app/Settings.h"

class QPushButton;

namespace velkor::ui {

class TfrmMain;

// A box filled with a colour, with an optional text, that acts on a left click.
class ColourBox : public QFrame {
 public:
  ColourBox(const QString& text, QWidget* parent, std::function<void()> onClick);
  void SetColour(Colour colour);
  Colour GetColour() const { return colour_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString text_;
  Colour colour_;
  std::function<void()> onClick_;
};

class TfrmColors : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmColors(TfrmMain& main);

  // The "Texts" boxes chkV1..chkV4 and the "Traces" boxes butV1..butV4, index 0..3.
  std::array<ColourBox*, kChannelCount> chkV{};
  std::array<ColourBox*, kChannelCount> butV{};
  // The black panel that holds the trace boxes and their preview lines shaV1..shaV4.
  QWidget* panTraces = nullptr;
  QPushButton* butOk = nullptr;
  QPushButton* butCancel = nullptr;
  // Row of the preview line shaV of a channel, in panTraces' coordinates.
  static int PreviewLineY(int channel);

  // The boxes from the settings (after a configuration was loaded).
  void ApplySettings();

  void chkVxClick(int channel);
  void butVxClick(int channel);
  void butOkClick();
  void butCancelClick();

  // Esc and the window's close are Cancel.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void ShowColours(const std::array<Colour, kChannelCount>& text,
                   const std::array<Colour, kChannelCount>& trace);

  TfrmMain& main_;
  std::array<Colour, kChannelCount> savedText_{};
  std::array<Colour, kChannelCount> savedTrace_{};
};

}  // namespace velkor::ui
