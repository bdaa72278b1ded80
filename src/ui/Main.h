#pragma once
// TfrmMain, "Kivo - Velkor": the frame of every window. It owns the settings, the sample
// pipeline and the module link, offers every command, creates the views and channel
// windows at its first showing, loads the last configuration then and saves it at close.

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "channels/FrameDescriptionText.h"
#include "hardware/Hardware.h"
#include "pipeline/DecMain.h"
#include "pipeline/LiveRun.h"
#include "ui/Dialogs.h"
#include "ui/GuiUserInterface.h"

class QAction;
class QMdiArea;
class QMenu;
class QStatusBar;
class QTimer;

namespace velkor::ui {

class MdiChild;
class RemoteLink;
class TfrmAide;
class TfrmFrame;
class TfrmVersionContacts;
class TfrmChannel;
class TfrmEdit;
class TfrmFilterView;
class TfrmGraphicView;
class TfrmHardware;
class TfrmHexaView;
class TfrmProgress;
class TfrmColors;

struct MainOptions {
  // The port driver and clock of the module link; the system's when null.
  PortBackend* backend = nullptr;
  HardwareClock* clock = nullptr;
  // The modal questions; the Qt dialogs when null.
  Dialogs* dialogs = nullptr;
  // Folder of LastVelkor.cfg; when empty, the executable's folder or, where that folder
  // cannot be written or the program is installed, the user's configuration folder.
  QString configFolder;
  // The command line without the program's name.
  QStringList arguments;
};

inline constexpr const char* kLastConfigName = "LastVelkor.cfg";

// Where LastVelkor.cfg lives for a program in `programFolder`: that folder when the user can
// write there and name it, otherwise $XDG_CONFIG_HOME/velkor (made if missing).
QString SettingsFolder(const QString& programFolder);

class TfrmMain : public QMainWindow {
  Q_OBJECT
 public:
  explicit TfrmMain(MainOptions options = {});
  ~TfrmMain() override;

  Settings& GetSettings() { return settings_; }
  Pipeline& GetPipeline() { return pipeline_; }
  Hardware& GetHardware() { return hardware_; }
  LiveRun& GetLiveRun() { return liveRun_; }
  UserInterface& Ui() { return ui_; }
  Dialogs& GetDialogs() { return *dialogs_; }

  // The views and channel windows exist from the first showing on (null before).
  TfrmHexaView* HexaView() { return hexaView_; }
  TfrmFilterView* FilterView() { return filterView_; }
  TfrmGraphicView* GraphicView() { return graphicView_; }
  TfrmChannel* ChannelWindow(int channel) { return channelWindows_[channel]; }
  TfrmProgress& Progress() { return *progress_; }
  TfrmHardware& HardwareWindow() { return *hardwareWindow_; }
  // The remote command channel: the block, tmrDll, the line event and the log window.
  RemoteLink& Remote() { return *remote_; }
  TfrmColors& ColorsWindow() { return *colors_; }
  // "Line Edition", shared by the Hexa and Filter views.
  TfrmEdit& EditWindow() { return *editWindow_; }
  QMdiArea* MdiArea() { return mdi_; }
  QStatusBar* StatusBarWidget() { return stbStatus_; }

  bool Closing() const { return closing_; }
  bool Running() const { return pipeline_.Running(); }
  // The folder and path of LastVelkor.cfg.
  QString ConfigFolder() const { return configFolder_; }
  QString LastConfigPath() const;

  // A message box of the program (also shown while the main window is hidden).
  Answer ShowMessage(const QString& text, const QString& caption, Buttons buttons = Buttons::Ok);

  const QIcon& Image(int index) const { return images_[index]; }
  QAction* ChannelCommand(int channel) { return channelCommands_[channel]; }
  void SetChannelHint(int channel, const QString& hint);
  void SetChannelImage(int channel, bool active);
  QColor ChannelTraceColour(int channel) const;
  QColor ChannelTextColour(int channel) const;

  // If the window is the active child and visible, hide it; otherwise show it in front.
  void ToggleChildWindow(MdiChild* window);
  void DrawPortIndicator();
  void SetRunStatus(const QString& text);
  QString RunStatus() const { return runStatus_; }

  // Configuration files applied to every window and read back from them. A file that is no
  // configuration changes nothing, as a missing one; with `tellRefusal` the user hears of it.
  [[nodiscard]] bool LoadConfiguration(const QString& path, bool tellRefusal = false);
  [[nodiscard]] bool SaveConfiguration(const QString& path);
  void ApplyChannelColours();

  // Frame description editors and the help window.
  void OpenFrameEditor(const QString& name, const QString& errorText);
  void ShowHelpTopic(const QString& key);
  // Frees the registry entry of an editor that closes.
  void ForgetFrameEditor(TfrmFrame* editor);
  EditorRegistry<TfrmFrame>& FrameEditors() { return editorRegistry_; }
  TfrmAide& HelpWindow() { return *aide_; }
  TfrmVersionContacts& VersionWindow() { return *versionContacts_; }

  void ReplayCaptureFile(const QString& path);

  // Commands.
  void acHardwareSettingsExecute();
  void acNewFrameExecute();
  void acOpenFrameExecute();
  void acQuitExecute() { close(); }
  void acChannelExecute(int channel);
  void acRunFromAcqExecute();
  void acRunFromFileExecute();
  void acStopExecute();
  void acGraphicViewExecute();
  void acHexaViewExecute();
  void acFilterViewExecute();
  void acHelpIndexExecute();
  void acHelpContentExecute();
  void acVersionExecute();
  void mnuLoadConfigClick();
  void mnuSaveConfigClick();
  void mnuColorsClick();
  void mnuDisplayLogClick();
  void tmrAcqTimer();
  void tmrRemoteTimer();

  QAction* acHardwareSettings = nullptr;
  QAction* acNewFrame = nullptr;
  QAction* acOpenFrame = nullptr;
  QAction* acQuit = nullptr;
  QAction* acRunFromAcq = nullptr;
  QAction* acRunFromFile = nullptr;
  QAction* acStop = nullptr;
  QAction* acGraphicView = nullptr;
  QAction* acHexaView = nullptr;
  QAction* acFilterView = nullptr;
  QAction* acHelpIndex = nullptr;
  QAction* acHelpContent = nullptr;
  QAction* acVersion = nullptr;
  QMenu* mnuRemote = nullptr;
  QTimer* tmrAcq = nullptr;
  QTimer* tmrRemote = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateCommands();
  void CreateMenus();
  void CreateToolBar();
  void FormShow();
  void StartRemote();
  void CreateChildren();
  // Windows into the settings before a save, and the settings into windows after a load.
  void StoreWindowPlacements();
  void ApplyConfiguration();
  void PlaceChild(MdiChild* window, const WindowPlacement& placement, bool withSize);
  WindowPlacement PlacementOf(MdiChild* window) const;
  void PlaceMainWindow();
  void PlaceNormally(QRect place);
  void NoteNormalPlace();
  void ParseArguments();
  // Loads the bundled demo's configuration; returns its capture (empty when not found).
  QString LoadDemo();

  MainOptions options_;
  Settings settings_;
  std::unique_ptr<Dialogs> ownedDialogs_;
  Dialogs* dialogs_;
  GuiUserInterface ui_;
  std::unique_ptr<PortBackend> ownedBackend_;
  std::unique_ptr<HardwareClock> ownedClock_;
  Pipeline pipeline_;
  Hardware hardware_;
  LiveRun liveRun_;
  // After the pipeline: it hands the pipeline its line event and takes it back at its end.
  std::unique_ptr<RemoteLink> remote_;

  std::vector<QIcon> images_;
  QMdiArea* mdi_ = nullptr;
  QStatusBar* stbStatus_ = nullptr;
  QString runStatus_;
  TfrmProgress* progress_ = nullptr;
  TfrmHardware* hardwareWindow_ = nullptr;
  TfrmColors* colors_ = nullptr;
  TfrmEdit* editWindow_ = nullptr;
  TfrmHexaView* hexaView_ = nullptr;
  TfrmFilterView* filterView_ = nullptr;
  TfrmGraphicView* graphicView_ = nullptr;
  std::array<TfrmChannel*, kChannelCount> channelWindows_{};
  std::array<QAction*, kChannelCount> channelCommands_{};
  // Frame description editors, help and version windows.
  EditorRegistry<TfrmFrame> editorRegistry_;
  TfrmAide* aide_ = nullptr;
  TfrmVersionContacts* versionContacts_ = nullptr;

  QString configFolder_;
  bool replayLockCourt_ = false;
  QString startConfig_;   // --config FILE
  QString startCapture_;  // a capture file named on the command line
  bool startDemo_ = false;  // --demo
  // The frame's place and the size within it when not maximised.
  QRect normalPlace_;
  bool placing_ = false;
  bool firstShow_ = true;
  bool closing_ = false;
};

}  // namespace velkor::ui
