#include "pipeline/LiveRun.h"

#include <chrono>
#include <cstdint>

namespace velkor {

void LiveRun::acRunFromAcqExecute() {
  if (starting_) {
    // Asked again from inside a message box of the first start (the module's silence, a
    // refused description): that start holds the port already and is a run.
    pipeline_.Ui().ShowMessage("Program is still running !", "Error", MessageButtons::Ok);
    return;
  }
  if (pipeline_.RefuseWhileRunning()) return;
  starting_ = true;
  hardware_.Connect();
  if (!hardware_.Connected() || hardware_.StartStreaming()) {
    starting_ = false;
    return;
  }

  timerEnabled_ = true;
  pipeline_.sampleIndex = 0;
  // The stream has just started: its first sample is now, near enough for a log's base time.
  const std::int64_t start = std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
  // A live run goes on when a description was refused: the channels it did not reach keep
  // their previous setup.
  pipeline_.ResetRun();
  pipeline_.runStartMicros = start;
  starting_ = false;
  if (!hardware_.PortOpen()) {
    // A Stop came while a loader's message box was open: that ended this run already.
    timerEnabled_ = false;
    return;
  }

  UserInterface& ui = pipeline_.Ui();
  ui.ClearGraphic();
  ui.ScrollGraphicToNewest();
  pipeline_.Services().columnTraceMask = 0;
  pipeline_.Services().columnEventMask = 0;
  pipeline_.columnClock = 0;
  ui.SetRunStatus("Running...");
  pipeline_.SetRunning(true);
  ui.SetResolutionEnabled(false);
}

void LiveRun::tmrAcqTimer() {
  if (!timerEnabled_ || starting_) return;
  std::uint8_t block[kLiveBlockSize];
  for (std::size_t taken = 0; taken < kLiveTickBytes; taken += sizeof block) {
    if (!hardware_.PortOpen()) return;
    const std::size_t n = hardware_.ReadBlock(block, sizeof block);
    pipeline_.DispatchLiveBytes(block, n);
    if (n != sizeof block) return;
  }
}

void LiveRun::acStopExecute() {
  if (pipeline_.Replaying()) {
    // The replay ends by itself after its current block and then sets everything back; a
    // live stop here would clear Running under it and let a second run or a quit in.
    pipeline_.RequestReplayStop();
    return;
  }
  timerEnabled_ = false;
  pipeline_.SetRunning(false);
  hardware_.Disconnect();
  UserInterface& ui = pipeline_.Ui();
  ui.SetRunStatus("");
  ui.DrawPortIndicator();
  ui.SetResolutionEnabled(true);
}

}  // namespace velkor
