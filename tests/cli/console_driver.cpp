// Starts kml2mif.exe as Explorer does when files are dropped on it, in a console window of its
// own, and checks that it then waits for a key with "Press any key to close…" on the screen,
// and that it does not wait when started with -q, with its output redirected, or in a console
// it shares. Prints one line per case and exits 0 when all passed.
// Usage: kml2mif_console_driver.exe KML2MIF_EXE FOLDER (FOLDER holds a.kml; English system)
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

void Check(bool passed, const char* what) {
  std::printf("%s: %s\n", passed ? "ok" : "FAIL", what);
  if (!passed) ++g_failures;
}

struct Child {
  HANDLE process = nullptr;
  DWORD id = 0;
};

// Starts `command` in `folder`; with `new_console`, in a console of its own; with `output`, its
// standard output and error go to that file.
Child Start(std::wstring command, const std::wstring& folder, bool new_console,
            const std::wstring& output = L"") {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  HANDLE file = INVALID_HANDLE_VALUE;
  if (!output.empty()) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    file = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = file;
    startup.hStdError = file;
  }
  PROCESS_INFORMATION info = {};
  Child child;
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, !output.empty(),
                     new_console ? CREATE_NEW_CONSOLE : 0, nullptr, folder.c_str(), &startup,
                     &info)) {
    CloseHandle(info.hThread);
    child.process = info.hProcess;
    child.id = info.dwProcessId;
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return child;
}

bool Exited(const Child& child, DWORD milliseconds, DWORD* code) {
  if (WaitForSingleObject(child.process, milliseconds) != WAIT_OBJECT_0) return false;
  GetExitCodeProcess(child.process, code);
  return true;
}

// The text on the screen of the console of process `id` (the caller shares it meanwhile).
std::wstring ScreenOf(DWORD id) {
  FreeConsole();
  if (!AttachConsole(id)) return L"";
  std::wstring text;
  const HANDLE screen =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (screen != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(screen, &info)) {
    const DWORD cells = static_cast<DWORD>(info.dwSize.X) * (info.dwCursorPosition.Y + 1);
    text.resize(cells);
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, text.data(), cells, COORD{0, 0}, &read);
    text.resize(read);
  }
  if (screen != INVALID_HANDLE_VALUE) CloseHandle(screen);
  return text;
}

// Presses and releases a key in the console the caller is attached to.
void PressKey(WORD key, wchar_t character) {
  const HANDLE input =
      CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  INPUT_RECORD records[2] = {};
  for (int i = 0; i < 2; ++i) {
    records[i].EventType = KEY_EVENT;
    records[i].Event.KeyEvent.bKeyDown = i == 0;
    records[i].Event.KeyEvent.wRepeatCount = 1;
    records[i].Event.KeyEvent.wVirtualKeyCode = key;
    records[i].Event.KeyEvent.uChar.UnicodeChar = character;
  }
  DWORD written = 0;
  WriteConsoleInputW(input, records, 2, &written);
  CloseHandle(input);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kml2mif_console_driver KML2MIF_EXE FOLDER\n");
    return 2;
  }
  const std::wstring program = L"\"" + std::wstring(argv[1]) + L"\"";
  const std::wstring folder = argv[2];
  DWORD code = 1;

  // Files dropped on the program: it converts them, then waits with the prompt on its screen.
  Child dropped = Start(program + L" a.kml", folder, true);
  Check(dropped.process != nullptr, "started in a console of its own");
  bool converted = false;
  for (int i = 0; i < 300 && !converted; ++i) {
    converted = GetFileAttributesW((folder + L"\\a.mif").c_str()) != INVALID_FILE_ATTRIBUTES;
    Sleep(100);
  }
  Check(converted, "converted the dropped file");
  Check(!Exited(dropped, 3000, &code), "waits for a key after the report");
  const std::wstring screen = ScreenOf(dropped.id);
  Check(screen.find(L"Converted \"a.kml\"") != std::wstring::npos, "the report is on the screen");
  Check(screen.find(L"Press any key to close\u2026") != std::wstring::npos,
        "the prompt is on the screen");
  // A key that only modifies does not count; a letter does.
  PressKey(VK_SHIFT, 0);
  Check(!Exited(dropped, 1000, &code), "Shift alone does not close the window");
  PressKey('A', L'a');
  Check(Exited(dropped, 10000, &code) && code == 0, "a key ends it with status 0");
  FreeConsole();

  // Where it must not wait.
  const struct {
    const wchar_t* what;
    std::wstring arguments;
    bool new_console;
    const wchar_t* output;
  } rows[] = {
      {L"-q", L" -q a.kml", true, L""},
      {L"output redirected", L" a.kml", true, L"report.txt"},
      {L"a console it shares", L" a.kml", false, L""},
  };
  AllocConsole();  // the console that the last row shares
  for (const auto& row : rows) {
    const std::wstring output = *row.output ? folder + L"\\" + row.output : L"";
    Child child = Start(program + row.arguments, folder, row.new_console, output);
    const bool exited = Exited(child, 30000, &code);
    std::string what = "does not wait: ";
    for (const wchar_t* c = row.what; *c; ++c) what += static_cast<char>(*c);
    Check(exited && code == 0, what.c_str());
    if (!exited) TerminateProcess(child.process, 1);
  }
  std::printf("%d failed\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}
