#pragma once
// What every decoder shares during a run: the channel table written by the run setup,
// the Graphic view's column masks, the line sink and the Filter view's field names.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "pipeline/FieldNames.h"
#include "pipeline/Types.h"
#include "pipeline/UserInterface.h"
#include "views/DecodedLine.h"

namespace velkor {

struct ChannelRecord {
  ChannelType type = ChannelType::Manchester;
  bool active = false;
};
using ChannelTable = std::array<ChannelRecord, kChannelCount>;

class DecoderServices {
 public:
  explicit DecoderServices(UserInterface& ui) : ui_(&ui) {}

  UserInterface& Ui() { return *ui_; }
  void SetUi(UserInterface& ui) { ui_ = &ui; }
  void SetLineEvent(LineEventSignal* event) { lineEvent_ = event; }

  bool IsActive(int channel) const { return table[channel].active; }
  void MarkTrace(int channel) { columnTraceMask |= 1u << channel; }
  void MarkEvent(int channel) { columnEventMask |= 1u << channel; }

  // The one sink of all decoders: cuts an over-long text, appends it, signals the client.
  // A CAN or LIN line also hands over its frame tag, kept beside the text.
  void AppendDecodedLine(std::string_view text, FrameTag tag = {});

  // Starts a line "<channel>,<SampleTimeMicros(index)>," in out (cleared first).
  static void BeginLine(std::string& out, int channel, SampleIndex index);
  // The same in a buffer kept between lines, so building a line reuses its memory.
  std::string& NewLine(int channel, SampleIndex index) {
    BeginLine(lineScratch_, channel, index);
    return lineScratch_;
  }

  ChannelTable table{};
  std::uint32_t columnTraceMask = 0;
  std::uint32_t columnEventMask = 0;
  DecodedLineList lines;
  FieldNameLists fieldNames;
  // The folder of the configuration file last loaded (absolute; empty before any): a
  // relative description path that names no file in the current folder is looked for there.
  std::string configFolder;

 private:
  UserInterface* ui_;
  LineEventSignal* lineEvent_ = nullptr;
  std::string cutScratch_;
  std::string lineScratch_;
};

}  // namespace velkor
