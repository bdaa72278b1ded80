#pragma once
// The live run commands of the main window: start a run from the Kivo module, the 20 ms
// acquisition tick that feeds the module's bytes to the pipeline, and Stop.

#include <cstddef>

#include "hardware/Hardware.h"
#include "pipeline/DecMain.h"

namespace velkor {

inline constexpr unsigned kAcquisitionTickMillis = 20;
// The most one tick reads: the driver's input queue. At the module's rate a tick finds about
// 2083 bytes; a line that delivers faster than the decoders take its bytes (a flood of
// garbage, a machine too slow for the channels' setup) leaves the rest to the next ticks
// instead of holding the program in one tick, where no Stop could reach it.
inline constexpr std::size_t kLiveTickBytes = 131072;

class LiveRun {
 public:
  LiveRun(Pipeline& pipeline, Hardware& hardware) : pipeline_(pipeline), hardware_(hardware) {}

  // "from Kivo".
  void acRunFromAcqExecute();
  // One tick of tmrAcq: empties the driver's queue in blocks of kLiveBlockSize bytes, at
  // most kLiveTickBytes.
  void tmrAcqTimer();
  // "Stop": also fine when no run goes on. During a replay it ends the replay after its
  // current block, as the progress window's Stop does.
  void acStopExecute();

  // tmrAcq's enabled state; the GUI (or the headless loop) ticks only while it is on.
  bool TimerEnabled() const { return timerEnabled_; }

 private:
  Pipeline& pipeline_;
  Hardware& hardware_;
  bool timerEnabled_ = false;
  // True while a run start is under way. A message box of the start (the module's silence,
  // a loader's refusal) lets events run: a second start must not take the port over, and
  // ticks must not feed decoders that are half reset.
  bool starting_ = false;
};

}  // namespace velkor
