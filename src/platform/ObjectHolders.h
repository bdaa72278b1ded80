#pragma once
// Which processes hold a shared memory object. On Windows a named block ends with the last
// handle to it; a POSIX object outlives every process, so the remote channel looks for the
// holders itself (in /proc) to tell a live block from one a killed process left behind.
//
// Everything here is async-signal-safe: no allocation, only system calls, so a signal
// handler may give a block up on its way out.

#include <sys/types.h>

namespace velkor::platform {

struct ObjectId {
  dev_t device = 0;
  ino_t inode = 0;
};

// The file behind an open descriptor; false when it cannot be read.
bool IdentifyObject(int fd, ObjectId& id);

// True when a process has the object open or mapped. This process's descriptor `ownFd` and
// its mapping that starts at `ownMapping` do not count (either may be -1 / null). Processes
// whose /proc entries cannot be read (another user's) are taken as not holding it.
bool ObjectHeld(const ObjectId& id, int ownFd, const void* ownMapping);

}  // namespace velkor::platform
