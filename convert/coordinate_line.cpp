#include "convert/coordinate_line.h"

#include <limits>

namespace convert {

using platform::CFileException;
using platform::CStdioFile;
using platform::CString;

std::optional<CString> FindCoordinateLine(CStdioFile& input) {
  // The flag is never cleared: the first line after any opening-tag line that is not itself one
  // is taken, whatever it holds.
  bool opening_tag_seen = false;
  CString line;
  while (input.ReadString(line)) {
    if (line.Find(kOpeningTag) >= 0) {
      opening_tag_seen = true;
    } else if (opening_tag_seen) {
      return line;
    }
  }
  return std::nullopt;
}

PointCount ToPointCount(uint64_t count, const CString& path) {
  if (count > static_cast<uint64_t>(std::numeric_limits<PointCount>::max())) {
    throw CFileException(CFileException::tooManyPoints, path);
  }
  return static_cast<PointCount>(count);
}

PointCount RewriteCoordinates(CString& line, const CString& path) {
  const PointCount points = ToPointCount(line.Replace(kPointEnd, "\n"), path);
  line.Replace(",", " ");
  line.Trim(kClosingTagSet);
  return points;
}

}  // namespace convert
