#include "pipeline/ReadAhead.h"

namespace velkor {

ReadAhead::ReadAhead(std::FILE* file, std::size_t pieceSize) : file_(file), pieceSize_(pieceSize) {
  for (auto& buffer : buffers_) buffer = std::make_unique_for_overwrite<std::uint8_t[]>(pieceSize);
  thread_ = std::thread(&ReadAhead::Read, this);
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    quitting_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ReadAhead::Read() {
  for (;;) {
    std::uint64_t piece;
    {
      // A buffer is free once the replay is done with the piece read into it two pieces ago.
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return quitting_ || read_ - released_ < 2; });
      if (quitting_) return;
      piece = read_;
    }
    // fread only comes back short at the end of the file or on an error: either ends the file.
    const std::size_t n = std::fread(buffers_[piece % 2].get(), 1, pieceSize_, file_);
    {
      std::lock_guard lock(mutex_);
      sizes_[piece % 2] = n;
      ++read_;
    }
    changed_.notify_all();
    if (n < pieceSize_) return;
  }
}

ReadAhead::Piece ReadAhead::Next() {
  std::unique_lock lock(mutex_);
  if (handedOut_) {
    ++released_;
    handedOut_ = false;
    changed_.notify_all();
  }
  changed_.wait(lock, [this] { return read_ > released_; });
  handedOut_ = true;
  const std::size_t slot = released_ % 2;
  return {buffers_[slot].get(), sizes_[slot]};
}

}  // namespace velkor
