// The one-line conversion's scan as the desktop program first did it, holding the whole line:
// the plain reference that the streaming scan (convert/coordinate_scanner.h,
// convert/point_text_rewriter.h) is checked against in tests and fuzzing. Not in the programs.
// The rules it follows are in convert/coordinate_line.h.
#pragma once

#include <optional>

#include "convert/coordinate_line.h"
#include "platform/cstring.h"
#include "platform/stdio_file.h"

namespace test_support {

using convert::PointCount;

// Reads lines from `input` until the coordinate line is found (reading stops right after it)
// or the input ends (nothing). Holds the whole line. Throws CFileException on a read error.
std::optional<platform::CString> FindCoordinateLine(platform::CStdioFile& input);

// Rewrites `line` in place into the point text and gives the number of points.
// Throws CFileException (tooManyPoints, naming `path`) when the count passes INT32_MAX.
PointCount RewriteCoordinates(platform::CString& line, const platform::CString& path = "");

}  // namespace test_support
