#pragma once
// The main window's side of the remote command channel: the block looked for at the first
// showing, the 1 ms poll timer tmrDll that serves the commands, the line event handed to the
// decoders, and the remote log window. The commands act on the main window through the
// RemoteHost interface.

#include <QObject>
#include <memory>
#include <string>

#include "platform/SharedMemory.h"
#include "remote/RemoteCommands.h"

class QEvent;
class QTimer;

namespace velkor::ui {

class TfrmMain;
class TfrmRemote;

class RemoteLink final : public QObject, private RemoteHost {
  Q_OBJECT
 public:
  // Names from the executable's file name, or from VELKOR_REMOTE_NAME when it is set.
  explicit RemoteLink(TfrmMain& main);
  ~RemoteLink() override;

  // The first showing: opens the client's block if there is one. True when it was found;
  // tmrDll then runs (the caller shows the "Remote" menu).
  bool OpenRemoteBlock();
  bool BlockOpen() const { return block_.IsOpen(); }
  const RemoteNames& Names() const { return names_; }

  TfrmRemote& LogWindow() { return *log_; }
  void mnuDisplayLogClick();

  void tmrDllTimer();
  QTimer* tmrDll = nullptr;

  const RemoteServer& Server() const { return server_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Hide() override;
  void Show() override;
  bool LoadConfiguration(const std::string& path) override;
  void Run() override;
  void Stop() override;
  void SelectPort(int port) override;
  void DrawPortIndicator() override;
  std::size_t LineCount() override;
  std::string_view OldestLine() override;
  void RemoveOldestLine() override;
  std::string ChannelCaption(int channel) override;
  bool LogVisible() override;
  void AddLogLine(std::string_view line) override;
  void ProcessPendingEvents() override;
  std::uint64_t MonotonicMicros() override;

  TfrmMain& main_;
  RemoteNames names_;
  platform::SharedBlock block_;
  platform::NamedEvent lineEvent_;
  RemoteServer server_;
  std::unique_ptr<TfrmRemote> log_;
};

}  // namespace velkor::ui
