#include "testing/coordinate_line.h"

namespace test_support {

using convert::kClosingTagSet;
using convert::kOpeningTag;
using convert::kPointEnd;
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

PointCount RewriteCoordinates(CString& line, const CString& path) {
  const PointCount points = convert::ToPointCount(line.Replace(kPointEnd, "\n"), path);
  line.Replace(",", " ");
  line.Trim(kClosingTagSet);
  return points;
}

}  // namespace test_support
