#include "capture/TextInput.h"

#include <algorithm>
#include <cstring>

#include "app/FilePath.h"

namespace velkor::capture {

namespace {
constexpr std::size_t kBufferSize = 1 << 20;
inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
}  // namespace

TextInput::~TextInput() {
  if (file_ != nullptr) std::fclose(file_);
}

bool TextInput::Open(const std::string& path) {
  file_ = std::fopen(FilePath(path).c_str(), "rb");
  if (file_ == nullptr) return false;
  if (std::fseek(file_, 0, SEEK_END) == 0) {
    const long end = std::ftell(file_);
    if (end > 0) size_ = static_cast<std::uint64_t>(end);
    std::fseek(file_, 0, SEEK_SET);
  }
  buffer_.resize(kBufferSize);
  return true;
}

bool TextInput::Refill(std::size_t keepFrom) {
  linesBefore_ += static_cast<std::uint64_t>(std::count(buffer_.data(), buffer_.data() + keepFrom, '\n'));
  offset_ += keepFrom;
  std::memmove(buffer_.data(), buffer_.data() + keepFrom, end_ - keepFrom);
  end_ -= keepFrom;
  pos_ -= std::min(pos_, keepFrom);
  lastStart_ -= std::min(lastStart_, keepFrom);
  if (eof_ || file_ == nullptr) return false;
  const std::size_t n = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
  end_ += n;
  if (n == 0) eof_ = true;
  return n > 0;
}

bool TextInput::NextWord(std::string_view& word) {
  const char* data = buffer_.data();
  for (;;) {
    while (pos_ < end_ && IsBlank(data[pos_])) ++pos_;
    if (pos_ == end_) {
      if (!Refill(pos_)) return false;
      continue;
    }
    const std::size_t start = pos_;
    std::size_t at = start;
    while (at < end_ && !IsBlank(data[at])) ++at;
    if (at == end_ && !eof_) {
      if (start == 0 && end_ == buffer_.size()) {
        tooLong_ = true;
        return false;
      }
      Refill(start);
      continue;
    }
    lastStart_ = start;
    pos_ = at;
    word = std::string_view(data + start, at - start);
    return true;
  }
}

bool TextInput::NextLine(std::string_view& line) {
  const char* data = buffer_.data();
  for (;;) {
    const void* found = pos_ < end_ ? std::memchr(data + pos_, '\n', end_ - pos_) : nullptr;
    std::size_t stop;
    std::size_t next;
    if (found != nullptr) {
      stop = static_cast<std::size_t>(static_cast<const char*>(found) - data);
      next = stop + 1;
    } else if (!eof_) {
      if (pos_ == 0 && end_ == buffer_.size()) {
        tooLong_ = true;
        return false;
      }
      Refill(pos_);
      continue;
    } else if (pos_ < end_) {
      stop = next = end_;
    } else {
      return false;
    }
    lastStart_ = pos_;
    std::size_t length = stop - pos_;
    if (length > 0 && data[pos_ + length - 1] == '\r') --length;
    line = std::string_view(data + pos_, length);
    pos_ = next;
    return true;
  }
}

std::uint64_t TextInput::LineNumber() const {
  return linesBefore_ + static_cast<std::uint64_t>(std::count(buffer_.data(), buffer_.data() + lastStart_, '\n')) + 1;
}

int TextInput::PercentRead() const {
  if (size_ == 0) return 100;
  return static_cast<int>(std::min<std::uint64_t>(100, 100 * (offset_ + pos_) / size_));
}

}  // namespace velkor::capture
