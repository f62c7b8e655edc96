#include <windows.h>

#include <cstdio>
#include <string>

#include "cli/console.h"

// Windows hands a program its command line unexpanded: the runtime expands wildcards such as
// *.kml into the matching file names, as a shell would elsewhere.
extern "C" {
int _dowildcard = -1;  // NOLINT: the MinGW runtime's own switch
}

namespace cli {
namespace {

// A console window shows UTF-16; its own code page need not be the ANSI code page that the
// program's texts and paths are in, so text for it is converted rather than written as bytes.
void WriteText(FILE* stream, DWORD handle_id, std::string_view text) {
  std::fflush(stream);
  HANDLE handle = GetStdHandle(handle_id);
  DWORD mode = 0;
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
    const int length = static_cast<int>(text.size());
    const int wide_length = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(wide_length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), wide_length);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

class Win32Console : public Console {
 public:
  void Out(std::string_view text) override { WriteText(stdout, STD_OUTPUT_HANDLE, text); }
  void Err(std::string_view text) override { WriteText(stderr, STD_ERROR_HANDLE, text); }
};

}  // namespace

Console& StandardConsole() {
  static Win32Console console;
  return console;
}

}  // namespace cli
