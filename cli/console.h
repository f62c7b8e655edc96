// Console: where the command line writes its report and its errors, and what it knows of the
// user's terminal.
//
// Texts are UTF-8 around paths as the program holds them (UTF-8 on Windows as well, see
// platform::UseUtf8Strings). The standard console shows them in the terminal's encoding.
#pragma once

#include <string>
#include <string_view>

#include "cli/language.h"

namespace cli {

class Console {
 public:
  virtual ~Console() = default;
  virtual void Out(std::string_view text) = 0;  // the report: one line per file, help, version
  virtual void Err(std::string_view text) = 0;  // warnings, errors and the progress line
  // Whether Err reaches a terminal, where a progress line can be rewritten in place.
  virtual bool ErrIsTerminal() const { return false; }
};

// Standard output and standard error of the process. Off Windows, text is converted to the
// locale's encoding (left as it is for UTF-8 and ASCII locales); on Windows, a console window
// gets UTF-16, redirected output the console's output code page (or the ANSI code page).
// A failed write is remembered: see StandardConsoleFailed.
Console& StandardConsole();

// Flushes the standard streams and tells whether any write to them has failed (a full disk,
// a closed pipe).
bool StandardConsoleFailed();

// The user's language: Chinese under a Chinese locale (or Windows user interface, or ANSI code
// page 936), English otherwise.
Language UserLanguage();

// Turns narrow literals of the platform layer (code page 936 on Windows) into UTF-8; null
// where they are UTF-8 already.
using LiteralConverter = std::string (*)(std::string_view);
LiteralConverter PlatformLiteralConverter();

// What kml2mif knows of its console as it is about to end.
struct ConsoleState {
  bool own_console = false;        // the console was made for this process alone (Explorer)
  bool input_redirected = false;   // standard input is not that console
  bool output_redirected = false;  // standard output or standard error is not that console
  bool quiet = false;              // -q was given
};

// Whether kml2mif waits for a key before it ends: only in a console window of its own, which
// closes with the process and would take the report with it (files dropped on the program, a
// double click), never with -q or when anything is redirected.
bool WaitsForKey(const ConsoleState& state);

// "Press any key to close…" in `language`, without a line end.
std::string_view PressAnyKeyText(Language language);

// When WaitsForKey says so for this process (Windows only), prints PressAnyKeyText and waits
// for a key; otherwise does nothing.
void HoldOwnConsole(Language language, bool quiet);

}  // namespace cli
