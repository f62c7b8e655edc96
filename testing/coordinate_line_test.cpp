#include "testing/coordinate_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/code_page.h"
#include "platform/file_exception.h"
#include "platform/stdio_file.h"
#include "testing/temp_folder.h"

namespace test_support {
namespace {

using platform::CFileException;
using platform::CStdioFile;
using platform::CString;

class CoordinateLineTest : public ::testing::Test {
 protected:
  CString WriteKml(const std::string& bytes) { return CString(folder_.Write("route.kml", bytes)); }

  TempFolder folder_{"line"};
};

struct ScanRow {
  const char* what;
  std::string kml;
  bool found;
  std::string point_text;
  PointCount points;
};

// Each row: the file as bytes, whether a coordinate line is found, its rewrite and count.
const ScanRow kScanRows[] = {
    {"no opening tag: whole file read, nothing found",
     "<kml>\n<LineString>\n1,2,0 3,4,0 \n</LineString>\n</kml>\n", false, "", 0},
    {"opening tag on the last line", "<kml>\n<coordinates>\n", false, "", 0},
    {"opening tag on the last line without line end", "<kml>\n\t\t<coordinates>", false, "", 0},
    {"typical layout, closing tag on its own line",
     "<LineString>\n\t<coordinates>\n\t\t116.391,39.907,0 116.392,39.908,0 \n\t</coordinates>\n",
     true, "\t\t116.391 39.907\n116.392 39.908\n", 2},
    {"closing tag ends the tuple line",
     "<coordinates>\n116.391,39.907,0 116.392,39.908,0 </coordinates>\n", true,
     "116.391 39.907\n116.392 39.908\n", 2},
    {"tuples on the opening line, indented closing LineString",
     "\t<coordinates>1,2,0 3,4,0 </coordinates>\n\t\t</LineString>\n", true, "\t\t</LineString", 0},
    {"tuples on the opening line, indented closing Point",
     "\t<coordinates>1,2,0 </coordinates>\n\t\t</Point>\n", true, "\t\t</P", 0},
    {"tuples on the opening line, closing LineString",
     "<coordinates>1,2,0 3,4,0 </coordinates>\n</LineString>\n", true, "LineString", 0},
    {"tuples on the opening line, closing Point", "<coordinates>1,2,0 </coordinates>\n</Point>\n",
     true, "P", 0},
    {"empty list: only the indentation is left",
     "<LineString>\n\t<coordinates>\n\t\t</coordinates>\n</LineString>\n", true, "\t\t", 0},
    {"empty line right after the opening tag", "<coordinates>\n\n1,2,0 \n", true, "", 0},
    {"flag never cleared: another opening line only sets it again",
     "<coordinates>\n<coordinates>1,2,0 \n3,4,0 \n", true, "3 4\n", 1},
    {"flag never cleared: any later line is taken",
     "<coordinates>1,2,0 </coordinates>\n\t<name>x</name>\n", true, "\t<name>x</nam", 0},
    {"capital tag does not set the flag", "<COORDINATES>\n1,2,0 \n</COORDINATES>\n", false, "", 0},
    {"mixed-case tag does not set the flag", "<Coordinates>\n1,2,0 \n", false, "", 0},
    {"tag inside a longer line", "<LineString><tessellate>1</tessellate><coordinates>\n1,2,0 \n",
     true, "1 2\n", 1},
    {"only the first list counts",
     "<coordinates>\n1,2,0 \n</coordinates>\n<coordinates>\n3,4,0 5,6,0 \n</coordinates>\n", true,
     "1 2\n", 1},
    {"CR LF line ends", "<coordinates>\r\n1,2,0 3,4,0 \r\n</coordinates>\r\n", true, "1 2\n3 4\n",
     2},
    {"a lone CR stays in the line", "<coordinates>\n1,2,0 \r3,4,0 \n", true, "1 2\n\r3 4\n", 2},
    {"last line without line end", "<coordinates>\n1,2,0 3,4,0 ", true, "1 2\n3 4\n", 2},
};

TEST_F(CoordinateLineTest, ScanAndRewriteTable) {
  for (const ScanRow& row : kScanRows) {
    SCOPED_TRACE(row.what);
    CStdioFile input(WriteKml(row.kml), CStdioFile::modeRead);
    std::optional<CString> line = FindCoordinateLine(input);
    ASSERT_EQ(line.has_value(), row.found);
    if (!line) continue;
    EXPECT_EQ(RewriteCoordinates(*line), row.points);
    EXPECT_EQ(line->str(), row.point_text);
  }
}

TEST_F(CoordinateLineTest, ReadingStopsRightAfterTheCoordinateLine) {
  const std::string head = "<kml>\r\n<coordinates>\r\n1,2,0 \r\n";
  CStdioFile input(WriteKml(head + "</coordinates>\r\n<coordinates>\r\n3,4,0 \r\n"),
                   CStdioFile::modeRead);
  ASSERT_TRUE(FindCoordinateLine(input).has_value());
  EXPECT_EQ(input.GetPosition(), head.size());
  CString next;
  ASSERT_TRUE(input.ReadString(next));
  EXPECT_EQ(next.str(), "</coordinates>");
}

TEST_F(CoordinateLineTest, ByteOf0x1AEndsTheInputBeforeTheCoordinateLine) {
  CStdioFile input(WriteKml(std::string("<coordinates>\n\x1A") + "1,2,0 \n"), CStdioFile::modeRead);
  EXPECT_FALSE(FindCoordinateLine(input).has_value());
}

// A tag right after a byte that GBK reads as a lead byte is still found: ASCII bytes below 0x40
// never serve as trail bytes, so "<" always starts a character of its own.
TEST_F(CoordinateLineTest, TagAfterLeadByteIsFoundInGbk) {
  platform::ScopedCodePage gbk(platform::CodePage::Gbk());
  CStdioFile input(WriteKml("\xC2<coordinates>\n\xC2\xB7,1,2,0 \n"), CStdioFile::modeRead);
  std::optional<CString> line = FindCoordinateLine(input);
  ASSERT_TRUE(line.has_value());
  EXPECT_EQ(RewriteCoordinates(*line), 1);
  EXPECT_EQ(line->str(), "\xC2\xB7 1 2\n");
}

struct RewriteRow {
  std::string line;
  std::string point_text;
  PointCount points;
};

TEST(RewriteCoordinatesTest, Table) {
  const RewriteRow rows[] = {
      {"\t\t116.391,39.907,0 116.392,39.908,0 ", "\t\t116.391 39.907\n116.392 39.908\n", 2},
      {"116.391,39.907,0 116.392,39.908,0 </coordinates>", "116.391 39.907\n116.392 39.908\n", 2},
      {"116.391,39.907,0 116.392,39.908,0", "116.391 39.907\n116.392 39.908 0", 1},
      {"116.391,39.907,25 116.392,39.908,25 ", "116.391 39.907 25 116.392 39.908 25 ", 0},
      {"10,0,0 ", "10 0\n", 1},    // the first ",0" is followed by a comma
      {"116.3,0 ", "116.3\n", 1},  // two values, latitude 0
      {"1,0 ,0 ", "1\n\n", 2},     // left to right, no overlap
      {",0,0 ", " 0\n", 1},
      {"1,2,0.0 3,4,00 ", "1 2 0.0 3 4 00 ", 0},
      {"-1.5,-2.5,0 ", "-1.5 -2.5\n", 1},
      {"\t 1,2,0 \t", "\t 1 2\n\t", 1},  // blanks and tabs stop the trim
      {"", "", 0},
      {"</coordinates>", "", 0},
      {"<coordinates>", "", 0},
  };
  for (const RewriteRow& row : rows) {
    SCOPED_TRACE(row.line);
    CString line(row.line);
    EXPECT_EQ(RewriteCoordinates(line), row.points);
    EXPECT_EQ(line.str(), row.point_text);
  }
}

}  // namespace
}  // namespace test_support
