#include "pipeline/DecoderServices.h"

#include <charconv>

namespace velkor {

void DecoderServices::AppendDecodedLine(std::string_view text, FrameTag tag) {
  lines.Append(CutDecodedLine(text, cutScratch_), tag);
  if (lineEvent_ != nullptr) lineEvent_->Signal();
}

void DecoderServices::BeginLine(std::string& out, int channel, SampleIndex index) {
  out.clear();
  out += static_cast<char>('0' + channel);
  out += ',';
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, SampleTimeMicros(index));
  out.append(digits, result.ptr);
  out += ',';
}

}  // namespace velkor
