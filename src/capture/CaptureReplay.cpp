#include "capture/CaptureReplay.h"

#include <algorithm>
#include <charconv>

namespace velkor {

ChannelMap RememberedChannelMap(const std::array<std::string, kChannelCount>& remembered,
                                const std::vector<std::string>& names) {
  ChannelMap map;
  map.fill(kUnmapped);
  bool found = false;
  for (int i = 0; i < kChannelCount; ++i) {
    const std::string& label = remembered[i];
    if (label.empty()) continue;
    if (std::count(names.begin(), names.end(), label) == 1) {
      map[i] = static_cast<int>(std::find(names.begin(), names.end(), label) - names.begin());
      found = true;
      continue;
    }
    int number = 0;
    const char* end = label.data() + label.size();
    if (label.size() > 1 && label[0] == '#' && std::from_chars(label.data() + 1, end, number).ptr == end &&
        number >= 1 && static_cast<std::size_t>(number) <= names.size())
      map[i] = number - 1;
  }
  return found ? map : DefaultChannelMap(names.size());
}

std::array<std::string, kChannelCount> ChannelMapToRemember(const ChannelMap& map,
                                                            const std::vector<std::string>& names) {
  std::array<std::string, kChannelCount> remembered;
  for (int i = 0; i < kChannelCount; ++i)
    if (map[i] != kUnmapped) remembered[i] = ChannelLabel(names, map[i]);
  return remembered;
}

void ReplayAnyCapture(Pipeline& pipeline, const std::string& path, ChannelMapChooser& chooser) {
  if (DetectCaptureFormat(path) == CaptureFormat::Bin) {
    (void)pipeline.ReplayCaptureFile(path);
    return;
  }
  UserInterface& ui = pipeline.Ui();
  std::string error;
  const std::unique_ptr<CaptureReader> reader = OpenCapture(path, error);
  if (!reader) {
    ui.ShowMessage(error, "Error", MessageButtons::Ok);
    return;
  }
  if (reader->NamesChannels()) {
    Settings& settings = pipeline.GetSettings();
    ChannelMap map = RememberedChannelMap(settings.captureMap, reader->ChannelNames());
    if (!chooser.ChooseChannelMap(*reader, map)) return;
    settings.captureMap = ChannelMapToRemember(map, reader->ChannelNames());
    reader->SetMap(map);
  }
  for (const std::string& warning : reader->Warnings()) ui.ShowMessage(warning, "Warning", MessageButtons::Ok);
  pipeline.ReplaySource(*reader);
  if (!reader->Failure().empty())
    ui.ShowMessage(reader->Failure() + "\nThe decoding stopped there: the lines shown are only those before it.",
                   "Error", MessageButtons::Ok);
}

}  // namespace velkor
