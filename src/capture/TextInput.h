#pragma once
// A text file read a buffer at a time, as words (VCD) or lines (CSV), for readers that must
// not load a capture whole. Line numbers are worked out only when a message needs one.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace velkor::capture {

class TextInput {
 public:
  TextInput() = default;
  ~TextInput();
  TextInput(const TextInput&) = delete;
  TextInput& operator=(const TextInput&) = delete;

  // False when the file cannot be opened.
  [[nodiscard]] bool Open(const std::string& path);

  // The next word: bytes between blanks (codes 0 to 32). False at the end of the text, or
  // when a word is longer than the buffer (TooLong()). The view holds until the next call.
  bool NextWord(std::string_view& word);
  // The next line, without its line end (LF or CR LF). False at the end, or when a line is
  // longer than the buffer (TooLong()).
  bool NextLine(std::string_view& line);

  bool TooLong() const { return tooLong_; }
  // The number of the line where the last word or line began (1-based).
  std::uint64_t LineNumber() const;
  int PercentRead() const;

 private:
  // Keeps the bytes from `keepFrom` on, moved to the front, and reads more after them.
  // False when nothing more could be read.
  bool Refill(std::size_t keepFrom);

  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  std::vector<char> buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  std::size_t lastStart_ = 0;
  bool eof_ = false;
  bool tooLong_ = false;
  std::uint64_t offset_ = 0;       // file offset of buffer_[0]
  std::uint64_t linesBefore_ = 0;  // line ends before buffer_[0]
};

}  // namespace velkor::capture
