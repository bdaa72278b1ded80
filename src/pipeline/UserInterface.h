#pragma once
// The few ways the core reaches the user. The GUI implements them with Qt dialogs and
// windows; the command-line tool prints; tests record. Texts are Windows-1252 bytes.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velkor {

enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // A modal message box; caption is "Error", "Warning" or the application's name.
  virtual MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                                    MessageButtons buttons) = 0;
  // Opens a frame description in an editor with a text in its error line.
  virtual void OpenFrameEditor(std::string_view /*path*/, std::string_view /*errorText*/) {}

  // Replay progress. StopRequested is polled after each block of the replay; a GUI lets
  // pending events run there so its Stop button can be pressed.
  virtual void ShowProgress(std::string_view /*title*/) {}
  virtual void SetProgress(int /*percent*/) {}
  virtual void HideProgress() {}
  virtual bool StopRequested() { return false; }

  // End-of-sample step after a sample that produced lines: keep the Hexa list scrolled
  // (when AutoScroll is on) and show "<count> lines".
  virtual void RefreshLineCount(std::size_t /*lineCount*/) {}

  // Graphic view: clear the picture, scroll to the newest column, draw one column from the
  // two 4-bit masks, and lock or unlock the resolution choice during a run.
  virtual void ClearGraphic() {}
  virtual void ScrollGraphicToNewest() {}
  virtual void DrawColumn(std::uint32_t /*traceMask*/, std::uint32_t /*eventMask*/) {}
  virtual void SetResolutionEnabled(bool /*enabled*/) {}

  // A channel's list of field names changed (the Filter view offers them).
  virtual void FieldNamesChanged(int /*channel*/) {}

  // Main window status bar, panel 1 ("Running..." or empty).
  virtual void SetRunStatus(std::string_view /*text*/) {}
  // Redraw the port indicator of the status bar.
  virtual void DrawPortIndicator() {}
};

// Answers nothing and shows nothing; a Yes/No question is answered No.
class SilentUserInterface : public UserInterface {
 public:
  MessageAnswer ShowMessage(std::string_view, std::string_view, MessageButtons buttons) override {
    return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
  }
};

// Signals a waiting remote client that a line was appended (the named event "VelkorEM").
class LineEventSignal {
 public:
  virtual ~LineEventSignal() = default;
  virtual void Signal() = 0;
};

}  // namespace velkor
