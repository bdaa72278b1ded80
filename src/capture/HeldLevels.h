#pragma once
// Levels that change at given times, put on the grid: every tick before the next change holds
// the levels of the last one (sample and hold). A reader of changes moves HoldUntil on at each
// time and flushes the ticks so held before it applies the changes made at that time.

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace velkor::capture {

class HeldLevels {
 public:
  // The ticks before `tick` hold the present levels.
  void HoldUntil(std::uint64_t tick) { until_ = std::max(until_, tick); }
  bool Pending() const { return next_ < until_; }
  // Writes held ticks into `samples` (at most `count`); returns how many.
  std::size_t Flush(std::uint8_t* samples, std::size_t count) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, until_ - next_));
    std::memset(samples, levels_, n);
    next_ += n;
    return n;
  }
  // The tick the next flushed sample gets.
  std::uint64_t NextTick() const { return next_; }

  std::uint8_t levels() const { return levels_; }
  void Set(std::uint8_t mask, bool high) {
    levels_ = static_cast<std::uint8_t>(high ? (levels_ | mask) : (levels_ & ~mask));
  }
  void SetAll(std::uint8_t levels) { levels_ = levels; }

 private:
  std::uint64_t next_ = 0;
  std::uint64_t until_ = 0;
  std::uint8_t levels_ = 0;
};

}  // namespace velkor::capture
