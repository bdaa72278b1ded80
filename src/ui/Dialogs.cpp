#include "ui/Dialogs.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

#include "app/Cp1252.h"
#include "ui/CaptureMap.h"
#include "ui/QtText.h"

namespace velkor::ui {

QString QtFileFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList out;
  for (int i = 0; i < parts.size(); i += 2) out << parts[i];
  return out.join(";;");
}

Answer QtDialogs::Message(QWidget* parent, const QString& text, const QString& caption, Buttons buttons) {
  QMessageBox box(parent);
  box.setWindowTitle(caption);
  box.setText(text);
  // Error captions get the error icon; the others (questions, the module's answers) none.
  if (caption == "Error") box.setIcon(QMessageBox::Critical);
  if (caption == "Warning") box.setIcon(buttons == Buttons::Ok ? QMessageBox::Warning : QMessageBox::Question);
  switch (buttons) {
    case Buttons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case Buttons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case Buttons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
  }
  // Shown also while the main window is hidden (a remote client may have hidden it).
  box.setWindowFlag(Qt::WindowStaysOnTopHint, parent == nullptr || !parent->isVisible());
  switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    default: return buttons == Buttons::Ok ? Answer::Ok : (buttons == Buttons::YesNo ? Answer::No : Answer::Cancel);
  }
}

QString Dialogs::Usable(QWidget* parent, const QString& path) {
  const std::vector<char32_t> missing = CharactersOutsideCp1252(path.toStdString());
  if (missing.empty()) return path;
  Message(parent,
          "The file ''" + path + "'' can not be used: its name holds characters that Velkor can not keep :\n" +
              CharacterList(missing) + "\nRename the file or its folder.",
          "Error", Buttons::Ok);
  return {};
}

namespace {
QString WithExtension(QString path, const QString& extension) {
  if (path.isEmpty() || extension.isEmpty()) return path;
  QString ext = extension;
  if (ext.startsWith("*.")) ext = ext.mid(2);
  if (QFileInfo(path).suffix().isEmpty()) path += "." + ext;
  return path;
}
}  // namespace

QString QtDialogs::AskOpenFile(QWidget* parent, const FileRequest& request) {
  // The open dialog never changes the current folder (Qt's never does).
  return QFileDialog::getOpenFileName(parent, request.title, request.folder, QtFileFilter(request.filter),
                                      nullptr, QFileDialog::DontUseNativeDialog | QFileDialog::ReadOnly);
}

QString QtDialogs::AskSaveFile(QWidget* parent, const FileRequest& request) {
  QFileDialog dialog(parent, request.title, request.folder, QtFileFilter(request.filter));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  QString ext = request.defaultExtension;
  if (ext.startsWith("*.")) ext = ext.mid(2);
  dialog.setDefaultSuffix(ext);
  const QStringList parts = request.filter.split('|');
  // The extension of the chosen filter's pattern ("*.csv" gives "csv").
  auto extensionOf = [&parts](int filter) {
    const int at = 2 * filter + 1;
    return at < parts.size() && parts[at].startsWith("*.") ? parts[at].mid(2) : QString();
  };
  if (request.chosenFilter != nullptr) {
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, &parts, extensionOf](const QString& name) {
      for (int i = 0; 2 * i < parts.size(); ++i)
        if (parts[2 * i] == name && !extensionOf(i).isEmpty()) dialog.setDefaultSuffix(extensionOf(i));
    });
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  if (request.chosenFilter != nullptr) {
    *request.chosenFilter = 0;
    for (int i = 0; 2 * i < parts.size(); ++i)
      if (parts[2 * i] == dialog.selectedNameFilter()) *request.chosenFilter = i;
    if (!extensionOf(*request.chosenFilter).isEmpty()) ext = extensionOf(*request.chosenFilter);
  }
  return WithExtension(dialog.selectedFiles().first(), ext);
}

bool QtDialogs::ChooseColour(QWidget* parent, QColor& colour) {
  QColor chosen = QColorDialog::getColor(lastColour_, parent);
  if (!chosen.isValid()) return false;
  lastColour_ = chosen;
  colour = chosen;
  return true;
}

Answer ScriptedDialogs::Message(QWidget*, const QString& text, const QString& caption, Buttons buttons) {
  messages.push_back({text, caption, buttons});
  if (!answers.empty()) {
    Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  switch (buttons) {
    case Buttons::Ok: return Answer::Ok;
    case Buttons::YesNo: return Answer::No;
    case Buttons::YesNoCancel: return Answer::Cancel;
  }
  return Answer::Ok;
}

QString ScriptedDialogs::AskOpenFile(QWidget*, const FileRequest& request) {
  fileRequests.push_back(request);
  if (files.empty()) return {};
  QString f = files.front();
  files.pop_front();
  return f;
}

QString ScriptedDialogs::AskSaveFile(QWidget* parent, const FileRequest& request) {
  if (request.chosenFilter != nullptr) {
    *request.chosenFilter = filterChoices.empty() ? 0 : filterChoices.front();
    if (!filterChoices.empty()) filterChoices.pop_front();
  }
  return AskOpenFile(parent, request);
}

bool ScriptedDialogs::ChooseColour(QWidget*, QColor& colour) {
  if (colours.empty()) return false;
  colour = colours.front();
  colours.pop_front();
  return true;
}

bool QtDialogs::ChooseChannelMap(QWidget* parent, const QString& file, const std::vector<std::string>& names,
                                 const std::array<std::string, 4>& captions, ChannelMap& map) {
  TfrmCaptureMap dialog(parent, file, names, captions, map);
  if (dialog.exec() != QDialog::Accepted) return false;
  map = dialog.Map();
  return true;
}

bool ScriptedDialogs::ChooseChannelMap(QWidget*, const QString&, const std::vector<std::string>&,
                                       const std::array<std::string, 4>&, ChannelMap& map) {
  offeredMaps.push_back(map);
  if (channelMaps.empty()) return false;
  map = channelMaps.front();
  channelMaps.pop_front();
  return true;
}

}  // namespace velkor::ui
