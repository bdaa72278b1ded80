#pragma once
// The frame description editor: a plain text editor for *.mfd, *.sfd, *.cfd and *.lfd files,
// opened empty, from a file, or by a loader that refused the file (its reason on top).

#include <QWidget>

#include <functional>
#include <string>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace velkor {

class TfrmFrame : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kClientWidth = 529;
  static constexpr int kClientHeight = 425;

  // The modal dialogs the editor asks through; tests answer them without a screen.
  struct Dialogs {
    enum class Answer { Ok, Yes, No, Cancel };
    enum class Buttons { Ok, YesNoCancel };
    std::function<Answer(QWidget* parent, const QString& text, const QString& caption, Buttons buttons)> message;
    // The chosen file name, or an empty text when the user cancelled.
    std::function<QString(QWidget* parent, const QString& filter, const QString& defaultSuffix)> saveFileName;
    static Dialogs Standard();
  };

  // A new description: caption "New Frame Description", empty text, the type open.
  explicit TfrmFrame(QWidget* parent = nullptr);
  // Loads a file; returns true when it could not be read. The type follows the extension
  // and can no longer be changed.
  [[nodiscard]] bool LoadFile(const std::string& path);

  void SetDialogs(Dialogs dialogs) { dialogs_ = std::move(dialogs); }
  void SetErrorText(const QString& text);
  QString Caption() const { return caption_; }
  bool Saved() const { return saved_; }
  bool Modified() const;

  // What closes the window that holds the editor (its MDI frame, or the editor itself).
  void SetCloser(std::function<void()> closer) { closer_ = std::move(closer); }
  // Asked for the "?" label.
  void SetHelpRequest(std::function<void()> request) { helpRequest_ = std::move(request); }
  // Told when the editor goes away, whichever way it is closed.
  void SetClosedNotice(std::function<void(TfrmFrame*)> notice) { closedNotice_ = std::move(notice); }

  // Controls, named as the form names them.
  QComboBox* cboType = nullptr;
  QLabel* txtErreur = nullptr;
  QPlainTextEdit* txtDescription = nullptr;
  QPushButton* butSave = nullptr;
  QPushButton* butSaveAs = nullptr;
  QPushButton* butClose = nullptr;
  QLabel* Label3 = nullptr;

  // Handlers.
  void butSaveClick();
  void butSaveAsClick();
  void butCloseClick();
  void Label3Click();

 Q_SIGNALS:
  void CaptionChanged(const QString& caption);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void SaveDescription(bool saveAs);
  void SetCaption(const QString& caption);

  QString caption_;
  bool saved_ = false;
  bool closed_ = false;
  Dialogs dialogs_;
  std::function<void()> closer_;
  std::function<void()> helpRequest_;
  std::function<void(TfrmFrame*)> closedNotice_;
};

}  // namespace velkor
