#pragma once
// The frame description editor: a plain text editor for *.mfd, *.sfd, *.cfd and *.lfd files,
// opened empty, from a file, or by a loader that refused the file (its reason on top).
// Unlike the other child windows it is destroyed when closed.

#include <QString>

#include "ui/MdiChild.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace velkor::ui {

class TfrmFrame : public MdiChild {
  Q_OBJECT
 public:
  static constexpr int kClientWidth = 529;
  static constexpr int kClientHeight = 425;

  // A new description: caption "New Frame Description", empty text, the type open.
  explicit TfrmFrame(TfrmMain& main);
  // Loads a file; returns true when it could not be read. The type follows the extension
  // and can no longer be changed.
  [[nodiscard]] bool LoadFile(const QString& path);

  void SetErrorText(const QString& text);
  QString Caption() const { return windowTitle(); }
  // The file the editor holds, absolute: the caption keeps the name it was opened by, which
  // may be relative to a folder that is no longer the current one. Empty for a new one.
  QString FilePath() const { return filePath_; }
  bool Saved() const { return saved_; }
  bool Modified() const;

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

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void SaveDescription(bool saveAs);
  // Names the characters the file's code page has no place for; true when there are none
  // or the user saves anyway.
  bool ConfirmUnsavableCharacters(const QString& text);

  QString filePath_;
  bool saved_ = false;
  bool forgotten_ = false;
};

}  // namespace velkor::ui
