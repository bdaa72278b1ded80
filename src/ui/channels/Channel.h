#pragma once
// "Channel n": the settings of one channel. The channel's ChannelSettings in the main
// window's settings are the store: every edit is written there at once, the run setup reads
// them at the next run start, and ApplySettings brings the controls back after a load.

#include <QString>

#include "app/Settings.h"
#include "ui/MdiChild.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QStackedWidget;
class QWidget;

namespace velkor::ui {

class ClickLabel;

class TfrmChannel : public MdiChild {
  Q_OBJECT
 public:
  TfrmChannel(TfrmMain& main, int channel);

  int Channel() const { return channel_; }
  // The controls from the channel's settings (after a configuration was loaded).
  void ApplySettings();
  // The green mark, the box and the channel command's image follow `on`.
  void SetActivation(bool on);
  // The trimmed caption to the views' labels and the command's hint; the lists repaint.
  void ApplyCaption();
  // The panel of the type list's choice in front; no choice leaves the panels as they are.
  void ShowTypePanel();
  // The panel in front.
  QWidget* FrontPanel() const;
  bool CaptionEdited() const { return captionEdited_; }

  // Top rows.
  QComboBox* cboType = nullptr;
  QLineEdit* txtNom = nullptr;
  QCheckBox* butOn = nullptr;
  ClickLabel* lblOn = nullptr;
  QFrame* shaOn = nullptr;  // the light green mark behind "Activation"
  ClickLabel* lblAideChannel = nullptr;
  QLabel* lblSampling = nullptr;
  QPushButton* butClose = nullptr;

  // The type panels, all in one place.
  QStackedWidget* panels = nullptr;
  QWidget* panManchester = nullptr;
  QWidget* panSerial = nullptr;
  QWidget* panCan = nullptr;
  QWidget* panLin = nullptr;
  QWidget* panLogical = nullptr;

  QLabel* lblBaudrateManchester = nullptr;
  QListWidget* lstFichiers = nullptr;
  QPushButton* butAdd = nullptr;
  QPushButton* butDelete = nullptr;
  QPushButton* butView = nullptr;
  ClickLabel* lblAideManchester = nullptr;

  QLabel* lblBaudrateSerial = nullptr;
  QLineEdit* txtSerialFile = nullptr;
  QPushButton* butSerialFile = nullptr;
  QPushButton* butSerialEdit = nullptr;
  ClickLabel* Label13 = nullptr;  // "?" of the Serial panel

  QLabel* lblBaudrateCan = nullptr;
  QLineEdit* txtCanFile = nullptr;
  QPushButton* butCanFile = nullptr;
  QPushButton* butCanEdit = nullptr;
  ClickLabel* Label14 = nullptr;  // "?" of the CAN panel

  QLabel* lblBaudrateLin = nullptr;
  QLineEdit* txtLinFile = nullptr;
  QPushButton* butLinFile = nullptr;
  QPushButton* butLinEdit = nullptr;
  ClickLabel* Label12 = nullptr;  // "?" of the LIN panel

  QCheckBox* chkGeneration = nullptr;
  ClickLabel* Label9 = nullptr;  // "?" of the Logical panel

  // Handlers.
  void cboTypeChange();
  void butOnClick();
  void lblOnClick();
  void txtNomKeyDown();
  void butCloseClick() { close(); }
  void butAddClick();
  void butDeleteClick();
  void butViewClick();
  void butSerialFileClick();
  void butCanFileClick();
  void butLinFileClick();
  void butSerialEditClick();
  void butCanEditClick();
  void butLinEditClick();

 protected:
  void FormClose() override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct FilePanel {
    QWidget* panel;
    QLabel* baudrate;
    QLineEdit* path;
    QPushButton* pick;
    QPushButton* edit;
    ClickLabel* help;
  };
  ChannelSettings& Store();
  void BuildTopRows(QWidget* client);
  void BuildManchesterPanel();
  FilePanel BuildFilePanel(const QString& baudrate, const QString& helpTopic);
  void BuildLogicalPanel();
  void FillManchesterList();
  void StoreManchesterList();
  void txtNomChange(const QString& text);
  // Replaces a path with the picked file's; a cancelled dialog changes nothing.
  void PickFile(QLineEdit* box, std::string ChannelSettings::*field, const QString& filter,
                const QString& extension);
  void EditFile(const QString& path);

  int channel_;
  bool applying_ = false;  // controls being set from the store: nothing to write back
  bool captionEdited_ = false;
};

}  // namespace velkor::ui
