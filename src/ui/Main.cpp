#include "ui/Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMoveEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QMdiArea>
#include <QMenuBar>
#include <QPainter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "app/ConfigFile.h"
#include "app/Installation.h"
#include "capture/CaptureReplay.h"
#include "decoders/DescriptionFile.h"
#include "ui/channels/Channel.h"
#include "ui/channels/Frame.h"
#include "ui/hardware/Hardware.h"
#include "ui/Progress.h"
#include "platform/SystemPort.h"
#include "ui/remote/RemoteLink.h"
#include "ui/Aide.h"
#include "ui/Colors.h"
#include "ui/Icons.h"
#include "ui/Placement.h"
#include "ui/QtText.h"
#include "ui/VersionContacts.h"
#include "ui/views/Edit.h"
#include "ui/views/FilterView.h"
#include "ui/views/Graphic.h"
#include "ui/views/HexaView.h"

namespace velkor::ui {

namespace {

constexpr int kPortPanelWidth = 65;
// "from file": our own captures first, as always; those of other instruments beside them.
constexpr const char* kCaptureFilter =
    "Binary file (*.bin)|*.bin|"
    "Captures of other instruments (*.sr *.vcd *.csv)|*.sr;*.vcd;*.csv|"
    "sigrok session (*.sr)|*.sr|Value change dump (*.vcd)|*.vcd|CSV export (*.csv)|*.csv|"
    "All captures (*.bin *.sr *.vcd *.csv)|*.bin;*.sr;*.vcd;*.csv";

// The status bar's two owner-drawn panels: the port indicator and the run text.
class MainStatusBar : public QStatusBar {
 public:
  explicit MainStatusBar(TfrmMain& main) : main_(main) {
    setSizeGripEnabled(false);
    setFixedHeight(20);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    DrawPortIndicator(p);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(kPortPanelWidth + 2, 0, width() - kPortPanelWidth - 2, height()), Qt::AlignLeft | Qt::AlignTop,
               main_.RunStatus());
    p.setPen(palette().color(QPalette::Mid));
    p.drawLine(kPortPanelWidth - 1, 1, kPortPanelWidth - 1, height() - 2);
  }

 private:
  void DrawPortIndicator(QPainter& p) {
    const Hardware& hardware = main_.GetHardware();
    p.setPen(Qt::black);
    p.setBrush(Qt::NoBrush);
    p.drawRect(5, 6, 8, 8);  // the outline from (5, 6) to (13, 14)
    p.fillRect(QRect(QPoint(6, 7), QPoint(12, 13)), hardware.Connected() ? QColor(0, 255, 0) : QColor(0, 64, 0));
    const QRect textArea(QPoint(18, 3), QPoint(62, 17));
    p.fillRect(textArea, palette().color(QPalette::Button));
    const int port = hardware.SelectedPort();
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(textArea, Qt::AlignLeft | Qt::AlignTop, port == 0 ? QString("-") : QString("COM%1").arg(port));
  }

  TfrmMain& main_;
};

bool FolderWritable(const QString& folder) {
  QFileInfo info(folder);
  return info.isDir() && info.isWritable();
}

}  // namespace

QString SettingsFolder(const QString& programFolder) {
  // An installed program's folder is not the user's: keep the settings where they can be
  // written instead of losing them at every close (or, for root, leaving them among the
  // system's programs). A folder whose name Windows-1252 cannot hold (a program unpacked in
  // ~/Загрузки) could not be named in the core either.
  if (FolderWritable(programFolder) && !InstalledDataFolder(FromQt(programFolder)) &&
      CharactersOutsideCp1252(programFolder.toStdString()).empty())
    return programFolder;
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/velkor";
  QDir().mkpath(folder);
  return folder;
}

namespace {

// The file a path names: its canonical path, or its cleaned absolute path while it does not
// exist. Never empty.
QString FileIdentity(const QString& path) {
  const QFileInfo info(path);
  const QString canonical = info.canonicalFilePath();
  return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

}  // namespace

TfrmMain::TfrmMain(MainOptions options)
    : options_(std::move(options)),
      ownedDialogs_(options_.dialogs ? nullptr : std::make_unique<QtDialogs>()),
      dialogs_(options_.dialogs ? options_.dialogs : ownedDialogs_.get()),
      ui_(*this),
      ownedBackend_(options_.backend ? nullptr : std::make_unique<platform::SystemPortBackend>()),
      ownedClock_(options_.clock ? nullptr : std::make_unique<platform::SystemClock>()),
      pipeline_(settings_, ui_),
      hardware_(options_.backend ? *options_.backend : *ownedBackend_, options_.clock ? *options_.clock : *ownedClock_,
                settings_, ui_),
      liveRun_(pipeline_, hardware_) {
  // The colours window starts with the trace colours equal to the text colours; only a
  // configuration file without trace keys brings the light green of the file's default.
  settings_.traceColours = settings_.textColours;

  setWindowTitle("Kivo - Velkor");
  images_ = MakeImageList();
  mdi_ = new QMdiArea(this);
  mdi_->setBackground(QColor(128, 128, 128));
  setCentralWidget(mdi_);
  stbStatus_ = new MainStatusBar(*this);
  setStatusBar(stbStatus_);
  CreateCommands();
  CreateMenus();
  CreateToolBar();
  resize(639, 546);
  // Centred until a configuration places it; from here on its place is its frame's.
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    PlaceFramesFromNowOn(this, screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
  else
    PlaceFramesFromNowOn(this, QPoint(0, 0));
  normalPlace_ = QRect(pos(), size());

  progress_ = new TfrmProgress();
  hardwareWindow_ = new TfrmHardware(hardware_, settings_, this);
  aide_ = new TfrmAide(this);
  versionContacts_ = new TfrmVersionContacts(this);
  editWindow_ = new TfrmEdit(this);

  tmrAcq = new QTimer(this);
  tmrAcq->setInterval(static_cast<int>(kAcquisitionTickMillis));
  connect(tmrAcq, &QTimer::timeout, this, &TfrmMain::tmrAcqTimer);
  tmrRemote = new QTimer(this);
  tmrRemote->setInterval(500);
  tmrRemote->setSingleShot(true);
  connect(tmrRemote, &QTimer::timeout, this, &TfrmMain::tmrRemoteTimer);
  tmrRemote->start();
  remote_ = std::make_unique<RemoteLink>(*this);

  if (!options_.configFolder.isEmpty()) {
    configFolder_ = options_.configFolder;
  } else {
    configFolder_ = SettingsFolder(QCoreApplication::applicationDirPath());
  }
  ParseArguments();
  colors_ = new TfrmColors(*this);
}

TfrmMain::~TfrmMain() {
  hardware_.SetWindow(nullptr);
  delete progress_;
}

void TfrmMain::ParseArguments() {
  const QStringList& args = options_.arguments;
  if (!args.isEmpty() && args.first().contains("+SERIAL")) replayLockCourt_ = true;
  for (int i = replayLockCourt_ ? 1 : 0; i < args.size(); ++i) {
    if (args[i] == "--config" && i + 1 < args.size()) {
      startConfig_ = args[++i];
    } else if (args[i] == "--demo") {
      startDemo_ = true;
    } else if (!args[i].startsWith("-")) {
      startCapture_ = args[i];
    }
  }
}

QString TfrmMain::LastConfigPath() const { return configFolder_ + "/" + kLastConfigName; }

void TfrmMain::CreateCommands() {
  auto make = [this](const QString& caption, const QString& hint, int image, const QKeySequence& key,
                     void (TfrmMain::*handler)()) {
    auto* action = new QAction(caption, this);
    if (!hint.isEmpty()) {
      action->setToolTip(hint);
      action->setStatusTip(hint);
    }
    if (image >= 0) action->setIcon(images_[image]);
    if (!key.isEmpty()) {
      action->setShortcut(key);
      action->setShortcutContext(Qt::ApplicationShortcut);
    }
    connect(action, &QAction::triggered, this, handler);
    addAction(action);
    return action;
  };
  acHardwareSettings = make("Hardware Settings ...", "Hardware Settings", kImageHardware, Qt::Key_F2,
                            &TfrmMain::acHardwareSettingsExecute);
  acNewFrame = make("New Frame ...", "New Frame Description", kImageNewFrame, Qt::Key_F3, &TfrmMain::acNewFrameExecute);
  acOpenFrame = make("Open Frame ...", "Open Frame", kImageOpenFrame, QKeySequence(Qt::CTRL | Qt::Key_O),
                     &TfrmMain::acOpenFrameExecute);
  acQuit = make("Quit", "Quit program", kImageQuit, {}, &TfrmMain::acQuitExecute);
  for (int i = 0; i < kChannelCount; ++i) {
    auto* action = new QAction(QString("Channel %1").arg(i + 1), this);
    action->setIcon(images_[kImageChannelOff + i]);
    action->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + i)));
    action->setShortcutContext(Qt::ApplicationShortcut);
    action->setData(i);  // the command's tag
    connect(action, &QAction::triggered, this, [this, i] { acChannelExecute(i); });
    addAction(action);
    channelCommands_[i] = action;
  }
  acRunFromAcq = make("from Kivo", "Real time analysis", kImageRunFromAcq, {}, &TfrmMain::acRunFromAcqExecute);
  acRunFromFile = make("from file", "Analyse a binary file", kImageRunFromFile, {}, &TfrmMain::acRunFromFileExecute);
  acStop = make("Stop", "Stop decoding", kImageStop, {}, &TfrmMain::acStopExecute);
  acGraphicView = make("Graphic view", "Graphic view", kImageGraphic, QKeySequence(Qt::CTRL | Qt::Key_G),
                       &TfrmMain::acGraphicViewExecute);
  acHexaView = make("Hexadecimal view", "Hexadecimal view", kImageHexa, QKeySequence(Qt::CTRL | Qt::Key_H),
                    &TfrmMain::acHexaViewExecute);
  acFilterView = make("Filter View", "Hexa View", kImageFilter, QKeySequence(Qt::CTRL | Qt::Key_F),
                      &TfrmMain::acFilterViewExecute);
  acHelpIndex = make("Index", {}, -1, Qt::Key_F1, &TfrmMain::acHelpIndexExecute);
  acHelpContent = make("Content", {}, -1, QKeySequence(Qt::SHIFT | Qt::Key_F1), &TfrmMain::acHelpContentExecute);
  acVersion = make("Version", "Version and Contacts", kImageVersion, {}, &TfrmMain::acVersionExecute);
}

void TfrmMain::CreateMenus() {
  QMenu* program = menuBar()->addMenu("&Program");
  program->addAction(acHardwareSettings);
  program->addAction("Load configuration ...", this, &TfrmMain::mnuLoadConfigClick);
  program->addAction("Save configuration ...", this, &TfrmMain::mnuSaveConfigClick);
  program->addSeparator();
  program->addAction("Colors", this, &TfrmMain::mnuColorsClick);
  program->addSeparator();
  program->addAction(acQuit);

  QMenu* frame = menuBar()->addMenu("Frame description");
  frame->addAction(acNewFrame);
  frame->addAction(acOpenFrame);

  QMenu* parameters = menuBar()->addMenu("Parameters");
  for (QAction* a : channelCommands_) parameters->addAction(a);

  QMenu* analysis = menuBar()->addMenu("Analysis");
  analysis->addAction(acRunFromAcq);
  analysis->addAction(acRunFromFile);
  analysis->addAction(acStop);
  analysis->addSeparator();
  analysis->addAction(acGraphicView);
  analysis->addAction(acHexaView);
  analysis->addAction(acFilterView);

  mnuRemote = menuBar()->addMenu("Remote");
  mnuRemote->addAction("Display log", this, &TfrmMain::mnuDisplayLogClick);
  mnuRemote->menuAction()->setVisible(false);

  QMenu* help = menuBar()->addMenu("Help");
  help->addAction(acHelpIndex);
  help->addAction(acHelpContent);
  help->addSeparator();
  QAction* version = help->addAction("Version and contacts");
  version->setIcon(acVersion->icon());
  connect(version, &QAction::triggered, this, &TfrmMain::acVersionExecute);
}

void TfrmMain::CreateToolBar() {
  QToolBar* bar = addToolBar("Commands");
  bar->setMovable(false);
  bar->setIconSize(QSize(24, 24));
  bar->addAction(acHardwareSettings);
  bar->addAction(acNewFrame);
  bar->addAction(acOpenFrame);
  bar->addSeparator();
  for (QAction* a : channelCommands_) bar->addAction(a);
  bar->addSeparator();
  bar->addAction(acRunFromAcq);
  bar->addAction(acStop);
  bar->addAction(acRunFromFile);
  bar->addSeparator();
  bar->addAction(acGraphicView);
  bar->addAction(acHexaView);
  bar->addAction(acFilterView);
  bar->addSeparator();
  bar->addAction(acVersion);
}

// ---------------------------------------------------------------------------------------
// Start-up and closing

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (firstShow_) FormShow();
}

void TfrmMain::FormShow() {
  firstShow_ = false;
  StartRemote();
  editorRegistry_.Clear();
  CreateChildren();
  pipeline_.SetRunning(false);
  for (int i = 0; i < kChannelCount; ++i)
    SetChannelHint(i, ToQt(settings_.channels[i].caption));
  (void)LoadConfiguration(LastConfigPath(), true);
  if (!startConfig_.isEmpty()) (void)LoadConfiguration(startConfig_, true);
  const QString demoCapture = startDemo_ ? LoadDemo() : QString();

  QString capture;
  if (replayLockCourt_) capture = "lockcourt.bin";
  else if (!startCapture_.isEmpty()) capture = startCapture_;
  else capture = demoCapture;
  if (!capture.isEmpty()) {
    // Let the frame appear first so the progress and the views can be watched.
    QTimer::singleShot(0, this, [this, capture] {
      if (!Running()) ReplayCaptureFile(capture);
    });
  }
}

QString TfrmMain::LoadDemo() {
  const auto demo = FindDemo(FromQt(QCoreApplication::applicationDirPath()));
  if (!demo || LoadConfigFile(demo->config, settings_)) {
    ShowMessage("The demo is not installed", "Error");
    return {};
  }
  // The demo names its descriptions from its own folder: anchored there, they also stay
  // valid in the LastVelkor.cfg saved at exit, which lies elsewhere.
  pipeline_.Services().configFolder = ConfigFileFolder(demo->config);
  AnchorDescriptionPaths(settings_, pipeline_.Services().configFolder);
  ApplyConfiguration();
  return ToQt(demo->capture);
}

void TfrmMain::StartRemote() {
  if (remote_->OpenRemoteBlock()) mnuRemote->menuAction()->setVisible(true);
}

void TfrmMain::CreateChildren() {
  hexaView_ = new TfrmHexaView(*this);
  filterView_ = new TfrmFilterView(*this);
  graphicView_ = new TfrmGraphicView(*this);
  for (MdiChild* view : std::initializer_list<MdiChild*>{hexaView_, filterView_, graphicView_}) {
    mdi_->addSubWindow(view);
    view->hide();
  }
  for (int i = 0; i < kChannelCount; ++i) {
    auto* window = new TfrmChannel(*this, i);
    window->setWindowIcon(images_[kImageChannelOff + i]);
    mdi_->addSubWindow(window);
    window->hide();
    channelWindows_[i] = window;
  }
  // Without a configuration file they stay where the file's defaults put them, not where
  // the frame would heap them up at their first showing.
  const Settings defaults;
  PlaceChild(graphicView_, defaults.graphic, false);
  PlaceChild(filterView_, defaults.filter, false);
  PlaceChild(hexaView_, defaults.hexa, false);
  for (int i = 0; i < kChannelCount; ++i) PlaceChild(channelWindows_[i], defaults.channelWindows[i], false);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (Running()) {
    ShowMessage("You must stop acquisitions before", ToQt(kApplicationTitle));
    event->ignore();
    return;
  }
  closing_ = true;
  if (!firstShow_ && SaveConfiguration(LastConfigPath()))
    ShowMessage("The configuration could not be saved in " + LastConfigPath(), "Error");
  std::vector<MdiChild*> children{hexaView_, filterView_, graphicView_};
  for (TfrmChannel* c : channelWindows_) children.push_back(c);
  hexaView_ = nullptr;
  filterView_ = nullptr;
  graphicView_ = nullptr;
  channelWindows_.fill(nullptr);
  for (MdiChild* child : children)
    if (child) child->close();
  QApplication::processEvents();
  progress_->hide();
  event->accept();
}

// ---------------------------------------------------------------------------------------
// Shared operations

Answer TfrmMain::ShowMessage(const QString& text, const QString& caption, Buttons buttons) {
  return dialogs_->Message(isVisible() ? this : nullptr, text, caption, buttons);
}

void TfrmMain::SetChannelHint(int channel, const QString& hint) {
  channelCommands_[channel]->setToolTip(hint);
  channelCommands_[channel]->setStatusTip(hint);
}

void TfrmMain::SetChannelImage(int channel, bool active) {
  channelCommands_[channel]->setIcon(images_[(active ? kImageChannelOn : kImageChannelOff) + channel]);
}

QColor TfrmMain::ChannelTraceColour(int channel) const { return ToQColor(settings_.traceColours[channel]); }
QColor TfrmMain::ChannelTextColour(int channel) const { return ToQColor(settings_.textColours[channel]); }

void TfrmMain::ToggleChildWindow(MdiChild* window) {
  if (!window) return;
  if (mdi_->activeSubWindow() == window && window->isVisible()) {
    window->hide();
    return;
  }
  window->show();
  window->raise();
  mdi_->setActiveSubWindow(window);
}

void TfrmMain::DrawPortIndicator() { stbStatus_->repaint(); }

void TfrmMain::SetRunStatus(const QString& text) {
  runStatus_ = text;
  stbStatus_->repaint();
}

void TfrmMain::ApplyChannelColours() {
  if (graphicView_) graphicView_->ApplyChannelColours();
  if (filterView_) filterView_->ApplyChannelColours();
  if (hexaView_) hexaView_->RepaintList();
  if (filterView_) filterView_->RepaintList();
}

// ---- Frame description editors and help (TfrmFrame, TfrmAide) ----

void TfrmMain::OpenFrameEditor(const QString& name, const QString& errorText) {
  const int free = editorRegistry_.FreeEntry();
  const bool isNew = name == ToQt(kNewFrameCaption);
  if (!isNew) {
    // A file already open comes to the front with the new reason; its text stays as edited.
    // The same file may be named relatively (a configuration) or absolutely (a dialog), or
    // through a link: it is the file that is compared, not its name.
    const auto sameFile = [](const TfrmFrame& e) {
      return e.FilePath().isEmpty() ? QString() : FileIdentity(e.FilePath());
    };
    if (TfrmFrame* open = editorRegistry_.Find(FileIdentity(name), sameFile)) {
      open->SetErrorText(errorText);
      open->show();
      mdi_->setActiveSubWindow(open);
      open->raise();
      return;
    }
  }
  if (free < 0) {
    ShowMessage("Too many Frame Descritpions opened !", "Warning");
    return;
  }
  auto* editor = new TfrmFrame(*this);
  if (!isNew && editor->LoadFile(name)) {
    delete editor;
    ShowMessage("The file can not be opened", "Error");
    return;
  }
  editor->SetErrorText(errorText);
  editorRegistry_.Put(free, editor);
  mdi_->addSubWindow(editor);
  editor->show();
  mdi_->setActiveSubWindow(editor);
}

void TfrmMain::ForgetFrameEditor(TfrmFrame* editor) { editorRegistry_.Forget(editor); }

void TfrmMain::ShowHelpTopic(const QString& key) { aide_->ShowHelpTopic(FromQt(key)); }

// ---- end of frame description editors and help ----

// ---------------------------------------------------------------------------------------
// Configuration files

bool TfrmMain::LoadConfiguration(const QString& path, bool tellRefusal) {
  ConfigRefusal refusal = ConfigRefusal::None;
  if (LoadConfigFile(FromQt(path), settings_, &refusal)) {
    if (tellRefusal && refusal == ConfigRefusal::NotAConfiguration)
      ShowMessage("The file " + path + " is not a Velkor configuration", "Error");
    return true;
  }
  pipeline_.Services().configFolder = ConfigFileFolder(FromQt(path));
  ApplyConfiguration();
  return false;
}

bool TfrmMain::SaveConfiguration(const QString& path) {
  StoreWindowPlacements();
  Settings stored = settings_;
  AnchorDescriptionsFoundBeside(stored, pipeline_.Services().configFolder, ConfigFileFolder(FromQt(path)));
  return SaveConfigFile(FromQt(path), stored);
}

void TfrmMain::ApplyConfiguration() {
  pipeline_.ForgetAwaitedFields();
  hardwareWindow_->Refresh();
  for (TfrmChannel* c : channelWindows_)
    if (c) c->ApplySettings();
  if (graphicView_) graphicView_->ApplySettings();
  if (hexaView_) hexaView_->ApplySettings();
  if (filterView_) filterView_->ApplySettings();

  if (isVisible() || !firstShow_) PlaceMainWindow();
  PlaceChild(graphicView_, settings_.graphic, true);
  PlaceChild(filterView_, settings_.filter, true);
  // Channel windows have a fixed size: only their place and visibility come back.
  for (int i = 0; i < kChannelCount; ++i) PlaceChild(channelWindows_[i], settings_.channelWindows[i], false);
  PlaceChild(hexaView_, settings_.hexa, true);

  colors_->ApplySettings();
  ApplyChannelColours();
  if (hexaView_) hexaView_->raise();
}

namespace {

// The screen a window placed at this point would show on (the primary one when none).
QRect ScreenAreaAt(QPoint at) {
  const QScreen* screen = QGuiApplication::screenAt(at);
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect(0, 0, 640, 480);
}

}  // namespace

void TfrmMain::PlaceMainWindow() {
  // The file gives the frame's place and the size within it: the place the window has
  // when it is not maximised, and comes back to when restored.
  const QSize size(settings_.main.width, settings_.main.height);
  const QPoint wanted(settings_.main.left, settings_.main.top);
  normalPlace_ = QRect(KeepReachable(QRect(wanted, size), ScreenAreaAt(wanted)), size);
  if (isMaximized()) {
    // A maximised window stays so (a file may maximise, never restore it). Restoring it only
    // to place it, then maximising it again, left the window system and the window
    // disagreeing on its size; the place is taken when the user restores it.
    update();
    return;
  }
  PlaceNormally(normalPlace_);
  if (settings_.mainMaximized) setWindowState(windowState() | Qt::WindowMaximized);
  update();
}

void TfrmMain::PlaceNormally(QRect place) {
  placing_ = true;
  resize(place.size());
  MoveFrame(this, place.topLeft());
  placing_ = false;
}

void TfrmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  const auto old = static_cast<QWindowStateChangeEvent*>(event)->oldState();
  if ((old & Qt::WindowMaximized) && windowState() == Qt::WindowNoState) PlaceNormally(normalPlace_);
}

void TfrmMain::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  NoteNormalPlace();
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  NoteNormalPlace();
}

void TfrmMain::NoteNormalPlace() {
  // What a save of a maximised window stores: where the user last had it unmaximised.
  if (!placing_ && isVisible() && windowState() == Qt::WindowNoState) normalPlace_ = QRect(pos(), size());
}

void TfrmMain::PlaceChild(MdiChild* window, const WindowPlacement& placement, bool withSize) {
  if (!window) return;
  if (withSize) window->SetClientSize(QSize(placement.width, placement.height));
  // The frame's client area can grow to the screen's: a window beyond that, or with its
  // title above the top, could never be reached to drag it back.
  const QRect area(QPoint(0, 0), ScreenAreaAt(geometry().center()).size());
  window->move(KeepReachable(QRect(QPoint(placement.left, placement.top), window->size()), area));
  window->setVisible(placement.visible);
}

WindowPlacement TfrmMain::PlacementOf(MdiChild* window) const {
  const QSize client = window->ClientSize();
  return WindowPlacement{window->x(), window->y(), client.height(), client.width(), window->isVisible()};
}

void TfrmMain::StoreWindowPlacements() {
  settings_.mainMaximized = isMaximized();
  // Read back as it is loaded: the frame's place and the size within it; for a maximised
  // window, those it has when restored.
  const QRect normal = windowState() == Qt::WindowNoState ? QRect(pos(), size()) : normalPlace_;
  settings_.main = WindowPlacement{normal.x(), normal.y(), normal.height(), normal.width(), true};
  if (graphicView_) settings_.graphic = PlacementOf(graphicView_);
  if (filterView_) settings_.filter = PlacementOf(filterView_);
  if (hexaView_) settings_.hexa = PlacementOf(hexaView_);
  for (int i = 0; i < kChannelCount; ++i)
    if (channelWindows_[i]) settings_.channelWindows[i] = PlacementOf(channelWindows_[i]);
}

void TfrmMain::mnuLoadConfigClick() {
  const QString path = dialogs_->OpenFile(this, {"Load configuration", "Configuration file (*.cfg)|*.cfg", "cfg", {}});
  if (!path.isEmpty()) (void)LoadConfiguration(path, true);
}

void TfrmMain::mnuSaveConfigClick() {
  const QString path = dialogs_->SaveFile(this, {"Save configuration", "Configuration file (*.cfg)|*.cfg", "cfg", {}});
  if (!path.isEmpty() && SaveConfiguration(path)) ShowMessage("The file can not be written: " + path, "Error");
}

// ---------------------------------------------------------------------------------------
// Commands

void TfrmMain::acHardwareSettingsExecute() {
  hardwareWindow_->exec();
  DrawPortIndicator();
}

void TfrmMain::acNewFrameExecute() { OpenFrameEditor("New Frame Description", {}); }

void TfrmMain::acOpenFrameExecute() {
  const QString path = dialogs_->OpenFile(this, {QString(), ToQt(FrameOpenFilter()), {}, {}});
  if (!path.isEmpty()) OpenFrameEditor(path, {});
}

void TfrmMain::acChannelExecute(int channel) { ToggleChildWindow(channelWindows_[channel]); }

void TfrmMain::acRunFromAcqExecute() {
  liveRun_.acRunFromAcqExecute();
  if (liveRun_.TimerEnabled()) tmrAcq->start();
}

void TfrmMain::tmrAcqTimer() {
  liveRun_.tmrAcqTimer();
  if (!liveRun_.TimerEnabled()) tmrAcq->stop();
}

void TfrmMain::acStopExecute() {
  tmrAcq->stop();
  liveRun_.acStopExecute();
  if (hexaView_) hexaView_->SyncLines();
}

void TfrmMain::acRunFromFileExecute() {
  if (pipeline_.RefuseWhileRunning()) return;
  const QString path = dialogs_->OpenFile(this, {QString(), kCaptureFilter, "*.bin", {}});
  if (!path.isEmpty()) ReplayCaptureFile(path);
}

namespace {
// The channel map of another instrument's capture, asked through the dialogs' provider.
class DialogMapChooser final : public ChannelMapChooser {
 public:
  DialogMapChooser(Dialogs& dialogs, QWidget* parent, const Settings& settings)
      : dialogs_(dialogs), parent_(parent), settings_(settings) {}
  bool ChooseChannelMap(const CaptureReader& reader, ChannelMap& map) override {
    std::array<std::string, kChannelCount> captions;
    for (int i = 0; i < kChannelCount; ++i) captions[i] = settings_.channels[i].caption;
    return dialogs_.ChooseChannelMap(parent_, ToQt(reader.Path()), reader.ChannelNames(),
                                     captions, map);
  }

 private:
  Dialogs& dialogs_;
  QWidget* parent_;
  const Settings& settings_;
};
}  // namespace

void TfrmMain::ReplayCaptureFile(const QString& path) {
  DialogMapChooser chooser(*dialogs_, this, settings_);
  ReplayAnyCapture(pipeline_, FromQt(path), chooser);
  if (hexaView_) hexaView_->SyncLines();
}

void TfrmMain::acGraphicViewExecute() { ToggleChildWindow(graphicView_); }
void TfrmMain::acHexaViewExecute() { ToggleChildWindow(hexaView_); }
void TfrmMain::acFilterViewExecute() { ToggleChildWindow(filterView_); }
void TfrmMain::acHelpIndexExecute() { aide_->ShowIndex(); }
void TfrmMain::acHelpContentExecute() { aide_->ShowContent(); }
void TfrmMain::acVersionExecute() { versionContacts_->exec(); }
void TfrmMain::mnuColorsClick() {
  if (colors_->exec() == QDialog::Accepted) ApplyChannelColours();
}
void TfrmMain::mnuDisplayLogClick() { remote_->mnuDisplayLogClick(); }

void TfrmMain::tmrRemoteTimer() {
  tmrRemote->stop();
  if (mnuRemote->menuAction()->isVisible()) hide();
}

}  // namespace velkor::ui
