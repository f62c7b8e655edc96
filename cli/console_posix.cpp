#include <cstdio>

#include "cli/console.h"

namespace cli {
namespace {

class StdioConsole : public Console {
 public:
  void Out(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stdout); }
  void Err(std::string_view text) override {
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
};

}  // namespace

Console& StandardConsole() {
  static StdioConsole console;
  return console;
}

}  // namespace cli
