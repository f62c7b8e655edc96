#include <cerrno>

#include "platform/fault_injection.h"
#include "platform/file_exception.h"

namespace platform {

CFileException::Cause CFileException::OsErrorToCause(long os_error, bool writing) {
  switch (os_error) {
    case 0:
      return genericException;
    case ENOENT:
      return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
      return badPath;
    case EMFILE:
    case ENFILE:
      return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
      return accessDenied;
    case EBADF:
      return invalidFile;
    case ESPIPE:
      return badSeek;
    case EIO:
      return hardIO;
    case EWOULDBLOCK:
    case ETXTBSY:
    case EBUSY:
      return sharingViolation;
    case ENOSPC:
    case EDQUOT:
      return diskFull;
    case EISDIR:
      return isDirectory;
    case ENOMEM:
      return outOfMemory;
    default:
      return writing ? writeError : readError;
  }
}

long fault::TypicalOsError(CFileException::Cause cause) {
  switch (cause) {
    case CFileException::fileNotFound:
      return ENOENT;
    case CFileException::badPath:
      return ENOTDIR;
    case CFileException::tooManyOpenFiles:
      return EMFILE;
    case CFileException::accessDenied:
      return EACCES;
    case CFileException::invalidFile:
      return EBADF;
    case CFileException::badSeek:
      return ESPIPE;
    case CFileException::hardIO:
      return EIO;
    case CFileException::sharingViolation:
      return EWOULDBLOCK;
    case CFileException::diskFull:
      return ENOSPC;
    case CFileException::isDirectory:
      return EISDIR;
    case CFileException::outOfMemory:
      return ENOMEM;
    default:
      return EPROTO;
  }
}

}  // namespace platform
