// Console: where the command line writes its report and its errors.
//
// Texts are bytes in the system code page (UTF-8 off Windows, the ANSI code page on Windows).
// The standard console shows them as the user's terminal expects them.
#pragma once

#include <string_view>

namespace cli {

class Console {
 public:
  virtual ~Console() = default;
  virtual void Out(std::string_view text) = 0;  // the report: one line per file, help, version
  virtual void Err(std::string_view text) = 0;  // warnings and errors
};

// Standard output and standard error of the process. On Windows, text for a console window is
// converted from the ANSI code page to UTF-16; redirected output gets the bytes as they are.
Console& StandardConsole();

}  // namespace cli
