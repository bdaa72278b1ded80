#pragma once
// Reads a capture file ahead of the replay on a thread of its own: while the decoders take one
// piece, the next one is copied out of the page cache into the other buffer, so on a machine
// with a second core a replay does not wait for the copy.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace velkor {

class ReadAhead {
 public:
  // Reads `file` (which it does not own, and which nothing else reads meanwhile) from where it
  // stands, `pieceSize` bytes at a time.
  ReadAhead(std::FILE* file, std::size_t pieceSize);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  struct Piece {
    const std::uint8_t* data;
    std::size_t size;  // less than the piece size only at the end of the file (or on an error)
  };
  // The next piece of the file; it stays valid until the next call. After a short piece the
  // file is done and there is no next one.
  Piece Next();

 private:
  void Read();

  std::FILE* file_;
  std::size_t pieceSize_;
  std::unique_ptr<std::uint8_t[]> buffers_[2];
  std::size_t sizes_[2] = {0, 0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t read_ = 0;      // pieces read, the last one into buffers_[(read_ - 1) % 2]
  std::uint64_t released_ = 0;  // pieces the replay is done with
  bool handedOut_ = false;      // piece `released_` is in the replay's hands
  bool quitting_ = false;
  std::thread thread_;
};

}  // namespace velkor
