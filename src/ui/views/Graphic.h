#pragma once
// "Graphic view": the rolling chart of the four channels. Each column of the 5000-pixel
// picture is one span of signal time (10, 20, 50 or 100 ms), the newest at the right; the
// dispatch draws a column from the decoders' two masks whenever the span is full. The
// window shows 780 pixels of it (more or less as its width changes) and scrolls back in time.

#include <QString>
#include <array>
#include <cstdint>

#include "app/Settings.h"
#include "ui/MdiChild.h"
#include "ui/views/RollingPicture.h"

class QLabel;
class QLineEdit;
class QRadioButton;
class QScrollBar;
class QTimer;

namespace velkor::ui {

class TfrmGraphicView : public MdiChild {
  Q_OBJECT
 public:
  explicit TfrmGraphicView(TfrmMain& main);

  void ClearPicture();
  // Scroll bar range from the panel's width, the newest column at the right edge, and the
  // keyboard focus on the hidden edit.
  void ScrollToNewest();
  void DrawColumn(std::uint32_t traceMask, std::uint32_t eventMask);
  // The resolution panel, locked during a run.
  void SetResolutionEnabled(bool enabled);
  void SetChannelCaption(int channel, const QString& caption);
  // The channel marks take the text colours; the picture keeps what it drew.
  void ApplyChannelColours();
  // The resolution buttons from the settings.
  void ApplySettings();

  const RollingPicture& Picture() const { return picture_; }
  QRadioButton* ResolutionButton(ColumnResolution r) { return resolutionButtons_[static_cast<int>(r)]; }
  QWidget* ResolutionPanel() { return panResolution_; }
  QLabel* HelpLabel() { return lblAide_; }
  QLabel* ChannelLabel(int channel) { return lblCha_[channel]; }
  QWidget* ChannelMark(int channel) { return shapes_[channel]; }
  // The panel that clips the picture, and the picture inside it.
  QWidget* PicturePanel() { return panAff_; }
  QWidget* PictureWidget() { return imgAlogique_; }
  QScrollBar* ScrollBar() { return scrbAff_; }
  QLineEdit* FocusEdit() { return txtPourFocus_; }

  void scrbAffChange(int position);
  void lblAideClick();
  void FormResize();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ChooseResolution(ColumnResolution r, bool checked);
  // Columns arrive far faster than a screen can show them: one repaint per tick at most.
  void ScheduleRepaint();
  void RepaintPicture();

  RollingPicture picture_;
  QWidget* panResolution_;
  std::array<QRadioButton*, 4> resolutionButtons_{};
  QLabel* lblAide_;
  std::array<QLabel*, kChannelCount> lblCha_{};
  std::array<QWidget*, kChannelCount> shapes_{};
  QWidget* shaCadre_;
  QWidget* panAff_;
  QWidget* imgAlogique_;
  QScrollBar* scrbAff_;
  QLineEdit* txtPourFocus_;
  QTimer* repaintTimer_;
  bool repaintPending_ = false;
};

}  // namespace velkor::ui
