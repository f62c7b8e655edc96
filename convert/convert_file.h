// ConvertFile: one KML file to a MapInfo Interchange pair (.mif and .mid) beside it.
#pragma once

#include <string_view>

#include "convert/coordinate_line.h"
#include "platform/cstring.h"
#include "platform/replace_file.h"
#include "platform/stdio_file.h"

namespace convert {

// `path` less its last three bytes, followed by the three-byte `extension`:
// C:\maps\route.kml and "mid" give C:\maps\route.mid. The extension is not parsed.
// Throws CFileException(nameTooShort, path) when the three bytes would reach into the folder
// part of the path (on Windows "\\", "/" or a drive's ":"; elsewhere "/"), leave no name, or
// cut a character of the system code page in two (a GBK name without an extension, say).
platform::CString MakeSiblingPath(const platform::CString& path, const char* extension);

// MakeSiblingPath(path, extension), or when `output_folder` is not empty, the file name of that
// path in `output_folder` (C:\maps\route.kml, "mif" and D:\out give D:\out\route.mif).
// Throws as MakeSiblingPath.
platform::CString MakeOutputPath(const platform::CString& path,
                                 const platform::CString& output_folder, const char* extension);

// Throws CFileException(sameAsInput, input_path) when `output_path` names the open `input`
// itself (the same name, another case of it, a link or a hard link).
void RefuseOutputThatIsInput(const platform::CString& output_path,
                             const platform::CStdioFile& input,
                             const platform::CString& input_path);

// Replaces both outputs together: both are put on the disk first, then the MID, then the MIF
// replaces its target; if the MIF cannot, the old MID is put back. Throws CFileException.
void CommitPair(platform::CReplaceFile& mid, platform::CReplaceFile& mif);

struct ConversionSummary {
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
// replacing them. The input is opened first and held for exclusive use; both outputs are
// written to temporary files and replace the old ones only when the whole conversion has
// succeeded (MID first, then MIF; if the MIF cannot be replaced, the old MID is put back).
// Memory stays bounded whatever the length of the coordinate line. Throws CFileException
// naming the file that failed, among them sameAsInput when an output name is the input file
// itself (the same name, a link or a hard link) and isDirectory for a folder; then neither
// output has changed and no temporary or backup file is left beside them.
ConversionSummary ConvertFile(const platform::CString& path);

// The same with the outputs in `output_folder` (see MakeOutputPath) when it is not empty.
ConversionSummary ConvertFile(const platform::CString& path,
                              const platform::CString& output_folder);

}  // namespace convert
