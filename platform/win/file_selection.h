// The texts that the open-file dialog takes and gives, in the ANSI code page: the filter list
// and the selection buffer. No window-system calls, so that they can be tested alone.
#pragma once

#include <string>
#include <string_view>

#include "platform/code_page.h"
#include "platform/cstring.h"

namespace platform {

// The filter written with '|' between descriptions and patterns ("KML文件(*.kml)|*.kml|...|")
// in the platform's form, every '|' a zero, ending with two zeros. Steps by characters of
// `page`, so a '|' that is the trail byte of a double-byte character stays.
std::string MakeFilterString(std::string_view filter, const CodePage& page);

// Walks the selection buffer as the dialog leaves it. After one file: its full path, then a
// zero. After several (explorer style): the folder, a zero, each name followed by a zero, and
// a final zero.
//
// Whether the selection in the `size` bytes of `buffer` is whole: it ends with two zeros inside
// the buffer. (Some platforms fill a buffer that is too small with as much of the list as fits,
// cut anywhere, and report success.) REQUIRES: the buffer was all zeros before the dialog ran.
bool SelectionIsComplete(const char* buffer, size_t size);

// The first position, or nullptr when nothing is selected.
const char* FirstSelectedPosition(const char* buffer);
// The full path at `position`; advances `position` to the next name, nullptr after the last.
// A '\' joins folder and name unless the folder already ends with one (by characters of
// `page`). `multi_select`: whether the buffer may hold several names.
// REQUIRES: `position` came from FirstSelectedPosition(buffer) or an earlier call, not null.
CString NextSelectedPath(const char* buffer, const char*& position, bool multi_select,
                         const CodePage& page);

}  // namespace platform
