#pragma once
// Where top-level windows go. The main window is placed by its frame, as the configuration
// stores it (MAIN_Left, MAIN_Top) and as a user sees it; a dialog by its client area, which
// the window system places exactly whether or not the window manager has framed it yet.

#include <QPoint>
#include <QRect>

class QWidget;

namespace velkor::ui {

// Call in the constructor of a window placed by its frame, before it is shown: the window
// system then reads every later move of the window as its frame's, also at the first
// showing, before the window manager has said how large the frame is.
void PlaceFramesFromNowOn(QWidget* window, QPoint framePosition);

// Puts the window's frame at the point, whether the window manager has framed the window
// yet or not.
void MoveFrame(QWidget* window, QPoint framePosition);

// Puts the window's client area in the middle of `area`, the same at every showing.
void CentreIn(QWidget* window, const QRect& area);
// The same in the available area of the window's screen.
void CentreOnScreen(QWidget* window);

// Where a window that a file places at `frame` goes so that its title bar can be reached
// in `area`: its top no more than a few pixels above the area's (a maximised window's
// stored place lies just beyond the edges), and some of its width and its top within the
// area. A window that can be reached keeps its place.
QPoint KeepReachable(const QRect& frame, const QRect& area);

}  // namespace velkor::ui
