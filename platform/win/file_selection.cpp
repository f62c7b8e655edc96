#include "platform/win/file_selection.h"

#include <cstring>

namespace platform {
namespace {

// Whether the last character of `path` is a path separator.
bool EndsWithSeparator(std::string_view path, const CodePage& page) {
  size_t last = std::string_view::npos;
  for (size_t at = 0; at < path.size();) {
    last = at;
    at += page.CharLength(path.data() + at, path.size() - at);
  }
  return last != std::string_view::npos && last + 1 == path.size() &&
         (path[last] == '\\' || path[last] == '/');
}

}  // namespace

std::string MakeFilterString(std::string_view filter, const CodePage& page) {
  std::string result(filter);
  for (size_t at = 0; at < result.size();) {
    const size_t length = page.CharLength(result.data() + at, result.size() - at);
    if (length == 1 && result[at] == '|') result[at] = '\0';
    at += length;
  }
  // The list ends with an empty description: two zeros, whatever the filter ended with.
  result.append(2, '\0');
  return result;
}

bool SelectionIsComplete(const char* buffer, size_t size) {
  for (size_t at = 0; at + 1 < size; ++at) {
    if (buffer[at] == '\0' && buffer[at + 1] == '\0') return true;
  }
  return false;
}

const char* FirstSelectedPosition(const char* buffer) {
  return buffer != nullptr && buffer[0] != '\0' ? buffer : nullptr;
}

CString NextSelectedPath(const char* buffer, const char*& position, bool multi_select,
                         const CodePage& page) {
  const char* name = position;
  if (name == buffer) {
    const char* after_first = buffer + std::strlen(buffer) + 1;
    if (!multi_select || *after_first == '\0') {
      position = nullptr;
      return CString(buffer);
    }
    name = after_first;
  }
  const char* after_name = name + std::strlen(name) + 1;
  position = *after_name == '\0' ? nullptr : after_name;

  CString path(buffer);
  if (!path.IsEmpty() && !EndsWithSeparator(path.view(), page)) path += '\\';
  path += std::string_view(name);
  return path;
}

}  // namespace platform
