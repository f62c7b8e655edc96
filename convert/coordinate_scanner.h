// The first pass of the streaming one-line conversion: finds the coordinate line (see
// coordinate_line.h), counts its points and measures the ends that the trim removes, in bounded
// memory whatever the length of the lines; the rewriter (point_text_rewriter.h) makes the
// second pass. Together they give the same result as the held-string scan of
// testing/coordinate_line.h.
//
// The trim bounds are measured on the line as read: the rewrite only turns ",0 " and "," (bytes
// that are characters of their own in every code page, and outside the trim set) into "\n" and
// " ", so it moves no character boundary and neither adds nor removes a character of the set.
// The scan relies on what holds for every code page the program runs with: no byte of the trim
// set starts a multi-byte character, and bytes below 0x40 are always characters of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/coordinate_line.h"
#include "convert/scan_loops.h"
#include "platform/code_page.h"
#include "platform/cstring.h"
#include "platform/stdio_file.h"

namespace convert {

struct ScannedCoordinates {
  bool found = false;       // a coordinate line was found
  uint64_t line_start = 0;  // offset in the input of the line's first byte
  uint64_t text_begin = 0;  // offsets (from line_start) of the point text after the trim:
  uint64_t text_end = 0;    //   [text_begin, text_end) of the line as read
  PointCount points = 0;
};

// Reads `input` from its current position up to the end of the coordinate line (the rest of
// the file is never read) and measures it. Throws CFileException: a read error, or
// tooManyPoints (naming `path`) when the count passes INT32_MAX.
ScannedCoordinates ScanCoordinates(platform::CStdioFile& input, const platform::CString& path);

// The first pass as a machine that is handed the input's lines in pieces, as
// CStdioFile::ReadLinePiece gives them; ScanCoordinates drives it over a file.
class CoordinateLineScanner {
 public:
  // Steps through characters of `page`, which must outlive the scanner. REQUIRES: `loops` is
  // kFastest or one of AvailableScanLoops().
  explicit CoordinateLineScanner(const platform::CodePage& page = platform::CodePage::System(),
                                 ScanLoops loops = ScanLoops::kFastest);

  // Tells the input offset of the first byte of the line whose pieces come next.
  // REQUIRES: called before the first piece and after every piece that ended a line.
  void BeginLine(uint64_t line_start);

  // Takes the next piece of the current line and what follows it. Gives true when the scan is
  // over: the coordinate line has ended, or the input has. REQUIRES: not over yet.
  bool Feed(std::string_view piece, platform::CStdioFile::PieceEnd end);

  // The outcome once Feed has given true. The count is only checked here, as a line that turns
  // out to hold the opening tag counts for nothing. Throws CFileException(tooManyPoints, path).
  ScannedCoordinates Result(const platform::CString& path) const;

 private:
  // `may_hold_tag` false: the piece holds no "<" (the tag may still end in it).
  void SearchOpeningTag(std::string_view piece, bool may_hold_tag);
  // Gives whether the piece holds a "<".
  bool CountPointEnds(std::string_view piece);
  void MeasureHead(std::string_view piece);
  void MeasureTail(std::string_view piece, bool line_ended);
  void StepCharacter(const char* text, size_t available, uint64_t offset, size_t* length);

  const platform::CodePage& page_;
  ScanLoops loops_;
  bool opening_tag_seen_ = false;
  bool found_ = false;

  // The current line.
  uint64_t line_start_ = 0;
  uint64_t line_length_ = 0;
  bool measuring_ = false;  // the line follows an opening tag and holds none so far
  bool line_has_tag_ = false;
  std::string tag_carry_;        // the line's last bytes that may begin the tag
  size_t point_end_prefix_ = 0;  // the line ends with this many bytes of ",0 "
  uint64_t point_ends_ = 0;
  bool in_head_ = true;  // no character outside the trim set seen yet
  uint64_t text_begin_ = 0;
  uint64_t text_end_ = 0;       // end of the last character outside the trim set
  uint64_t boundary_ = 0;       // a character boundary: stepping resumes here
  std::string boundary_carry_;  // bytes from boundary_ on, too few to tell their character
};

}  // namespace convert
