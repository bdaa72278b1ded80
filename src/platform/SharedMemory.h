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
#include "platform/ObjectHolders.h"

namespace velkor::platform {

enum class BlockOpenResult { Success, CannotOpen, CannotMap, AlreadyOpen, Unheld };

// What a client finds when it claims a block's name for its session.
enum class BlockClaim {
  Claimed,        // the block is this client's, locked for the object's life
  OtherClient,    // another client holds the lock
  ProgramOnly,    // a program holds the block and no client does (creating: refused)
  Missing,        // attaching: there is no block, or one that nothing holds
  Failed,         // see Error()
};

// A named shared block, mapped read/write as a whole. The client creates it and locks it
// (one client per block); the program opens it. As on Windows, a block lives only while
// someone holds it: when an object that opened, created or attached one ends, it removes the
// name unless another process still holds the block (has it open or mapped).
class SharedBlock {
 public:
  SharedBlock() = default;
  ~SharedBlock();
  SharedBlock(const SharedBlock&) = delete;
  SharedBlock& operator=(const SharedBlock&) = delete;

  // Opens an existing block without creating it and maps all of it (its present size).
  BlockOpenResult Open(const std::string& name);
  // The program's opening: as Open, but a block that no process holds is the leftover of a
  // client that was killed: its name is removed and the result is Unheld.
  BlockOpenResult OpenHeld(const std::string& name);
  // CreateForSession, refused (true) unless claimed.
  [[nodiscard]] bool Create(const std::string& name, std::size_t size);

  // The client's claims. A block that nothing holds is removed first (`removedStale` says
  // so). Creating makes a new block of `size` bytes; attaching takes a program's block.
  BlockClaim CreateForSession(const std::string& name, std::size_t size, bool& removedStale);
  BlockClaim AttachForSession(const std::string& name, bool& removedStale);

  bool IsOpen() const { return data_ != nullptr; }
  std::span<std::uint8_t> Bytes() const { return {data_, size_}; }
  // The system's reason for the last failure of Open or Create.
  const std::string& Error() const { return error_; }

  // Gives the block up now, as at the object's end: the name goes unless another process
  // holds the block. Safe in a signal handler (the mapping stays until the process ends).
  void Release();
  // Until this object ends, SIGTERM, SIGHUP and SIGINT give the block up before they end
  // the process as they would have. One block per process.
  void ReleaseOnTerminationSignals();

  // Removes a name whatever holds it; true when there was one.
  static bool Remove(const std::string& name);
  // Whether a process has the named block open or mapped.
  static bool Held(const std::string& name);
  // A client's question: whether a process other than this one has its block open or
  // mapped (the program, until it has ended).
  bool HeldByOthers() const;

 private:
  BlockClaim Claim(const std::string& name, std::size_t createSize, bool& removedStale);
  bool MapWhole(int fd);
  // Opens an existing block for reading and writing: its descriptor, or -1 (with error_).
  int OpenExisting(const std::string& name, std::string& object);

  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::string object_;  // the system's name, set while the name is to be given up
  ObjectId id_;
  int lockFd_ = -1;     // a client's locked descriptor
  std::string error_;
  bool released_ = false;
};

// The program's side of the line event, set for each appended line. A missing event (no
// client, or one that does not want to be woken) is no error. It behaves as a set event
// whatever the rate of lines: it is raised only while it is not already raised. Once found
// it stays open; the name is looked at again at most every 100 ms, so that a client that
// creates the event later, or replaces it, is still woken, at no cost per line.
class NamedEvent final : public LineEventSignal {
 public:
  explicit NamedEvent(const std::string& name);
  ~NamedEvent() override;
  NamedEvent(const NamedEvent&) = delete;
  NamedEvent& operator=(const NamedEvent&) = delete;
  void Signal() override;

 private:
  void LookAgain(std::int64_t now);

  std::string object_;  // the system's name; empty when the name is unusable
  void* event_ = nullptr;
  std::int64_t lookedAt_ = 0;
  bool looked_ = false;
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
