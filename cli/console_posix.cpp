#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/console.h"
#include "cli/locale_text.h"

namespace cli {
namespace {

// The locale's character set, and the converter from UTF-8 into it (none when texts are
// written as they are).
class LocaleEncoding {
 public:
  LocaleEncoding() {
    const char* codeset = nl_langinfo(CODESET);
    if (!NeedsConversion(codeset)) return;
    converter_ = iconv_open(codeset, "UTF-8");
  }
  ~LocaleEncoding() {
    if (converter_ != kNone) iconv_close(converter_);
  }
  LocaleEncoding(const LocaleEncoding&) = delete;
  LocaleEncoding& operator=(const LocaleEncoding&) = delete;

  std::string Convert(std::string_view text) {
    if (converter_ == kNone) return std::string(text);
    return ConvertUtf8Runs(text, [this](std::string_view character, std::string& out) {
      char* in = const_cast<char*>(character.data());
      size_t in_left = character.size();
      char buffer[16];
      char* next = buffer;
      size_t out_left = sizeof buffer;
      iconv(converter_, nullptr, nullptr, nullptr, nullptr);
      if (iconv(converter_, &in, &in_left, &next, &out_left) == static_cast<size_t>(-1)) {
        return false;
      }
      out.append(buffer, static_cast<size_t>(next - buffer));
      return true;
    });
  }

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
  iconv_t converter_ = kNone;
};

bool g_failed = false;

void Write(FILE* stream, std::string_view text) {
  static LocaleEncoding encoding;
  const std::string converted = encoding.Convert(text);
  if (std::fwrite(converted.data(), 1, converted.size(), stream) != converted.size()) {
    g_failed = true;
  }
}

class StdioConsole : public Console {
 public:
  StdioConsole() : err_is_terminal_(isatty(STDERR_FILENO) == 1) {}
  void Out(std::string_view text) override { Write(stdout, text); }
  void Err(std::string_view text) override {
    if (std::fflush(stdout) != 0) g_failed = true;
    Write(stderr, text);
  }
  bool ErrIsTerminal() const override { return err_is_terminal_; }

 private:
  bool err_is_terminal_;
};

}  // namespace

Console& StandardConsole() {
  // A closed pipe is then a failed write, reported with its exit status, and not a silent end.
  static const bool ignored = [] {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)ignored;
  static StdioConsole console;
  return console;
}

bool StandardConsoleFailed() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) g_failed = true;
  if (std::fflush(stderr) != 0 || std::ferror(stderr)) g_failed = true;
  return g_failed;
}

Language UserLanguage() {
  const char* all = std::setlocale(LC_ALL, "");
  if (all != nullptr) {
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    return LanguageOfLocaleName(messages != nullptr ? messages : "");
  }
  // A locale that is not installed still says what the user reads.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return LanguageOfLocaleName(value);
  }
  return Language::kEnglish;
}

LiteralConverter PlatformLiteralConverter() { return nullptr; }

// A terminal stays open after the program ends.
void HoldOwnConsole(Language, bool) {}

}  // namespace cli
