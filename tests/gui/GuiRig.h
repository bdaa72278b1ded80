#pragma once
// A main window over a fake module link and scripted dialogs, with its LastVelkor.cfg in a
// temporary folder: what most window tests need.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>

#include "FakeKivo.h"
#include "TestRig.h"
#include "ui/Dialogs.h"
#include "ui/Main.h"

namespace velkor::test {

// Runs the test body in another current folder and comes back.
struct CurrentFolder {
  explicit CurrentFolder(const std::string& folder) : previous(QDir::currentPath()) {
    QDir::setCurrent(QString::fromStdString(folder));
  }
  ~CurrentFolder() { QDir::setCurrent(previous); }
  QString previous;
};

struct GuiRig {
  explicit GuiRig(QStringList arguments = {}, bool systemPorts = false) : backend(clock) {
    ui::MainOptions options;
    if (!systemPorts) {
      options.backend = &backend;
      options.clock = &clock;
    }
    options.dialogs = &dialogs;
    options.configFolder = QString::fromStdString(dir.Path());
    options.arguments = std::move(arguments);
    main = std::make_unique<ui::TfrmMain>(options);
  }
  ~GuiRig() {
    if (main) main->GetPipeline().SetRunning(false);
  }

  // Shows the main window (the first showing creates the views) and lets it settle.
  void Show() {
    main->show();
    Settle();
  }
  static void Settle(int millis = 0) {
    QElapsedTimer t;
    t.start();
    do {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    } while (t.elapsed() < millis);
  }
  // Waits until the condition holds (events run meanwhile); false after the time limit.
  static bool WaitFor(const std::function<bool()>& condition, int millis = 10000) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
      if (t.elapsed() > millis) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
  }

  TempDir dir;
  FakeClock clock;
  FakePortBackend backend;
  ui::ScriptedDialogs dialogs;
  std::unique_ptr<ui::TfrmMain> main;
};

}  // namespace velkor::test
