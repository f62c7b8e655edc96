// The system calls under CStdioFile and CReplaceFile, one implementation per platform
// (stdio_file_posix.cpp, stdio_file_win32.cpp). Internal to the platform layer.
//
// Functions give 0 or the platform's error (errno or GetLastError()); they never throw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/cstring.h"
#include "platform/file_exception.h"
#include "platform/stdio_file.h"

namespace platform::os {

using Handle = intptr_t;
inline constexpr Handle kNoHandle = -1;

enum class OpenMode {
  kRead,           // an existing file, for reading
  kWriteExisting,  // an existing file, for writing, content kept
  kCreate,         // created or emptied, for writing
  kCreateNew,      // created, failing if the name exists, for writing
};

struct OpenResult {
  Handle handle = kNoHandle;
  CFileException::Cause cause = CFileException::none;  // none on success
  long error = 0;
};

// Opens `path` for exclusive use. A folder gives isDirectory and creates nothing; a file held
// by another gives sharingViolation and is left untouched (kCreate empties it only once held).
OpenResult Open(const CString& path, OpenMode mode);

long Read(Handle handle, char* buffer, size_t size, size_t* got);  // *got == 0 at the end
long WriteAll(Handle handle, const char* data, size_t size);
// Starts writing the file's dirty pages to the disk now, while the caller goes on, so that a
// Sync later finds little left to wait for (POSIX; Windows writes back on its own). Best effort.
void StartWriteback(Handle handle);
// Sets aside room on the disk for `size` bytes from `offset` on, the file's size unchanged, where
// the system can (it makes the writes that fill it cheaper); best effort, no error.
void Reserve(Handle handle, uint64_t offset, uint64_t size);
long SeekTo(Handle handle, uint64_t offset);
long Sync(Handle handle);
long Close(Handle handle);
bool Identity(Handle handle, FileIdentity* identity);
// The file's size in bytes, or 0 when it cannot be told.
uint64_t Size(Handle handle);

// Whether `error` says the name already exists, or that the name is too long.
bool IsAlreadyExists(long error);
bool IsNameTooLong(long error);

// The folder part of `path` including its last separator ("" for a bare name).
CString FolderPrefix(const CString& path);

// The path that replacing `path` must rename over (a symbolic link's target on POSIX).
CString ReplacementTarget(const CString& path);

// A path in the form the system calls take, made once in advance: the calls below that take
// one allocate nothing, so that undoing a replacement cannot fail for want of memory.
#if defined(_WIN32)
using NativePath = std::wstring;
#else
using NativePath = CString;
#endif
NativePath MakeNativePath(const CString& path);  // throws std::bad_alloc

// Checks that an existing `target` may be replaced now: not a folder, not held by another.
// On success `*hold` keeps the target locked until Release (kNoHandle where nothing is held).
OpenResult HoldTarget(const NativePath& target, Handle* hold);
void Release(Handle hold);

// Whether `error` says that there is no file of that name.
bool IsNotFound(long error);

long Rename(const NativePath& from, const NativePath& to);      // replacing `to`
long Link(const NativePath& existing, const NativePath& link);  // a hard link; `link` is new
// Gives `replacement` the permission bits of an existing `target` (POSIX; Windows keeps what a
// replacement needs itself). Best effort.
void KeepPermissions(const NativePath& target, const NativePath& replacement);
void SyncFolderOf(const CString& path);  // best effort
void Remove(const NativePath& path);     // best effort
uint64_t UniqueSeed();

}  // namespace platform::os
