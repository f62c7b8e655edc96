// ConvertFile: the one-line conversion, the desktop program's and kml2mif --first-line's. The
// first coordinate list of a KML file, found by lines (coordinate_line.h), becomes one MapInfo
// polyline with an empty attribute row per point. The outputs are named, checked and replaced
// as a pair by OutputPair (output_pair.h); memory stays bounded whatever the length of the
// line.
#pragma once

#include <string_view>

#include "convert/coordinate_line.h"
#include "platform/cstring.h"

namespace convert {

struct FirstLineSummary {
  platform::CString mid_path;
  platform::CString mif_path;
  bool found_coordinate_line = false;
  PointCount point_count = 0;
  // Whether the first lines of the point text written (some kilobytes) each hold two numbers,
  // as a MIF reader wants them; false when, say, the tuples had heights other than 0.
  bool point_text_is_pairs = true;
};

// Whether each line of `text` (lines end in LF or CR LF) holds two numbers separated by blanks.
// When `complete` is false the text is the start of a longer one and its last line, which may
// be cut, is not looked at.
bool IsPairsOfNumbers(std::string_view text, bool complete);

// Converts the KML file at `path` into MakeSiblingPath(path, "mif") and (path, "mid"),
// replacing them only when the whole conversion has succeeded. Throws CFileException naming
// the file that failed: every error of OutputPair, a read or write error, tooManyPoints; then
// neither output has changed and no temporary or backup file is left beside them.
FirstLineSummary ConvertFile(const platform::CString& path);

// The same with the outputs in `output_folder` (see MakeOutputPath) when it is not empty.
FirstLineSummary ConvertFile(const platform::CString& path, const platform::CString& output_folder);

}  // namespace convert
