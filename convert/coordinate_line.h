// The rules of the one-line conversion: the line of a KML file that holds its first coordinate
// list, and how it becomes the point lines of a MapInfo polyline.
//
// The file is never parsed as XML. The first line after a line containing "<coordinates>"
// that does not itself contain "<coordinates>" is the coordinate line, whatever it holds.
// The rewrite turns every ",0 " into a line end (counting them as points), every other ","
// into a blank, and trims characters of "</coordinates>" (as a set) from both ends.
// coordinate_scanner.h and point_text_rewriter.h apply these rules in bounded memory;
// testing/coordinate_line.h holds the plain reference they are checked against.
#pragma once

#include <cstdint>
#include <limits>

#include "platform/cstring.h"
#include "platform/file_exception.h"

namespace convert {

using PointCount = int32_t;

inline constexpr char kOpeningTag[] = "<coordinates>";
inline constexpr char kClosingTagSet[] = "</coordinates>";
inline constexpr char kPointEnd[] = ",0 ";

// `count` points as a PointCount. Throws CFileException(tooManyPoints, path) when it passes
// INT32_MAX, the most a MIF polyline can hold.
inline PointCount ToPointCount(uint64_t count, const platform::CString& path) {
  if (count > static_cast<uint64_t>(std::numeric_limits<PointCount>::max())) {
    throw platform::CFileException(platform::CFileException::tooManyPoints, path);
  }
  return static_cast<PointCount>(count);
}

}  // namespace convert
