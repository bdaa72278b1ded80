#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace velkor::platform {

namespace {

// POSIX names one object with a single leading slash and no other.
bool ObjectName(const std::string& name, std::string& out, std::string& error) {
  if (name.empty() || name.find('/') != std::string::npos) {
    error = "bad name \"" + name + "\"";
    return false;
  }
  out = "/" + name;
  return true;
}

std::string SystemError(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

constexpr std::int64_t kEventLookMillis = 100;

// A clock of a few milliseconds' grain, cheap enough for every decoded line.
std::int64_t CoarseMillis() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Whether a client holds its lock on the block that `fd` names (the cheap question, asked
// before /proc is searched).
bool ClientLockHeld(int fd) {
  if (flock(fd, LOCK_SH | LOCK_NB) == 0) {
    flock(fd, LOCK_UN);
    return false;
  }
  return errno == EWOULDBLOCK;
}

constexpr std::array<int, 3> kTerminationSignals = {SIGTERM, SIGHUP, SIGINT};
std::atomic<SharedBlock*> signalBlock = nullptr;
std::array<struct sigaction, 3> previousActions{};
std::array<bool, 3> installed{};

extern "C" void ReleaseAndEnd(int signal) {
  if (SharedBlock* block = signalBlock.load()) block->Release();
  // SA_RESETHAND put the default action back: the signal ends the process as before.
  raise(signal);
}

void RestoreSignals() {
  for (std::size_t i = 0; i < kTerminationSignals.size(); ++i)
    if (installed[i]) sigaction(kTerminationSignals[i], &previousActions[i], nullptr);
  installed.fill(false);
  signalBlock.store(nullptr);
}

}  // namespace

SharedBlock::~SharedBlock() {
  Release();
  if (signalBlock.load() == this) RestoreSignals();
  if (data_ != nullptr) munmap(data_, size_);
  if (lockFd_ >= 0) close(lockFd_);
}

bool SharedBlock::MapWhole(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_size <= 0) {
    error_ = st.st_size <= 0 ? "the block is empty" : SystemError("fstat");
    return false;
  }
  void* data = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) {
    error_ = SystemError("mmap");
    return false;
  }
  data_ = static_cast<std::uint8_t*>(data);
  size_ = static_cast<std::size_t>(st.st_size);
  return true;
}

int SharedBlock::OpenExisting(const std::string& name, std::string& object) {
  if (!ObjectName(name, object, error_)) return -1;
  const int fd = shm_open(object.c_str(), O_RDWR | O_CLOEXEC, 0);
  if (fd < 0) error_ = SystemError("shm_open");
  return fd;
}

BlockOpenResult SharedBlock::Open(const std::string& name) {
  if (IsOpen()) return BlockOpenResult::AlreadyOpen;
  std::string object;
  const int fd = OpenExisting(name, object);
  if (fd < 0) return BlockOpenResult::CannotOpen;
  const bool mapped = MapWhole(fd);
  close(fd);  // the mapping keeps the object
  return mapped ? BlockOpenResult::Success : BlockOpenResult::CannotMap;
}

BlockOpenResult SharedBlock::OpenHeld(const std::string& name) {
  if (IsOpen()) return BlockOpenResult::AlreadyOpen;
  std::string object;
  const int fd = OpenExisting(name, object);
  if (fd < 0) return BlockOpenResult::CannotOpen;
  ObjectId id;
  if (!IdentifyObject(fd, id)) {
    error_ = SystemError("fstat");
    close(fd);
    return BlockOpenResult::CannotOpen;
  }
  if (!ClientLockHeld(fd) && !ObjectHeld(id, fd, nullptr)) {
    shm_unlink(object.c_str());
    close(fd);
    error_ = "no process holds it";
    return BlockOpenResult::Unheld;
  }
  const bool mapped = MapWhole(fd);
  close(fd);
  if (!mapped) return BlockOpenResult::CannotMap;
  object_ = object;
  id_ = id;
  return BlockOpenResult::Success;
}

bool SharedBlock::Create(const std::string& name, std::size_t size) {
  if (size == 0) {
    error_ = "a block needs at least one byte";
    return true;
  }
  bool removedStale = false;
  return Claim(name, size, removedStale) != BlockClaim::Claimed;
}

BlockClaim SharedBlock::CreateForSession(const std::string& name, std::size_t size, bool& removedStale) {
  if (size == 0) {
    error_ = "a block needs at least one byte";
    return BlockClaim::Failed;
  }
  return Claim(name, size, removedStale);
}

BlockClaim SharedBlock::AttachForSession(const std::string& name, bool& removedStale) {
  return Claim(name, 0, removedStale);
}

BlockClaim SharedBlock::Claim(const std::string& name, std::size_t createSize, bool& removedStale) {
  removedStale = false;
  if (IsOpen()) {
    error_ = "a block is already open";
    return BlockClaim::Failed;
  }
  std::string object;
  if (!ObjectName(name, object, error_)) return BlockClaim::Failed;
  // A stale block removed, then the name made anew; a third round only if another client
  // raced us to it.
  for (int round = 0; round < 3; ++round) {
    if (createSize > 0) {
      const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd >= 0) {
        bool made = flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (!made) error_ = SystemError("flock");
        if (made && ftruncate(fd, static_cast<off_t>(createSize)) != 0) {
          error_ = SystemError("ftruncate");
          made = false;
        }
        if (made) made = MapWhole(fd) && IdentifyObject(fd, id_);
        if (!made) {
          shm_unlink(object.c_str());
          close(fd);
          return BlockClaim::Failed;
        }
        lockFd_ = fd;
        object_ = object;
        return BlockClaim::Claimed;
      }
      if (errno != EEXIST) {
        error_ = SystemError("shm_open");
        return BlockClaim::Failed;
      }
    }
    const int fd = shm_open(object.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) {
      if (errno == ENOENT && createSize > 0) continue;  // gone meanwhile: make it
      error_ = SystemError("shm_open");
      return errno == ENOENT ? BlockClaim::Missing : BlockClaim::Failed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const bool busy = errno == EWOULDBLOCK;
      error_ = busy ? "another client holds it" : SystemError("flock");
      close(fd);
      return busy ? BlockClaim::OtherClient : BlockClaim::Failed;
    }
    ObjectId id;
    if (!IdentifyObject(fd, id)) {
      error_ = SystemError("fstat");
      close(fd);
      return BlockClaim::Failed;
    }
    if (!ObjectHeld(id, fd, nullptr)) {
      shm_unlink(object.c_str());
      close(fd);
      removedStale = true;
      if (createSize > 0) continue;
      error_ = "no program holds it";
      return BlockClaim::Missing;
    }
    if (createSize > 0) {
      close(fd);
      error_ = "a program holds it";
      return BlockClaim::ProgramOnly;
    }
    if (!MapWhole(fd)) {
      close(fd);
      return BlockClaim::Failed;
    }
    lockFd_ = fd;
    object_ = object;
    id_ = id;
    return BlockClaim::Claimed;
  }
  error_ = "the name keeps changing";
  return BlockClaim::Failed;
}

void SharedBlock::Release() {
  if (released_ || object_.empty()) return;
  released_ = true;
  const int fd = shm_open(object_.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return;  // removed by someone else already
  ObjectId now;
  // A new block under the same name is another session's.
  const bool same = IdentifyObject(fd, now) && now.device == id_.device && now.inode == id_.inode;
  const bool clientLocked = same && lockFd_ < 0 && ClientLockHeld(fd);
  close(fd);
  if (same && !clientLocked && !ObjectHeld(id_, lockFd_, data_)) shm_unlink(object_.c_str());
}

bool SharedBlock::Remove(const std::string& name) {
  std::string object, error;
  return ObjectName(name, object, error) && shm_unlink(object.c_str()) == 0;
}

bool SharedBlock::Held(const std::string& name) {
  std::string object, error;
  if (!ObjectName(name, object, error)) return false;
  const int fd = shm_open(object.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  ObjectId id;
  if (!IdentifyObject(fd, id)) {
    close(fd);
    return false;
  }
  const bool held = ClientLockHeld(fd) || ObjectHeld(id, fd, nullptr);
  close(fd);
  return held;
}

bool SharedBlock::HeldByOthers() const { return IsOpen() && ObjectHeld(id_, lockFd_, data_); }

void SharedBlock::ReleaseOnTerminationSignals() {
  SharedBlock* expected = nullptr;
  if (!signalBlock.compare_exchange_strong(expected, this)) return;
  struct sigaction action {};
  action.sa_handler = ReleaseAndEnd;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < kTerminationSignals.size(); ++i) {
    struct sigaction& before = previousActions[i];
    installed[i] = sigaction(kTerminationSignals[i], nullptr, &before) == 0 && before.sa_handler == SIG_DFL &&
                   (before.sa_flags & SA_SIGINFO) == 0 && sigaction(kTerminationSignals[i], &action, nullptr) == 0;
  }
}

NamedEvent::NamedEvent(const std::string& name) {
  std::string error;
  if (!ObjectName(name, object_, error)) object_.clear();
}

NamedEvent::~NamedEvent() {
  if (event_ != nullptr) sem_close(static_cast<sem_t*>(event_));
}

void NamedEvent::LookAgain(std::int64_t now) {
  looked_ = true;
  lookedAt_ = now;
  sem_t* found = sem_open(object_.c_str(), 0);
  if (found == SEM_FAILED) {
    // The client is gone: it will not wait on the old event any more.
    if (event_ != nullptr) sem_close(static_cast<sem_t*>(event_));
    event_ = nullptr;
    return;
  }
  // The same event comes back as the same handle (opened once more: closed once more).
  if (event_ != nullptr) sem_close(static_cast<sem_t*>(event_));
  event_ = found;
}

void NamedEvent::Signal() {
  if (object_.empty()) return;
  const std::int64_t now = CoarseMillis();
  if (!looked_ || now - lookedAt_ >= kEventLookMillis) LookAgain(now);
  if (event_ == nullptr) return;
  auto* event = static_cast<sem_t*>(event_);
  int value = 0;
  if (sem_getvalue(event, &value) == 0 && value == 0) sem_post(event);
}

EventWaiter::~EventWaiter() {
  if (handle_ != nullptr) sem_close(static_cast<sem_t*>(handle_));
  if (!createdName_.empty()) sem_unlink(createdName_.c_str());
}

bool EventWaiter::Create(const std::string& name) {
  std::string object;
  if (IsOpen() || !ObjectName(name, object, error_)) return true;
  sem_t* event = sem_open(object.c_str(), O_CREAT | O_EXCL, 0600, 0);
  if (event != SEM_FAILED) {
    handle_ = event;
    createdName_ = object;
    return false;
  }
  if (errno != EEXIST) {
    error_ = SystemError("sem_open");
    return true;
  }
  return Open(name);
}

bool EventWaiter::Open(const std::string& name) {
  std::string object;
  if (IsOpen() || !ObjectName(name, object, error_)) return true;
  sem_t* event = sem_open(object.c_str(), 0);
  if (event == SEM_FAILED) {
    error_ = SystemError("sem_open");
    return true;
  }
  handle_ = event;
  return false;
}

bool EventWaiter::Wait(std::uint32_t millis) {
  if (handle_ == nullptr) return false;
  timespec until{};
  clock_gettime(CLOCK_MONOTONIC, &until);
  until.tv_sec += static_cast<time_t>(millis / 1000);
  until.tv_nsec += static_cast<long>(millis % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    until.tv_nsec -= 1000000000L;
    ++until.tv_sec;
  }
  return sem_clockwait(static_cast<sem_t*>(handle_), CLOCK_MONOTONIC, &until) == 0;
}

bool EventWaiter::Remove(const std::string& name) {
  std::string object, error;
  return ObjectName(name, object, error) && sem_unlink(object.c_str()) == 0;
}

}  // namespace velkor::platform
