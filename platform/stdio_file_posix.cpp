#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/stdio_file_os.h"

namespace platform {
namespace os {
namespace {

int Fd(Handle handle) { return static_cast<int>(handle); }

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.empty() ? "." : path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// ENOENT means a missing file when its folder exists, a missing folder otherwise.
CFileException::Cause OpenFailureCause(const std::string& path, int error, bool writing) {
  if (error == ENOENT) {
    const bool folder_exists = IsFolder(FolderOf(path));
    return folder_exists && !writing ? CFileException::fileNotFound : CFileException::badPath;
  }
  return CFileException::OsErrorToCause(error, writing);
}

OpenResult Failure(CFileException::Cause cause, long error) {
  OpenResult result;
  result.cause = cause;
  result.error = error;
  return result;
}

// Takes the lock that every instance of this program respects. File systems without locks
// are used without one.
int LockExclusive(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return EWOULDBLOCK;
    return 0;
  }
  return 0;
}

}  // namespace

OpenResult Open(const CString& path, OpenMode mode) {
  int flags = O_CLOEXEC | O_NONBLOCK;
  switch (mode) {
    case OpenMode::kRead:
      flags |= O_RDONLY;
      break;
    case OpenMode::kWriteExisting:
      flags |= O_WRONLY;
      break;
    case OpenMode::kCreate:
      // Not O_TRUNC: the file is emptied only once the lock shows that no one else holds it.
      flags |= O_WRONLY | O_CREAT;
      break;
    case OpenMode::kCreateNew:
      flags |= O_WRONLY | O_CREAT | O_EXCL;
      break;
  }
  const bool writing = mode != OpenMode::kRead;
  int fd;
  do {
    fd = ::open(path.GetString(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const int error = errno;
    return Failure(OpenFailureCause(path.str(), error, writing), error);
  }
  // O_NONBLOCK only keeps the open itself from waiting on a FIFO.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return Failure(CFileException::OsErrorToCause(error, writing), error);
  }
  if (S_ISDIR(info.st_mode)) {
    ::close(fd);
    return Failure(CFileException::isDirectory, EISDIR);
  }
  if (const int error = LockExclusive(fd)) {
    ::close(fd);
    return Failure(CFileException::sharingViolation, error);
  }
  if (mode == OpenMode::kCreate && S_ISREG(info.st_mode) && info.st_size != 0 &&
      ::ftruncate(fd, 0) != 0) {
    const int error = errno;
    ::close(fd);
    return Failure(CFileException::OsErrorToCause(error, true), error);
  }
  if (mode == OpenMode::kRead) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  OpenResult result;
  result.handle = fd;
  return result;
}

long Read(Handle handle, char* buffer, size_t size, size_t* got) {
  for (;;) {
    const ssize_t count = ::read(Fd(handle), buffer, size);
    if (count >= 0) {
      *got = static_cast<size_t>(count);
      return 0;
    }
    if (errno != EINTR) {
      *got = 0;
      return errno;
    }
  }
}

long WriteAll(Handle handle, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t count = ::write(Fd(handle), data, size);
    if (count < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (count == 0) return ENOSPC;
    data += count;
    size -= static_cast<size_t>(count);
  }
  return 0;
}

void StartWriteback(Handle handle) {
#if defined(__linux__)
  // Only a hint: its failure changes nothing.
  ::sync_file_range(Fd(handle), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
  (void)handle;
#endif
}

void Reserve(Handle handle, uint64_t offset, uint64_t size) {
#if defined(__linux__)
  constexpr uint64_t kMax = static_cast<uint64_t>(INT64_MAX);
  if (offset > kMax || size > kMax - offset) return;
  // Blocks allocated now spare each write the delayed allocation of its blocks.
  ::fallocate(Fd(handle), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset),
              static_cast<off_t>(size));
#else
  (void)handle;
  (void)offset;
  (void)size;
#endif
}

long SeekTo(Handle handle, uint64_t offset) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return EINVAL;
  return ::lseek(Fd(handle), static_cast<off_t>(offset), SEEK_SET) < 0 ? errno : 0;
}

long Sync(Handle handle) {
  if (::fsync(Fd(handle)) == 0) return 0;
  // Pipes and character devices cannot be synchronised; there is nothing to put on a disk.
  return errno == EINVAL || errno == EROFS ? 0 : errno;
}

long Close(Handle handle) {
  // After close() fails the descriptor is gone all the same: never retry.
  return ::close(Fd(handle)) == 0 || errno == EINTR ? 0 : errno;
}

uint64_t Size(Handle handle) {
  struct stat status {};
  if (fstat(static_cast<int>(handle), &status) != 0 || status.st_size < 0) return 0;
  return static_cast<uint64_t>(status.st_size);
}

bool Identity(Handle handle, FileIdentity* identity) {
  struct stat info;
  if (::fstat(Fd(handle), &info) != 0) return false;
  identity->device = static_cast<uint64_t>(info.st_dev);
  identity->index_high = 0;
  identity->index_low = static_cast<uint64_t>(info.st_ino);
  return true;
}

bool IsAlreadyExists(long error) { return error == EEXIST; }

bool IsNameTooLong(long error) { return error == ENAMETOOLONG; }

CString FolderPrefix(const CString& path) {
  const size_t slash = path.str().rfind('/');
  return slash == std::string::npos ? CString() : path.Left(slash + 1);
}

CString ReplacementTarget(const CString& path) {
  struct stat info;
  if (::lstat(path.GetString(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  // Replace the file that the link names, and keep the link.
  char* resolved = ::realpath(path.GetString(), nullptr);
  if (resolved == nullptr) return path;
  CString target(resolved);
  std::free(resolved);
  return target;
}

NativePath MakeNativePath(const CString& path) { return path; }

OpenResult HoldTarget(const NativePath& target, Handle* hold) {
  *hold = kNoHandle;
  const int fd = ::open(target.GetString(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) return OpenResult();  // nothing to replace yet
    if (error == EISDIR) return Failure(CFileException::isDirectory, error);
    if (error == EACCES && ::access(target.GetString(), W_OK) != 0) {
      return Failure(CFileException::accessDenied, error);
    }
    return OpenResult();  // cannot look at it: the rename will tell
  }
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    return Failure(CFileException::isDirectory, EISDIR);
  }
  // A file that may not be written is not replaced either, as on Windows.
  if (::access(target.GetString(), W_OK) != 0 && errno != ENOENT) {
    const int error = errno;
    ::close(fd);
    return Failure(CFileException::OsErrorToCause(error, true), error);
  }
  if (const int error = LockExclusive(fd)) {
    ::close(fd);
    return Failure(CFileException::sharingViolation, error);
  }
  *hold = fd;
  return OpenResult();
}

void Release(Handle hold) {
  if (hold != kNoHandle) ::close(Fd(hold));
}

bool IsNotFound(long error) { return error == ENOENT; }

long Rename(const NativePath& from, const NativePath& to) {
  return ::rename(from.GetString(), to.GetString()) == 0 ? 0 : errno;
}

void KeepPermissions(const NativePath& target, const NativePath& replacement) {
  // A replaced output keeps who may read and write it, as an edit in place would.
  struct stat info;
  if (::stat(target.GetString(), &info) == 0) {
    ::chmod(replacement.GetString(), info.st_mode & 07777);
  }
}

long Link(const NativePath& existing, const NativePath& link) {
  return ::link(existing.GetString(), link.GetString()) == 0 ? 0 : errno;
}

void SyncFolderOf(const CString& path) {
  // The rename is only durable once the folder that holds the new name is on the disk.
  const int fd = ::open(FolderOf(path.str()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

void Remove(const NativePath& path) { ::unlink(path.GetString()); }

uint64_t UniqueSeed() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return static_cast<uint64_t>(now) ^ (static_cast<uint64_t>(::getpid()) << 32);
}

}  // namespace os

bool GetFileIdentity(const CString& path, FileIdentity* identity) {
  struct stat info;
  if (::stat(path.GetString(), &info) != 0) return false;
  identity->device = static_cast<uint64_t>(info.st_dev);
  identity->index_high = 0;
  identity->index_low = static_cast<uint64_t>(info.st_ino);
  return true;
}

FileKind GetFileKind(const CString& path) {
  struct stat info;
  if (::stat(path.GetString(), &info) != 0) return FileKind::kMissing;
  if (S_ISREG(info.st_mode)) return FileKind::kRegular;
  if (S_ISDIR(info.st_mode)) return FileKind::kFolder;
  if (S_ISFIFO(info.st_mode)) return FileKind::kPipe;
  if (S_ISSOCK(info.st_mode)) return FileKind::kSocket;
  return FileKind::kDevice;
}

}  // namespace platform
