#include "pipeline/DecMain.h"

#include <cstdio>
#include <memory>

namespace velkor {

Pipeline::Pipeline(Settings& settings, UserInterface& ui) : settings_(settings), services_(ui) {
  // The Filter view's chosen field is an index into the channel's sorted list: it follows
  // its name when a name is inserted before it and is dropped when the list is emptied, so
  // it never points at a name it was not chosen for.
  services_.fieldNames.SetChangeHandler([this](int channel, int insertedAt) {
    int& field = settings_.filters[channel].field;
    const auto before = static_cast<int>(services_.fieldNames.Names(channel).size()) - 1;
    if (insertedAt < 0)
      field = -1;
    else if (field >= insertedAt && field < before)
      ++field;
    services_.Ui().FieldNamesChanged(channel);
  });
}

void Pipeline::ResetRun() {
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

void Pipeline::DispatchSample(Sample sample, SampleIndex index) {
  int lines = 0;
  for (int i = 0; i < kChannelCount; ++i) {
    const char level = ((sample >> i) & 1) != 0 ? '1' : '0';
    switch (services_.table[i].type) {
      case ChannelType::Manchester:
        lines |= DecodeManchester(services_, manchester[i], i, level, index);
        break;
      case ChannelType::Serial:
        lines |= DecodeSerial(services_, serial[i], i, level, index);
        break;
      case ChannelType::Can:
        lines |= DecodeCan(services_, can[i], i, level, index);
        break;
      case ChannelType::Lin:
        lines |= DecodeLin(services_, lin[i], i, level, index);
        break;
      case ChannelType::Logical:
        lines |= DecodeLogical(services_, logical[i], i, level, index);
        break;
      default:
        break;
    }
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

void Pipeline::DispatchLiveBytes(const std::uint8_t* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    for (Sample s : UnpackLiveByte(bytes[i])) {
      DispatchSample(s, sampleIndex);
      ++sampleIndex;
    }
  }
}

namespace {
struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace

bool Pipeline::ReplayCaptureFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  std::uint64_t size = 0;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    long end = std::ftell(file.get());
    if (end > 0) size = static_cast<std::uint64_t>(end);
    std::fseek(file.get(), 0, SEEK_SET);
  }

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
    std::uint8_t block[kReplayBlockSize];
    for (;;) {
      std::size_t n = std::fread(block, 1, sizeof block, file.get());
      for (std::size_t i = 0; i < n; ++i) {
        DispatchSample(static_cast<Sample>(block[i] & 0x0F), sampleIndex);
        ++sampleIndex;
      }
      if (n < sizeof block) break;
      // A file that grew while it was read could pass 100%; the bar stops there.
      std::uint64_t percent = size == 0 ? 100 : 100 * sampleIndex / size;
      ui.SetProgress(static_cast<int>(percent > 100 ? 100 : percent));
      if (ui.StopRequested()) break;
    }
  }
  file.reset();
  ui.HideProgress();
  running_ = false;
  ui.SetResolutionEnabled(true);
  return true;
}

bool Pipeline::RefuseWhileRunning() {
  if (!running_) return false;
  services_.Ui().ShowMessage("Program is still running !", "Error", MessageButtons::Ok);
  return true;
}

void Pipeline::RunFromFile(const std::string& path) {
  if (RefuseWhileRunning()) return;
  (void)ReplayCaptureFile(path);
}

}  // namespace velkor
