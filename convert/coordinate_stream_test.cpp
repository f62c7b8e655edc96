// The streaming scan against the held-string scan (FindCoordinateLine + RewriteCoordinates):
// the same point text byte for byte and the same count, whatever the piece edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "convert/coordinate_scanner.h"
#include "convert/point_text_rewriter.h"
#include "convert/scan_loops.h"
#include "platform/code_page.h"
#include "platform/file_exception.h"
#include "platform/stdio_file.h"
#include "testing/coordinate_line.h"
#include "testing/temp_folder.h"

namespace convert {
namespace {

using platform::CFile;
using platform::CFileException;
using platform::CodePage;
using platform::CStdioFile;
using platform::CString;
using platform::ScopedCodePage;
using PieceEnd = CStdioFile::PieceEnd;

struct Outcome {
  bool found = false;
  std::string point_text;
  PointCount points = 0;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
  out << (outcome.found ? "found, " : "not found, ") << outcome.points << " points, \"";
  for (const unsigned char byte : outcome.point_text) {
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out << static_cast<char>(byte);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      out << "\\x" << kHex[byte >> 4] << kHex[byte & 15];
    }
  }
  return out << '"';
}

struct StringSink {
  std::string text;
  void Write(std::string_view piece) { text += piece; }
};

// An output that takes bytes as they are, as files do with WriteRaw.
struct RawSink {
  std::string bytes;
  void WriteRaw(std::string_view piece) { bytes += piece; }
};

// What a text-mode file makes of `text`.
std::string WithCrLf(std::string_view text) {
  std::string bytes;
  for (const char byte : text) {
    if (byte == '\n') bytes += '\r';
    bytes += byte;
  }
  return bytes;
}

// A line as the text-mode reader gives it: LF or CR LF ends it, a lone CR stays in it, the byte
// 0x1A ends the input.
struct Line {
  uint64_t start = 0;
  std::string_view text;
  bool ended = false;  // by a line end (else by the end of the input)
};

std::vector<Line> SplitLines(std::string_view content) {
  content = content.substr(0, content.find('\x1A'));
  std::vector<Line> lines;
  for (size_t at = 0; at < content.size();) {
    const size_t feed = content.find('\n', at);
    if (feed == std::string_view::npos) {
      lines.push_back({at, content.substr(at), false});
      break;
    }
    size_t length = feed - at;
    if (length > 0 && content[feed - 1] == '\r') --length;
    lines.push_back({at, content.substr(at, length), true});
    at = feed + 1;
  }
  return lines;
}

// Gives the length of the piece numbered `index` within its line (or within the point text);
// may give 0 (an empty piece) or more than is left.
using PieceSizes = std::function<size_t(size_t index)>;

// Both passes of the streaming scan over `content` in memory, cut into pieces of `sizes`, with
// the fastest loops; each set of loops that this processor runs must give the same.
Outcome StreamInPieces(std::string_view content, const PieceSizes& sizes) {
  const std::vector<ScanLoops> all_loops = AvailableScanLoops();
  std::vector<CoordinateLineScanner> scanners(1);
  for (const ScanLoops loops : all_loops) scanners.emplace_back(CodePage::System(), loops);
  bool over = false;
  for (const Line& line : SplitLines(content)) {
    for (CoordinateLineScanner& scanner : scanners) scanner.BeginLine(line.start);
    size_t at = 0;
    for (size_t index = 0;; ++index) {
      const size_t size = std::min(sizes(index), line.text.size() - at);
      const bool last = at + size == line.text.size();
      const PieceEnd end =
          !last ? PieceEnd::kMore : (line.ended ? PieceEnd::kLineEnd : PieceEnd::kInputEnd);
      over = scanners[0].Feed(line.text.substr(at, size), end);
      for (size_t other = 1; other < scanners.size(); ++other) {
        EXPECT_EQ(scanners[other].Feed(line.text.substr(at, size), end), over);
      }
      at += size;
      if (last) break;
    }
    if (over) break;
  }
  if (!over) {
    for (CoordinateLineScanner& scanner : scanners) {
      scanner.BeginLine(content.size());
      EXPECT_TRUE(scanner.Feed({}, PieceEnd::kInputEnd));
    }
  }
  const ScannedCoordinates scanned = scanners[0].Result("pieces.kml");
  for (size_t other = 1; other < scanners.size(); ++other) {
    SCOPED_TRACE("scan loops " + std::to_string(static_cast<int>(all_loops[other - 1])));
    const ScannedCoordinates also = scanners[other].Result("pieces.kml");
    EXPECT_EQ(also.found, scanned.found);
    EXPECT_EQ(also.line_start, scanned.line_start);
    EXPECT_EQ(also.text_begin, scanned.text_begin);
    EXPECT_EQ(also.text_end, scanned.text_end);
    EXPECT_EQ(also.points, scanned.points);
  }
  Outcome outcome{scanned.found, "", scanned.points};
  if (!scanned.found) return outcome;
  EXPECT_LE(scanned.text_begin, scanned.text_end);
  const std::string_view text = content.substr(scanned.line_start + scanned.text_begin,
                                               scanned.text_end - scanned.text_begin);
  // The same pieces through every kind of rewriter.
  using Rewriter = PointTextRewriter;
  Rewriter rewriter;
  std::vector<Rewriter> crlf_rewriters(1, Rewriter(Rewriter::LineEnd::kCrLf));
  for (const ScanLoops loops : all_loops) {
    crlf_rewriters.emplace_back(Rewriter::LineEnd::kCrLf, loops);
  }
  std::vector<std::string> with_crlf(crlf_rewriters.size());
  for (size_t at = 0, index = 0; at < text.size(); ++index) {
    const size_t size = std::min(sizes(index), text.size() - at);
    rewriter.Rewrite(text.substr(at, size), outcome.point_text);
    for (size_t each = 0; each < crlf_rewriters.size(); ++each) {
      crlf_rewriters[each].Rewrite(text.substr(at, size), with_crlf[each]);
    }
    at += size;
  }
  rewriter.Finish(outcome.point_text);
  for (size_t each = 0; each < crlf_rewriters.size(); ++each) {
    SCOPED_TRACE(each == 0
                     ? std::string("fastest rewrite loops")
                     : "rewrite loops " + std::to_string(static_cast<int>(all_loops[each - 1])));
    crlf_rewriters[each].Finish(with_crlf[each]);
    EXPECT_EQ(with_crlf[each], WithCrLf(outcome.point_text));
  }
  return outcome;
}

// The loops of every kind are there to be checked.
TEST(ScanLoopsTest, PortableFirstThenEachAtMostOnce) {
  const std::vector<ScanLoops> loops = AvailableScanLoops();
  ASSERT_FALSE(loops.empty());
  EXPECT_EQ(loops[0], ScanLoops::kPortable);
  // The last is what runs when nothing else is asked for.
  EXPECT_TRUE(std::is_sorted(loops.begin(), loops.end()));
  for (const ScanLoops each : loops) {
    EXPECT_NE(each, ScanLoops::kFastest);
    EXPECT_EQ(std::count(loops.begin(), loops.end(), each), 1);
  }
#if defined(__SSE2__)
  EXPECT_NE(std::find(loops.begin(), loops.end(), ScanLoops::kSse2), loops.end());
#endif
}

// Every name gives its loops exactly when the processor runs them, so that a timing of "avx512"
// is never a timing of something else.
TEST(ScanLoopsTest, NamedOnlyWhenAvailable) {
  const std::vector<ScanLoops> available = AvailableScanLoops();
  const auto runs = [&available](ScanLoops loops) {
    return std::find(available.begin(), available.end(), loops) != available.end();
  };
  const struct {
    std::string_view name;
    std::optional<ScanLoops> loops;  // when the processor runs them
  } kCases[] = {
      {"portable", ScanLoops::kPortable}, {"sse2", ScanLoops::kSse2}, {"avx2", std::nullopt},
      {"avx512", ScanLoops::kAvx512},     {"", std::nullopt},         {"AVX2", std::nullopt},
      {"fastest", std::nullopt},          {"avx", std::nullopt},      {"sse2 ", std::nullopt},
  };
  for (const auto& each : kCases) {
    SCOPED_TRACE(std::string(each.name));
    const bool expected = each.loops && runs(*each.loops);
    EXPECT_EQ(ScanLoopsNamed(each.name), expected ? each.loops : std::nullopt);
  }
}

PieceSizes Fixed(size_t size) {
  return [size](size_t) { return size; };
}

class CoordinateStreamTest : public ::testing::Test {
 protected:
  void WriteKml(std::string_view bytes) { folder_.Write("route.kml", bytes); }

  // The held-string scan over the file.
  Outcome Reference() {
    CStdioFile input(path_, CFile::modeRead);
    Outcome outcome;
    std::optional<CString> line = test_support::FindCoordinateLine(input);
    if (!line) return outcome;
    outcome.found = true;
    outcome.points = test_support::RewriteCoordinates(*line, path_);
    outcome.point_text = line->str();
    return outcome;
  }

  // Both passes of the streaming scan over the file, to an output that turns "\n" into CR LF
  // and to one that takes CR LF from the scan.
  Outcome Streamed() {
    CStdioFile input(path_, CFile::modeRead);
    const ScannedCoordinates scanned = ScanCoordinates(input, path_);
    StringSink sink;
    WritePointText(input, scanned, sink);
    RawSink raw;
    WritePointText(input, scanned, raw);
    EXPECT_EQ(raw.bytes, WithCrLf(sink.text));
    return {scanned.found, sink.text, scanned.points};
  }

  // The file offsets at which the reader ends a piece within a line.
  std::vector<uint64_t> PieceEdges() {
    CStdioFile input(path_, CFile::modeRead);
    std::vector<uint64_t> edges;
    std::string_view piece;
    for (;;) {
      const PieceEnd end = input.ReadLinePiece(piece);
      if (end == PieceEnd::kInputEnd) break;
      if (end == PieceEnd::kMore) edges.push_back(input.GetPosition());
    }
    return edges;
  }

  // Every way of reading `content` agrees with the reference on it.
  void ExpectAllAgree(std::string_view content, const Outcome& expected) {
    for (const size_t size : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{64}, size_t{67},
                              size_t{130}, size_t{1000}}) {
      SCOPED_TRACE("pieces of " + std::to_string(size));
      ASSERT_EQ(StreamInPieces(content, Fixed(size)), expected);
    }
    WriteKml(content);
    ASSERT_EQ(Streamed(), expected);
  }

  test_support::TempFolder folder_{"stream"};
  CString path_{folder_.PathOf("route.kml")};
};

const CodePage& CodePageNamed(const std::string& name) {
  static const CodePage gbk = CodePage::Gbk();
  static const CodePage utf8 = CodePage::Utf8();
  static const CodePage single = CodePage::SingleByte();
  return name == "gbk" ? gbk : name == "utf8" ? utf8 : single;
}

// Runs each test under one code page.
class CodePageStreamTest : public CoordinateStreamTest,
                           public ::testing::WithParamInterface<std::string> {
 protected:
  CodePageStreamTest() : scoped_(CodePageNamed(GetParam())) {}
  ScopedCodePage scoped_;
};

INSTANTIATE_TEST_SUITE_P(CodePages, CodePageStreamTest, ::testing::Values("gbk", "utf8", "single"));

// Rows: one coordinate line and what the held-string scan must make of it (checked first), then
// the streaming scan with a piece edge at every position of the line, in both passes.
struct EdgeRow {
  const char* what;
  std::string line;
};

const EdgeRow kEdgeRows[] = {
    {"typical tuples and closing tag", "\t\t116.391,39.907,0 116.392,39.908,0 </coordinates>"},
    {"last tuple without blank", "116.391,39.907,0 116.392,39.908,0"},
    {"altitudes other than 0", "116.391,39.907,25 116.392,39.908,00 1,2,0.0 "},
    {"latitude 0 then altitude 0", "10,0,0 1,0 ,0 ,0,0 "},
    {"only set characters", "</coordinates></coordinates>"},
    {"set characters around", "</coordinates>1,2,0 3,4,0 </coordinates>"},
    {"tabs and blanks stop the trim", "\t </coordinates> 1,2,0 \t</coordinates>"},
    {"closing LineString", "\t\t</LineString>"},
    {"closing Point", "</Point>"},
    {"commas at both ends", ",0 ,,1,2,0 ,0,"},
    {"tuples shorter than eight bytes", "1,0 ,0 ,0 ,0 2,0 3,0 ,0 ,0 ,0 ,0 ,0 ,0 ,0 4,0 "},
    {"tuples across blocks of 64 bytes",
     "1,2,0 3,4,0 ,0 ,0 ,0 ,0 ,0 1.2345678,2.3456789,0 1.2345678,2.3456789,0 ,0 1,0 ,0 \t,0 "
     "1.2345678,2.3456789,0 1.2345678,2.3456789,0 1.2345678,2.3456789,0 ,0 ,0 ,0 ,0 ,0 "
     "1.2345678,2.3456789,0 1.2345678,2.3456789,0 1.2345678,2.3456789,0 ,0 ,0 ,0 ,0 ,0 "},
    {"GBK character whose trail byte is a set letter, at the end", "1,2,0 \xB0\x63"},
    {"GBK trail letter before the closing tag", "1,2,0 \xB0\x63</coordinates>"},
    {"run of lead bytes before set letters", "1,2,0 \xB0\xB0\xB0\x63o</coordinates>"},
    {"GBK trail letter at the front", "\xB0\x63oord,0 1,2,0 "},
    {"lone lead byte at the end", "1,2,0 \xB0"},
    {"lead byte before a comma", "1\xB0,0 2\xB0,3"},
    {"UTF-8 character before the closing tag", "1,2,0 \xE4\xB8\xAD</coordinates>"},
    {"broken UTF-8 before set letters", "1,2,0 \xE4\xB8octa"},
    {"four-byte UTF-8 then set letters", "\xF0\x9F\x98\x80s,0 a\xF0\x9F\x98\x80s"},
    {"lone CR inside", "1,2,0 \r3,4,0 \r"},
    {"NUL bytes", std::string("1,\0,0 2,0\0 ", 11)},
};

TEST_P(CodePageStreamTest, PieceEdgeAtEveryPositionOfTheLine) {
  for (const EdgeRow& row : kEdgeRows) {
    SCOPED_TRACE(row.what);
    const std::string content = "<kml>\n\t<coordinates>\n" + row.line + "\n</kml>\n";
    WriteKml(content);
    const Outcome expected = Reference();
    ASSERT_TRUE(expected.found);
    ASSERT_NO_FATAL_FAILURE(ExpectAllAgree(content, expected));
    for (size_t edge = 0; edge <= content.size(); ++edge) {
      SCOPED_TRACE("edge after " + std::to_string(edge) + " bytes");
      // One edge at `edge` bytes into every line and into the point text.
      ASSERT_EQ(
          StreamInPieces(content, [edge](size_t index) { return index == 0 ? edge : SIZE_MAX; }),
          expected);
    }
  }
}

// Rows: whole files whose scan the held-string scan decides (line choice, line ends, 0x1A).
const char* const kFileRows[] = {
    "",
    "\n",
    "<coordinates>",
    "<coordinates>\n",
    "<coordinates>\n\n1,2,0 \n",
    "<coordinates>\r\n1,2,0 3,4,0 \r\n",
    "<coordinates>\n1,2,0 3,4,0 ",
    "<coordinates>1,2,0 \n<coordinates>1,2,0 \n</Point>\n",
    "<coordinates>\n<coordinates>\n<coordinates>\n5,6,0 \n",
    "<coordinates\n>\n1,2,0 \n",
    "<COORDINATES>\n1,2,0 \n",
    "a<coordinates>b\n1,2,0 <coordinates>\n3,4,0 \n",
    "<coordinates>\n1,2,0 \x1A 3,4,0 \n",
    "<coordinates>\n\x1A\n1,2,0 \n",
    "<coordinates>\n\r\n1,2,0 \n",
    "<coordinates>\n\r\r\n",
    "\xB0<coordinates>\n\xB0\x63,0 \n",
    "<coordinates>\n1,2,0 \n<coordinates>\n3,4,0 \n",
};

TEST_P(CodePageStreamTest, FileTable) {
  for (const char* row : kFileRows) {
    const std::string content(row);
    SCOPED_TRACE(content);
    WriteKml(content);
    ASSERT_NO_FATAL_FAILURE(ExpectAllAgree(content, Reference()));
  }
}

// Random files over an alphabet heavy in what the scan looks at, with random piece sizes.
TEST_P(CodePageStreamTest, RandomFilesAgreeWithTheHeldStringScan) {
  static const std::vector<std::string> kAlphabet = {
      ",0 ",
      ",0 ",
      ",0 ",
      ",",
      ",",
      "0",
      "0",
      " ",
      " ",
      "1",
      "2.5",
      "-",
      "\t",
      "\r",
      "\n",
      "\r\n",
      "<coordinates>",
      "<coordinates>",
      "</coordinates>",
      "<",
      "/",
      ">",
      "c",
      "o",
      "r",
      "d",
      "i",
      "n",
      "a",
      "t",
      "e",
      "s",
      "P",
      "\xB0",
      "\xB0\x63",
      "\x81",
      "\xFE",
      "\x40",
      "\x7E",
      "\x80",
      "\xE4\xB8\xAD",
      "\xE4\xB8",
      "\xF0\x9F\x98\x80",
      "\xC3\xA9",
      "\x1A",
      std::string(1, '\0'),
  };
  std::mt19937 random(20240611u + static_cast<unsigned>(GetParam().size()));
  // Opening files costs far more under Wine; the scan itself is the same everywhere.
#if defined(_WIN32)
  const int kFiles = 300;
#else
  const int kFiles = 1500;
#endif
  for (int file = 0; file < kFiles; ++file) {
    std::string content;
    const int tokens = std::uniform_int_distribution<int>(0, file % 4 == 0 ? 400 : 60)(random);
    for (int token = 0; token < tokens; ++token) {
      // 0x1A ends everything after it: keep it rare.
      const size_t pick = std::uniform_int_distribution<size_t>(0, kAlphabet.size() - 1)(random);
      if (kAlphabet[pick] == "\x1A" && random() % 4 != 0) continue;
      content += kAlphabet[pick];
    }
    SCOPED_TRACE(::testing::PrintToString(content));
    WriteKml(content);
    const Outcome expected = Reference();
    ASSERT_EQ(Streamed(), expected);
    std::uniform_int_distribution<size_t> size(0, file % 3 == 0 ? 300 : 5);
    ASSERT_EQ(StreamInPieces(content, [&](size_t) { return size(random); }), expected);
  }
}

// The reader's own piece edges (its buffer size) with a tuple, a character or a line end
// across them, and coordinate lines of one byte less, equal and one more than a piece.
TEST_P(CodePageStreamTest, ReaderBufferEdges) {
  const std::string head = "<kml>\n<coordinates>\n";
  std::string filler;
  while (filler.size() < (size_t{3} << 20)) filler += "116.391234,39.907654,0 ";
  WriteKml(head + filler + "\n");
  const std::vector<uint64_t> edges = PieceEdges();
  ASSERT_GE(edges.size(), 2u);
  const size_t first_piece = edges[0] - head.size();

  struct Patch {
    const char* what;
    std::string bytes;
  };
  const Patch patches[] = {
      {"tuple end", ",0 "},
      {"comma zero", ",0,0 "},
      {"GBK pair", "\xB0\x63"},
      {"UTF-8", "\xE4\xB8\xAD"},
      {"CR LF", "\r\n"},
      {"lone CR", "\r1"},
      {"closing tag", "\xB0\x63</coordinates>\n"},
      {"opening tag", "<coordinates>"},
  };
  for (const Patch& patch : patches) {
    for (size_t before = 0; before <= patch.bytes.size(); ++before) {
      SCOPED_TRACE(std::string(patch.what) + ", " + std::to_string(before) + " bytes before");
      std::string line = filler;
      line.replace(first_piece - before, patch.bytes.size(), patch.bytes);
      const std::string content = head + line + "\n";
      WriteKml(content);
      ASSERT_EQ(Streamed(), Reference());
    }
  }
  for (const size_t length : {first_piece - 1, first_piece, first_piece + 1}) {
    for (const char* end : {"\n", "\r\n", "</coordinates>\n", ""}) {
      SCOPED_TRACE("line of " + std::to_string(length) + " bytes ending " + end);
      const std::string content = head + filler.substr(0, length) + end;
      WriteKml(content);
      ASSERT_EQ(Streamed(), Reference());
    }
  }
}

// Long lines of one tuple over and over: the counts per lane of the wide loops fill up fastest
// when a tuple ends every 16 bytes; an opening tag after thousands of bytes drops the line.
TEST_P(CodePageStreamTest, LongRegularLines) {
  const char* const kTuples[] = {"123456.789012,0 ", "1.2345,0 ", ",0 ", "1,2,0 ", "<,0 "};
  for (const char* tuple : kTuples) {
    for (const int repeat : {255, 256, 257, 1000, 5000}) {
      std::string line;
      for (int i = 0; i < repeat; ++i) line += tuple;
      for (const char* tail : {"\n", "<coordinates>\n9,9,0 \n"}) {
        SCOPED_TRACE(std::string(tuple) + " x " + std::to_string(repeat) + tail);
        const std::string content = "<coordinates>\n" + line + tail;
        WriteKml(content);
        const Outcome expected = Reference();
        ASSERT_NO_FATAL_FAILURE(ExpectAllAgree(content, expected));
      }
    }
  }
}

TEST_F(CoordinateStreamTest, ReadingStopsRightAfterTheCoordinateLine) {
  const std::string head = "<coordinates>\r\n1,2,0 \r\n";
  WriteKml(head + "<coordinates>\n3,4,0 \n");
  CStdioFile input(path_, CFile::modeRead);
  const ScannedCoordinates scanned = ScanCoordinates(input, path_);
  EXPECT_TRUE(scanned.found);
  EXPECT_EQ(scanned.line_start, 15u);
  EXPECT_EQ(input.GetPosition(), head.size());
}

TEST_F(CoordinateStreamTest, ScanStartsAtTheCurrentPosition) {
  WriteKml("<coordinates>\n1,2,0 \n<coordinates>\n3,4,0 5,6,0 \n");
  CStdioFile input(path_, CFile::modeRead);
  input.Seek(21);
  const ScannedCoordinates scanned = ScanCoordinates(input, path_);
  StringSink sink;
  WritePointText(input, scanned, sink);
  EXPECT_EQ(scanned.line_start, 35u);
  EXPECT_EQ(scanned.points, 2);
  EXPECT_EQ(sink.text, "3 4\n5 6\n");
}

TEST_F(CoordinateStreamTest, NothingFoundWritesNothing) {
  WriteKml("<kml>\n1,2,0 \n");
  CStdioFile input(path_, CFile::modeRead);
  const ScannedCoordinates scanned = ScanCoordinates(input, path_);
  EXPECT_FALSE(scanned.found);
  EXPECT_EQ(scanned.points, 0);
  StringSink sink;
  WritePointText(input, scanned, sink);
  EXPECT_EQ(sink.text, "");
}

// A line that changed between the passes must not give half a point text as if it were whole.
TEST_F(CoordinateStreamTest, LineShortenedBetweenThePassesIsAReadErrorNamingTheFile) {
  WriteKml("<coordinates>\n1,2,0 3,4,0 \n");
  CStdioFile input(path_, CFile::modeRead);
  ScannedCoordinates scanned = ScanCoordinates(input, path_);
  scanned.text_end += 10;
  StringSink sink;
  try {
    WritePointText(input, scanned, sink);
    ADD_FAILURE() << "no error";
  } catch (const CFileException& error) {
    EXPECT_EQ(error.m_cause, CFileException::readError);
    EXPECT_EQ(error.m_strFileName, path_);
  }
}

// The count is checked only once the line is known to be the coordinate line: a line that holds
// the opening tag counts for nothing, however many tuples it has.
TEST(CoordinateLineScannerTest, CountOfALineWithTheTagIsDropped) {
  CoordinateLineScanner scanner;
  scanner.BeginLine(0);
  ASSERT_FALSE(scanner.Feed("<coordinates>", PieceEnd::kLineEnd));
  scanner.BeginLine(14);
  ASSERT_FALSE(scanner.Feed("1,2,0 3,4,0 ", PieceEnd::kMore));
  ASSERT_FALSE(scanner.Feed("</coordinates><coordinates>", PieceEnd::kLineEnd));
  scanner.BeginLine(53);
  ASSERT_TRUE(scanner.Feed("5,6,0 ", PieceEnd::kLineEnd));
  const ScannedCoordinates scanned = scanner.Result("a.kml");
  EXPECT_EQ(scanned.line_start, 53u);
  EXPECT_EQ(scanned.points, 1);
  EXPECT_EQ(scanned.text_begin, 0u);
  EXPECT_EQ(scanned.text_end, 6u);
}

TEST(PointCountTest, LargestCountPassesOneMoreIsRefusedNamingTheFile) {
  EXPECT_EQ(ToPointCount(0, "a.kml"), 0);
  EXPECT_EQ(ToPointCount(2147483647u, "a.kml"), 2147483647);
  for (uint64_t count : {uint64_t{2147483648u}, uint64_t{4294967296u}, ~uint64_t{0}}) {
    try {
      ToPointCount(count, "/maps/huge.kml");
      ADD_FAILURE() << count << " points accepted";
    } catch (const CFileException& error) {
      EXPECT_EQ(error.m_cause, CFileException::tooManyPoints);
      EXPECT_NE(error.GetErrorMessage().str().find("/maps/huge.kml"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace convert
