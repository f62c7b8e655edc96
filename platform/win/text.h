// Conversions between the program's narrow strings (the ANSI code page) and the UTF-16 text of
// the window system.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// `text` in the ANSI code page, as UTF-16. Bytes that are no character of the code page become
// the platform's default character.
std::wstring WideFromAnsi(std::string_view text);

// `text` as the ANSI code page; characters that it cannot hold become '?'.
std::string AnsiFromWide(std::wstring_view text);

}  // namespace platform
