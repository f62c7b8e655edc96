#include "platform/win/text.h"

#include <windows.h>

#include <climits>

namespace platform {

std::wstring WideFromAnsi(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int wide_length = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<size_t>(wide_length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), wide_length);
  return wide;
}

std::string AnsiFromWide(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX) return std::string();
  const int length = static_cast<int>(text.size());
  const int ansi_length =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<size_t>(ansi_length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi.data(), ansi_length, nullptr, nullptr);
  return ansi;
}

}  // namespace platform
