// The second pass of the streaming one-line conversion: seeks back to the line that the
// scanner (coordinate_scanner.h) found and writes its point text in pieces, every ",0 " as a
// line end and every other "," as a blank, with loops that look at 8 or 64 bytes at a time.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "convert/coordinate_scanner.h"
#include "convert/scan_loops.h"
#include "platform/stdio_file.h"

namespace convert {

// Seeks `input` back to the scanned line and writes its point text to `output` in pieces
// (every ",0 " as "\n", every other "," as " "). Writes nothing when nothing was found.
// `Output` has Write(std::string_view), text mode (a test sink), or WriteRaw(std::string_view)
// (CStdioFile, CReplaceFile), which is then given the bytes that text mode would write: each
// line end as CR LF. Throws CFileException: a read error, or readError when the line has become
// shorter since the scan, outOfMemory; and whatever `output` throws.
// REQUIRES: `scanned` comes from ScanCoordinates on this input.
template <typename Output>
void WritePointText(platform::CStdioFile& input, const ScannedCoordinates& scanned, Output& output);

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

#include "convert/point_text_rewriter_inl.h"
