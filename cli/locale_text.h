// What the console needs to know of locales, apart from the system calls: the language a locale
// name stands for, whether a character set needs text converted, and the conversion of text
// whose paths may not be UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "cli/language.h"

namespace cli {

// Chinese for a locale name starting "zh" (zh_CN.UTF-8, zh_TW.Big5, zh), English otherwise.
Language LanguageOfLocaleName(std::string_view name);

// Whether text in UTF-8 must be converted for the character set `codeset` (as nl_langinfo names
// it): false for UTF-8 and for ASCII, where bytes are best written as they are.
bool NeedsConversion(std::string_view codeset);

// Passes each well-formed UTF-8 character of `text` to `convert(character, out)`, which appends
// it converted to `out` or gives false (the character is then written as '?'); other bytes
// (a path in the locale's own encoding, say) are copied as they are.
template <typename Convert>
std::string ConvertUtf8Runs(std::string_view text, Convert convert);

// The length of the well-formed UTF-8 character at text[0], or 0 when it is not one.
size_t Utf8CharLength(std::string_view text);

template <typename Convert>
std::string ConvertUtf8Runs(std::string_view text, Convert convert) {
  std::string out;
  out.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const unsigned char byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80) {
      out += text[at++];
      continue;
    }
    const size_t length = Utf8CharLength(text.substr(at));
    if (length == 0) {
      out += text[at++];
      continue;
    }
    if (!convert(text.substr(at, length), out)) out += '?';
    at += length;
  }
  return out;
}

}  // namespace cli
