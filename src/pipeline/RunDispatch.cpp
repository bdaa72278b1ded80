// The run-skipping dispatch. Most samples repeat the levels of the sample before, and between
// its events a decoder only counts. So each channel is brought forward lazily: it is stepped
// sample by sample only where its level changes or where its decoder says something can
// happen (a bit to take, a quiet time passing, a timeout), and takes the samples in between in
// one skip when it is next needed. Channels are independent of each other; what ties them is
// the order of their lines on one sample (channel order, kept because the channels stepped on
// one sample go in that order), RefreshLineCount after such a sample, and the column masks
// (every channel is brought up to date before a column is drawn).

#include <algorithm>
#include <array>
#include <bit>
#include <limits>

#include "pipeline/DecMain.h"
#include "pipeline/SampleScan.h"

namespace velkor {

namespace {

constexpr std::size_t kNever = std::numeric_limits<std::size_t>::max();

char LevelOf(std::uint8_t levels, int channel) { return ((levels >> channel) & 1) != 0 ? '1' : '0'; }

std::size_t After(std::size_t at, std::uint64_t steady) {
  return steady >= kNever - at ? kNever : at + static_cast<std::size_t>(steady);
}

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

int Pipeline::AdvanceChannel(int channel, char runLevel, std::uint64_t runCount, char level, SampleIndex index,
                             std::uint64_t& steady) {
  switch (services_.table[channel].type) {
    case ChannelType::Manchester:
      return AdvanceManchester(services_, manchester[channel], channel, runLevel, runCount, level, index, steady);
    case ChannelType::Serial:
      return AdvanceSerial(services_, serial[channel], channel, runLevel, runCount, level, index, steady);
    case ChannelType::Can:
      return AdvanceCan(services_, can[channel], channel, runLevel, runCount, level, index, steady);
    case ChannelType::Lin:
      return AdvanceLin(services_, lin[channel], channel, runLevel, runCount, level, index, steady);
    case ChannelType::Logical:
      return AdvanceLogical(services_, logical[channel], channel, runLevel, runCount, level, index, steady);
    default:
      steady = kUnboundedRun;
      return 0;
  }
}

void Pipeline::DispatchRuns(const std::uint8_t* samples, std::size_t count) {
  if (count == 0) return;
  const SampleIndex base = sampleIndex;
  UserInterface& ui = services_.Ui();

  // Positions are counted from the start of the block.
  struct Lane {
    std::size_t synced;  // the channel's decoder has taken the samples before this one
    std::size_t next;    // the first sample it must take one by one at its present level
    char level;
  };
  std::array<Lane, kChannelCount> lanes;
  std::uint8_t levels = samples[0] & 0x0F;  // the levels of the run going on

  auto catchUp = [&](std::size_t at) {
    for (int i = 0; i < kChannelCount; ++i) {
      Lane& lane = lanes[i];
      if (lane.synced < at) {
        SkipChannel(i, lane.level, at - lane.synced);
        lane.synced = at;
      }
    }
  };
  // Every channel taken up to `at`: where is its next event? Asked again after each call of
  // the user interface, which may change anything.
  auto plan = [&](std::size_t at) {
    for (int i = 0; i < kChannelCount; ++i) {
      const char level = LevelOf(levels, i);
      lanes[i] = {at, After(at, SteadySamples(i, level)), level};
    }
  };
  // Channel i takes sample x at `level`, after the samples it still owes.
  auto step = [&](int i, std::size_t x, char level) {
    Lane& lane = lanes[i];
    std::uint64_t steady = 0;
    const int lines = AdvanceChannel(i, lane.level, x - lane.synced, level, base + x, steady);
    lane.level = level;
    lane.synced = x + 1;
    lane.next = After(x + 1, steady);
    return lines;
  };

  // The column clock shows clockBefore before sample clockFrom and counts from there.
  std::size_t clockFrom = 0;
  std::uint32_t clockBefore = columnClock;
  auto clockAfter = [&](std::size_t at) {
    return clockBefore + static_cast<std::uint32_t>(at + 1 - clockFrom) * kColumnClockPerSample;
  };
  std::size_t column = ColumnSample(0, clockBefore, ColumnPeriod(settings_.scrolling));

  // The end-of-sample step of a sample that produced lines, with every channel up to date.
  auto refresh = [&](std::size_t x) {
    catchUp(x + 1);
    columnClock = clockAfter(x) - kColumnClockPerSample;
    sampleIndex = base + x;
    ui.RefreshLineCount(services_.lines.size());
    plan(x + 1);
    column = std::max(x, ColumnSample(clockFrom, clockBefore, ColumnPeriod(settings_.scrolling)));
  };

  plan(0);
  std::size_t change = FindSampleChange(samples, 1, count, levels);
  for (;;) {
    std::size_t x = std::min(change, column);
    for (const Lane& lane : lanes) x = std::min(x, lane.next);
    if (x >= count) break;

    std::uint8_t now = levels;
    unsigned stepping = 0;
    if (x == change) {
      now = samples[x] & 0x0F;
      stepping = now ^ levels;
    }
    for (int i = 0; i < kChannelCount; ++i)
      if (lanes[i].next == x) stepping |= 1u << i;

    if (x != column && std::has_single_bit(stepping)) {
      // One channel alone: it goes on by itself, its level changes and its events, up to the
      // next event of anything else.
      const int i = std::countr_zero(stepping);
      const auto own = static_cast<std::uint8_t>(1u << i);
      const auto others = static_cast<std::uint8_t>(0x0F & ~own);
      std::size_t limit = std::min(column, count);
      for (int j = 0; j < kChannelCount; ++j)
        if (j != i) limit = std::min(limit, lanes[j].next);
      if (x == change)
        limit = FindSampleChange(samples, x + 1, limit, now, others);
      else if (change < limit)
        limit = ((samples[change] ^ now) & others) != 0 ? change
                                                        : FindSampleChange(samples, change + 1, limit, now, others);
      char level = LevelOf(now, i);
      std::size_t ownChange = x == change ? FindSampleChange(samples, x + 1, limit, now, own) : change;
      bool lines = false;
      std::size_t y = x;
      for (;;) {
        if (step(i, y, level) != 0) {
          lines = true;
          break;
        }
        const std::size_t next = std::min(lanes[i].next, ownChange);
        if (next >= limit) break;
        y = next;
        if (y == ownChange) {
          level = level == '0' ? '1' : '0';
          ownChange = FindSampleChange(samples, y + 1, limit, static_cast<std::uint8_t>(level == '1' ? own : 0), own);
        }
      }
      levels = static_cast<std::uint8_t>((levels & others) | (level == '1' ? own : 0));
      change = FindSampleChange(samples, y + 1, count, levels);
      if (lines) refresh(y);
      continue;
    }

    int lines = 0;
    for (unsigned rest = stepping; rest != 0; rest &= rest - 1) {
      const int i = std::countr_zero(rest);
      lines |= step(i, x, LevelOf(now, i));
    }
    if (x == change) {
      levels = now;
      change = FindSampleChange(samples, x + 1, count, levels);
    }
    if (lines != 0) refresh(x);
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
  }
  catchUp(count);
  columnClock = clockAfter(count - 1);
  sampleIndex = base + count;
}

}  // namespace velkor
