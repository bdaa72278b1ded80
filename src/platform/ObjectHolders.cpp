#include "platform/ObjectHolders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace velkor::platform {

namespace {

// A path built in place: /proc/<pid>/<leaf>.
class ProcPath {
 public:
  ProcPath(const char* pid, const char* leaf) {
    Add("/proc/");
    Add(pid);
    Add("/");
    Add(leaf);
  }
  const char* Text() const { return text_; }

 private:
  void Add(const char* part) {
    while (*part != '\0' && length_ + 1 < sizeof text_) text_[length_++] = *part++;
    text_[length_] = '\0';
  }
  char text_[64] = {};
  std::size_t length_ = 0;
};

bool ParseDecimal(const char* text, unsigned long long& value) {
  if (*text == '\0') return false;
  value = 0;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return false;
    value = value * 10 + static_cast<unsigned>(*text - '0');
  }
  return true;
}

// Calls `visit(name)` for each entry of an open directory; stops when it returns true.
template <typename Visit>
bool AnyEntry(int dirFd, Visit visit) {
  alignas(8) char buffer[4096];
  for (;;) {
    const ssize_t n = getdents64(dirFd, buffer, sizeof buffer);
    if (n <= 0) return false;
    for (ssize_t at = 0; at < n;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      at += entry->d_reclen;
      if (visit(entry->d_name)) return true;
    }
  }
}

// Calls `visit(pidText, pid)` for every process; stops when it returns true.
template <typename Visit>
bool AnyProcess(Visit visit) {
  const int proc = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (proc < 0) return false;
  const bool found = AnyEntry(proc, [&](const char* name) {
    unsigned long long pid = 0;
    return ParseDecimal(name, pid) && visit(name, static_cast<pid_t>(pid));
  });
  close(proc);
  return found;
}

bool HasDescriptorOf(const char* pid, bool self, const ObjectId& id, int ownFd) {
  const ProcPath path(pid, "fd");
  const int dir = open(path.Text(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;
  const bool found = AnyEntry(dir, [&](const char* name) {
    unsigned long long fd = 0;
    if (!ParseDecimal(name, fd)) return false;
    if (self && (static_cast<int>(fd) == ownFd || static_cast<int>(fd) == dir)) return false;
    struct stat st {};
    return fstatat(dir, name, &st, 0) == 0 && st.st_ino == id.inode && st.st_dev == id.device;
  });
  close(dir);
  return found;
}

// One line of /proc/<pid>/maps: "start-end perms offset major:minor inode path".
bool MapsLineNames(const char* line, const char* end, const ObjectId& id, std::uintptr_t skipStart) {
  auto hex = [&](std::uintptr_t& value) {
    value = 0;
    const char* from = line;
    for (; line < end; ++line) {
      const char c = *line;
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
      if (digit < 0) break;
      value = value * 16 + static_cast<std::uintptr_t>(digit);
    }
    return line > from;
  };
  auto skipField = [&] {
    while (line < end && *line != ' ') ++line;
    while (line < end && *line == ' ') ++line;
  };
  std::uintptr_t start = 0, major = 0, minor = 0;
  if (!hex(start)) return false;
  if (skipStart != 0 && start == skipStart) return false;
  skipField();  // the range's end
  skipField();  // the permissions
  skipField();  // the offset
  if (!hex(major) || line >= end || *line++ != ':' || !hex(minor)) return false;
  while (line < end && *line == ' ') ++line;
  unsigned long long inode = 0;
  bool digits = false;
  for (; line < end && *line >= '0' && *line <= '9'; ++line, digits = true)
    inode = inode * 10 + static_cast<unsigned>(*line - '0');
  return digits && inode == id.inode && major == ::major(id.device) && minor == ::minor(id.device);
}

bool HasMappingOf(const char* pid, bool self, const ObjectId& id, const void* ownMapping) {
  const ProcPath path(pid, "maps");
  const int fd = open(path.Text(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const std::uintptr_t skip = self ? reinterpret_cast<std::uintptr_t>(ownMapping) : 0;
  char buffer[8192];
  std::size_t held = 0;      // bytes of an unfinished line at the buffer's start
  bool overlong = false;     // the line being read did not fit: skipped up to its end
  bool found = false;
  for (;;) {
    const ssize_t n = read(fd, buffer + held, sizeof buffer - held);
    if (n <= 0) break;
    const char* line = buffer;
    const char* end = buffer + held + n;
    for (const char* nl; (nl = static_cast<const char*>(std::memchr(line, '\n', end - line))) != nullptr;
         line = nl + 1) {
      if (!overlong && MapsLineNames(line, nl, id, skip)) found = true;
      overlong = false;
    }
    if (found) break;
    held = static_cast<std::size_t>(end - line);
    if (held == sizeof buffer) {
      held = 0;
      overlong = true;
    } else if (held > 0) {
      std::memmove(buffer, line, held);
    }
  }
  close(fd);
  return found;
}

}  // namespace

bool IdentifyObject(int fd, ObjectId& id) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return false;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  return true;
}

bool ObjectHeld(const ObjectId& id, int ownFd, const void* ownMapping) {
  const pid_t self = getpid();
  // Descriptors first: a client keeps one open for its lock, and they are cheaper to read.
  if (AnyProcess([&](const char* pidText, pid_t pid) { return HasDescriptorOf(pidText, pid == self, id, ownFd); }))
    return true;
  return AnyProcess([&](const char* pidText, pid_t pid) { return HasMappingOf(pidText, pid == self, id, ownMapping); });
}

}  // namespace velkor::platform
