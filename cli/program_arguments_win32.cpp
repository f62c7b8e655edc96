#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <string>

#include "cli/program_arguments.h"
#include "platform/code_page.h"

namespace cli {
namespace {

std::string ToUtf8(const wchar_t* text, size_t size) {
  if (size == 0) return std::string();
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(size), utf8.data(), length, nullptr,
                      nullptr);
  return utf8;
}

std::string ToUtf8(const std::wstring& text) { return ToUtf8(text.data(), text.size()); }

// No shell expands wildcards for a Windows program: a file argument with * or ? in its name
// stands for the matching files, sorted; one that matches nothing stays as it is (and its
// error then names it).
void Expand(const std::wstring& argument, std::vector<std::string>& arguments) {
  const size_t name_start = argument.find_last_of(L"\\/:") + 1;  // npos + 1 == 0
  if (argument.find_first_of(L"*?", name_start) == std::wstring::npos) {
    arguments.push_back(ToUtf8(argument));
    return;
  }
  const std::wstring folder = argument.substr(0, name_start);
  std::vector<std::wstring> matches;
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(argument.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") matches.push_back(folder + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  if (matches.empty()) {
    arguments.push_back(ToUtf8(argument));
    return;
  }
  std::sort(matches.begin(), matches.end());
  for (const std::wstring& match : matches) arguments.push_back(ToUtf8(match));
}

}  // namespace

ProgramArguments::ProgramArguments(int argc, char** argv) {
  // The runtime's argv is in the ANSI code page, which cannot hold every file name.
  platform::UseUtf8Strings();
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    arguments_.assign(argv, argv + argc);
  } else {
    bool only_files = false;
    for (int i = 0; i < count; ++i) {
      const std::wstring argument = wide[i];
      const bool option = !only_files && argument.size() >= 2 && argument[0] == L'-';
      if (i == 0 || option) {
        arguments_.push_back(ToUtf8(argument));
        if (argument == L"--") only_files = true;
      } else {
        Expand(argument, arguments_);
      }
    }
    LocalFree(wide);
  }
  for (const std::string& argument : arguments_) pointers_.push_back(argument.c_str());
}

}  // namespace cli
