#pragma once
// The replay command for a capture file of any format: our own *.bin as the replay has always
// read it, another instrument's capture through a channel map the user confirms.

#include <array>
#include <string>
#include <vector>

#include "capture/CaptureReader.h"
#include "pipeline/DecMain.h"

namespace velkor {

class ChannelMapChooser {
 public:
  virtual ~ChannelMapChooser() = default;
  // Lets the user choose which channels of the file the decoding channels read, starting
  // from `map`; false when the user cancelled.
  virtual bool ChooseChannelMap(const CaptureReader& reader, ChannelMap& map) = 0;
};

// The map to offer for a file: the one remembered (channels by name, or "#n"), when the file
// has any of its names; else the file's first four channels.
ChannelMap RememberedChannelMap(const std::array<std::string, kChannelCount>& remembered,
                                const std::vector<std::string>& names);
// What is remembered of a map: each channel's name in the file ("#n" when it has none, empty
// for none).
std::array<std::string, kChannelCount> ChannelMapToRemember(const ChannelMap& map,
                                                            const std::vector<std::string>& names);

// Replays a capture file. A *.bin goes as ReplayCaptureFile (nothing is said when it cannot be
// opened). Another capture that cannot be read is refused with an "Error" message; when it
// names its channels, `chooser` asks which ones to decode, from the map remembered in the
// settings (which then remember the choice); its warnings come as "Warning" messages; a
// capture found damaged part way ends the replay with an "Error" message that says the lines
// are only those before the damage.
void ReplayAnyCapture(Pipeline& pipeline, const std::string& path, ChannelMapChooser& chooser);

}  // namespace velkor
