// A test hook that makes the file layer fail as if the operating system had.
//
// Inert unless armed: the file layer asks Check() once per system call it makes (an open, one
// buffer read or write, a flush, a close, a rename, a link, a check that a target is free),
// which costs one relaxed atomic load. When
// armed, the chosen operation succeeds `after_n_calls` times and then fails with `os_error`
// (errno on POSIX, GetLastError() on Windows), raising the CFileException that error gives.
#pragma once

#include <atomic>

#include "platform/file_exception.h"

namespace platform::fault {

enum class Operation {
  kOpen,      // opening or creating a file, the temporary of a replacement included
  kRead,      // one read from the system into the read buffer
  kWrite,     // one write of the write buffer to the system
  kSeek,      // moving the file position
  kFlush,     // asking the system to put a file's data on the disk
  kClose,     // closing a file
  kRename,    // renaming a finished replacement over its target, or an old target aside
  kLink,      // keeping a replaced target's old content under a second name (a hard link)
  kHold,      // checking that no other program holds a target about to be replaced
  kAllocate,  // allocating a file's buffer (fails with outOfMemory)
  kCount
};

// Makes the call number `after_n_calls` + 1 (counted from now) of `op` fail with `os_error`,
// and the `failures` - 1 calls after it too (a negative `failures`: every later call).
// Replaces an earlier arming of the same operation. Not for use while files are used on other
// threads.
void Arm(Operation op, int after_n_calls, long os_error, int failures = 1);

// Disarms every operation.
void DisarmAll();

// An OS error that gives `cause` on this platform (for example ENOSPC or ERROR_DISK_FULL for
// diskFull), so that tests can arm faults without naming platform errors.
long TypicalOsError(CFileException::Cause cause);

// Arms one fault for the lifetime of this object; disarms every operation when it ends.
class ScopedFault {
 public:
  ScopedFault(Operation op, int after_n_calls, long os_error, int failures = 1) {
    Arm(op, after_n_calls, os_error, failures);
  }
  ~ScopedFault() { DisarmAll(); }
  ScopedFault(const ScopedFault&) = delete;
  ScopedFault& operator=(const ScopedFault&) = delete;
};

namespace internal {
extern std::atomic<bool> g_armed;
long CheckArmed(Operation op);
}  // namespace internal

// Used by the file layer: 0 to go ahead, or the OS error that this call must fail with.
inline long Check(Operation op) {
  if (!internal::g_armed.load(std::memory_order_relaxed)) return 0;
  return internal::CheckArmed(op);
}

}  // namespace platform::fault
