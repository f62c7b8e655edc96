// The streaming line scan: the same result as FindCoordinateLine + RewriteCoordinates, in
// bounded memory whatever the length of the lines.
//
// Two passes over the coordinate line: the first finds it, counts its points and measures the
// ends that the trim removes; the second seeks back and writes the point text in pieces.
#pragma once

#include <cstdint>

#include "convert/coordinate_line.h"
#include "platform/cstring.h"
#include "platform/stdio_file.h"

namespace convert {

struct ScannedCoordinates {
  bool found = false;         // a coordinate line was found
  uint64_t line_start = 0;    // offset in the input of the line's first byte
  uint64_t text_begin = 0;    // offsets (from line_start) of the point text after the trim:
  uint64_t text_end = 0;      //   [text_begin, text_end) of the line as read
  PointCount points = 0;
};

// Reads `input` from its current position up to the end of the coordinate line (the rest of
// the file is never read) and measures it. Throws CFileException: a read error, or
// tooManyPoints (naming `path`) when the count passes INT32_MAX.
ScannedCoordinates ScanCoordinates(platform::CStdioFile& input, const platform::CString& path);

// Seeks `input` back to the scanned line and writes its point text to `output` in pieces
// (every ",0 " as "\n", every other "," as " "). Writes nothing when nothing was found.
// `Output` has Write(std::string_view) (CStdioFile, CReplaceFile, or a test sink).
template <typename Output>
void WritePointText(platform::CStdioFile& input, const ScannedCoordinates& scanned, Output& output);

}  // namespace convert

#include "convert/coordinate_stream_inl.h"
