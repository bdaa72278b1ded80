#include "views/LineText.h"

#include <charconv>

#include "app/Cp1252.h"
#include "app/SafeSave.h"

namespace velkor {

ChannelCaptions CaptionsOf(const Settings& settings) {
  ChannelCaptions captions;
  for (int i = 0; i < kChannelCount; ++i) captions.text[i] = settings.channels[i].caption;
  return captions;
}

std::string DateColumnText(std::string_view date, bool milliseconds) {
  if (!milliseconds) date = date.size() <= 3 ? std::string_view{} : date.substr(0, date.size() - 3);
  std::string text;
  const std::size_t digits = date.size() < 4 ? 4 : date.size();
  const std::size_t width = digits < 12 ? 12 : digits;
  text.reserve(width + 1);
  text.append(width - digits, ' ');
  text.append(digits - date.size(), '0');
  text.append(date);
  text.insert(text.size() - 3, 1, '.');
  return text;
}

std::int64_t LineDateMicros(std::string_view line) {
  const std::string_view date = LineReader(line).Date();
  std::uint64_t value = 0;
  std::from_chars(date.data(), date.data() + date.size(), value);
  return static_cast<std::int64_t>(value);
}

std::string MillisecondsText(std::int64_t micros) {
  // The magnitude as unsigned, so the most negative value has one too.
  const std::uint64_t magnitude =
      micros < 0 ? 0 - static_cast<std::uint64_t>(micros) : static_cast<std::uint64_t>(micros);
  std::string digits = std::to_string(magnitude);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  digits.insert(digits.size() - 3, 1, '.');
  return micros < 0 ? "-" + digits : digits;
}

SelectionBlock SelectionBlockAround(const DecodedLineList& lines, std::size_t focus) {
  SelectionBlock block{focus, focus};
  while (block.first > 0 && lines.Selected(block.first - 1)) --block.first;
  while (block.last + 1 < lines.size() && lines.Selected(block.last + 1)) ++block.last;
  return block;
}

ClickStatus ClickStatusAt(const DecodedLineList& lines, std::size_t focus) {
  SelectionBlock block = SelectionBlockAround(lines, focus);
  ClickStatus status;
  status.selectedLines = "Selected lines : " + std::to_string(block.Count());
  if (block.first == 0 && block.last == 0) {
    status.relativeTime = "Relative time : -";
    return status;
  }
  if (block.first == block.last) --block.first;
  // Both dates are below 2^63 microseconds (nearly 300000 years), so the difference of the
  // two signed values cannot overflow.
  const std::int64_t d = LineDateMicros(lines.Line(block.last)) - LineDateMicros(lines.Line(block.first));
  status.relativeTime = "Relative time : " + MillisecondsText(d) + "ms";
  return status;
}

std::string LineCountText(std::size_t count) { return std::to_string(count) + " lines"; }

std::string RenderLines(const DecodedLineList& lines, const ChannelCaptions& captions, bool selectedOnly) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (selectedOnly && !lines.Selected(i)) continue;
    text += RenderDecodedLine(lines.Line(i), captions.text);
    text += "\r\n";
  }
  return text;
}

RenderedLineParts::RenderedLineParts(const DecodedLineList& lines, const ChannelCaptions& captions,
                                     bool selectedOnly)
    : lines_(lines), captions_(captions), selectedOnly_(selectedOnly) {
  for (std::size_t i = 0; i < lines_.size(); ++i) toRender_ += !selectedOnly_ || lines_.Selected(i);
}

bool RenderedLineParts::NextPart(std::string& text, std::size_t partBytes) {
  cp1252_.clear();
  bool any = false;
  for (; next_ < lines_.size() && cp1252_.size() < partBytes; ++next_) {
    if (selectedOnly_ && !lines_.Selected(next_)) continue;
    cp1252_ += RenderDecodedLine(lines_.Line(next_), captions_.text);
    cp1252_ += "\r\n";
    any = true;
    ++rendered_;
  }
  text += Cp1252ToUtf8(cp1252_);
  return any;
}

std::size_t RenderedLineParts::ExpectedBytes(std::size_t renderedBytes) const {
  if (rendered_ == 0 || rendered_ >= toRender_) return renderedBytes;
  const double perLine = static_cast<double>(renderedBytes) / static_cast<double>(rendered_);
  return static_cast<std::size_t>(perLine * static_cast<double>(toRender_) * 1.05) + 4096;
}

int RenderedLineParts::Percent() const {
  if (lines_.empty()) return 100;
  return static_cast<int>(static_cast<unsigned long long>(next_) * 100 / lines_.size());
}

namespace {

constexpr std::size_t kSaveChunkBytes = 1 << 20;

}  // namespace

bool SaveRenderedLines(const std::string& path, const DecodedLineList& lines, const ChannelCaptions& captions,
                       bool selectedOnly) {
  SafeSave file(path);
  if (file.Failed()) return true;
  // Written a part at a time, so a list of millions of lines never sits in memory twice.
  RenderedLineParts parts(lines, captions, selectedOnly);
  std::string part;
  while (!file.Failed() && parts.NextPart(part, kSaveChunkBytes)) {
    file.Write(part);
    part.clear();
  }
  return file.Commit();
}

}  // namespace velkor
