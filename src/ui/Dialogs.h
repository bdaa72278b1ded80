#pragma once
// Every modal question the windows ask the user: message boxes, file names and colours.
// The program uses the Qt dialogs; tests install a scripted provider so that nothing blocks.

#include <QColor>
#include <QString>
#include <array>
#include <deque>
#include <string>
#include <vector>

#include "capture/ChannelMap.h"

class QWidget;

namespace velkor::ui {

enum class Buttons { Ok, YesNo, YesNoCancel };
enum class Answer { Ok, Yes, No, Cancel };

// Filters are given as the program states them, "Text files (*.txt)|*.txt" (pairs of a
// description and a pattern separated by "|").
struct FileRequest {
  QString title;
  QString filter;
  QString defaultExtension;  // "cfg", "txt"...; added when the name has none
  QString folder;            // starting folder; empty: the current folder
  // Save dialogs: when given, receives the index of the filter the user chose, whose
  // pattern's extension is then the default one.
  int* chosenFilter = nullptr;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  virtual Answer Message(QWidget* parent, const QString& text, const QString& caption, Buttons buttons) = 0;
  // An existing file's path, or an empty text when cancelled. A path the core cannot hold
  // (a character beyond Windows-1252) is refused with a message, as a cancel.
  QString OpenFile(QWidget* parent, const FileRequest& request) { return Usable(parent, AskOpenFile(parent, request)); }
  // A file name to write (the user confirmed an overwrite), or an empty text; refused as above.
  QString SaveFile(QWidget* parent, const FileRequest& request) { return Usable(parent, AskSaveFile(parent, request)); }
  // True when the user accepted a colour; `colour` then holds it.
  virtual bool ChooseColour(QWidget* parent, QColor& colour) = 0;
  // Which channels of a capture file (`names`, in file order) the four channels decode,
  // starting from `map`; true when the user accepted, `map` then holds the choice.
  virtual bool ChooseChannelMap(QWidget* parent, const QString& file, const std::vector<std::string>& names,
                                const std::array<std::string, 4>& captions, ChannelMap& map) = 0;

 protected:
  virtual QString AskOpenFile(QWidget* parent, const FileRequest& request) = 0;
  virtual QString AskSaveFile(QWidget* parent, const FileRequest& request) = 0;

 private:
  // `path`, or an empty text after telling the user which of its characters cannot be kept.
  QString Usable(QWidget* parent, const QString& path);
};

class QtDialogs final : public Dialogs {
 public:
  Answer Message(QWidget* parent, const QString& text, const QString& caption, Buttons buttons) override;
  bool ChooseColour(QWidget* parent, QColor& colour) override;
  bool ChooseChannelMap(QWidget* parent, const QString& file, const std::vector<std::string>& names,
                        const std::array<std::string, 4>& captions, ChannelMap& map) override;

 protected:
  QString AskOpenFile(QWidget* parent, const FileRequest& request) override;
  QString AskSaveFile(QWidget* parent, const FileRequest& request) override;

 private:
  QColor lastColour_ = Qt::white;  // the colour dialog starts with the last chosen colour
};

// Turns "A (*.a)|*.a|B (*.b)|*.b" into Qt's "A (*.a);;B (*.b)".
QString QtFileFilter(const QString& filter);

// Answers from queues and records what was asked; an empty queue answers Cancel, No or Ok
// (messages), an empty text (files) and "not chosen" (colours).
class ScriptedDialogs final : public Dialogs {
 public:
  struct Asked {
    QString text;
    QString caption;
    Buttons buttons;
  };
  Answer Message(QWidget*, const QString& text, const QString& caption, Buttons buttons) override;
  bool ChooseColour(QWidget*, QColor& colour) override;
  // Answers with the next map of `channelMaps` (as if the user chose it), or Cancel.
  bool ChooseChannelMap(QWidget*, const QString& file, const std::vector<std::string>& names,
                        const std::array<std::string, 4>& captions, ChannelMap& map) override;

  std::vector<Asked> messages;
  std::deque<Answer> answers;
  std::vector<FileRequest> fileRequests;
  std::deque<QString> files;
  std::deque<int> filterChoices;  // for save dialogs that ask for the filter; empty: 0
  std::deque<QColor> colours;
  std::deque<ChannelMap> channelMaps;
  std::vector<ChannelMap> offeredMaps;  // the map each ChooseChannelMap started from

 protected:
  QString AskOpenFile(QWidget*, const FileRequest& request) override;
  QString AskSaveFile(QWidget*, const FileRequest& request) override;
};

}  // namespace velkor::ui
