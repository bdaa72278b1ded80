#pragma once
// Capture files of other instruments (sigrok sessions, value change dumps, CSV exports) and
// our own *.bin, as sources of samples on the module's grid for the replay. A reader first
// reads what the file says of itself (its channels, its timing), then, once told which file
// channels the four decoding channels read, gives the samples a block at a time. Every tick
// of the grid (2.4 us apart) holds the levels the file last gave at or before it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/ChannelMap.h"
#include "pipeline/SampleSource.h"

namespace velkor {

enum class CaptureFormat { Bin, Sigrok, Vcd, Csv };

class CaptureReader : public SampleSource {
 public:
  CaptureFormat Format() const { return format_; }
  const std::string& Path() const { return path_; }

  // The file's channels in file order; an empty name where the file gives none.
  const std::vector<std::string>& ChannelNames() const { return names_; }
  // True when the file names its channels (a mapping by name then means something).
  bool NamesChannels() const;

  // Which file channels the decoding channels read (DefaultChannelMap until told). Only
  // before the first Read.
  void SetMap(const ChannelMap& map) { map_ = map; }
  const ChannelMap& Map() const { return map_; }

  // What the user should know before trusting the decode (timing lost to a slow source).
  const std::vector<std::string>& Warnings() const { return warnings_; }

 protected:
  CaptureReader(CaptureFormat format, std::string path) : format_(format), path_(std::move(path)) {}
  void Fail(std::string_view what) { SetFailure(path_ + ": " + std::string(what)); }

  std::vector<std::string> names_;
  std::vector<std::string> warnings_;
  ChannelMap map_ = DefaultChannelMap(0);

 private:
  CaptureFormat format_;
  std::string path_;
};

// The format of a file: by its extension (.bin, .sr, .vcd, .csv, any case), else by its
// first bytes (a zip archive, a "$" declaration, a text line of commas); anything else is
// taken as *.bin, which has no header to tell it by.
CaptureFormat DetectCaptureFormat(const std::string& path);

// Opens a capture file and reads what it says of itself; nothing is decoded yet. Returns
// nothing when the file cannot be used, with `error` naming the file and what is wrong.
std::unique_ptr<CaptureReader> OpenCapture(const std::string& path, std::string& error);

// The module's grid seen from a file's time unit: a time of T units falls before the tick
// FirstTickAtOrAfter(T). A unit of unitNumerator / unitDenominator seconds.
class TickClock {
 public:
  TickClock(std::uint64_t unitNumerator, std::uint64_t unitDenominator);
  // A sample rate within a hertz of the grid's own (416666.67 Hz, which a whole number of
  // hertz cannot state) is the grid: one sample per tick, with no drift.
  static TickClock ForRate(std::uint64_t hertz);

  std::uint64_t FirstTickAtOrAfter(std::uint64_t time) const;
  // Ticks per unit as a fraction: tick = unit x Numerator() / Denominator().
  std::uint64_t Numerator() const { return num_; }
  std::uint64_t Denominator() const { return den_; }
  bool IsGrid() const { return num_ == 1 && den_ == 1; }
  // The unit is longer than a tick: levels are held and finer timing is lost.
  bool CoarserThanGrid() const { return num_ > den_; }

 private:
  std::uint64_t num_;
  std::uint64_t den_;
};

// "416.667 kHz", "4 MHz", "1000000", "8kHz": a rate in whole hertz (rounded); 0 when the
// text is not a positive rate.
std::uint64_t ParseSampleRate(std::string_view text);
// "10 \xB5s", "250 ns": a period of numerator / denominator seconds, for messages.
std::string DescribePeriod(std::uint64_t numerator, std::uint64_t denominator);
// The warning of a file whose unit of time is coarser than the grid.
std::string SlowSourceWarning(const std::string& path, std::uint64_t unitNumerator, std::uint64_t unitDenominator);

}  // namespace velkor
