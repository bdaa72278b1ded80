#include "ui/remote/RemoteLink.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "platform/Clock.h"
#include "ui/remote/Remote.h"
#include "ui/Main.h"
#include "ui/QtText.h"
#include "ui/views/HexaView.h"

namespace velkor::ui {

namespace {

// The name the program was started by, as its client knows it: through a symbolic link,
// the link's name, not that of the file it points to.
RemoteNames NamesOfThisProgram() {
  const char* name = std::getenv(kRemoteNameVariable);
  const QStringList arguments = QCoreApplication::arguments();
  const QString started = arguments.isEmpty() ? QCoreApplication::applicationFilePath() : arguments.first();
  return RemoteChannelNames(QFile::encodeName(started).toStdString(), name ? name : "");
}

}  // namespace

RemoteLink::RemoteLink(TfrmMain& main)
    : main_(main),
      names_(NamesOfThisProgram()),
      lineEvent_(names_.event),
      server_(*this),
      log_(std::make_unique<TfrmRemote>()) {
  tmrDll = new QTimer(this);
  tmrDll->setInterval(kRemotePollMillis);
  tmrDll->setTimerType(Qt::PreciseTimer);
  // The log is an aid; closing it never ends the program, even with the main window hidden.
  log_->setAttribute(Qt::WA_QuitOnClose, false);
  connect(tmrDll, &QTimer::timeout, this, &RemoteLink::tmrDllTimer);
  // Every appended line wakes a client that waits on the event, block or not.
  main_.GetPipeline().Services().SetLineEvent(&lineEvent_);
}

RemoteLink::~RemoteLink() {
  main_.GetPipeline().Services().SetLineEvent(nullptr);
  if (BlockOpen()) QApplication::setQuitOnLastWindowClosed(true);
}

bool RemoteLink::OpenRemoteBlock() {
  const platform::BlockOpenResult opened = block_.OpenHeld(names_.block);
  if (opened == platform::BlockOpenResult::Unheld) {
    // Left by a client that was killed: serving it would hide this window for nobody.
    std::fprintf(stderr, "Velkor: removed the remote block %s, which no client holds any more\n",
                 names_.block.c_str());
  }
  if (opened != platform::BlockOpenResult::Success) return false;
  block_.ReleaseOnTerminationSignals();
  server_.Attach(block_.Bytes());
  tmrDll->start();
  main_.installEventFilter(this);
  return true;
}

bool RemoteLink::eventFilter(QObject* watched, QEvent* event) {
  // While the client keeps the main window hidden, the message boxes of its commands are the
  // only windows on the screen: closing one must not end the program as the last window.
  // Closing the main window itself still does.
  if (watched == &main_) {
    if (event->type() == QEvent::Hide && !main_.Closing()) QApplication::setQuitOnLastWindowClosed(false);
    if (event->type() == QEvent::Show) QApplication::setQuitOnLastWindowClosed(true);
  }
  return QObject::eventFilter(watched, event);
}

void RemoteLink::mnuDisplayLogClick() {
  log_->show();
  log_->raise();
}

void RemoteLink::tmrDllTimer() {
  // Stopped while serving: the commands' message boxes and the events run between polls
  // must not start a second serving inside this one.
  tmrDll->stop();
  if (server_.ServeBurst()) {
    // "Close": the reply is in the block; end at once, without the closing steps (no save
    // of LastVelkor.cfg, no port shutdown).
    block_.Release();
    std::fflush(nullptr);
    std::_Exit(1);
  }
  tmrDll->start();
}

void RemoteLink::Hide() { main_.hide(); }

void RemoteLink::Show() { main_.show(); }

bool RemoteLink::LoadConfiguration(const std::string& path) { return main_.LoadConfiguration(ToQt(path)); }

void RemoteLink::Run() { main_.acRunFromAcqExecute(); }

void RemoteLink::Stop() { main_.acStopExecute(); }

void RemoteLink::SelectPort(int port) { main_.GetHardware().SelectPort(port); }

void RemoteLink::DrawPortIndicator() { main_.DrawPortIndicator(); }

std::size_t RemoteLink::LineCount() { return main_.GetPipeline().Lines().size(); }

std::string_view RemoteLink::OldestLine() { return main_.GetPipeline().Lines().Line(0); }

void RemoteLink::RemoveOldestLine() {
  if (TfrmHexaView* view = main_.HexaView()) {
    view->RemoveOldestLine();
  } else {
    main_.GetPipeline().Services().lines.RemoveFirst();
  }
}

std::string RemoteLink::ChannelCaption(int channel) { return main_.GetSettings().channels[channel].caption; }

bool RemoteLink::LogVisible() { return log_->isVisible(); }

void RemoteLink::AddLogLine(std::string_view line) { log_->AddLine(line); }

void RemoteLink::ProcessPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

std::uint64_t RemoteLink::MonotonicMicros() { return platform::MonotonicMicros(); }

}  // namespace velkor::ui
