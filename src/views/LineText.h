#pragma once
// The texts the line views show and write besides the row drawing itself: the date column
// in milliseconds or seconds, the relative time between rows and the selection count, the
// line count, and the rendered lines for the clipboard and for text files. Shared by the
// Hexa and Filter views. Texts are Windows-1252 bytes, except the files, which are UTF-8.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/Settings.h"
#include "views/DecodedLine.h"

namespace velkor {

// The captions that rendering puts in front of each line, as RenderDecodedLine takes them.
struct ChannelCaptions {
  std::string text[kChannelCount];
};
ChannelCaptions CaptionsOf(const Settings& settings);

// The date column: the date element's digits (whole microseconds), with the sub-millisecond
// digits dropped in seconds mode, padded with "0" to 4 characters and with blanks to 12,
// with "." before the last three: "     1523.642" (milliseconds) or "        1.523" (seconds).
std::string DateColumnText(std::string_view date, bool milliseconds);

// The date element of a line as a number of microseconds (0 when it holds no digits).
std::int64_t LineDateMicros(std::string_view line);

// A duration in microseconds as milliseconds with three decimals: 5 gives "0.005",
// 1234567 gives "1234.567". A negative duration (channels that report out of order) keeps
// its sign: -5 gives "-0.005".
std::string MillisecondsText(std::int64_t micros);

// The block of contiguous selected rows around the focused row (which counts whether it is
// selected or not).
struct SelectionBlock {
  std::size_t first = 0;
  std::size_t last = 0;
  std::size_t Count() const { return last - first + 1; }
};
SelectionBlock SelectionBlockAround(const DecodedLineList& lines, std::size_t focus);

// The two status panels of a click on a row: "Relative time : 0.005ms" and
// "Selected lines : 1". One row alone is timed from the row above; the first row alone
// has no time ("Relative time : -").
struct ClickStatus {
  std::string relativeTime;
  std::string selectedLines;
};
ClickStatus ClickStatusAt(const DecodedLineList& lines, std::size_t focus);

// "125 lines": the third status panel of the Hexa view.
std::string LineCountText(std::size_t count);

// The rendered lines, all of them or only the selected ones, each followed by CR LF.
std::string RenderLines(const DecodedLineList& lines, const ChannelCaptions& captions, bool selectedOnly);

// The same text in UTF-8, a part at a time, for a copy of millions of lines that shows its
// progress: each part is appended where the caller keeps the text, which is then the only
// copy of it.
class RenderedLineParts {
 public:
  RenderedLineParts(const DecodedLineList& lines, const ChannelCaptions& captions, bool selectedOnly);
  // Appends the next lines, until at least `partBytes` bytes were appended or the lines
  // end. False when no line was left to append.
  bool NextPart(std::string& text, std::size_t partBytes);
  // How far through the list, 0 to 100.
  int Percent() const;
  // The size the whole text will have, guessed from the lines rendered so far, so that its
  // place can be taken once instead of growing (and being copied) as it fills.
  std::size_t ExpectedBytes(std::size_t renderedBytes) const;

 private:
  const DecodedLineList& lines_;
  ChannelCaptions captions_;
  bool selectedOnly_;
  std::size_t next_ = 0;
  std::size_t toRender_ = 0;
  std::size_t rendered_ = 0;
  std::string cp1252_;
};

// Writes the rendered lines (as RenderLines, in UTF-8) to a file through SafeSave, so a
// failed save leaves the file as it was and no half file. True when the file could not be
// written.
[[nodiscard]] bool SaveRenderedLines(const std::string& path, const DecodedLineList& lines,
                                     const ChannelCaptions& captions, bool selectedOnly);

}  // namespace velkor
