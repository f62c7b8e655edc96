#include "cli/report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/locale_text.h"

namespace cli {
namespace {

using platform::CString;

convert::FullSummary Summary() {
  convert::FullSummary summary;
  summary.mif_path = "a.mif";
  summary.mid_path = "a.mid";
  summary.kml_root = true;
  summary.placemarks = 1;
  return summary;
}

struct SummaryRow {
  void (*set)(convert::FullSummary&);
  std::string english;
  std::string chinese;
};

TEST(FormatFullSummaryTest, OnlyTheCountsThatAreNotZero) {
  const SummaryRow rows[] = {
      {[](convert::FullSummary& s) { s.written.points = 1; },
       "Converted \"a.kml\": \"a.mif\" and \"a.mid\", 1 point.\n",
       "已转换“a.kml”：“a.mif”和“a.mid”，点 1 个。\n"},
      {[](convert::FullSummary& s) {
         s.written.points = 2;
         s.written.multipoints = 1;
         s.written.lines = 3;
         s.written.regions = 1;
         s.written.collections = 4;
         s.written.no_geometry = 5;
       },
       "Converted \"a.kml\": \"a.mif\" and \"a.mid\", 2 points, 1 multipoint, 3 lines, 1 "
       "region, 4 collections, 5 placemarks without geometry.\n",
       "已转换“a.kml”：“a.mif”和“a.mid”，点 2 个，多点 1 个，线 3 条，区域 1 个，集合 4 个，"
       "无几何的地标 5 个。\n"},
      {[](convert::FullSummary& s) {
         s.written.multipoints = 2;
         s.written.collections = 1;
       },
       "Converted \"a.kml\": \"a.mif\" and \"a.mid\", 2 multipoints, 1 collection.\n",
       "已转换“a.kml”：“a.mif”和“a.mid”，多点 2 个，集合 1 个。\n"},
      {[](convert::FullSummary& s) {
         s.placemarks = 0;
         s.overlays = 1;
         s.network_links = 2;
       },
       "Converted \"a.kml\": \"a.mif\" and \"a.mid\", no placemarks; skipped: 1 overlay, 2 "
       "network links.\n",
       "已转换“a.kml”：“a.mif”和“a.mid”，没有地标；跳过：叠加层 1 个，网络链接 2 个。\n"},
      {[](convert::FullSummary& s) {
         s.written.points = 1;
         s.network_links = 1;
         s.outside_placemarks = 5;
       },
       "Converted \"a.kml\": \"a.mif\" and \"a.mid\", 1 point; skipped: 1 network link, 5 "
       "placemarks outside the document's folders.\n",
       "已转换“a.kml”：“a.mif”和“a.mid”，点 1 个；跳过：网络链接 1 个，不属于文档结构的地标 5 "
       "个。\n"},
      {[](convert::FullSummary& s) {
         s.written.lines = 1;
         s.bad_tuples = 7;
         s.extra_tuples = 2;
         s.written.dropped_parts = 1;
         s.written.one_point_lines = 1;
         s.written.replaced_chars = 3;
         s.written.cut_values = 1;
         s.written.dropped_fields = 2;
         s.dropped_styles = 1;
       },
       "Converted \"a.kml\": \"a.mif\" and \"a.mid\", 1 line; skipped: 7 unreadable coordinate "
       "tuples, 1 empty or degenerate part; 2 tuples with extra values (x and y kept), 1 line of "
       "one "
       "point written as a point, 3 "
       "characters written as '?', 1 value cut to 254 "
       "bytes, 2 fields beyond the column limit dropped, 1 style dropped.\n",
       "已转换“a.kml”：“a.mif”和“a.mid”，线 1 条；跳过：无法读取的坐标 7 组，空的或退化的部分 1 "
       "个；有多余数值的坐标 2 组（保留 x、y），只有一个点而写作点的线 1 条，写作“?”的字符 3 "
       "个，截断到 254 字节的值 1 "
       "个，超出列数上限而丢弃的字段 2 个，"
       "丢弃的样式 1 个。\n"},
  };
  for (const SummaryRow& row : rows) {
    convert::FullSummary summary = Summary();
    row.set(summary);
    EXPECT_EQ(FormatFullSummary(summary, "a.kml", Language::kEnglish), row.english);
    EXPECT_EQ(FormatFullSummary(summary, "a.kml", Language::kChinese), row.chinese);
  }
}

TEST(FullWarningsTest, NotKmlOrNoPlacemarksGiveOneWarningNamingTheFile) {
  convert::FullSummary summary = Summary();
  EXPECT_TRUE(FullWarnings(summary, "a.kml", Language::kEnglish).empty());
  summary.placemarks = 0;
  std::vector<std::string> warnings = FullWarnings(summary, "a.kml", Language::kEnglish);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "warning: \"a.kml\" has no placemarks; the table written is empty.");
  summary.kml_root = false;
  warnings = FullWarnings(summary, "a.kml", Language::kChinese);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0], "警告：“a.kml”不是 KML 文档，写出的表是空的。");
}

TEST(FullWarningsTest, PointsRefusedOrOutsideTheirZone) {
  convert::FullSummary summary = Summary();
  summary.zone = 39;
  summary.written.refused_points = 1;
  summary.written.outside_zone = 2;
  std::vector<std::string> warnings = FullWarnings(summary, "a.kml", Language::kEnglish);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0],
            "warning: \"a.kml\": 1 point cannot be transformed into the coordinate system (a "
            "latitude beyond +-90 degrees, or more than 60 degrees from the zone's central "
            "meridian) and was skipped.");
  EXPECT_EQ(
      warnings[1],
      "warning: \"a.kml\": 2 points lie outside zone 39; another zone would fit them better.");
  warnings = FullWarnings(summary, "a.kml", Language::kChinese);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0],
            "警告：“a.kml”中有 1 个点无法转换到所选的坐标系（纬度超出 ±90°，或距投影带的中央子午线"
            "超过 60°），已跳过。");
  EXPECT_EQ(warnings[1], "警告：“a.kml”中有 2 个点位于第 39 带之外；换一个投影带会更合适。");
}

struct FirstLineRow {
  bool found;
  convert::PointCount points;
  bool pairs;
  std::string expected_part;  // empty: no warning
};

TEST(FirstLineWarningsTest, UnreadableResultsWarnAndSuggestTheFullConversion) {
  const FirstLineRow rows[] = {
      {true, 3, true, ""},
      {false, 0, true, "has no coordinate list"},
      {true, 0, true, "no point was found"},
      {true, 0, false, "no point was found"},
      {true, 2, false, "not pairs of numbers"},
  };
  for (const FirstLineRow& row : rows) {
    convert::FirstLineSummary summary;
    summary.found_coordinate_line = row.found;
    summary.point_count = row.points;
    summary.point_text_is_pairs = row.pairs;
    const std::vector<std::string> warnings =
        FirstLineWarnings(summary, "r.kml", Language::kEnglish);
    if (row.expected_part.empty()) {
      EXPECT_TRUE(warnings.empty());
      continue;
    }
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(row.expected_part), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find("\"r.kml\""), std::string::npos) << warnings[0];
    EXPECT_EQ(warnings[0].find("--first-line") != std::string::npos, row.found) << warnings[0];
  }
}

TEST(FileErrorMessageTest, EnglishOrChineseNamingTheFile) {
  const platform::CFileException error(platform::CFileException::fileNotFound, "地图/a.kml");
  EXPECT_EQ(FileErrorMessage(error, Language::kEnglish, nullptr),
            "cannot open file \"地图/a.kml\": the file does not exist.");
  const auto bracket = [](std::string_view text) {
    std::string bracketed(1, '[');
    bracketed.append(text);
    return bracketed += ']';
  };
  // The platform's own texts are converted, the path is not.
  const std::string bracketed = FileErrorMessage(error, Language::kChinese, bracket);
  EXPECT_EQ(bracketed.find('['), 0u);
  EXPECT_NE(bracketed.find("]地图/a.kml["), std::string::npos) << bracketed;
  // Whatever encoding the platform's literals are in, the report comes out in UTF-8.
  EXPECT_EQ(FileErrorMessage(error, Language::kChinese, PlatformLiteralConverter()),
            "无法打开文件“地图/a.kml”：找不到该文件。");
}

TEST(LocaleTextTest, LanguageOfLocaleNames) {
  const std::pair<const char*, Language> rows[] = {
      {"zh_CN.UTF-8", Language::kChinese},
      {"zh_TW.Big5", Language::kChinese},
      {"ZH", Language::kChinese},
      {"z", Language::kEnglish},
      {"C", Language::kEnglish},
      {"en_US.UTF-8", Language::kEnglish},
      {"", Language::kEnglish},
  };
  for (const auto& [name, language] : rows) EXPECT_EQ(LanguageOfLocaleName(name), language) << name;
}

TEST(LocaleTextTest, OnlyOtherCharacterSetsAreConverted) {
  for (const char* as_is : {"UTF-8", "utf8", "ANSI_X3.4-1968", ""}) {
    EXPECT_FALSE(NeedsConversion(as_is)) << as_is;
  }
  for (const char* converted : {"GBK", "GB18030", "ISO-8859-1"}) {
    EXPECT_TRUE(NeedsConversion(converted)) << converted;
  }
}

TEST(LocaleTextTest, ConvertsUtf8CharactersAndKeepsOtherBytes) {
  // A stand-in converter: "中" becomes "Z", anything else is not in the character set.
  const auto convert = [](std::string_view character, std::string& out) {
    if (character != "中") return false;
    out += 'Z';
    return true;
  };
  const std::pair<std::string, std::string> rows[] = {
      {"plain ascii", "plain ascii"},
      {"中", "Z"},
      {"中文", "Z?"},
      {"a\xD6\xD0.kml", "a\xD6\xD0.kml"},  // a GBK name passes as it is
      {"\xE4\xB8", "\xE4\xB8"},            // a cut character too
      {"é中", "?Z"},
  };
  for (const auto& [text, expected] : rows) EXPECT_EQ(ConvertUtf8Runs(text, convert), expected);
}

}  // namespace
}  // namespace cli
