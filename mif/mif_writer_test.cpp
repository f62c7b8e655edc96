#include "mif/mif_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/replace_file.h"
#include "platform/transcoder.h"
#include "testing/temp_folder.h"

namespace mif {
namespace {

using feature::AttributeKind;
using feature::PartKind;
using platform::CFileException;

// UTF-8 text whatever the narrow literals of the build are encoded in.
std::string U8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

struct Part {
  PartKind kind;
  std::vector<std::pair<std::string, std::string>> points;
};

// A part from "x y, x y, ...".
Part MakePart(PartKind kind, std::string_view text) {
  Part part{kind, {}};
  while (!text.empty()) {
    const size_t comma = text.find(',');
    std::string_view point = text.substr(0, comma);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    while (!point.empty() && point.front() == ' ') point.remove_prefix(1);
    const size_t blank = point.find(' ');
    part.points.emplace_back(point.substr(0, blank), point.substr(blank + 1));
  }
  return part;
}
Part Point(std::string_view text) { return MakePart(PartKind::kPoint, text); }
Part Line(std::string_view text) { return MakePart(PartKind::kLine, text); }
Part Outer(std::string_view text) { return MakePart(PartKind::kOuterRing, text); }
Part Inner(std::string_view text) { return MakePart(PartKind::kInnerRing, text); }

struct Feature {
  std::vector<Part> parts;
  feature::Placemark placemark;
};

Feature WithGeometry(std::vector<Part> parts) { return Feature{std::move(parts), {}}; }

Feature WithAttributes(std::vector<feature::Attribute> attributes) {
  Feature feature;
  feature.placemark.attributes = std::move(attributes);
  return feature;
}

feature::Attribute Data(std::string name, std::string value) {
  return feature::Attribute{AttributeKind::kData, std::move(name), std::move(value), false};
}
feature::Attribute Builtin(AttributeKind kind, std::string value) {
  return feature::Attribute{kind, "", std::move(value), false};
}

// Shared styles by "#id", the placemark's own style laid over them: the writer's view of the
// document's style table.
class StylesById : public feature::StyleResolver {
 public:
  void Add(const std::string& id, const feature::Style& style) { styles_["#" + id] = style; }
  feature::Style Resolve(std::string_view style_url,
                         const feature::Style& inline_style) const override {
    const auto found = styles_.find(std::string(style_url));
    feature::Style style = found == styles_.end() ? feature::Style() : found->second;
    style.LayOver(inline_style);
    return style;
  }

 private:
  std::map<std::string, feature::Style> styles_;
};

bool HasTranscoders() {
  return platform::Transcoder::Open("UTF-8", "CP936") != nullptr &&
         platform::Transcoder::Open("UTF-8", "windows-1252") != nullptr;
}

class MifWriterTest : public ::testing::Test {
 protected:
  struct Output {
    std::string mif;
    std::string mid;
    WriterCounts counts;
    std::string Header() const { return mif.substr(0, mif.find("Data\r\n") + 6); }
    std::string Body() const { return mif.substr(mif.find("Data\r\n") + 6); }
  };

  void TearDown() override { platform::fault::DisarmAll(); }

  platform::CString Path(const std::string& name) const {
    return platform::CString(folder_.PathOf(name));
  }

  static void Feed(MifWriter& writer, const std::vector<Feature>& features) {
    std::vector<feature::Coordinate> batch;
    for (const Feature& feature : features) {
      writer.BeginPlacemark();
      for (const Part& part : feature.parts) {
        writer.BeginPart(part.kind);
        batch.clear();
        std::vector<std::pair<std::string, std::string>> distinct;
        for (const auto& [x, y] : part.points) {
          batch.push_back({x, y});
          if (distinct.size() < 3 &&
              std::find(distinct.begin(), distinct.end(), std::pair(x, y)) == distinct.end()) {
            distinct.emplace_back(x, y);
          }
        }
        // In two batches, as a reader hands them on when its buffer ends inside a list.
        const size_t half = batch.size() / 2;
        writer.AddCoordinates(std::span(batch).first(half));
        writer.AddCoordinates(std::span(batch).subspan(half));
        writer.EndPart(static_cast<uint32_t>(distinct.size()));
      }
      writer.EndPlacemark(feature.placemark);
    }
  }

  Output Convert(const std::vector<Feature>& features, Charset charset = Charset::kUtf8,
                 const feature::StyleResolver& styles = StylesById()) {
    MifWriter writer(charset, Path("out.mif"));
    Feed(writer, features);
    return WriteOut(writer, styles);
  }

  // Writes out.mif and out.mid and reads them back.
  Output WriteOut(MifWriter& writer, const feature::StyleResolver& styles = StylesById()) {
    platform::CReplaceFile mif(Path("out.mif"));
    platform::CReplaceFile mid(Path("out.mid"));
    writer.Write(styles, mif, mid);
    mif.Finish();
    mid.Finish();
    mif.Commit();
    mid.Commit();
    return Output{ReadBytes("out.mif"), ReadBytes("out.mid"), writer.counts()};
  }

  std::string ReadBytes(const std::string& name) const { return folder_.Read(name); }

  // What GDAL reads from out.mif: its geometry lines, without their indentation.
  std::string ReadBackGeometry() const {
    const std::string command = "ogrinfo -ro -al -q '" + folder_.PathOf("out.mif") + "' 2>&1";
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "popen failed";
    char line[4096];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
      std::string_view view(line);
      while (!view.empty() && view.front() == ' ') view.remove_prefix(1);
      for (const char* kind : {"POINT", "MULTIPOINT", "LINESTRING", "MULTILINESTRING", "POLYGON",
                               "MULTIPOLYGON", "GEOMETRYCOLLECTION", "ERROR"}) {
        if (view.starts_with(kind)) text += view;
      }
    }
    pclose(pipe);
    return text;
  }

  test_support::TempFolder folder_{"mif"};
};

TEST_F(MifWriterTest, HeaderAndVersion) {
  Output out = Convert({WithGeometry({Line("1 2, 3 4")})});
  EXPECT_EQ(out.Header(),
            "Version 300\r\nCharset \"UTF-8\"\r\nDelimiter \",\"\r\n"
            "CoordSys Earth Projection 1, 104\r\nColumns 1\r\n  blank Char(1)\r\nData\r\n");
  EXPECT_EQ(out.mid, "\r\n");
  // A Multipoint (or a Collection) needs the later version.
  out = Convert({WithGeometry({Line("1 2, 3 4")}), WithGeometry({Point("1 2"), Point("3 4")})},
                Charset::kNeutral);
  EXPECT_TRUE(out.Header().starts_with("Version 650\r\nCharset \"Neutral\"\r\n"));
  EXPECT_EQ(out.mid, "\r\n\r\n");
}

TEST_F(MifWriterTest, ObjectKinds) {
  struct Row {
    const char* what;
    std::vector<Part> parts;
    const char* body;
    uint64_t WriterCounts::*count;
    const char* read_back;  // by GDAL
  };
  const Row rows[] = {
      {"point",
       {Point("1 2")},
       "Point 1 2\r\n    Symbol (35,0,12)\r\n",
       &WriterCounts::points,
       "POINT (1 2)\n"},
      {"multipoint",
       {Point("1 2"), Point("3 4")},
       "Multipoint 2\r\n1 2\r\n3 4\r\n    Symbol (35,0,12)\r\n",
       &WriterCounts::others,
       "MULTIPOINT ((1 2),(3 4))\n"},
      {"pline",
       {Line("0 0, 1 1")},
       "Pline 2\r\n0 0\r\n1 1\r\n    Pen (1,2,0)\r\n",
       &WriterCounts::lines,
       "LINESTRING (0 0,1 1)\n"},
      {"pline multiple",
       {Line("0 0, 1 1"), Line("2 2, 3 3, 4 4")},
       "Pline Multiple 2\r\n  2\r\n0 0\r\n1 1\r\n  3\r\n2 2\r\n3 3\r\n4 4\r\n    Pen (1,2,0)\r\n",
       &WriterCounts::lines,
       "MULTILINESTRING ((0 0,1 1),(2 2,3 3,4 4))\n"},
      {"region with a hole",
       {Outer("0 0, 10 0, 10 10, 0 0"), Inner("5 1, 9 1, 9 5, 5 1")},
       "Region 2\r\n  4\r\n0 0\r\n10 0\r\n10 10\r\n0 0\r\n  4\r\n5 1\r\n9 1\r\n9 5\r\n5 1\r\n"
       "    Pen (1,2,0)\r\n    Brush (2,16777215,16777215)\r\n",
       &WriterCounts::regions,
       "POLYGON ((0 0,10 0,10 10,0 0),(5 1,9 1,9 5,5 1))\n"},
      {"two regions",
       {Outer("0 0, 1 0, 1 1, 0 0"), Outer("5 5, 6 5, 6 6, 5 5")},
       "Region 2\r\n  4\r\n0 0\r\n1 0\r\n1 1\r\n0 0\r\n  4\r\n5 5\r\n6 5\r\n6 6\r\n5 5\r\n"
       "    Pen (1,2,0)\r\n    Brush (2,16777215,16777215)\r\n",
       &WriterCounts::regions,
       "MULTIPOLYGON (((0 0,1 0,1 1,0 0)),((5 5,6 5,6 6,5 5)))\n"},
      {"collection, parts grouped by kind",
       {Point("5 5"), Line("0 0, 1 1"), Outer("0 0, 1 0, 1 1, 0 0"), Point("6 6"),
        Line("2 2, 3 3")},
       "Collection 3\r\nRegion 1\r\n  4\r\n0 0\r\n1 0\r\n1 1\r\n0 0\r\n"
       "    Pen (1,2,0)\r\n    Brush (2,16777215,16777215)\r\n"
       "Pline Multiple 2\r\n  2\r\n0 0\r\n1 1\r\n  2\r\n2 2\r\n3 3\r\n    Pen (1,2,0)\r\n"
       "Multipoint 2\r\n5 5\r\n6 6\r\n    Symbol (35,0,12)\r\n",
       &WriterCounts::others,
       "GEOMETRYCOLLECTION (POLYGON ((0 0,1 0,1 1,0 0)),MULTILINESTRING ((0 0,1 1),(2 2,3 3)),"
       "MULTIPOINT ((5 5),(6 6)))\n"},
      {"collection of a line and a point",
       {Line("0 0, 1 1"), Point("5 5")},
       "Collection 2\r\nPline 2\r\n0 0\r\n1 1\r\n    Pen (1,2,0)\r\n"
       "Multipoint 1\r\n5 5\r\n    Symbol (35,0,12)\r\n",
       &WriterCounts::others,
       "GEOMETRYCOLLECTION (LINESTRING (0 0,1 1),MULTIPOINT ((5 5)))\n"},
      {"no geometry", {}, "None\r\n", &WriterCounts::no_geometry, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Output out = Convert({WithGeometry(row.parts)});
    EXPECT_EQ(out.Body(), row.body);
    EXPECT_EQ(out.counts.*row.count, 1u);
    EXPECT_EQ(out.counts.points + out.counts.lines + out.counts.regions + out.counts.others +
                  out.counts.no_geometry,
              1u);
#if !defined(_WIN32)
    EXPECT_EQ(ReadBackGeometry(), row.read_back);
#endif
  }
}

// Points that the reader has found plain are copied as they stand, whether x and y lie apart
// or together as "x,y" (the comma between becomes the blank), whatever their lengths; the
// others, met among them, are rewritten in their place.
TEST_F(MifWriterTest, PlainPointsAreCopiedAsTheyStand) {
  const std::string together = "116.391289,39.907668";
  const std::string semicolon = "0.5;7";
  const std::string long_x = "12345678901234567890123456789012345.5";  // past 32 bytes
  const std::string x16 = "1234567890.123456";                         // 8 to 32 bytes
  const std::vector<feature::Coordinate> batch = {
      {std::string_view(together).substr(0, 10), std::string_view(together).substr(11), true},
      {"-1", "2", true},
      {"1e2", "+3", false},
      {std::string_view(semicolon).substr(0, 3), std::string_view(semicolon).substr(4), true},
      {long_x, x16, true},
      {"12345678", "1234567", true},
  };
  MifWriter writer(Charset::kUtf8, Path("out.mif"));
  writer.BeginPlacemark();
  writer.BeginPart(PartKind::kLine);
  writer.AddCoordinates(batch);
  writer.EndPart(3);
  writer.EndPlacemark(feature::Placemark());
  EXPECT_EQ(WriteOut(writer).Body(),
            "Pline 6\r\n116.391289 39.907668\r\n-1 2\r\n100 3\r\n0.5 7\r\n" + long_x + " " + x16 +
                "\r\n12345678 1234567\r\n    Pen (1,2,0)\r\n");
}

TEST_F(MifWriterTest, PartsKeptOrDropped) {
  struct Row {
    const char* what;
    std::vector<Part> parts;
    const char* body;
    uint64_t dropped;
    uint64_t one_point_lines;
  };
  const Row rows[] = {
      {"line without points", {Line("")}, "None\r\n", 1, 0},
      {"point without a coordinate", {Point("")}, "None\r\n", 1, 0},
      {"line of one point", {Line("7 8")}, "Point 7 8\r\n    Symbol (35,0,12)\r\n", 0, 1},
      {"line of two equal points",
       {Line("7 8, 7 8")},
       "Pline 2\r\n7 8\r\n7 8\r\n    Pen (1,2,0)\r\n",
       0,
       0},
      {"ring of two distinct points", {Outer("0 0, 1 1, 0 0, 1 1")}, "None\r\n", 1, 0},
      {"holes of a dropped ring go with it, the next ring stays",
       {Outer("0 0, 1 1, 0 0"), Inner("0 0, 1 0, 1 1, 0 0"), Outer("5 5, 6 5, 6 6, 5 5"),
        Inner("5 5, 6 5, 5 5"), Inner("5.1 5.1, 5.5 5.1, 5.5 5.5, 5.1 5.1")},
       "Region 2\r\n  4\r\n5 5\r\n6 5\r\n6 6\r\n5 5\r\n  4\r\n5.1 5.1\r\n5.5 5.1\r\n5.5 5.5\r\n"
       "5.1 5.1\r\n    Pen (1,2,0)\r\n    Brush (2,16777215,16777215)\r\n",
       3,
       0},
      {"hole without an outer ring",
       {Inner("0 0, 1 0, 1 1, 0 0"), Line("1 1, 2 2")},
       "Pline 2\r\n1 1\r\n2 2\r\n    Pen (1,2,0)\r\n",
       1,
       0},
      {"numbers made plain",
       {Line("+1.5e1 .5, 5. -.25")},
       "Pline 2\r\n15 0.5\r\n5 -0.25\r\n    Pen (1,2,0)\r\n",
       0,
       0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const Output out = Convert({WithGeometry(row.parts)});
    EXPECT_EQ(out.Body(), row.body);
    EXPECT_EQ(out.counts.dropped_parts, row.dropped);
    EXPECT_EQ(out.counts.one_point_lines, row.one_point_lines);
  }
}

// The same three placemarks in every character set.
std::vector<Feature> AttributeFeatures() {
  return {
      WithAttributes({Builtin(AttributeKind::kName, "Alpha"), Data("count", "12"),
                      Data("ratio", "1.5"), Data("note", "a,\"b\"\r\nc")}),
      WithAttributes({Builtin(AttributeKind::kName, U8(u8"北京")), Data("count", "-7"),
                      Data("ratio", "2"), Data(U8(u8"名称"), "x"), Data("name", "n")}),
      WithAttributes({Builtin(AttributeKind::kDescription, "desc"), Data("count", "2147483647"),
                      Data("2nd field", "99999999999")}),
  };
}

// Names and times stay text whatever they hold, and a number with leading zeros keeps them.
TEST_F(MifWriterTest, OnlyFieldsThatLoseNothingAreNumbers) {
  const Output out = Convert({
      WithAttributes({Builtin(AttributeKind::kName, "2020"),
                      Builtin(AttributeKind::kTimeStamp, "2020"), Data("code", "007"),
                      Data("zero", "0"), Data("half", "-0.5"), Data("lead", "00.5")}),
  });
  EXPECT_EQ(out.Header().substr(out.Header().find("Columns")),
            "Columns 6\r\n  Name Char(4)\r\n  TimeStamp Char(4)\r\n  code Char(3)\r\n"
            "  zero Integer\r\n  half Float\r\n  lead Char(4)\r\nData\r\n");
  EXPECT_EQ(out.mid, "\"2020\",\"2020\",\"007\",0,-0.5,\"00.5\"\r\n");
}

// A field named like a built-in column (any case) gets the same new name whether or not that
// column is written.
TEST_F(MifWriterTest, FieldsNamedLikeBuiltinColumnsAreAlwaysRenamed) {
  const std::vector<feature::Attribute> fields = {
      Data("description", "d"), Data("FOLDER", "f"), Data("TimeStamp", "t"), Data("begin", "b"),
      Data("End", "e"),         Data("name", "n"),   Data("name_2", "x")};
  const std::string renamed =
      "  description_2 Char(1)\r\n  FOLDER_2 Char(1)\r\n  TimeStamp_2 Char(1)\r\n"
      "  begin_2 Char(1)\r\n  End_2 Char(1)\r\n  name_2 Char(1)\r\n  name_2_2 Char(1)\r\n";
  struct Row {
    std::vector<feature::Attribute> builtins;
    std::string columns;
  };
  const Row rows[] = {
      {{}, "Columns 7\r\n" + renamed},
      {{Builtin(AttributeKind::kDescription, "k")},
       "Columns 8\r\n  Description Char(1)\r\n" + renamed},
      {{Builtin(AttributeKind::kName, "k"), Builtin(AttributeKind::kEnd, "k")},
       "Columns 9\r\n  Name Char(1)\r\n  End Char(1)\r\n" + renamed},
  };
  for (const Row& row : rows) {
    std::vector<feature::Attribute> attributes = row.builtins;
    attributes.insert(attributes.end(), fields.begin(), fields.end());
    const Output out = Convert({WithAttributes(attributes)}, Charset::kUtf8);
    EXPECT_EQ(out.Header().substr(out.Header().find("Columns")), row.columns + "Data\r\n");
  }
}

TEST_F(MifWriterTest, ColumnsPerCharset) {
  struct Row {
    Charset charset;
    bool needs_transcoder;
    std::string columns;
    std::string first_name;  // in the MID
    uint64_t replaced;
  };
  const Row rows[] = {
      {Charset::kUtf8, false,
       "Columns 8\r\n  Name Char(6)\r\n  Description Char(4)\r\n  count Integer\r\n"
       "  ratio Float\r\n  note Char(7)\r\n  " +
           U8(u8"名称") +
           " Char(1)\r\n  name_2 Char(1)\r\n"
           "  _2nd_field Float\r\n",
       U8(u8"北京"), 0},
      {Charset::kNeutral, false,
       "Columns 8\r\n  Name Char(6)\r\n  Description Char(4)\r\n  count Integer\r\n"
       "  ratio Float\r\n  note Char(7)\r\n  __ Char(1)\r\n  name_2 Char(1)\r\n"
       "  _2nd_field Float\r\n",
       U8(u8"北京"), 0},
      {Charset::kWindowsSimpChinese, true,
       "Columns 8\r\n  Name Char(5)\r\n  Description Char(4)\r\n  count Integer\r\n"
       "  ratio Float\r\n  note Char(7)\r\n  \xC3\xFB\xB3\xC6 Char(1)\r\n  name_2 Char(1)\r\n"
       "  _2nd_field Float\r\n",
       "\xB1\xB1\xBE\xA9", 0},
      {Charset::kWindowsLatin1, true,
       "Columns 8\r\n  Name Char(5)\r\n  Description Char(4)\r\n  count Integer\r\n"
       "  ratio Float\r\n  note Char(7)\r\n  __ Char(1)\r\n  name_2 Char(1)\r\n"
       "  _2nd_field Float\r\n",
       "??", 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(CharsetName(row.charset)));
    if (row.needs_transcoder && !HasTranscoders()) continue;
    const Output out = Convert(AttributeFeatures(), row.charset);
    const std::string header = out.Header();
    EXPECT_EQ(header.substr(header.find("Columns")), row.columns + "Data\r\n");
    EXPECT_EQ(out.mid,
              "\"Alpha\",\"\",12,1.5,\"a,\"\"b\"\"\\nc\",\"\",\"\",\r\n"
              "\"" +
                  row.first_name +
                  "\",\"\",-7,2,\"\",\"x\",\"n\",\r\n"
                  "\"\",\"desc\",2147483647,,\"\",\"\",\"\",99999999999\r\n");
    EXPECT_EQ(out.counts.replaced_chars, row.replaced);
    EXPECT_EQ(out.counts.cut_values, 0u);
  }
}

TEST_F(MifWriterTest, LongValuesAreCutAtCharacters) {
  std::string long_chinese;
  for (int i = 0; i < 300; ++i) long_chinese += U8(u8"地");
  feature::Attribute already_cut = Data("b", "short");
  already_cut.cut = true;
  const std::vector<Feature> features = {
      WithAttributes({Data("a", long_chinese), already_cut}),
      WithAttributes({Data("a", std::string(254, 'x'))}),
  };
  struct Row {
    Charset charset;
    size_t width;  // of the cut value
  };
  const Row rows[] = {{Charset::kUtf8, 252}, {Charset::kWindowsSimpChinese, 254}};
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(CharsetName(row.charset)));
    if (row.charset == Charset::kWindowsSimpChinese && !HasTranscoders()) continue;
    const Output out = Convert(features, row.charset);
    EXPECT_NE(out.Header().find("  a Char(254)\r\n  b Char(5)\r\n"), std::string::npos);
    const std::string first_row = out.mid.substr(0, out.mid.find("\r\n"));
    EXPECT_EQ(first_row.size(), row.width + std::string("\"\",\"short\"").size()) << first_row;
    EXPECT_EQ(out.counts.cut_values, 2u);
  }
}

TEST_F(MifWriterTest, ColumnLimit) {
  // More fields than columns; a name seen after the limit still gets its column and pushes
  // out the last field.
  std::vector<feature::Attribute> many;
  for (size_t i = 0; i < MifWriter::kMaxColumns + 10; ++i) {
    std::string name = "f";
    name += std::to_string(i);
    many.push_back(Data(name, "1"));
  }
  const Output out = Convert({WithAttributes(many), WithAttributes(many),
                              WithAttributes({Builtin(AttributeKind::kName, "late")})});
  const std::string header = out.Header();
  EXPECT_NE(header.find("Columns 250\r\n  Name Char(4)\r\n  f0 Integer\r\n"), std::string::npos);
  EXPECT_NE(header.find("  f248 Integer\r\nData"), std::string::npos);
  EXPECT_EQ(out.counts.dropped_fields, 2u * 10 + 2);
  EXPECT_EQ(out.mid.substr(out.mid.rfind("\r\n", out.mid.size() - 3) + 2),
            "\"late\"" + std::string(249, ',') + "\r\n");
}

TEST_F(MifWriterTest, StylesResolvedAtWrite) {
  StylesById styles;
  feature::Style red;
  red.line_color = 0xff0000ffu;
  red.line_width = 3;
  red.poly_color = 0x80ff0000u;
  red.icon_scale = 2;
  Feature shared = WithGeometry({Line("0 0, 1 1")});
  shared.placemark.style_url = "#red";
  Feature inline_over_shared = WithGeometry({Outer("0 0, 1 0, 1 1, 0 0")});
  inline_over_shared.placemark.style_url = "#red";
  inline_over_shared.placemark.inline_style.poly_fill = false;
  Feature collection = WithGeometry({Point("3 3"), Outer("0 0, 1 0, 1 1, 0 0"), Line("0 0, 1 1")});
  collection.placemark.style_url = "#red";
  Feature unknown = WithGeometry({Point("3 3")});
  unknown.placemark.style_url = "#missing";
  // The style is defined after the placemarks that use it.
  MifWriter writer(Charset::kUtf8, Path("out.mif"));
  Feed(writer, {shared, inline_over_shared, collection, unknown});
  styles.Add("red", red);
  EXPECT_EQ(WriteOut(writer, styles).Body(),
            "Pline 2\r\n0 0\r\n1 1\r\n    Pen (3,2,16711680)\r\n"
            "Region 1\r\n  4\r\n0 0\r\n1 0\r\n1 1\r\n0 0\r\n"
            "    Pen (3,2,16711680)\r\n    Brush (1,0)\r\n"
            "Collection 3\r\nRegion 1\r\n  4\r\n0 0\r\n1 0\r\n1 1\r\n0 0\r\n"
            "    Pen (3,2,16711680)\r\n    Brush (2,255)\r\n"
            "Pline 2\r\n0 0\r\n1 1\r\n    Pen (3,2,16711680)\r\n"
            "Multipoint 1\r\n3 3\r\n    Symbol (35,0,24)\r\n"
            "Point 3 3\r\n    Symbol (35,0,12)\r\n");
}

// Enough points and placemarks that every spill file goes to the disk.
TEST_F(MifWriterTest, SpillsPastMemory) {
  std::string track;
  std::string expected_track;
  constexpr int kTrackPoints = 300000;
  for (int i = 0; i < kTrackPoints; ++i) {
    const std::string x = std::to_string(100000 + i) + ".123456";
    track += (i > 0 ? ", " : "") + x + " -" + x;
    expected_track += x + " -" + x + "\r\n";
  }
  std::vector<Feature> features;
  constexpr int kPlacemarks = 40000;
  for (int i = 0; i < kPlacemarks; ++i) {
    Feature feature = WithGeometry({Line(i % 2 == 0 ? "1 2, 3 4" : "5 6, 7 8")});
    feature.placemark.attributes = {Builtin(AttributeKind::kName, "placemark " + std::to_string(i)),
                                    Data("description", std::string(100, 'd'))};
    features.push_back(std::move(feature));
  }
  features.push_back(WithGeometry({Line(track)}));
  const Output out = Convert(features);
  const std::string body = out.Body();
  EXPECT_TRUE(body.starts_with("Pline 2\r\n1 2\r\n3 4\r\n    Pen (1,2,0)\r\nPline 2\r\n5 6\r\n"));
  const std::string last =
      "Pline " + std::to_string(kTrackPoints) + "\r\n" + expected_track + "    Pen (1,2,0)\r\n";
  ASSERT_GE(body.size(), last.size());
  EXPECT_TRUE(body.substr(body.size() - last.size()) == last);
  EXPECT_EQ(out.counts.lines, kPlacemarks + 1u);
  EXPECT_EQ(static_cast<int>(std::count(out.mid.begin(), out.mid.end(), '\n')), kPlacemarks + 1);
  EXPECT_NE(out.mid.find("\"placemark 39999\",\"" + std::string(100, 'd') + "\"\r\n\"\",\"\"\r\n"),
            std::string::npos);
}

TEST_F(MifWriterTest, FailingSpillNamesTheOutput) {
  using platform::fault::Operation;
  struct Row {
    Operation op;
    CFileException::Cause cause;
  };
  const Row rows[] = {{Operation::kWrite, CFileException::diskFull},
                      {Operation::kOpen, CFileException::accessDenied},
                      {Operation::kAllocate, CFileException::outOfMemory}};
  std::string track;
  for (int i = 0; i < 300000; ++i) track += "123.456789 -12.345678, ";
  track += "0 0";
  const std::vector<Feature> features = {WithGeometry({Line(track)})};
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.op));
    MifWriter writer(Charset::kUtf8, Path("out.mif"));
    platform::fault::ScopedFault fault(row.op, 0, platform::fault::TypicalOsError(row.cause));
    try {
      Feed(writer, features);
      ADD_FAILURE() << "no error";
    } catch (const CFileException& error) {
      EXPECT_EQ(error.m_cause, row.cause);
      EXPECT_NE(error.GetErrorMessage().Find("out.mif"), -1);
    }
  }
}

}  // namespace
}  // namespace mif
