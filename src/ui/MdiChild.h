#pragma once
// A child window of the main frame. Closing it only hides it while the program runs; once
// the main window is closing it is really closed. The window's controls live on Client().

#include <QMdiSubWindow>

class QCloseEvent;

namespace velkor::ui {

class TfrmMain;

class MdiChild : public QMdiSubWindow {
  Q_OBJECT
 public:
  // `frameless`: a window without border or title bar inside the frame.
  MdiChild(TfrmMain& main, const QString& caption, QSize clientSize, bool frameless = false);

  TfrmMain& Main() { return main_; }
  QWidget* Client() { return client_; }
  // The outer size that gives the client area this size.
  void SetClientSize(QSize size);
  QSize ClientSize() const;

 protected:
  // Runs when the user closes the window, before it is hidden or destroyed.
  virtual void FormClose() {}
  void closeEvent(QCloseEvent* event) override;

 private:
  // Outer size less client size: the frame's width and the title bar.
  QSize FrameExtent() const;

  TfrmMain& main_;
  QWidget* client_;
};

}  // namespace velkor::ui
