#include <windows.h>

#include <cstdio>
#include <string>

#include "cli/console.h"

namespace cli {
namespace {

bool g_failed = false;

std::wstring Widen(UINT code_page, std::string_view text) {
  if (text.empty()) return std::wstring();
  const int length =
      MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                      length);
  return wide;
}

std::string Narrow(UINT code_page, const std::wstring& text) {
  if (text.empty()) return std::string();
  const int length = WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                      length, nullptr, nullptr);
  return narrow;
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// Texts are UTF-8. A console window shows UTF-16 whatever its code page; redirected output
// gets the code page a console would use (or the ANSI code page), as programs reading it expect.
void WriteText(FILE* stream, DWORD handle_id, std::string_view text) {
  std::fflush(stream);
  const HANDLE handle = GetStdHandle(handle_id);
  const std::wstring wide = Widen(CP_UTF8, text);
  if (IsConsole(handle)) {
    DWORD written = 0;
    if (!WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) {
      g_failed = true;
    }
    return;
  }
  const UINT console_code_page = GetConsoleOutputCP();
  const std::string bytes = Narrow(console_code_page != 0 ? console_code_page : GetACP(), wide);
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size() ||
      std::fflush(stream) != 0) {
    g_failed = true;
  }
}

class Win32Console : public Console {
 public:
  Win32Console() : err_is_terminal_(IsConsole(GetStdHandle(STD_ERROR_HANDLE))) {}
  void Out(std::string_view text) override { WriteText(stdout, STD_OUTPUT_HANDLE, text); }
  void Err(std::string_view text) override { WriteText(stderr, STD_ERROR_HANDLE, text); }
  bool ErrIsTerminal() const override { return err_is_terminal_; }

 private:
  bool err_is_terminal_;
};

// Shift, Ctrl, Alt and the lock keys alone do not close the window: Alt+Tab away from it
// should not.
bool IsModifierKey(WORD key) {
  switch (key) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
      return true;
    default:
      return false;
  }
}

// The platform layer's narrow literals are compiled in code page 936.
std::string LiteralToUtf8(std::string_view text) { return Narrow(CP_UTF8, Widen(936, text)); }

}  // namespace

Console& StandardConsole() {
  static Win32Console console;
  return console;
}

bool StandardConsoleFailed() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) g_failed = true;
  if (std::fflush(stderr) != 0 || std::ferror(stderr)) g_failed = true;
  return g_failed;
}

Language UserLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE || GetACP() == 936
             ? Language::kChinese
             : Language::kEnglish;
}

LiteralConverter PlatformLiteralConverter() { return &LiteralToUtf8; }

void HoldOwnConsole(Language language, bool quiet) {
  DWORD processes[2];
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  ConsoleState state;
  // A console that Explorer made for the program lists no other process (a command prompt
  // lists itself); no console at all gives 0.
  state.own_console = GetConsoleProcessList(processes, 2) == 1;
  state.input_redirected = !IsConsole(input);
  state.output_redirected =
      !IsConsole(GetStdHandle(STD_OUTPUT_HANDLE)) || !IsConsole(GetStdHandle(STD_ERROR_HANDLE));
  state.quiet = quiet;
  if (!WaitsForKey(state)) return;
  StandardConsole().Out(std::string(PressAnyKeyText(language)));
  // Keys pressed while the files converted do not count: the user has not read the report yet.
  FlushConsoleInputBuffer(input);
  for (;;) {
    INPUT_RECORD record;
    DWORD read = 0;
    if (!ReadConsoleInputW(input, &record, 1, &read)) return;
    if (read == 1 && record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
        !IsModifierKey(record.Event.KeyEvent.wVirtualKeyCode)) {
      break;
    }
  }
  StandardConsole().Out("\n");
}

}  // namespace cli
