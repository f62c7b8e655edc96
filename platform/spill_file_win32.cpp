#include <windows.h>

#include <string>

#include "platform/spill_file_os.h"

namespace platform::os {

long CreateSpillFile(Handle* handle) {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return static_cast<long>(GetLastError());
  uint64_t seed = UniqueSeed();
  for (int attempt = 0; attempt < 100; ++attempt, seed = seed * 6364136223846793005u + 1) {
    const std::wstring path =
        std::wstring(folder) + L"kml2mif-spill-" + std::to_wstring(seed % 1000000007u) + L".tmp";
    // Share mode 0 and delete-on-close: no other program can open it, and the system removes it
    // when the handle is closed, also when the process dies.
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      *handle = reinterpret_cast<Handle>(file);
      return 0;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      return static_cast<long>(error);
  }
  return ERROR_FILE_EXISTS;
}

}  // namespace platform::os
