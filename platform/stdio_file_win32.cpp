#include <windows.h>

#include <cstring>
#include <string>

#include "platform/code_page.h"
#include "platform/stdio_file_os.h"

namespace platform {
namespace os {
namespace {

HANDLE Win(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

// Paths are narrow strings in the ANSI code page, or UTF-8 where the program has chosen it; the
// wide calls take any name and any length.
std::wstring Widen(const CString& path) {
  if (path.IsEmpty()) return std::wstring();
  const UINT code_page = UsesUtf8Strings() ? CP_UTF8 : CP_ACP;
  const int length = MultiByteToWideChar(code_page, 0, path.GetString(),
                                         static_cast<int>(path.GetLength()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, path.GetString(), static_cast<int>(path.GetLength()),
                      wide.data(), length);
  return wide;
}

// A path of MAX_PATH characters or more only opens with the "\\?\" prefix, which in turn
// wants a full path with backslashes only.
std::wstring SystemPath(const CString& path) {
  std::wstring wide = Widen(path);
  if (wide.size() < MAX_PATH - 12 || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return wide;
  std::wstring full(needed, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return wide;
  full.resize(written);
  for (wchar_t& ch : full) {
    if (ch == L'/') ch = L'\\';
  }
  if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

OpenResult Failure(CFileException::Cause cause, long error) {
  OpenResult result;
  result.cause = cause;
  result.error = error;
  return result;
}

}  // namespace

OpenResult Open(const CString& path, OpenMode mode) {
  const std::wstring system_path = SystemPath(path);
  DWORD access = GENERIC_WRITE;
  DWORD disposition = CREATE_ALWAYS;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  switch (mode) {
    case OpenMode::kRead:
      access = GENERIC_READ;
      disposition = OPEN_EXISTING;
      flags |= FILE_FLAG_SEQUENTIAL_SCAN;
      break;
    case OpenMode::kWriteExisting:
      disposition = OPEN_EXISTING;
      break;
    case OpenMode::kCreate:
      break;
    case OpenMode::kCreateNew:
      disposition = CREATE_NEW;
      break;
  }
  const bool writing = mode != OpenMode::kRead;
  // Share mode 0: no one else may open the file while it is open here.
  const HANDLE handle =
      CreateFileW(system_path.c_str(), access, 0, nullptr, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // Opening a folder as a file is refused as access denied.
    if ((error == ERROR_ACCESS_DENIED || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_FILE_EXISTS) &&
        IsFolder(system_path)) {
      return Failure(CFileException::isDirectory, static_cast<long>(error));
    }
    return Failure(CFileException::OsErrorToCause(static_cast<long>(error), writing),
                   static_cast<long>(error));
  }
  OpenResult result;
  result.handle = reinterpret_cast<Handle>(handle);
  return result;
}

long Read(Handle handle, char* buffer, size_t size, size_t* got) {
  const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
  DWORD count = 0;
  *got = 0;
  if (!ReadFile(Win(handle), buffer, chunk, &count, nullptr)) {
    const DWORD error = GetLastError();
    return error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE ? 0 : static_cast<long>(error);
  }
  *got = count;
  return 0;
}

long WriteAll(Handle handle, const char* data, size_t size) {
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD count = 0;
    if (!WriteFile(Win(handle), data, chunk, &count, nullptr)) {
      return static_cast<long>(GetLastError());
    }
    if (count == 0) return ERROR_DISK_FULL;
    data += count;
    size -= count;
  }
  return 0;
}

void StartWriteback(Handle) {}

void Reserve(Handle, uint64_t, uint64_t) {}

long SeekTo(Handle handle, uint64_t offset) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(Win(handle), distance, nullptr, FILE_BEGIN)
             ? 0
             : static_cast<long>(GetLastError());
}

long Sync(Handle handle) {
  if (FlushFileBuffers(Win(handle))) return 0;
  const DWORD error = GetLastError();
  // Consoles and pipes have nothing to put on a disk.
  return error == ERROR_INVALID_HANDLE || error == ERROR_INVALID_FUNCTION
             ? 0
             : static_cast<long>(error);
}

long Close(Handle handle) {
  return CloseHandle(Win(handle)) ? 0 : static_cast<long>(GetLastError());
}

uint64_t Size(Handle handle) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(handle), &size) || size.QuadPart < 0) return 0;
  return static_cast<uint64_t>(size.QuadPart);
}

bool Identity(Handle handle, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(Win(handle), &info)) return false;
  identity->device = info.dwVolumeSerialNumber;
  identity->index_high = info.nFileIndexHigh;
  identity->index_low = info.nFileIndexLow;
  return true;
}

bool IsAlreadyExists(long error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

bool IsNameTooLong(long error) {
  return error == ERROR_FILENAME_EXCED_RANGE || error == ERROR_INVALID_NAME;
}

CString FolderPrefix(const CString& path) {
  // A trail byte of a double-byte character may be 0x5C: look for separators by characters.
  const CodePage& page = CodePage::System();
  size_t prefix = 0;
  size_t pos = 0;
  while (pos < path.GetLength()) {
    const char ch = path[pos];
    const size_t length = page.CharLength(path.GetString() + pos, path.GetLength() - pos);
    pos += length;
    if (length == 1 && (ch == '\\' || ch == '/' || ch == ':')) prefix = pos;
  }
  return path.Left(prefix);
}

CString ReplacementTarget(const CString& path) { return path; }

NativePath MakeNativePath(const CString& path) { return SystemPath(path); }

OpenResult HoldTarget(const NativePath& target, Handle* hold) {
  *hold = kNoHandle;
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return OpenResult();  // the rename will tell
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Failure(CFileException::isDirectory, ERROR_ACCESS_DENIED);
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return Failure(CFileException::accessDenied, ERROR_ACCESS_DENIED);
  }
  // Any program that holds the file without sharing it makes this open fail.
  const HANDLE handle = CreateFileW(target.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) {
      return Failure(CFileException::sharingViolation, static_cast<long>(error));
    }
    return OpenResult();
  }
  CloseHandle(handle);
  return OpenResult();
}

void Release(Handle hold) {
  if (hold != kNoHandle) CloseHandle(Win(hold));
}

bool IsNotFound(long error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

long Rename(const NativePath& from, const NativePath& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? 0
             : static_cast<long>(GetLastError());
}

void KeepPermissions(const NativePath&, const NativePath&) {}

long Link(const NativePath& existing, const NativePath& link) {
  return CreateHardLinkW(link.c_str(), existing.c_str(), nullptr)
             ? 0
             : static_cast<long>(GetLastError());
}

void SyncFolderOf(const CString&) {}

void Remove(const NativePath& path) { DeleteFileW(path.c_str()); }

uint64_t UniqueSeed() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<uint64_t>(counter.QuadPart) ^
         (static_cast<uint64_t>(GetCurrentProcessId()) << 32);
}

}  // namespace os

bool GetFileIdentity(const CString& path, FileIdentity* identity) {
  // Attributes only, and every share flag: this works on a file that this program holds open.
  const HANDLE handle = CreateFileW(os::SystemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const bool known = os::Identity(reinterpret_cast<os::Handle>(handle), identity);
  CloseHandle(handle);
  return known;
}

FileKind GetFileKind(const CString& path) {
  const std::wstring system_path = os::SystemPath(path);
  const DWORD attributes = GetFileAttributesW(system_path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return FileKind::kFolder;
  }
  // No access asked for: the type of a device or a pipe is told without reading from it.
  const HANDLE handle =
      CreateFileW(system_path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return attributes != INVALID_FILE_ATTRIBUTES ? FileKind::kRegular : FileKind::kMissing;
  }
  const DWORD type = GetFileType(handle);
  CloseHandle(handle);
  switch (type) {
    case FILE_TYPE_CHAR:
      return FileKind::kDevice;
    case FILE_TYPE_PIPE:
      return FileKind::kPipe;
    default:
      return FileKind::kRegular;
  }
}

}  // namespace platform
