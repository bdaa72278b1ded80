#pragma once
// Manchester decoder and its frame descriptions (up to 16 per channel).

#include <array>
#include <cstdint>
#include <string>

#include "app/Settings.h"
#include "pipeline/DecoderServices.h"

namespace velkor {

inline constexpr int kManchesterSlots = 16;

struct ManchesterDescriptionSlot {
  bool enabled = false;
};

struct ManchesterChannelState {
  std::int32_t descriptionCount = 0;
  std::array<ManchesterDescriptionSlot, kManchesterSlots> slots;
};

[[nodiscard]] int LoadManchesterDescription(DecoderServices& services, const std::string& path,
                                            ManchesterDescriptionSlot& slot, int channel);

// Run start of an active Manchester channel: loads its listed descriptions into the slots.
// Nonzero when a description was refused (the run setup then stops).
[[nodiscard]] int ResetManchesterChannel(DecoderServices& services, ManchesterChannelState& state,
                                         const ChannelSettings& settings, int channel);

int DecodeManchester(DecoderServices& services, ManchesterChannelState& state, int channel,
                     char level, SampleIndex index);

}  // namespace velkor
