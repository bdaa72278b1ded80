#pragma once
// One channel of the run-skipping dispatch going on by itself: between its events it only
// owes samples, which its decoder takes in one skip when the next event comes; each event
// (a change of its level, or a sample where its decoder says something can happen) goes
// through the decoder's per-sample step. Every decoder unit instantiates RunLane with its own
// functions, so the loop runs without a call between them.
//
// A decoder in the middle of a byte or word only reads the level at its bit positions: it is
// then "blind" to the changes in between, which are no events for it. It takes such a stretch
// in one skip that reads the levels it needs from the block itself.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "pipeline/SampleScan.h"
#include "pipeline/Types.h"

namespace velkor {

// Positions are counted from the start of the block being dispatched.
struct Lane {
  std::size_t synced = 0;  // the decoder has taken the samples before this one
  std::size_t next = 0;    // the first sample it must take by the per-sample step
  char level = '0';        // the level from `synced` on (not kept while blind)
  bool blind = false;      // the changes of level before `next` are no events
};

inline constexpr std::size_t kNoSample = std::numeric_limits<std::size_t>::max();

// The calls a replay makes between its blocks (progress and Stop). They are owed before any
// sample after a block's last one is taken, and they see only the counters, so a lane going
// on by itself makes them as it passes block ends instead of stopping at each one.
struct BlockEnds {
  std::size_t next = kNoSample;  // the last sample of the next block whose calls are owed
  // Makes the calls owed before sample `at` (past `next`) and moves `next` on; may bring
  // `limit` down (to the Graphic view's next column, when the scrolling was changed
  // meanwhile). Returns true when one of them asked to stop.
  bool (*report)(void* owner, std::size_t at, std::size_t& limit) = nullptr;
  void* owner = nullptr;
  bool stopped = false;
};

// What a lane may do now: take the event at `at` (where the level is `level`, unless the lane
// is blind), then go on up to `limit`. `levelChange` is the first change of the level after
// `at` (or `limit`); RunLane leaves there the first change after the last sample it took (or
// `limit`), unless it ends blind.
struct LaneSpan {
  const std::uint8_t* samples;  // the block
  int channel;
  LevelChanges* changes;
  SampleIndex base;  // the index of the block's first sample
  std::size_t at;
  char level;
  std::size_t levelChange;
  std::size_t limit;
  BlockEnds* blocks;
};

// Before a lane takes sample `at`: the calls of the block ends before it. False when the
// lane must stop short of it (a Stop was asked, or the limit came down to it).
inline bool PassBlockEnds(LaneSpan& span, std::size_t at) {
  if (at <= span.blocks->next) return true;
  if (span.blocks->report(span.blocks->owner, at, span.limit)) {
    span.blocks->stopped = true;
    return false;
  }
  return at < span.limit;
}

constexpr std::size_t SampleAfter(std::size_t at, std::uint64_t steady) {
  return steady >= kNoSample - at ? kNoSample : at + static_cast<std::size_t>(steady);
}

// The level of a channel in one sample.
constexpr char LevelIn(std::uint8_t sample, int channel) {
  return ((sample >> channel) & 1) != 0 ? '1' : '0';
}

// The functions a decoder gives its lane:
//   skip(level, count)         takes `count` steady samples at one level
//   step(level, index)         the per-sample step; nonzero when it appended a line
//   steady(level)              how many next samples at that level are steady
// and, for a decoder that can go blind (BlindLaneDecoder):
//   blind()                    how many next samples it can take blind (0: it must watch)
//   skipBlind(samples, count)  takes `count` samples while blind, reading their levels
template <typename Skip, typename Step, typename Steady>
struct LaneDecoder {
  static constexpr bool kCanGoBlind = false;
  Skip skip;
  Step step;
  Steady steady;
  static std::uint64_t blind() { return 0; }
  static void skipBlind(const std::uint8_t*, std::uint64_t) {}
};
template <typename... F>
LaneDecoder(F...) -> LaneDecoder<F...>;

template <typename Skip, typename Step, typename Steady, typename Blind, typename SkipBlind>
struct BlindLaneDecoder {
  static constexpr bool kCanGoBlind = true;
  Skip skip;
  Step step;
  Steady steady;
  Blind blind;
  SkipBlind skipBlind;
};
template <typename... F>
BlindLaneDecoder(F...) -> BlindLaneDecoder<F...>;

// Takes the lane through its events from span.at on, before span.limit. Returns true when it
// stopped after a sample that produced a line (the sample lane.synced - 1). A change of level
// whose first sample is steady at the new level is no event: it only starts a new run.
template <typename Decoder>
inline bool RunLane(Lane& lane, LaneSpan& span, Decoder&& d) {
  constexpr bool kCanGoBlind = std::remove_reference_t<Decoder>::kCanGoBlind;
  std::size_t at = span.at;
  char level = span.level;
  std::size_t& levelChange = span.levelChange;
  for (;;) {
    if (!PassBlockEnds(span, at)) return false;
    std::uint64_t steadyCount = 0;
    if (kCanGoBlind && lane.blind) {
      if (at > lane.synced)
        d.skipBlind(span.samples + lane.synced, static_cast<std::uint64_t>(at - lane.synced));
      lane.synced = at;
      lane.blind = false;
      level = LevelIn(span.samples[at], span.channel);
      lane.level = level;
      // The changes seen before the lane went blind may be long past.
      if (levelChange <= at) levelChange = span.changes->Next(at + 1, span.limit, level == '1' ? 1u : 0u);
    } else {
      if (at > lane.synced) {
        d.skip(lane.level, static_cast<std::uint64_t>(at - lane.synced));
        lane.synced = at;
      }
      if (level != lane.level) {
        lane.level = level;
        steadyCount = d.steady(level);
      }
    }
    if (steadyCount > 0) {
      lane.next = SampleAfter(at, steadyCount);
    } else {
      const int lines = d.step(level, span.base + at);
      lane.synced = at + 1;
      if (const std::uint64_t blindCount = kCanGoBlind ? d.blind() : 0; blindCount > 0) {
        lane.blind = true;
        lane.next = SampleAfter(at + 1, blindCount);
      } else {
        lane.next = SampleAfter(at + 1, d.steady(level));
      }
      if (lines != 0) return true;
    }
    const bool blind = kCanGoBlind && lane.blind;
    at = blind || lane.next < levelChange ? lane.next : levelChange;
    if (at >= span.limit) return false;
    if (!blind && at == levelChange) {
      level = level == '0' ? '1' : '0';
      levelChange = span.changes->Next(at + 1, span.limit, level == '1' ? 1u : 0u);
    }
  }
}

}  // namespace velkor
