#pragma once
// Manchester decoder and its frame descriptions (*.mfd, up to 16 per channel). Every enabled
// description slot watches the channel on its own: it measures runs of constant level in
// half-bits of its own bit rate, looks for its preamble, gathers the frame until the line
// stops toggling; when slots complete on the same sample the closest one gives the line.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/Settings.h"
#include "pipeline/DecoderServices.h"
#include "pipeline/LaneRun.h"

namespace velkor {

inline constexpr int kManchesterSlots = 16;
inline constexpr int kManchesterMaxFields = 16;
inline constexpr int kManchesterFieldNameMax = 16;
inline constexpr int kManchesterPreambleSymbolsMax = 32;
inline constexpr int kManchesterMaxHalfBits = 1024;  // 512 Manchester bits
inline constexpr int kManchesterNameLength = 6;

// Text held in place, so that a slot never allocates while it decodes. Appending beyond
// the capacity is a bug of the caller; the text then stays full.
template <int N>
struct FixedText {
  std::array<char, N> data{};
  std::int32_t size = 0;

  void Clear() { size = 0; }
  void PushBack(char c) {
    if (size < N) data[size++] = c;
  }
  void Assign(std::string_view text) {
    size = 0;
    for (char c : text) PushBack(c);
  }
  std::string_view View() const { return {data.data(), static_cast<std::size_t>(size)}; }
};

enum class ManchesterSlotState : std::int8_t {
  Searching = 0,  // looking for the preamble in the run characters
  Gathering = 1,  // collecting the frame's half-bits
  Complete = 2,   // frame ended; evaluated and back to Searching within the same call
};

struct ManchesterDescriptionSlot {
  // Settings, filled by LoadManchesterDescription.
  std::array<char, kManchesterNameLength> name{' ', ' ', ' ', ' ', ' ', ' '};
  std::int32_t baud = 0;
  bool invert = false;
  std::int8_t timeout = 5;  // half-bits of constant level that end a frame
  FixedText<2 * kManchesterPreambleSymbolsMax> preamble;  // half-bit levels '0'/'1'
  std::int32_t fieldCount = 0;
  std::array<FixedText<kManchesterFieldNameMax>, kManchesterMaxFields> fieldNames;
  std::array<std::int32_t, kManchesterMaxFields> fieldLengths{};
  std::int32_t total = 0;  // frame length in half-bits
  bool enabled = false;
  // Only slots that loaded in the present run start decode: a slot after a missing file
  // still holds an earlier run's description, which the user no longer asked for.
  bool loaded = false;
  std::array<std::int32_t, 6> thresholds{};  // run-length limits in samples

  // Run fields.
  ManchesterSlotState state = ManchesterSlotState::Searching;
  FixedText<2 * kManchesterPreambleSymbolsMax> window;  // latest run characters
  std::int32_t runCounter = 0;  // samples of the current run after its first one
  char lastLevel = 0;           // no level yet: the first sample counts as a change
  FixedText<kManchesterMaxHalfBits> halfBits;
  FixedText<kManchesterMaxHalfBits / 2> symbols;  // filled when the frame is evaluated

  bool Decoding() const { return enabled && loaded; }
};

struct ManchesterChannelState {
  std::int32_t descriptionCount = 0;
  std::array<ManchesterDescriptionSlot, kManchesterSlots> slots;
};

// Fills the slot from the file (where FindDescriptionFile finds it); nonzero (after the loader's own
// message) when refused.
[[nodiscard]] int LoadManchesterDescription(DecoderServices& services, const std::string& path,
                                            ManchesterDescriptionSlot& slot, int channel);

// Run start of an active Manchester channel: loads its listed descriptions into the slots.
// Nonzero when a description was refused (the run setup then stops).
[[nodiscard]] int ResetManchesterChannel(DecoderServices& services, ManchesterChannelState& state,
                                         const ChannelSettings& settings, int channel);

int DecodeManchester(DecoderServices& services, ManchesterChannelState& state, int channel,
                     char level, SampleIndex index);

// The run-skipping path. ManchesterSteadySamples: how many of the next samples at `level` do no
// more than count the run in every slot, or end it by the timeout in a slot where that can
// neither find the preamble nor end a frame (kUnboundedRun when that holds for ever).
// SkipManchester takes `count` such samples (at most the steady count) in one step, with the
// marks the per-sample step sets.
std::uint64_t ManchesterSteadySamples(const ManchesterChannelState& state, char level);
void SkipManchester(DecoderServices& services, ManchesterChannelState& state, int channel, char level,
                    std::uint64_t count);

// The channel's lane of the run-skipping dispatch (see RunLane).
bool RunManchesterLane(DecoderServices& services, ManchesterChannelState& state, int channel, Lane& lane,
                       LaneSpan& span);

}  // namespace velkor
