#include "pipeline/DecMain.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "pipeline/BinFileSource.h"

namespace velkor {

Pipeline::Pipeline(Settings& settings, UserInterface& ui) : settings_(settings), services_(ui) {
  // The Filter view's chosen field is an index into the channel's sorted list: it follows
  // its name when a name is inserted before it and is dropped when the list is emptied, so
  // it never points at a name it was not chosen for. Every run start empties the list and
  // fills it again: the name chosen is chosen again when it comes back.
  services_.fieldNames.SetChangeHandler([this](int channel, int insertedAt, int before) {
    if (insertedAt == FieldNameLists::kNamesAdded) {
      services_.Ui().FieldNamesChanged(channel);
      return;
    }
    const std::vector<std::string>& names = services_.fieldNames.Names(channel);
    int& field = settings_.filters[channel].field;
    std::string& awaited = awaitedFields_[channel];
    if (insertedAt == FieldNameLists::kEmptying) {
      // No field chosen: a name dropped at an earlier emptying is still awaited. An index past
      // the list (loaded from a file before any name came) names nothing to wait for.
      if (field >= 0) awaited = field < before ? names[static_cast<std::size_t>(field)] : std::string();
      return;
    }
    if (insertedAt < 0)
      field = -1;
    else if (field >= insertedAt && field < before)
      ++field;
    else if (field < 0 && !awaited.empty() && names[static_cast<std::size_t>(insertedAt)] == awaited)
      field = insertedAt;
    if (!services_.fieldNames.Batching()) services_.Ui().FieldNamesChanged(channel);
  });
}

void Pipeline::ResetRun() {
  runStartMicros.reset();
  runSetupFailed_ = false;
  if (settings_.hexaClear) services_.lines.Clear();
  services_.columnTraceMask = 0;
  services_.columnEventMask = 0;
  for (int i = 0; i < kChannelCount && !runSetupFailed_; ++i) {
    const ChannelSettings& ch = settings_.channels[i];
    ChannelRecord& record = services_.table[i];
    manchester[i].descriptionCount = 0;
    record.active = ch.active;
    if (!record.active) continue;
    record.type = ch.type;
    switch (record.type) {
      case ChannelType::Manchester:
        runSetupFailed_ = ResetManchesterChannel(services_, manchester[i], ch, i) != 0;
        break;
      case ChannelType::Logical:
        ResetLogical(services_, logical[i], i, ch.generation);
        break;
      case ChannelType::Can:
        runSetupFailed_ = LoadCanDescription(services_, can[i], ch.canFile, i) != 0;
        break;
      case ChannelType::Lin:
        runSetupFailed_ = LoadLinDescription(services_, lin[i], ch.linFile, i) != 0;
        break;
      case ChannelType::Serial:
        runSetupFailed_ = LoadSerialDescription(services_, serial[i], ch.serialFile, i) != 0;
        break;
      default:
        break;
    }
  }
}

int Pipeline::StepChannel(int channel, char level, SampleIndex index) {
  switch (services_.table[channel].type) {
    case ChannelType::Manchester:
      return DecodeManchester(services_, manchester[channel], channel, level, index);
    case ChannelType::Serial:
      return DecodeSerial(services_, serial[channel], channel, level, index);
    case ChannelType::Can:
      return DecodeCan(services_, can[channel], channel, level, index);
    case ChannelType::Lin:
      return DecodeLin(services_, lin[channel], channel, level, index);
    case ChannelType::Logical:
      return DecodeLogical(services_, logical[channel], channel, level, index);
    default:
      return 0;
  }
}

void Pipeline::DispatchSample(Sample sample, SampleIndex index) {
  int lines = 0;
  for (int i = 0; i < kChannelCount; ++i) {
    const char level = ((sample >> i) & 1) != 0 ? '1' : '0';
    lines |= StepChannel(i, level, index);
  }
  if (lines != 0) services_.Ui().RefreshLineCount(services_.lines.size());

  // The column period is fixed for a run: the resolution choice is locked while it goes on.
  columnClock += kColumnClockPerSample;
  if (columnClock >= ColumnPeriod(settings_.scrolling)) {
    services_.Ui().DrawColumn(services_.columnTraceMask, services_.columnEventMask);
    services_.columnTraceMask = 0;
    services_.columnEventMask = 0;
    columnClock = 0;
  }
}

void Pipeline::DispatchSamples(const std::uint8_t* samples, std::size_t count) {
  if (path_ == DispatchPath::RunSkipping) {
    DispatchRuns(samples, count);
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    DispatchSample(static_cast<Sample>(samples[i] & 0x0F), sampleIndex);
    ++sampleIndex;
  }
}

namespace {

// The four samples of every live byte, packed the way they follow each other in memory.
constexpr std::array<std::array<Sample, 4>, 256> MakeLiveTable() {
  std::array<std::array<Sample, 4>, 256> table{};
  for (int b = 0; b < 256; ++b) table[b] = UnpackLiveByte(static_cast<std::uint8_t>(b));
  return table;
}
constexpr auto kLiveSamples = MakeLiveTable();

}  // namespace

void Pipeline::DispatchLiveBytes(const std::uint8_t* bytes, std::size_t count) {
  std::array<Sample, 4 * kLiveBlockSize> samples;
  while (count > 0) {
    const std::size_t n = std::min(count, kLiveBlockSize);
    for (std::size_t i = 0; i < n; ++i) std::memcpy(&samples[4 * i], kLiveSamples[bytes[i]].data(), 4);
    DispatchSamples(samples.data(), 4 * n);
    bytes += n;
    count -= n;
  }
}

bool Pipeline::ReplayCaptureFile(const std::string& path) {
  const std::unique_ptr<BinFileSource> source = BinFileSource::Open(path);
  if (!source) return false;
  ReplaySource(*source);
  return true;
}

void Pipeline::ReplaySource(SampleSource& source) {
  const std::optional<std::uint64_t> expected = source.ExpectedSamples();
  const std::uint64_t size = expected.value_or(0);

  replaying_ = true;
  replayStopRequested_ = false;
  ResetRun();
  UserInterface& ui = services_.Ui();
  ui.ClearGraphic();
  ui.ScrollGraphicToNewest();
  columnClock = 0;
  ui.ShowProgress("Reload...");
  ui.SetResolutionEnabled(false);

  if (!runSetupFailed_) {
    sampleIndex = 0;
    running_ = true;
    SetDescriptionCheckInterval(kReplayDescriptionCheck);
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kReplayReadSize);
    bool stop = false;
    // After each full block: progress, then the Stop button. The percentage is worked out
    // again only when the samples reach the next one (a division per block showed).
    std::uint64_t percent = 0;
    std::uint64_t nextPercentAt = 0;
    const std::function<bool()> afterBlock = [&] {
      if (!expected) {
        percent = static_cast<std::uint64_t>(std::clamp(source.PercentRead(), 0, 100));
      } else if (sampleIndex >= nextPercentAt) {
        // A file that grew while it was read could pass 100%; the bar stops there.
        percent = size == 0 ? 100 : std::min<std::uint64_t>(100, 100 * sampleIndex / size);
        nextPercentAt = percent == 100 ? std::numeric_limits<std::uint64_t>::max() : ((percent + 1) * size + 99) / 100;
      }
      ui.SetProgress(static_cast<int>(percent));
      stop = ui.StopRequested() || replayStopRequested_;
      return stop;
    };
    while (!stop) {
      // A source only comes back short at its end or on an error: the replay then ends after
      // the partial block, as it did when it read a block at a time.
      const std::size_t n = source.Read(buffer.get(), kReplayReadSize);
      // The description files are asked about between reads, not at every name looked up.
      for (int i = 0; i < kChannelCount; ++i) {
        can[i].description.CheckNow();
        lin[i].description.CheckNow();
      }
      const std::size_t full = n / kReplayBlockSize * kReplayBlockSize;
      if (path_ == DispatchPath::RunSkipping) {
        DispatchRuns(buffer.get(), full, &afterBlock);
      } else {
        for (std::size_t at = 0; at < full && !stop; at += kReplayBlockSize) {
          DispatchSamples(buffer.get() + at, kReplayBlockSize);
          afterBlock();
        }
      }
      if (stop || n < kReplayReadSize) {
        if (!stop) DispatchSamples(buffer.get() + full, n - full);
        break;
      }
    }
  }
  SetDescriptionCheckInterval(std::chrono::milliseconds{0});
  ui.HideProgress();
  running_ = false;
  replaying_ = false;
  ui.SetResolutionEnabled(true);
}

void Pipeline::SetDescriptionCheckInterval(std::chrono::milliseconds interval) {
  for (int i = 0; i < kChannelCount; ++i) {
    can[i].description.SetCheckInterval(interval);
    lin[i].description.SetCheckInterval(interval);
    can[i].description.SetCheckedByOwner(interval.count() > 0);
    lin[i].description.SetCheckedByOwner(interval.count() > 0);
  }
}

bool Pipeline::RefuseWhileRunning() {
  if (!Running()) return false;
  services_.Ui().ShowMessage("Program is still running !", "Error", MessageButtons::Ok);
  return true;
}

void Pipeline::RunFromFile(const std::string& path) {
  if (RefuseWhileRunning()) return;
  (void)ReplayCaptureFile(path);
}

}  // namespace velkor
