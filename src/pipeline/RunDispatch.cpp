// The run-skipping dispatch. Most samples repeat the levels of the sample before, and between
// its events a decoder only counts. So each channel is a lane brought forward lazily: it goes
// through the per-sample step only where its level changes or where its decoder says
// something can happen (a bit to take, a quiet time passing, a timeout), and takes the samples
// in between in one skip when it is next needed (see LaneRun.h). A channel whose next events
// come before anything else of the others runs on by itself.
//
// Channels are independent of each other; what ties them is the order of their lines on one
// sample (channel order: the channels stepped on one sample go in that order), the
// end-of-sample step of a sample that produced lines, the column masks, and for a replay the
// progress and Stop between blocks. Every lane is brought up to date before RefreshLineCount
// and DrawColumn, so the user interface sees the pipeline as the per-sample path leaves it.
// Between the blocks of a replay only the counters are: the lanes never owe a line there.

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <functional>

#include "pipeline/DecMain.h"
#include "pipeline/LaneRun.h"
#include "pipeline/SampleScan.h"

namespace velkor {

namespace {

// The first sample from `from` on whose end-of-sample step draws a column, for a clock that
// shows `clockBefore` before that sample.
std::size_t ColumnSample(std::size_t from, std::uint32_t clockBefore, std::uint32_t period) {
  if (clockBefore + kColumnClockPerSample >= period) return from;
  return from + (period - clockBefore + kColumnClockPerSample - 1) / kColumnClockPerSample - 1;
}

}  // namespace

std::uint64_t Pipeline::SteadySamples(int channel, char level) const {
  switch (services_.table[channel].type) {
    case ChannelType::Manchester:
      return ManchesterSteadySamples(manchester[channel], level);
    case ChannelType::Serial:
      return SerialSteadySamples(services_, serial[channel], channel, level);
    case ChannelType::Can:
      return CanSteadySamples(services_, can[channel], channel, level);
    case ChannelType::Lin:
      return LinSteadySamples(services_, lin[channel], channel, level);
    case ChannelType::Logical:
      return LogicalSteadySamples(services_, logical[channel], channel, level);
    default:
      return kUnboundedRun;
  }
}

void Pipeline::SkipChannel(int channel, char level, std::uint64_t count) {
  switch (services_.table[channel].type) {
    case ChannelType::Manchester:
      SkipManchester(services_, manchester[channel], channel, level, count);
      break;
    case ChannelType::Serial:
      SkipSerial(services_, serial[channel], channel, level, count);
      break;
    case ChannelType::Can:
      SkipCan(services_, can[channel], channel, level, count);
      break;
    case ChannelType::Lin:
      SkipLin(services_, lin[channel], channel, level, count);
      break;
    case ChannelType::Logical:
      SkipLogical(services_, logical[channel], channel, level, count);
      break;
    default:
      break;
  }
}

std::uint64_t Pipeline::LineFreeSamples(int channel) const {
  switch (services_.table[channel].type) {
    case ChannelType::Serial:
      return SerialLineFreeSamples(services_, serial[channel], channel);
    case ChannelType::Lin:
      return LinLineFreeSamples(services_, lin[channel], channel);
    default:
      return 0;
  }
}

std::uint64_t Pipeline::BlindSamples(int channel) const {
  switch (services_.table[channel].type) {
    case ChannelType::Serial:
      return SerialBlindSamples(services_, serial[channel], channel);
    case ChannelType::Lin:
      return LinBlindSamples(services_, lin[channel], channel);
    default:
      return 0;
  }
}

void Pipeline::SkipChannelBlind(int channel, const std::uint8_t* samples, std::uint64_t count) {
  switch (services_.table[channel].type) {
    case ChannelType::Serial:
      SkipSerialBlind(services_, serial[channel], channel, samples, count);
      break;
    case ChannelType::Lin:
      SkipLinBlind(services_, lin[channel], channel, samples, count);
      break;
    default:
      break;
  }
}

bool Pipeline::RunChannelLane(int channel, Lane& lane, LaneSpan& span) {
  switch (services_.table[channel].type) {
    case ChannelType::Manchester:
      return RunManchesterLane(services_, manchester[channel], channel, lane, span);
    case ChannelType::Serial:
      return RunSerialLane(services_, serial[channel], channel, lane, span);
    case ChannelType::Can:
      return RunCanLane(services_, can[channel], channel, lane, span);
    case ChannelType::Lin:
      return RunLinLane(services_, lin[channel], channel, lane, span);
    case ChannelType::Logical:
      return RunLogicalLane(services_, logical[channel], channel, lane, span);
    default:
      // No decoder: nothing to take, nothing ever due.
      lane = {span.at + 1, kNoSample, span.level, false};
      return false;
  }
}

std::size_t Pipeline::DispatchRuns(const std::uint8_t* samples, std::size_t count,
                                   const std::function<bool()>* afterBlock) {
  if (count == 0) return 0;
  const SampleIndex base = sampleIndex;
  UserInterface& ui = services_.Ui();

  std::array<Lane, kChannelCount> lanes;
  std::array<LevelChanges, kChannelCount> changesOf{
      LevelChanges(samples, count, 0), LevelChanges(samples, count, 1), LevelChanges(samples, count, 2),
      LevelChanges(samples, count, 3)};
  // The channels whose changes of level are events (the lanes that are not blind), their
  // levels, and a position before which none of them changes after the samples taken (at
  // `change` one may).
  std::uint8_t watched = 0;
  std::uint8_t levels = 0;
  std::size_t change = 0;

  // How far each channel is known to keep its level: a channel running on by itself past
  // quiet ones (a busy CAN bus beside idle lines) would otherwise look at the same idle
  // samples again on every run.
  std::array<std::size_t, kChannelCount> calm{};
  // The first position in [from, to) where a channel of `mask` leaves its level in `now`
  // (they all keep it just before `from`), or `to`.
  auto findChange = [&](std::size_t from, std::size_t to, std::uint8_t now, std::uint8_t mask) {
    std::size_t start = to;
    for (unsigned rest = mask; rest != 0; rest &= rest - 1)
      start = std::min(start, std::max(from, calm[std::countr_zero(rest)]));
    if (start >= to) return to;
    const std::size_t found = FindSampleChange(samples, start, to, now, mask);
    for (unsigned rest = mask; rest != 0; rest &= rest - 1) {
      std::size_t& known = calm[std::countr_zero(rest)];
      known = std::max(known, found);
    }
    return found;
  };

  // The calls between replay blocks (set up below).
  BlockEnds blocks;

  // The events of the lanes in `passed` before `at`, which another lane went past on its own
  // because none of them can append a line. When one of them passes the block end where a
  // Stop is asked, they all go only up to that end.
  std::size_t stoppedAfter = kNoSample;
  auto takePassed = [&](std::uint8_t passed, std::size_t upTo) {
    for (unsigned rest = passed; rest != 0; rest &= rest - 1) {
      const int j = std::countr_zero(rest);
      const std::size_t at = blocks.stopped ? std::min(upTo, stoppedAfter + 1) : upTo;
      Lane& lane = lanes[j];
      if (lane.synced >= at) continue;
      std::size_t first = lane.next;
      if (!lane.blind) first = std::min(first, changesOf[j].Next(lane.synced, at, lane.level == '1'));
      if (first >= at) continue;
      const char level = LevelIn(samples[first], j);
      LaneSpan span{samples,
                    j,
                    &changesOf[j],
                    base,
                    first,
                    level,
                    lane.blind ? first : changesOf[j].Next(first + 1, at, level == '1'),
                    at,
                    &blocks};
      [[maybe_unused]] const bool appended = RunChannelLane(j, lane, span);
      assert(!appended && "a lane that was gone past appended a line");
    }
  };

  auto catchUp = [&](std::size_t at) {
    for (int i = 0; i < kChannelCount; ++i) {
      Lane& lane = lanes[i];
      if (lane.synced >= at) continue;
      if (lane.blind)
        SkipChannelBlind(i, samples + lane.synced, at - lane.synced);
      else
        SkipChannel(i, lane.level, at - lane.synced);
      lane.synced = at;
    }
  };
  // Every channel taken up to `at`: where is its next event? Asked again after each call of
  // the user interface, which may change anything.
  auto plan = [&](std::size_t at) {
    const std::uint8_t wasWatched = watched;
    const std::uint8_t wasLevels = levels;
    levels = samples[at == 0 ? 0 : at - 1] & 0x0F;
    watched = 0;
    for (int i = 0; i < kChannelCount; ++i) {
      const char level = LevelIn(levels, i);
      if (const std::uint64_t blind = BlindSamples(i); blind > 0) {
        lanes[i] = {at, SampleAfter(at, blind), level, true};
      } else {
        lanes[i] = {at, SampleAfter(at, SteadySamples(i, level)), level, false};
        watched |= static_cast<std::uint8_t>(1u << i);
      }
    }
    // The bound found before still holds when the same channels are watched at the same levels.
    if (at == 0 || watched != wasWatched || ((levels ^ wasLevels) & watched) != 0 || change < at)
      change = FindSampleChange(samples, at == 0 ? 1 : at, count, levels, watched);
  };

  // The column clock shows clockBefore before sample clockFrom and counts from there.
  std::size_t clockFrom = 0;
  std::uint32_t clockBefore = columnClock;
  auto clockAfter = [&](std::size_t at) {
    return clockBefore + static_cast<std::uint32_t>(at + 1 - clockFrom) * kColumnClockPerSample;
  };
  std::size_t column = ColumnSample(0, clockBefore, ColumnPeriod(settings_.scrolling));

  // The end-of-sample step of a sample that produced lines, with every channel up to date.
  // It comes with most frame lines, so the lanes keep their plans through it: the count of
  // lines leaves the decoders alone.
  auto refresh = [&](std::size_t x) {
    catchUp(x + 1);
    columnClock = clockAfter(x) - kColumnClockPerSample;
    sampleIndex = base + x;
    ui.RefreshLineCount(services_.lines.size());
    column = std::max(x, ColumnSample(clockFrom, clockBefore, ColumnPeriod(settings_.scrolling)));
  };

  // The last sample of the next full block.
  std::size_t blockEnd = afterBlock != nullptr ? kReplayBlockSize - 1 : kNoSample;
  // Progress and Stop come between blocks far more often than anything else: the decoders
  // are left where they are (they never owe a line or a column), only the counters are
  // brought to the end of the block. Returns true when a Stop was asked.
  blocks.next = blockEnd;
  auto endBlock = [&](std::size_t x) {
    columnClock = clockAfter(x);
    sampleIndex = base + x + 1;
    if ((*afterBlock)()) {
      stoppedAfter = x;
      return true;
    }
    column = std::max(x + 1, ColumnSample(clockFrom, clockBefore, ColumnPeriod(settings_.scrolling)));
    blockEnd = x + 1 + kReplayBlockSize <= count ? x + kReplayBlockSize : kNoSample;
    blocks.next = blockEnd;
    return false;
  };
  // A lane going on by itself passes the block ends before `at`. A changed scrolling may
  // bring the next column before `at`: that column comes before any later block end, and the
  // lane's limit comes down to it.
  auto passBlocks = [&](std::size_t at, std::size_t& limit) {
    while (blockEnd < at && blockEnd < column)
      if (endBlock(blockEnd)) return true;
    limit = std::min(limit, column);
    return false;
  };
  blocks.owner = &passBlocks;
  blocks.report = [](void* owner, std::size_t at, std::size_t& limit) {
    return (*static_cast<decltype(passBlocks)*>(owner))(at, limit);
  };

  plan(0);
  for (;;) {
    std::size_t x = std::min({change, column, blockEnd});
    for (const Lane& lane : lanes) x = std::min(x, lane.next);
    if (x >= count) break;

    std::uint8_t now = levels;
    unsigned stepping = 0;
    if (x == change) {
      now = static_cast<std::uint8_t>((levels & ~watched) | (samples[x] & watched));
      stepping = now ^ levels;
    }
    for (int i = 0; i < kChannelCount; ++i)
      if (lanes[i].next == x) stepping |= 1u << i;

    if (x != column && x != blockEnd && stepping != 0 && (stepping & (stepping - 1)) == 0) {
      // One channel alone: it goes on by itself up to the next event of anything else, or,
      // past another channel's events that surely append no line, up to the first sample
      // where that one could (those events are taken afterwards).
      const int i = std::countr_zero(stepping);
      const auto own = static_cast<std::uint8_t>(1u << i);
      const auto others = static_cast<std::uint8_t>(watched & ~own);
      std::uint8_t passed = 0;
      std::size_t limit = std::min(column, count);
      for (int j = 0; j < kChannelCount; ++j) {
        if (j == i) continue;
        const std::size_t quiet = SampleAfter(lanes[j].synced, LineFreeSamples(j));
        if (quiet > lanes[j].next && quiet > x + 1) {
          passed |= static_cast<std::uint8_t>(1u << j);
          limit = std::min(limit, quiet);
        } else {
          limit = std::min(limit, lanes[j].next);
        }
      }
      const auto bounding = static_cast<std::uint8_t>(others & ~passed);
      if (x == change)
        limit = findChange(x + 1, limit, now, bounding);
      else if (change < limit)
        limit = findChange(change, limit, now, bounding);
      Lane& lane = lanes[i];
      const char level = LevelIn(now, i);
      LaneSpan span{samples,
                    i,
                    &changesOf[i],
                    base,
                    x,
                    level,
                    lane.blind ? x : changesOf[i].Next(x + 1, limit, level == '1'),
                    limit,
                    &blocks};
      const bool lines = RunChannelLane(i, lane, span);
      if (blocks.stopped) {
        takePassed(passed, stoppedAfter + 1);
        catchUp(stoppedAfter + 1);
        return stoppedAfter + 1;
      }
      limit = span.limit;
      if (passed != 0) {
        // The channels gone past take their events up to where this one stopped; then no
        // channel has an event before it.
        const std::size_t upTo = lines ? lane.synced : limit;
        takePassed(passed, upTo);
        if (blocks.stopped) {
          catchUp(stoppedAfter + 1);
          return stoppedAfter + 1;
        }
        watched = 0;
        for (int j = 0; j < kChannelCount; ++j)
          if (!lanes[j].blind) watched |= static_cast<std::uint8_t>(1u << j);
        levels = samples[upTo - 1] & 0x0F;
        change = findChange(upTo, count, levels, watched);
      } else if (lane.blind) {
        // No level changes before either: the lane's own (while it watches), or the others'
        // (or the limit).
        watched = others;
        change = limit;
      } else {
        watched = static_cast<std::uint8_t>(others | own);
        levels = static_cast<std::uint8_t>((levels & ~own) | (lane.level == '1' ? own : 0));
        change = std::min(span.levelChange, limit);
      }
      if (lines) refresh(lane.synced - 1);
      continue;
    }

    bool lines = false;
    for (unsigned rest = stepping; rest != 0; rest &= rest - 1) {
      const int i = std::countr_zero(rest);
      LaneSpan span{samples, i, &changesOf[i], base, x, LevelIn(now, i), x + 1, x + 1, &blocks};
      lines |= RunChannelLane(i, lanes[i], span);
    }
    if (stepping != 0 || x == change) {
      // The lanes that went blind or came back change what is watched.
      watched = 0;
      levels = now;
      for (int i = 0; i < kChannelCount; ++i) {
        if (lanes[i].blind) continue;
        watched |= static_cast<std::uint8_t>(1u << i);
        if (lanes[i].synced == x + 1)
          levels = static_cast<std::uint8_t>((levels & ~(1u << i)) | (lanes[i].level == '1' ? 1u << i : 0u));
      }
      change = FindSampleChange(samples, x + 1, count, levels, watched);
    }
    if (lines) refresh(x);
    if (x == column) {
      catchUp(x + 1);
      columnClock = clockAfter(x);
      sampleIndex = base + x;
      ui.DrawColumn(services_.columnTraceMask, services_.columnEventMask);
      services_.columnTraceMask = 0;
      services_.columnEventMask = 0;
      columnClock = 0;
      clockFrom = x + 1;
      clockBefore = 0;
      plan(x + 1);
      column = ColumnSample(x + 1, 0, ColumnPeriod(settings_.scrolling));
    }
    if (x == blockEnd && endBlock(x)) {
      catchUp(x + 1);
      return x + 1;
    }
  }
  catchUp(count);
  columnClock = clockAfter(count - 1);
  sampleIndex = base + count;
  return count;
}

}  // namespace velkor
