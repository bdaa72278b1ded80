#include "platform/SharedMemory.h"

#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

SharedBlock::~SharedBlock() {
  if (data_ != nullptr) munmap(data_, size_);
  if (!createdName_.empty()) shm_unlink(createdName_.c_str());
}

BlockOpenResult SharedBlock::Open(const std::string& name) {
  if (IsOpen()) return BlockOpenResult::AlreadyOpen;
  std::string object;
  if (!ObjectName(name, object, error_)) return BlockOpenResult::CannotOpen;
  const int fd = shm_open(object.c_str(), O_RDWR, 0);
  if (fd < 0) {
    error_ = SystemError("shm_open");
    return BlockOpenResult::CannotOpen;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || st.st_size <= 0) {
    error_ = st.st_size <= 0 ? "the block is empty" : SystemError("fstat");
    close(fd);
    return BlockOpenResult::CannotMap;
  }
  void* data = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  const int mapError = errno;
  close(fd);  // the mapping keeps the object
  if (data == MAP_FAILED) {
    errno = mapError;
    error_ = SystemError("mmap");
    return BlockOpenResult::CannotMap;
  }
  data_ = static_cast<std::uint8_t*>(data);
  size_ = static_cast<std::size_t>(st.st_size);
  return BlockOpenResult::Success;
}

bool SharedBlock::Create(const std::string& name, std::size_t size) {
  if (IsOpen()) {
    error_ = "a block is already open";
    return true;
  }
  std::string object;
  if (!ObjectName(name, object, error_)) return true;
  if (size == 0) {
    error_ = "a block needs at least one byte";
    return true;
  }
  const int fd = shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  if (fd < 0) {
    error_ = SystemError("shm_open");
    return true;
  }
  void* data = MAP_FAILED;
  if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
    error_ = SystemError("ftruncate");
  } else {
    data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) error_ = SystemError("mmap");
  }
  close(fd);
  if (data == MAP_FAILED) {
    shm_unlink(object.c_str());
    return true;
  }
  data_ = static_cast<std::uint8_t*>(data);
  size_ = size;
  createdName_ = object;
  return false;
}

bool SharedBlock::Remove(const std::string& name) {
  std::string object, error;
  return ObjectName(name, object, error) && shm_unlink(object.c_str()) == 0;
}

NamedEvent::NamedEvent(const std::string& name) {
  std::string error;
  if (!ObjectName(name, object_, error)) object_.clear();
}

void NamedEvent::Signal() {
  if (object_.empty()) return;
  // Opened anew for every line: a client may create the event, or replace it, at any time.
  sem_t* event = sem_open(object_.c_str(), 0);
  if (event == SEM_FAILED) return;
  int value = 0;
  if (sem_getvalue(event, &value) == 0 && value == 0) sem_post(event);
  sem_close(event);
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
