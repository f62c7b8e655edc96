#include "cli/locale_text.h"

#include "platform/code_page.h"
#include "platform/cstring.h"

namespace cli {
namespace {}  // namespace

Language LanguageOfLocaleName(std::string_view name) {
  return name.size() >= 2 && platform::EqualsIgnoringAsciiCase(name.substr(0, 2), "zh")
             ? Language::kChinese
             : Language::kEnglish;
}

bool NeedsConversion(std::string_view codeset) {
  for (std::string_view as_is : {"", "UTF-8", "UTF8", "ANSI_X3.4-1968", "ASCII", "US-ASCII"}) {
    if (platform::EqualsIgnoringAsciiCase(codeset, as_is)) return false;
  }
  return true;
}

size_t Utf8CharLength(std::string_view text) {
  if (text.empty()) return 0;
  static const platform::CodePage kUtf8 = platform::CodePage::Utf8();
  const size_t length = kUtf8.CharLength(text.data(), text.size());
  if (length == 1 && static_cast<unsigned char>(text[0]) >= 0x80) return 0;
  return length;
}

}  // namespace cli
