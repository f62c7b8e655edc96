#include "cli/console.h"

namespace cli {

bool WaitsForKey(const ConsoleState& state) {
  return state.own_console && !state.input_redirected && !state.output_redirected && !state.quiet;
}

std::string_view PressAnyKeyText(Language language) {
  return Pick(language, "Press any key to close…", "按任意键关闭…");
}

}  // namespace cli
