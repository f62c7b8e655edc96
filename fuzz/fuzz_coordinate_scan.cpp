// Fuzz target: the streaming coordinate scan against the held-string scan, under GBK and UTF-8.
//
// The held-string scan (FindCoordinateLine + RewriteCoordinates) gives the expected point text
// and count. The streaming scan must give the same, byte for byte:
//  - over a file, as the program runs it (ScanCoordinates + WritePointText);
//  - with the scanner and the rewriter handed the lines in pieces cut where the fuzzer says,
//    which reaches every way a tag, a ",0 " or a character can straddle two pieces.
//
// Input: a flag byte (code page), four bytes that seed the cuts, then the file's bytes (see
// fuzz::InflatedContent).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/coordinate_line.h"
#include "convert/coordinate_scanner.h"
#include "convert/point_text_rewriter.h"
#include "convert/scan_loops.h"
#include "fuzz/fuzz_support.h"
#include "platform/code_page.h"
#include "platform/stdio_file.h"
#include "testing/coordinate_line.h"

namespace {

using platform::CFile;
using platform::CStdioFile;
using platform::CString;
using PieceEnd = platform::CStdioFile::PieceEnd;

struct PointText {
  bool found = false;
  convert::PointCount points = 0;
  std::string text;
};

void CheckSame(const char* how, const PointText& expected, const PointText& actual) {
  std::string what = std::string(how) + ": found";
  fuzz::CheckEqual(what.c_str(), expected.found, actual.found);
  what = std::string(how) + ": points";
  fuzz::CheckEqual(what.c_str(), expected.points, actual.points);
  what = std::string(how) + ": point text";
  fuzz::CheckEqual(what.c_str(), expected.text, actual.text);
}

struct StringSink {
  std::string text;
  void Write(std::string_view piece) { text += piece; }
};

// The held-string scan over lines already read.
PointText HeldScan(const std::vector<fuzz::ReferenceLine>& lines) {
  PointText result;
  bool opening_tag_seen = false;
  for (const fuzz::ReferenceLine& line : lines) {
    const CString text(line.text);
    if (text.Find(convert::kOpeningTag) >= 0) {
      opening_tag_seen = true;
    } else if (opening_tag_seen) {
      CString rewritten = text;
      result.found = true;
      result.points = test_support::RewriteCoordinates(rewritten);
      result.text = rewritten.str();
      break;
    }
  }
  return result;
}

PointText HeldScanOfFile(const CString& path) {
  PointText result;
  CStdioFile input(path, CFile::modeRead);
  if (std::optional<CString> line = test_support::FindCoordinateLine(input)) {
    result.found = true;
    result.points = test_support::RewriteCoordinates(*line, path);
    result.text = line->str();
  }
  return result;
}

PointText StreamedScanOfFile(const CString& path) {
  PointText result;
  CStdioFile input(path, CFile::modeRead);
  const convert::ScannedCoordinates scanned = convert::ScanCoordinates(input, path);
  StringSink sink;
  convert::WritePointText(input, scanned, sink);
  result.found = scanned.found;
  result.points = scanned.points;
  result.text = std::move(sink.text);
  return result;
}

// Piece lengths from a small generator: mostly a few bytes, sometimes none or many.
class Cuts {
 public:
  explicit Cuts(uint32_t seed) : state_(seed | 1) {}
  size_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    switch (state_ % 8) {
      case 0:
        return 0;
      case 1:
        return 1 + (state_ >> 8) % 300;
      default:
        return 1 + (state_ >> 8) % 5;
    }
  }
  bool Coin() { return Next() % 2 == 0; }

 private:
  uint32_t state_;
};

// Hands `line` to the scanner in pieces; true when the scan is over.
bool FeedLine(convert::CoordinateLineScanner& scanner, const fuzz::ReferenceLine& line,
              Cuts& cuts) {
  const PieceEnd last = line.ended ? PieceEnd::kLineEnd : PieceEnd::kInputEnd;
  std::string_view rest = line.text;
  for (;;) {
    const size_t length = cuts.Next();
    if (length >= rest.size()) {
      // The input's last line may end with its last piece or with an empty one after it.
      if (last == PieceEnd::kInputEnd && !rest.empty() && cuts.Coin()) {
        if (scanner.Feed(rest, PieceEnd::kMore)) fuzz::Fail("scan over inside a line", "", rest);
        return scanner.Feed({}, last);
      }
      return scanner.Feed(rest, last);
    }
    if (scanner.Feed(rest.substr(0, length), PieceEnd::kMore)) {
      fuzz::Fail("scan over inside a line", "", rest);
    }
    rest.remove_prefix(length);
  }
}

PointText PieceScan(const std::vector<fuzz::ReferenceLine>& lines, uint64_t content_end,
                    Cuts& cuts) {
  convert::CoordinateLineScanner scanner;
  bool over = false;
  const fuzz::ReferenceLine* scanned_line = nullptr;
  for (const fuzz::ReferenceLine& line : lines) {
    scanner.BeginLine(line.start);
    scanned_line = &line;
    over = FeedLine(scanner, line, cuts);
    if (over) break;
  }
  if (!over) {
    fuzz::Check("scan over before the end of the input", lines.empty() || lines.back().ended);
    scanner.BeginLine(content_end);
    fuzz::Check("scan over at the end of the input", scanner.Feed({}, PieceEnd::kInputEnd));
  }
  const convert::ScannedCoordinates scanned = scanner.Result("");
  PointText result;
  result.found = scanned.found;
  result.points = scanned.points;
  if (!scanned.found || scanned.text_begin >= scanned.text_end) return result;
  fuzz::CheckEqual("scanned line start", static_cast<long long>(scanned_line->start),
                   static_cast<long long>(scanned.line_start));
  fuzz::Check("point text within the line", scanned.text_end <= scanned_line->text.size());
  std::string_view text = std::string_view(scanned_line->text)
                              .substr(scanned.text_begin, scanned.text_end - scanned.text_begin);
  convert::PointTextRewriter rewriter;
  while (!text.empty()) {
    const std::string_view piece = text.substr(0, cuts.Next());
    rewriter.Rewrite(piece, result.text);
    text.remove_prefix(piece.size());
  }
  rewriter.Finish(result.text);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchFile scratch("coordinate-scan");
  fuzz::Input input(data, size);
  const uint8_t flags = input.Byte();
  uint32_t cut_seed = 0;
  for (int i = 0; i < 4; ++i) cut_seed = cut_seed << 8 | input.Byte();
  const std::string content = fuzz::InflatedContent(input);
  platform::ScopedCodePage scoped((flags & 1) != 0 ? platform::CodePage::Utf8()
                                                   : platform::CodePage::Gbk());

  const std::vector<fuzz::ReferenceLine> lines = fuzz::ReferenceReadLines(content);
  const PointText expected = HeldScan(lines);

  // One file at a time: each holds the file for exclusive use.
  scratch.Write(content);
  CheckSame("streamed scan of the file", expected, StreamedScanOfFile(scratch.path()));

  // Long files cost much here and find nothing that short ones don't: how ReadString reads them
  // is the line reader target's, and pieces are cut anywhere in short lines.
  if (content.size() <= 65536) {
    CheckSame("held scan of the file", expected, HeldScanOfFile(scratch.path()));
    const uint64_t content_end = std::min(content.find('\x1A'), content.size());
    Cuts cuts(cut_seed);
    CheckSame("scan in pieces", expected, PieceScan(lines, content_end, cuts));
  }
  return 0;
}
