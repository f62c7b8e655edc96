#include "cli/console.h"

#include <gtest/gtest.h>

namespace cli {
namespace {

// Only a console window of the program's own, which closes with it, is held open.
TEST(WaitsForKeyTest, OnlyInAConsoleOfItsOwnWithNothingRedirectedAndNotQuiet) {
  const struct {
    ConsoleState state;
    bool waits;
  } rows[] = {
      {{.own_console = true}, true},    // files dropped on the program, a double click
      {{.own_console = false}, false},  // started from a command prompt
      {{.own_console = true, .input_redirected = true}, false},
      {{.own_console = true, .output_redirected = true}, false},
      {{.own_console = true, .quiet = true}, false},
      {{.own_console = false, .output_redirected = true, .quiet = true}, false},
  };
  for (const auto& row : rows) {
    const ConsoleState& s = row.state;
    EXPECT_EQ(WaitsForKey(s), row.waits)
        << s.own_console << s.input_redirected << s.output_redirected << s.quiet;
  }
}

}  // namespace
}  // namespace cli
