#pragma once
// Capture files written from samples of the grid, so that a capture opens in the waveform
// viewers of the field: a sigrok session at 416.667 kHz, a value change dump in steps of
// 100 ns (2.4 us is 24 of them), a CSV export with a time column in seconds, or our own *.bin.
// The samples are pulled from a source a block at a time: a capture of any length is written
// in bounded memory.

#include <array>
#include <string>

#include "capture/CaptureReader.h"
#include "pipeline/SampleSource.h"

namespace velkor {

// Channel i's name in the file (Windows-1252; written as UTF-8 where the format wants it).
using CaptureNames = std::array<std::string, kChannelCount>;

// The format of an output file, by its extension only; false when it has none of ours.
[[nodiscard]] bool CaptureFormatOfName(const std::string& path, CaptureFormat& format);

// Writes every sample of `source` to `path` in `format`, through the program's safe save: the
// file is replaced whole or not at all, and a source that fails on the way (its Failure()
// says why) leaves what was there. Returns true (failed) with `error` saying why.
[[nodiscard]] bool WriteCapture(SampleSource& source, const std::string& path, CaptureFormat format,
                                const CaptureNames& names, std::string& error);

}  // namespace velkor
