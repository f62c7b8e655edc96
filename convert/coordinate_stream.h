// The streaming line scan: the same result as FindCoordinateLine + RewriteCoordinates, in
// bounded memory whatever the length of the lines.
//
// Two passes over the coordinate line: the first finds it, counts its points and measures the
// ends that the trim removes; the second seeks back and writes the point text in pieces.
//
// The trim bounds are measured on the line as read: the rewrite only turns ",0 " and "," (bytes
// that are characters of their own in every code page, and outside the trim set) into "\n" and
// " ", so it moves no character boundary and neither adds nor removes a character of the set.
// The scan relies on what holds for every code page the program runs with: no byte of the trim
// set starts a multi-byte character, and bytes below 0x40 are always characters of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/coordinate_line.h"
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

// Seeks `input` back to the scanned line and writes its point text to `output` in pieces
// (every ",0 " as "\n", every other "," as " "). Writes nothing when nothing was found.
// `Output` has Write(std::string_view), text mode (a test sink), or WriteRaw(std::string_view)
// (CStdioFile, CReplaceFile), which is then given the bytes that text mode would write: each
// line end as CR LF. Throws CFileException: a read error, or readError when the line has become
// shorter since the scan, outOfMemory; and whatever `output` throws.
// REQUIRES: `scanned` comes from ScanCoordinates on this input.
template <typename Output>
void WritePointText(platform::CStdioFile& input, const ScannedCoordinates& scanned, Output& output);

// The loops that look at every byte of the line, by the instructions they use. kFastest is the
// fastest that this processor runs (or those that kScanLoopsVariable names); the others are
// there so that tests can check each one.
enum class ScanLoops { kFastest, kPortable, kSse2, kAvx512 };

// The loops built into this program that this processor runs, kPortable first, the fastest last.
std::vector<ScanLoops> AvailableScanLoops();

// The environment variable that sets what kFastest stands for in this run, by a name that
// ScanLoopsNamed knows, so that the loops can be timed against each other in the program
// itself. It is read once, at the first scan; unset, or naming loops that this processor
// does not run, it leaves the fastest.
inline constexpr char kScanLoopsVariable[] = "KML2MIF_SCAN_LOOPS";

// The loops called `name` ("portable", "sse2", "avx512"), or nothing when the name is
// unknown or names loops not in AvailableScanLoops().
std::optional<ScanLoops> ScanLoopsNamed(std::string_view name);

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

// The second pass as a machine: rewrites the point text handed to it in pieces, every ",0 " as a
// line end (also across piece edges) and every other "," as " ".
class PointTextRewriter {
 public:
  // kLf writes each line end as "\n", for an output that turns it into CR LF; kCrLf writes
  // "\r\n", for an output written as it is (WriteRaw). Either way the file gets the same bytes.
  enum class LineEnd { kLf, kCrLf };
  // REQUIRES: `loops` is kFastest or one of AvailableScanLoops().
  using Loops = ScanLoops;
  explicit PointTextRewriter(LineEnd line_end = LineEnd::kLf, Loops loops = Loops::kFastest);

  // Bytes of room that Rewrite needs for a piece of `size` bytes (it may store more than it
  // keeps).
  static constexpr size_t Room(size_t size) { return size + kSlack; }

  // Writes the rewrite of `piece` to `out`, which has Room(piece.size()) bytes, and gives how
  // many it wrote; the last one or two bytes may be held back until the next piece shows whether
  // they begin ",0 ".
  size_t Rewrite(std::string_view piece, char* out);
  // Writes what is held back (the text has ended) to `out`, which has Room(0) bytes; gives how
  // many it wrote.
  size_t Finish(char* out);

  // The same, appending to `out`.
  void Rewrite(std::string_view piece, std::string& out);
  void Finish(std::string& out);

 private:
  static void RewriteWordsLf(const char*& read, const char* end, char*& write);
  static void RewriteWordsCrLf(const char*& read, const char* end, char*& write);
  static void RewriteBlocksCrLf(const char*& read, const char* end, char*& write);

  // Bytes that the fast loops may store past what they keep, and what a held-back "," or ",0"
  // may add.
  static constexpr size_t kSlack = 80;

  std::string_view point_end_;
  Loops loops_;
  size_t held_ = 0;  // 1 when the text so far ends with ",", 2 with ",0"
};

}  // namespace convert

#include "convert/coordinate_stream_inl.h"
