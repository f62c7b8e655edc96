// The program's entry point: hands over to the class library's entry routine, which runs the
// application object. Linked into each program as an object file, since the C runtime's start-up
// code looks for WinMain only after the program's own libraries have been searched.
#include <windows.h>

#include "platform/win/win_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show) {
  return platform::AfxWinMain(instance, previous, command_line, show);
}
