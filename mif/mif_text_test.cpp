#include "mif/mif_text.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

#include "platform/file_exception.h"

namespace mif::text {
namespace {

// UTF-8 text whatever the narrow literals of the build are encoded in.
std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

TEST(MifTextTest, PointLines) {
  struct Row {
    const char* x;
    const char* y;
    const char* expected;
  };
  const Row rows[] = {
      {"116.391", "-39.9", "116.391 -39.9\r\n"},  // copied as written
      {"0", "-0", "0 -0\r\n"},
      {"+116.5", "+0", "116.5 0\r\n"},
      {".5", "-.25", "0.5 -0.25\r\n"},
      {"5.", "-5.", "5 -5\r\n"},
      {"+.5", "1.500000000000000000001", "0.5 1.500000000000000000001\r\n"},
      {"1.5e2", "-2.5E-3", "150 -0.0025\r\n"},
      {"1e0", "+1e+1", "1 10\r\n"},
      {"1e-400", "7", "0 7\r\n"},
      {"123456789012345678", "1", "123456789012345678 1\r\n"},
      {"116.5", "+1", "116.5 1\r\n"},  // one plain number, one to rewrite
      {"-.5", "39.25", "-0.5 39.25\r\n"},
  };
  for (const Row& row : rows) {
    std::string out = "previous\r\n";
    AppendPoint(row.x, row.y, out);
    EXPECT_EQ(out, std::string("previous\r\n") + row.expected) << row.x << " " << row.y;
  }
}

TEST(MifTextTest, CutsAtCharacterBoundaries) {
  struct Row {
    std::string text;
    size_t max;
    Charset charset;
    size_t expected;
  };
  const std::string chinese_utf8 = U8(u8"地图");  // 6 bytes
  const std::string chinese_gbk = "\xB5\xD8\xCD\xBC";
  const Row rows[] = {
      {"abc", 5, Charset::kUtf8, 3},
      {chinese_utf8, 6, Charset::kUtf8, 6},
      {chinese_utf8, 5, Charset::kUtf8, 3},
      {chinese_utf8, 2, Charset::kNeutral, 0},
      {chinese_gbk, 3, Charset::kWindowsSimpChinese, 2},
      {"a" + chinese_gbk, 2, Charset::kWindowsSimpChinese, 1},
      // A trail byte that looks like ASCII is no boundary.
      {"\x81\x41\x42", 1, Charset::kWindowsSimpChinese, 0},
      {"\xE9\xE8\xE7", 2, Charset::kWindowsLatin1, 2},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(CutLength(row.text, row.max, row.charset), row.expected) << row.text;
  }
}

TEST(MifTextTest, NumberKinds) {
  struct Row {
    const char* value;
    bool integer;
    bool decimal;
  };
  const Row rows[] = {
      {"0", true, true},           {"-2147483648", true, true},  {"2147483647", true, true},
      {"2147483648", false, true}, {"-2147483649", false, true}, {"99999999999", false, true},
      {"3.25", false, true},       {"-0.5", false, true},        {"+5", false, false},
      {".5", false, false},        {"5.", false, false},         {"1e5", false, false},
      {"-", false, false},         {"12a", false, false},        {" 12", false, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(IsInteger32(row.value), row.integer) << row.value;
    EXPECT_EQ(IsDecimal(row.value), row.decimal) << row.value;
  }
}

TEST(MifTextTest, MidFields) {
  struct Row {
    const char* value;
    const char* expected;
  };
  const Row rows[] = {
      {"", "\"\""},
      {"plain, with comma", "\"plain, with comma\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"a\nb", "\"a\\nb\""},
      {"a\r\nb\rc", "\"a\\nb\\nc\""},
  };
  for (const Row& row : rows) {
    std::string out;
    AppendQuoted(row.value, out);
    EXPECT_EQ(out, row.expected);
  }
  std::string text = "a\r\nb\rc\n\r\nd";
  NormalizeLineBreaks(text);
  EXPECT_EQ(text, "a\nb\nc\n\nd");
}

TEST(MifTextTest, ColumnNames) {
  struct Row {
    std::string name;
    bool keep_letters;
    Charset charset;
    std::string expected;
  };
  const std::string long_ascii(40, 'a');
  const std::string gbk_di = "\xB5\xD8";
  const Row rows[] = {
      {"Road_Name2", true, Charset::kUtf8, "Road_Name2"},
      {"road name-1", true, Charset::kUtf8, "road_name_1"},
      {"2nd", true, Charset::kUtf8, "_2nd"},
      {"", true, Charset::kUtf8, "Field"},
      {long_ascii, true, Charset::kUtf8, std::string(31, 'a')},
      {U8(u8"道路名称"), true, Charset::kUtf8, U8(u8"道路名称")},
      {U8(u8"道路名称"), false, Charset::kNeutral, "____"},
      {U8(u8"名称（中）"), true, Charset::kUtf8, U8(u8"名称_中_")},
      {U8(u8"é"), false, Charset::kWindowsLatin1, "_"},
      // Eleven Chinese characters are 33 bytes of UTF-8: cut to ten.
      {U8(u8"一二三四五六七八九十百"), true, Charset::kUtf8, U8(u8"一二三四五六七八九十")},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FinishName(SanitizeName(row.name, row.keep_letters), row.charset), row.expected)
        << row.name;
  }
  // In GBK: a character the set lacks came as '?'; 16 characters are cut to 15 (30 bytes).
  EXPECT_EQ(FinishName("a?" + gbk_di, Charset::kWindowsSimpChinese), "a_" + gbk_di);
  std::string sixteen;
  for (int i = 0; i < 16; ++i) sixteen += gbk_di;
  EXPECT_EQ(FinishName(sixteen, Charset::kWindowsSimpChinese), sixteen.substr(0, 30));
}

TEST(MifTextTest, UniqueNamesIgnoreCase) {
  std::unordered_set<std::string> used;
  const std::string long_name(31, 'x');
  struct Row {
    std::string name;
    std::string expected;
  };
  const Row rows[] = {
      {"Name", "Name"},       {"name", "name_2"},     {"NAME", "NAME_3"},
      {"name_2", "name_2_2"}, {long_name, long_name}, {long_name, long_name.substr(0, 29) + "_2"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(UniqueName(row.name, Charset::kUtf8, used), row.expected) << row.name;
  }
  // GBK: the trail byte 0x41 is not the letter A, so these two names differ.
  EXPECT_EQ(UniqueName("\x81\x41", Charset::kWindowsSimpChinese, used), "\x81\x41");
  EXPECT_EQ(UniqueName("\x81\x61", Charset::kWindowsSimpChinese, used), "\x81\x61");
}

TEST(MifTextTest, StyleClauses) {
  using feature::Style;
  auto with = [](auto setter) {
    Style style;
    setter(style);
    return style;
  };
  struct Row {
    const char* what;
    Style style;
    const char* line_pen;
    const char* region;  // Pen and Brush
    const char* symbol;
  };
  const Row rows[] = {
      {"nothing set", Style(), "    Pen (1,2,0)\r\n",
       "    Pen (1,2,0)\r\n    Brush (2,16777215,16777215)\r\n", "    Symbol (35,0,12)\r\n"},
      {"line colour (aabbggrr)", with([](Style& s) { s.line_color = 0xff0000ffu; }),
       "    Pen (1,2,16711680)\r\n",
       "    Pen (1,2,16711680)\r\n    Brush (2,16777215,16777215)\r\n", "    Symbol (35,0,12)\r\n"},
      {"line width only", with([](Style& s) { s.line_width = 2.5; }), "    Pen (3,2,16777215)\r\n",
       "    Pen (3,2,16777215)\r\n    Brush (2,16777215,16777215)\r\n", "    Symbol (35,0,12)\r\n"},
      {"wide line, transparent", with([](Style& s) {
         s.line_width = 20;
         s.line_color = 0x00123456u;
       }),
       "    Pen (1,1,0)\r\n", "    Pen (1,1,0)\r\n    Brush (2,16777215,16777215)\r\n",
       "    Symbol (35,0,12)\r\n"},
      {"wide line", with([](Style& s) { s.line_width = 20; }), "    Pen (7,2,16777215)\r\n",
       "    Pen (7,2,16777215)\r\n    Brush (2,16777215,16777215)\r\n", "    Symbol (35,0,12)\r\n"},
      {"thin line", with([](Style& s) { s.line_width = 0.2; }), "    Pen (1,2,16777215)\r\n",
       "    Pen (1,2,16777215)\r\n    Brush (2,16777215,16777215)\r\n", "    Symbol (35,0,12)\r\n"},
      {"poly colour", with([](Style& s) { s.poly_color = 0x7f00ff00u; }), "    Pen (1,2,0)\r\n",
       "    Pen (1,2,0)\r\n    Brush (2,65280)\r\n", "    Symbol (35,0,12)\r\n"},
      {"no fill", with([](Style& s) {
         s.poly_color = 0xff0000ffu;
         s.poly_fill = false;
       }),
       "    Pen (1,2,0)\r\n", "    Pen (1,2,0)\r\n    Brush (1,0)\r\n", "    Symbol (35,0,12)\r\n"},
      {"poly alpha 00", with([](Style& s) { s.poly_color = 0x00ffffffu; }), "    Pen (1,2,0)\r\n",
       "    Pen (1,2,0)\r\n    Brush (1,0)\r\n", "    Symbol (35,0,12)\r\n"},
      {"no outline", with([](Style& s) {
         s.poly_outline = false;
         s.line_color = 0xff0000ffu;
       }),
       "    Pen (1,2,16711680)\r\n", "    Pen (1,1,0)\r\n    Brush (2,16777215)\r\n",
       "    Symbol (35,0,12)\r\n"},
      {"icon colour", with([](Style& s) { s.icon_color = 0xffff0000u; }), "    Pen (1,2,0)\r\n",
       "    Pen (1,2,0)\r\n    Brush (2,16777215,16777215)\r\n", "    Symbol (35,255,12)\r\n"},
      {"icon scale", with([](Style& s) { s.icon_scale = 1.5; }), "    Pen (1,2,0)\r\n",
       "    Pen (1,2,0)\r\n    Brush (2,16777215,16777215)\r\n", "    Symbol (35,0,18)\r\n"},
      {"huge and tiny icons", with([](Style& s) { s.icon_scale = 10; }), "    Pen (1,2,0)\r\n",
       "    Pen (1,2,0)\r\n    Brush (2,16777215,16777215)\r\n", "    Symbol (35,0,48)\r\n"},
      {"tiny icon", with([](Style& s) { s.icon_scale = 0.01; }), "    Pen (1,2,0)\r\n",
       "    Pen (1,2,0)\r\n    Brush (2,16777215,16777215)\r\n", "    Symbol (35,0,1)\r\n"},
  };
  for (const Row& row : rows) {
    std::string pen, region, symbol;
    AppendPen(row.style, false, pen);
    AppendPen(row.style, true, region);
    AppendBrush(row.style, region);
    AppendSymbol(row.style, symbol);
    EXPECT_EQ(pen, row.line_pen) << row.what;
    EXPECT_EQ(region, row.region) << row.what;
    EXPECT_EQ(symbol, row.symbol) << row.what;
  }
}

TEST(MifTextTest, TooManyPointsNamesTheOutput) {
  const platform::CString path("/maps/track.mif");
  EXPECT_NO_THROW(CheckObjectPoints(kMaxObjectPoints, path));
  try {
    CheckObjectPoints(kMaxObjectPoints + 1, path);
    ADD_FAILURE() << "no error";
  } catch (const platform::CFileException& error) {
    EXPECT_EQ(error.m_cause, platform::CFileException::tooManyPoints);
    EXPECT_NE(error.GetErrorMessage().Find("track.mif"), -1);
  }
}

}  // namespace
}  // namespace mif::text
