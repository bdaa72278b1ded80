#pragma once
// What the fuzz targets share: a scratch folder of their own for the files the loaders read,
// the split of an input into a description and capture bytes, descriptions that are known
// to be valid, and the checks that every decoded line must pass.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/Settings.h"
#include "pipeline/DecMain.h"
#include "pipeline/Types.h"
#include "views/DecodedLine.h"

namespace velkor::fuzz {

// A folder of this process (several fuzzing processes may run side by side), removed when
// the process ends normally.
const std::string& ScratchFolder();
// Writes the bytes to a file of the scratch folder, replacing it; returns its path.
std::string WriteScratchFile(std::string_view name, std::string_view bytes);

// A description input: the description text, the separator, then capture bytes. An input
// without the separator is all description and has no capture.
inline constexpr std::string_view kCaptureSeparator = "\n#capture#\n";
struct DescriptionAndCapture {
  std::string_view description;
  std::string_view capture;
};
DescriptionAndCapture SplitAtCapture(const std::uint8_t* data, std::size_t size);

// Valid descriptions of every framed type in two timings: the demo's (its capture's slices
// decode with them) and a fast one whose frames fit in a few hundred samples.
enum class Timing { Demo, Fast };
struct FixedDescriptions {
  std::string serial, can, lin;
  std::vector<std::string> manchester;  // two slots that compete for the same line
};
const FixedDescriptions& WrittenDescriptions(Timing timing);

// Gives channel `channel` the type and the fixed description of that type.
void UseFixedDescription(Settings& settings, int channel, ChannelType type, Timing timing);

// The four framed types in one of their 24 orders over the channels; order 0 is the demo's
// (CAN, Manchester, Serial, LIN).
void ArrangeFramedChannels(Settings& settings, unsigned order, Timing timing);

// Aborts, naming the line, when a line breaks the layout every reader relies on: a channel
// digit, ",", a decimal date, ",", a frame text that is not empty and ends with ",", and at
// most 1000 characters in all.
void CheckLineLayout(std::string_view line);
std::vector<std::string> CheckedLines(const DecodedLineList& lines);

// What a decode leaves: its lines, the line-count refreshes and columns it asked the views
// for (in order), and the pipeline's counters and masks at its end.
struct DecodeOutcome {
  std::vector<std::string> lines;
  std::vector<std::uint64_t> calls;
  SampleIndex sampleIndex = 0;
  std::uint32_t columnClock = 0;
  std::uint32_t traceMask = 0;
  std::uint32_t eventMask = 0;
  bool operator==(const DecodeOutcome&) const = default;
};

// The roads bytes take to the decoders. Capture bytes: a replay of a file, the per-sample
// path in one call, or pieces of random lengths each on a path taken at random. Live bytes:
// the per-sample path in one call, or pieces as above.
enum class Feed { Replay, PerSample, Pieces, LivePerSample, LivePieces };
DecodeOutcome Decode(const Settings& settings, std::string_view bytes, Feed feed, std::uint32_t cutSeed);

// Capture bytes by every capture road; all must agree (the run-skipping path against the
// per-sample one, cut anywhere), and every line must keep the layout. Returns the lines.
std::vector<std::string> DecodeEveryWay(const Settings& settings, std::string_view capture, std::uint32_t cutSeed);

// A description of one type (any bytes) on all four channels, then a short replay of the
// capture bytes that follow the separator; every line must keep the layout.
int FuzzDescriptionAndDecode(ChannelType type, std::string_view extension, const std::uint8_t* data,
                             std::size_t size);

// Any bytes through a bus database reader (DBC or LDF): a refusal names a line of the text;
// an accepted database finds each of its messages by its key, and writes the signal fields of
// payloads made from the input as fields of a line ("Name=value," with no line break).
int FuzzBusDatabase(bool ldf, const std::uint8_t* data, std::size_t size);

// Stops the fuzzer with a message: a property did not hold.
[[noreturn]] void Fail(std::string_view what);

}  // namespace velkor::fuzz
