#pragma once
// The sample pipeline: the run setup, the per-sample dispatch to the four channel decoders,
// the Graphic view's column clock, and the two sample sources (capture file replay and the
// module's live bytes). All decoder state lives here, per channel, so two pipelines never
// share anything.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/Settings.h"
#include "decoders/DecCan.h"
#include "decoders/DecLin.h"
#include "decoders/DecLogique.h"
#include "decoders/DecManchester.h"
#include "decoders/DecSerial.h"
#include "pipeline/DecoderServices.h"
#include "pipeline/SampleSource.h"
#include "pipeline/UserInterface.h"

namespace velkor {

inline constexpr std::size_t kReplayBlockSize = 1024;
inline constexpr std::size_t kLiveBlockSize = 1024;
// The replay reads this much of the file at once; progress and Stop still come per block.
inline constexpr std::size_t kReplayReadSize = 256 * kReplayBlockSize;
// During a replay the CAN and LIN description files are asked whether they changed (for
// names added while the run goes on) between reads, at most this often: asking on every
// frame line cost more than all the decoding of a replay.
inline constexpr std::chrono::milliseconds kReplayDescriptionCheck{100};

// The four samples s0 (oldest) to s3 carried by one byte of the live stream: channel 1 is
// sampled every sample, channel 2 every second one, channels 3 and 4 once per byte.
constexpr std::array<Sample, 4> UnpackLiveByte(std::uint8_t b) {
  auto bit = [b](int n) { return static_cast<Sample>((b >> n) & 1); };
  const Sample high = static_cast<Sample>(bit(3) << 2 | bit(7) << 3);
  return {static_cast<Sample>(bit(0) | bit(1) << 1 | high), static_cast<Sample>(bit(2) | bit(1) << 1 | high),
          static_cast<Sample>(bit(4) | bit(5) << 1 | high), static_cast<Sample>(bit(6) | bit(5) << 1 | high)};
}

// How the samples of a block reach the decoders. Both give the same lines, the same calls of
// the user interface on the same samples and the same decoder states.
enum class DispatchPath {
  PerSample,    // every sample through DispatchSample: the reference
  RunSkipping,  // each decoder takes a run of constant level in one step up to its next event
};

class Pipeline {
 public:
  Pipeline(Settings& settings, UserInterface& ui);
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  Settings& GetSettings() { return settings_; }
  DecoderServices& Services() { return services_; }
  const DecodedLineList& Lines() const { return services_.lines; }
  UserInterface& Ui() { return services_.Ui(); }

  // The Filter view's chosen fields as settings loaded anew give them: a field chosen before
  // a run and not back in its list since is no longer awaited.
  void ForgetAwaitedFields() { awaitedFields_ = {}; }

  // Run setup: copies the channel settings into the channel table and has the decoders load
  // their descriptions. Its outcome is left in RunSetupFailed().
  void ResetRun();
  bool RunSetupFailed() const { return runSetupFailed_; }

  void DispatchSample(Sample sample, SampleIndex index);

  // Dispatches `count` samples (the low four bits of each byte) at the running SampleIndex,
  // which then moves past them, along the chosen path. Between its user-interface calls
  // (RefreshLineCount, DrawColumn) the run-skipping path brings every decoder up to date
  // first, so those calls see the pipeline as the per-sample path leaves it.
  void DispatchSamples(const std::uint8_t* samples, std::size_t count);

  void SetDispatchPath(DispatchPath path) { path_ = path; }
  DispatchPath GetDispatchPath() const { return path_; }

  // Dispatches the bytes of the live stream (four samples each) at the running SampleIndex.
  void DispatchLiveBytes(const std::uint8_t* bytes, std::size_t count);

  // Replays a capture file (one sample per byte, upper bits ignored). Returns false when the
  // file cannot be opened; nothing is then reset or reported. The file is read in large
  // pieces, but SetProgress and StopRequested still come after every full block of
  // kReplayBlockSize samples, as when it was read a block at a time. On the run-skipping path
  // the decoder states may lag behind SampleIndex during those two calls (no decoder owes a
  // line or a mark there); they are up to date when the replay returns.
  bool ReplayCaptureFile(const std::string& path);

  // Replays the samples of a source, as ReplayCaptureFile does those of a capture file. A
  // source that fails on the way ends the replay there; its Failure() then says why, and the
  // lines decoded so far are only those of the samples before it.
  void ReplaySource(SampleSource& source);

  // The replay command: refused while a run goes on.
  void RunFromFile(const std::string& path);

  // Shows "Program is still running !" and returns true while a run goes on.
  bool RefuseWhileRunning();

  // True during a live run and for the whole of a replay, its run setup included (a
  // loader's message box lets other commands run there).
  bool Running() const { return running_ || replaying_; }
  void SetRunning(bool running) { running_ = running; }
  bool Replaying() const { return replaying_; }
  // Ends the replay under way after its current block, as the progress window's Stop does.
  void RequestReplayStop() { replayStopRequested_ = true; }

  SampleIndex sampleIndex = 0;
  std::uint32_t columnClock = 0;
  // The wall-clock time of sample 0 of a live run, microseconds since 1970 (UTC); none for
  // a replay. Exports write it as their base time.
  std::optional<std::int64_t> runStartMicros;

  // Per-channel decoder states.
  std::array<ManchesterChannelState, kChannelCount> manchester{};
  std::array<SerialChannelState, kChannelCount> serial{};
  std::array<CanChannelState, kChannelCount> can{};
  std::array<LinChannelState, kChannelCount> lin{};
  std::array<LogicalChannelState, kChannelCount> logical{};

 private:
  // One sample of one channel through its decoder; nonzero when a line was appended.
  int StepChannel(int channel, char level, SampleIndex index);
  // The channel decoder's steady count and skip (see SerialSteadySamples and the like).
  std::uint64_t SteadySamples(int channel, char level) const;
  void SkipChannel(int channel, char level, std::uint64_t count);
  std::uint64_t BlindSamples(int channel) const;
  // How many next samples of the channel surely append no line (see LinLineFreeSamples).
  std::uint64_t LineFreeSamples(int channel) const;
  void SkipChannelBlind(int channel, const std::uint8_t* samples, std::uint64_t count);
  bool RunChannelLane(int channel, Lane& lane, LaneSpan& span);
  // The run-skipping path. With `afterBlock`, calls it after every full block of
  // kReplayBlockSize samples (counted from the first) and stops there when it returns true.
  // Returns how many samples were dispatched.
  std::size_t DispatchRuns(const std::uint8_t* samples, std::size_t count,
                           const std::function<bool()>* afterBlock = nullptr);
  void SetDescriptionCheckInterval(std::chrono::milliseconds interval);

  Settings& settings_;
  DecoderServices services_;
  bool running_ = false;
  bool replaying_ = false;
  bool replayStopRequested_ = false;
  bool runSetupFailed_ = false;
  // Per channel, the name of the field chosen when its list was last emptied (empty: none).
  std::array<std::string, kChannelCount> awaitedFields_;
  DispatchPath path_ = DispatchPath::RunSkipping;
};

}  // namespace velkor
