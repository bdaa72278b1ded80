#pragma once
// One channel of the run-skipping dispatch going on by itself: between its events it only
// owes samples, which its decoder takes in one skip when the next event comes; each event
// (a change of its level, or a sample where its decoder says something can happen) goes
// through the decoder's per-sample step. Every decoder unit instantiates RunLane with its own
// skip, step and steady count, so the loop runs without a call between them.

#include <cstddef>
#include <cstdint>
#include <limits>

#include "pipeline/SampleScan.h"
#include "pipeline/Types.h"

namespace velkor {

// Positions are counted from the start of the block being dispatched.
struct Lane {
  std::size_t synced = 0;  // the decoder has taken the samples before this one
  std::size_t next = 0;    // the first sample it must take one by one while the level stays
  char level = '0';        // the level from `synced` on
};

// What a lane may do now: take the event at `at` (the level there is `level`), then go on up
// to `limit`. `levelChange` is the first change of the level after `at` (or `limit`); RunLane
// leaves there the first change after the last sample it took (or `limit`).
struct LaneSpan {
  LevelChanges* changes;
  SampleIndex base;  // the index of the block's first sample
  std::size_t at;
  char level;
  std::size_t levelChange;
  std::size_t limit;
};

inline constexpr std::size_t kNoSample = std::numeric_limits<std::size_t>::max();

constexpr std::size_t SampleAfter(std::size_t at, std::uint64_t steady) {
  return steady >= kNoSample - at ? kNoSample : at + static_cast<std::size_t>(steady);
}

// Takes the lane through its events from span.at on, before span.limit. Returns true when it
// stopped after a sample that produced a line (the sample lane.synced - 1). A change of level
// whose first sample is steady at the new level is no event: it only starts a new run.
template <typename Skip, typename Step, typename Steady>
inline bool RunLane(Lane& lane, LaneSpan& span, Skip&& skip, Step&& step, Steady&& steady) {
  std::size_t at = span.at;
  char level = span.level;
  std::size_t& levelChange = span.levelChange;
  for (;;) {
    if (at > lane.synced) {
      skip(lane.level, static_cast<std::uint64_t>(at - lane.synced));
      lane.synced = at;
    }
    std::uint64_t steadyCount = 0;
    if (level != lane.level) {
      lane.level = level;
      steadyCount = steady(level);
    }
    if (steadyCount > 0) {
      lane.next = SampleAfter(at, steadyCount);
    } else {
      const int lines = step(level, span.base + at);
      lane.synced = at + 1;
      lane.next = SampleAfter(at + 1, steady(level));
      if (lines != 0) return true;
    }
    at = lane.next < levelChange ? lane.next : levelChange;
    if (at >= span.limit) return false;
    if (at == levelChange) {
      level = level == '0' ? '1' : '0';
      levelChange = span.changes->Next(at + 1, span.limit, level == '1' ? 1u : 0u);
    }
  }
}

}  // namespace velkor
