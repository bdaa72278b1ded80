#pragma once
// Named objects shared with a remote client: the shared block and the line event. Names
// are given without any system prefix ("velkorSM", "VelkorEM"); this POSIX version maps
// them to the shared memory object and the named semaphore of that name with a leading
// "/". The interface holds no operating system types so that another platform's version
// can sit behind it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "pipeline/UserInterface.h"

namespace velkor::platform {

enum class BlockOpenResult { Success, CannotOpen, CannotMap, AlreadyOpen };

// A named shared block, mapped read/write as a whole. The program opens the one its client
// created; the client creates it, and then removes the name again when it ends.
class SharedBlock {
 public:
  SharedBlock() = default;
  ~SharedBlock();
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  // Opens an existing block without creating it and maps all of it (its present size).
  BlockOpenResult Open(const std::string& name);
  // Creates a new zero-filled block of `size` bytes; refused (true) when the name exists.
  // The name is removed when this object ends.
  [[nodiscard]] bool Create(const std::string& name, std::size_t size);

  bool IsOpen() const { return data_ != nullptr; }
  std::span<std::uint8_t> Bytes() const { return {data_, size_}; }
  // The system's reason for the last failure of Open or Create.
  const std::string& Error() const { return error_; }

  // Removes a name left behind by a client that ended without its clean-up; true when
  // there was one.
  static bool Remove(const std::string& name);

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::string createdName_;
  std::string error_;
};

// The program's side of the line event: opened and set for each appended line. A missing
// event (no client, or one that does not want to be woken) is no error. It behaves as a set
// event whatever the rate of lines: it is raised only while it is not already raised.
class NamedEvent final : public LineEventSignal {
 public:
  explicit NamedEvent(const std::string& name);
  void Signal() override;

 private:
  std::string object_;  // the system's name; empty when the name is unusable
};

// The client's side of the line event.
class EventWaiter {
 public:
  EventWaiter() = default;
  ~EventWaiter();
  EventWaiter(const EventWaiter&) = delete;
  EventWaiter& operator=(const EventWaiter&) = delete;

  // Creates the event, not raised, or opens the one that exists. True when neither worked.
  // The name is removed when this object ends if it was created here.
  [[nodiscard]] bool Create(const std::string& name);
  // Opens an existing event; true when there is none.
  [[nodiscard]] bool Open(const std::string& name);
  bool IsOpen() const { return handle_ != nullptr; }
  // Waits until the event is raised, or at most `millis`; true when it was raised (it is
  // then lowered). A signal delivered meanwhile ends the wait early, with false.
  bool Wait(std::uint32_t millis);
  const std::string& Error() const { return error_; }

  static bool Remove(const std::string& name);

 private:
  void* handle_ = nullptr;
  std::string createdName_;
  std::string error_;
};

}  // namespace velkor::platform
