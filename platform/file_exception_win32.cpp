#include <windows.h>

#include "platform/fault_injection.h"
#include "platform/file_exception.h"

namespace platform {

CFileException::Cause CFileException::OsErrorToCause(long os_error, bool writing) {
  switch (os_error) {
    case 0:
      return genericException;
    case ERROR_FILE_NOT_FOUND:
      return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
      return badPath;
    case ERROR_TOO_MANY_OPEN_FILES:
      return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_NETWORK_ACCESS_DENIED:
      return accessDenied;
    case ERROR_INVALID_HANDLE:
      return invalidFile;
    case ERROR_CURRENT_DIRECTORY:
      return removeCurrentDir;
    case ERROR_CANNOT_MAKE:
      return directoryFull;
    case ERROR_SEEK:
    case ERROR_NEGATIVE_SEEK:
      return badSeek;
    case ERROR_CRC:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_NOT_READY:
      return hardIO;
    case ERROR_SHARING_VIOLATION:
      return sharingViolation;
    case ERROR_LOCK_VIOLATION:
      return lockViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return diskFull;
    case ERROR_HANDLE_EOF:
      return endOfFile;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return outOfMemory;
    default:
      return writing ? writeError : readError;
  }
}

long fault::TypicalOsError(CFileException::Cause cause) {
  switch (cause) {
    case CFileException::fileNotFound:
      return ERROR_FILE_NOT_FOUND;
    case CFileException::badPath:
      return ERROR_PATH_NOT_FOUND;
    case CFileException::tooManyOpenFiles:
      return ERROR_TOO_MANY_OPEN_FILES;
    case CFileException::accessDenied:
      return ERROR_ACCESS_DENIED;
    case CFileException::invalidFile:
      return ERROR_INVALID_HANDLE;
    case CFileException::badSeek:
      return ERROR_SEEK;
    case CFileException::hardIO:
      return ERROR_IO_DEVICE;
    case CFileException::sharingViolation:
      return ERROR_SHARING_VIOLATION;
    case CFileException::lockViolation:
      return ERROR_LOCK_VIOLATION;
    case CFileException::diskFull:
      return ERROR_DISK_FULL;
    case CFileException::outOfMemory:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_NOT_SUPPORTED;
  }
}

}  // namespace platform
