// The line scan: finds the line of a KML file that holds its first coordinate list and
// rewrites it into the point lines of a MapInfo polyline.
//
// The file is never parsed as XML. The first line after a line containing "<coordinates>"
// that does not itself contain "<coordinates>" is the coordinate line, whatever it holds.
// The rewrite turns every ",0 " into a line end (counting them as points), every other ","
// into a blank, and trims characters of "</coordinates>" (as a set) from both ends.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/cstring.h"
#include "platform/stdio_file.h"

namespace convert {

using PointCount = int32_t;

inline constexpr char kOpeningTag[] = "<coordinates>";
inline constexpr char kClosingTagSet[] = "</coordinates>";
inline constexpr char kPointEnd[] = ",0 ";

// Reads lines from `input` until the coordinate line is found (reading stops right after it)
// or the input ends (nothing). Holds the whole line: the reference for the streaming scan.
// Throws CFileException on a read error.
std::optional<platform::CString> FindCoordinateLine(platform::CStdioFile& input);

// Rewrites `line` in place into the point text and gives the number of points.
// Throws CFileException (tooManyPoints, naming `path`) when the count passes INT32_MAX.
PointCount RewriteCoordinates(platform::CString& line, const platform::CString& path = "");

// `count` points as a PointCount. Throws CFileException(tooManyPoints, path) when it passes
// INT32_MAX, the most a MIF polyline can hold.
PointCount ToPointCount(uint64_t count, const platform::CString& path);

}  // namespace convert
