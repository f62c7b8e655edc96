#include "kml/kml_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kml/coordinates.h"
#include "platform/file_exception.h"
#include "testing/fake_xml.h"

namespace kml {

using feature::Attribute;
using feature::Coordinate;
using feature::kMaxValueBytes;
using feature::PartKind;
using feature::Placemark;
using feature::Style;
using xml::XmlEvent;
using xml::XmlEventSource;

namespace {

struct ReadPart {
  PartKind kind;
  std::string coordinates;  // "x y,x y"
  uint64_t point_count = 0;
  uint32_t distinct = 0;
  size_t batches = 0;
};

struct ReadPlacemark {
  std::vector<ReadPart> parts;
  Placemark placemark;
};

struct Read {
  std::vector<ReadPlacemark> placemarks;
  ReaderCounts counts;
  StyleTable styles;

  // The parts of placemark `i` as "point(1 2) line(1 2,3 4)".
  std::string Geometry(size_t i = 0) const {
    static const char* const kNames[] = {"point", "line", "outer", "inner"};
    std::string text;
    for (const ReadPart& part : placemarks.at(i).parts) {
      if (!text.empty()) text += ' ';
      text += kNames[static_cast<int>(part.kind)];
      text += "(" + part.coordinates + ")";
    }
    return text;
  }

  // The attributes of placemark `i` as "name=A|folder=F|data:x=1", a cut value marked "(cut)".
  std::string Attributes(size_t i = 0) const {
    static const char* const kNames[] = {"name",  "description", "folder", "when",
                                         "begin", "end",         "data:"};
    std::string text;
    for (const Attribute& attribute : placemarks.at(i).placemark.attributes) {
      if (!text.empty()) text += '|';
      text += kNames[static_cast<int>(attribute.kind)] + attribute.name + "=" + attribute.value;
      if (attribute.cut) text += "(cut)";
    }
    return text;
  }

  // The names of the placemarks given, joined by ','.
  std::string Names() const {
    std::string text;
    for (const ReadPlacemark& read : placemarks) {
      if (!text.empty()) text += ',';
      for (const Attribute& attribute : read.placemark.attributes) {
        if (attribute.kind == feature::AttributeKind::kName) text += attribute.value;
      }
    }
    return text;
  }

  Style StyleOf(size_t i = 0) const {
    const Placemark& placemark = placemarks.at(i).placemark;
    return styles.Resolve(placemark.style_url, placemark.inline_style);
  }
};

// Runs the reader over `source` to the end, checking the order of its events on the way.
Read ReadAll(XmlEventSource& source) {
  KmlReader reader(source);
  Read read;
  bool in_placemark = false, in_part = false;
  for (;;) {
    const KmlEvent& event = reader.Next();
    switch (event.type) {
      case KmlEvent::Type::kPlacemarkBegin:
        EXPECT_FALSE(in_placemark);
        in_placemark = true;
        read.placemarks.emplace_back();
        break;
      case KmlEvent::Type::kPartBegin:
        EXPECT_TRUE(in_placemark && !in_part);
        in_part = true;
        read.placemarks.back().parts.push_back({event.part, {}, 0, 0, 0});
        break;
      case KmlEvent::Type::kCoordinates: {
        EXPECT_TRUE(in_part);
        EXPECT_FALSE(event.coordinates.empty());
        EXPECT_LE(event.coordinates.size(), CoordinateTokenizer::kBatchSize);
        ReadPart& part = read.placemarks.back().parts.back();
        for (const Coordinate& coordinate : event.coordinates) {
          if (!part.coordinates.empty()) part.coordinates += ',';
          part.coordinates.append(coordinate.x).append(" ").append(coordinate.y);
        }
        ++part.batches;
        break;
      }
      case KmlEvent::Type::kPartEnd: {
        EXPECT_TRUE(in_part);
        in_part = false;
        ReadPart& part = read.placemarks.back().parts.back();
        part.point_count = event.point_count;
        part.distinct = event.distinct_points;
        break;
      }
      case KmlEvent::Type::kPlacemarkEnd:
        EXPECT_TRUE(in_placemark && !in_part);
        in_placemark = false;
        read.placemarks.back().placemark = *event.placemark;
        break;
      case KmlEvent::Type::kDocumentEnd:
        EXPECT_FALSE(in_placemark);
        EXPECT_EQ(reader.Next().type, KmlEvent::Type::kDocumentEnd);
        read.counts = reader.counts();
        read.styles = reader.styles();
        return read;
    }
  }
}

Read ReadKml(std::string_view document, size_t piece_size = SIZE_MAX) {
  test_support::FakeXml xml(document, piece_size);
  return ReadAll(xml);
}

std::string InPlacemark(std::string_view content) {
  return "<kml xmlns:gx='x'><Document><Placemark>" + std::string(content) +
         "</Placemark></Document></kml>";
}

// The document's text is UTF-8 on every platform, whatever code page narrow literals are in.
const std::string kZhong = "\xe4\xb8\xad";                               // 中, 3 bytes
const std::string kTrunkRoads = "\xe4\xb8\xbb\xe5\xb9\xb2\xe9\x81\x93";  // 主干道

// Every text is cut into pieces of these sizes too; the result must not change.
const size_t kPieceSizes[] = {1, 2, 3, 5, SIZE_MAX};

TEST(KmlReader, FlattensEveryGeometryIntoParts) {
  const struct {
    const char* content;
    const char* parts;
    uint64_t bad_tuples;
    uint64_t extra_tuples = 0;
  } cases[] = {
      {"", "", 0},
      {"<Point><coordinates>1,2,3</coordinates></Point>", "point(1 2)", 0},
      {"<Point><coordinates> 1,2 3,4 5,6 </coordinates></Point>", "point(1 2)", 2},
      {"<Point><coordinates>x 1,2</coordinates></Point>", "point(1 2)", 1},
      {"<kml:Point><kml:coordinates>1,2</kml:coordinates></kml:Point>", "point(1 2)", 0},
      {"<LineString><tessellate>1</tessellate><coordinates>\n 1,2,0\n 3,4,0\n"
       "</coordinates></LineString>",
       "line(1 2,3 4)", 0},
      {"<LineString><coordinates></coordinates></LineString>", "line()", 0},
      {"<LinearRing><coordinates>0,0 1,0 1,1 0,0</coordinates></LinearRing>",
       "outer(0 0,1 0,1 1,0 0)", 0},
      {"<Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 9,0 9,9 0,0</coordinates>"
       "</LinearRing></outerBoundaryIs><innerBoundaryIs><LinearRing><coordinates>1,1 2,1 2,2"
       "</coordinates></LinearRing></innerBoundaryIs><innerBoundaryIs><LinearRing>"
       "<coordinates>5,5 6,5 6,6</coordinates></LinearRing></innerBoundaryIs></Polygon>",
       "outer(0 0,9 0,9 9,0 0) inner(1 1,2 1,2 2) inner(5 5,6 5,6 6)", 0},
      {"<Polygon><innerBoundaryIs><LinearRing><coordinates>1,1 2,1 2,2</coordinates>"
       "</LinearRing><LinearRing><coordinates>3,3 4,3 4,4</coordinates></LinearRing>"
       "</innerBoundaryIs><outerBoundaryIs><LinearRing><coordinates>0,0 9,0 9,9</coordinates>"
       "</LinearRing></outerBoundaryIs></Polygon>",
       "inner(1 1,2 1,2 2) inner(3 3,4 3,4 4) outer(0 0,9 0,9 9)", 0},
      {"<MultiGeometry><Point><coordinates>1,2</coordinates></Point><MultiGeometry>"
       "<LineString><coordinates>3,4 5,6</coordinates></LineString><MultiGeometry><Point>"
       "<coordinates>7,8</coordinates></Point></MultiGeometry></MultiGeometry><Polygon>"
       "<outerBoundaryIs><LinearRing><coordinates>0,0 1,0 1,1</coordinates></LinearRing>"
       "</outerBoundaryIs></Polygon></MultiGeometry>",
       "point(1 2) line(3 4,5 6) point(7 8) outer(0 0,1 0,1 1)", 0},
      {"<gx:Track><when>2020-01-01T00:00:00Z</when><when>2020-01-01T00:00:01Z</when>"
       "<gx:coord>1 2 3</gx:coord><gx:coord> 4\t5 </gx:coord><gx:coord>6</gx:coord>"
       "<gx:coord>7,8 9</gx:coord><gx:angles>1 2 3</gx:angles></gx:Track>",
       "line(1 2,4 5)", 2},
      {"<LineString><coordinates>116.4,39.9,0,20 1,2,x 3,4</coordinates></LineString>"
       "<gx:Track><gx:coord>5 6 7 8</gx:coord></gx:Track>",
       "line(116.4 39.9,1 2,3 4) line(5 6)", 0, 3},
      {"<gx:MultiTrack><gx:Track><gx:coord>1 2 0</gx:coord><gx:coord>3 4 0</gx:coord>"
       "</gx:Track><gx:Track><gx:coord>5 6 0</gx:coord></gx:Track></gx:MultiTrack>",
       "line(1 2,3 4) line(5 6)", 0},
      {"<Model><altitudeMode>absolute</altitudeMode><Location><longitude> 116.39 </longitude>"
       "<latitude>39.9</latitude><altitude>10</altitude></Location><Scale><x>1</x></Scale>"
       "</Model>",
       "point(116.39 39.9)", 0},
      {"<Model><Location><longitude>east</longitude><latitude>39.9</latitude></Location>"
       "</Model>",
       "point()", 1},
      // Names are case-sensitive, as KML's are.
      {"<point><coordinates>1,2</coordinates></point><LineString><Coordinates>1,2"
       "</Coordinates></LineString>",
       "line()", 0},
      {"<name>A</name><Point><coordinates>1,2</coordinates></Point><ExtendedData/>"
       "<LineString><coordinates>3,4 5,6</coordinates></LineString>",
       "point(1 2) line(3 4,5 6)", 0},
  };
  for (const auto& row : cases) {
    for (const size_t piece : kPieceSizes) {
      SCOPED_TRACE(testing::Message() << row.content << " in pieces of " << piece);
      const Read read = ReadKml(InPlacemark(row.content), piece);
      ASSERT_EQ(read.placemarks.size(), 1u);
      EXPECT_EQ(read.Geometry(), row.parts);
      EXPECT_EQ(read.counts.bad_tuples, row.bad_tuples);
      EXPECT_EQ(read.counts.extra_tuples, row.extra_tuples);
      EXPECT_EQ(read.counts.placemarks, 1u);
      EXPECT_TRUE(read.counts.kml_root);
    }
  }
}

TEST(KmlReader, CountsPointsAndDistinctPointsOfEachPart) {
  const Read read = ReadKml(InPlacemark(
      "<MultiGeometry><LineString><coordinates>1,2 1,2 1.0,2.0</coordinates></LineString>"
      "<LinearRing><coordinates>0,0 1,0 0,0 1,0</coordinates></LinearRing>"
      "<LineString><coordinates>0,0 1,0 1,1 0,0 5,5</coordinates></LineString>"
      "<Point><coordinates>3,4 5,6</coordinates></Point></MultiGeometry>"));
  const std::vector<ReadPart>& parts = read.placemarks.at(0).parts;
  ASSERT_EQ(parts.size(), 4u);
  const std::pair<uint64_t, uint32_t> expected[] = {{3, 1}, {4, 2}, {5, 3}, {1, 1}};
  for (size_t i = 0; i < parts.size(); ++i) {
    EXPECT_EQ(std::make_pair(parts[i].point_count, parts[i].distinct), expected[i]) << i;
  }
}

TEST(KmlReader, StreamsLongLinesInBoundedBatches) {
  std::string coordinates, last;
  const size_t count = 3 * CoordinateTokenizer::kBatchSize + 5;
  for (size_t i = 0; i < count; ++i) {
    last = std::to_string(i) + ".5 -" + std::to_string(i);
    coordinates += std::to_string(i) + ".5,-" + std::to_string(i) + ",0\n";
  }
  for (const size_t piece : {size_t{1000}, size_t{SIZE_MAX}}) {
    const Read read = ReadKml(
        InPlacemark("<LineString><coordinates>" + coordinates + "</coordinates></LineString>"),
        piece);
    const ReadPart& part = read.placemarks.at(0).parts.at(0);
    EXPECT_EQ(part.point_count, count);
    EXPECT_EQ(part.distinct, 3u);
    // At least one per full batch; one that points into a piece also goes when the piece ends.
    EXPECT_GE(part.batches, 4u);
    EXPECT_TRUE(part.coordinates.starts_with("0.5 -0,1.5 -1,"));
    EXPECT_TRUE(part.coordinates.ends_with("," + last));
  }
}

TEST(KmlReader, APointIsItsFirstTupleHoweverManyFollow) {
  std::string coordinates = "1,2";
  for (size_t i = 0; i < CoordinateTokenizer::kBatchSize + 1; ++i) coordinates += " 3,4";
  const Read read =
      ReadKml(InPlacemark("<Point><coordinates>" + coordinates + "</coordinates></Point>"));
  EXPECT_EQ(read.Geometry(), "point(1 2)");
  EXPECT_EQ(read.placemarks.at(0).parts.at(0).point_count, 1u);
  EXPECT_EQ(read.counts.bad_tuples, CoordinateTokenizer::kBatchSize + 1);
}

TEST(KmlReader, GivesTheAttributesOfThePlacemarkItself) {
  const struct {
    const char* content;
    const char* attributes;
  } cases[] = {
      {"<name>  A \n</name><description>\n\t B  b \r\n</description>", "name=A|description=B  b"},
      {"<name>a &amp; b</name><description><![CDATA[<b>x</b>]]></description>",
       "name=a & b|description=<b>x</b>"},
      {"<name>first</name><name>second</name>", "name=first"},
      {"<name>  </name><name>second</name>", "name=second"},
      {"<name></name><description/>", ""},
      {"<TimeStamp><when>2024-05-01</when></TimeStamp>", "when=2024-05-01"},
      {"<TimeSpan><begin>2024</begin><end>2025</end></TimeSpan>", "begin=2024|end=2025"},
      {"<ExtendedData><Data name='height'><displayName>H</displayName><value> 12 </value>"
       "</Data><Data name='height'><value>13</value></Data><Data><value>no name</value></Data>"
       "<SchemaData schemaUrl='#s'><SimpleData name='kind'>road</SimpleData>"
       "<SimpleData>no name</SimpleData><SimpleData name='height'>14</SimpleData>"
       "</SchemaData></ExtendedData>",
       "data:height=12|data:kind=road"},
      {"<ExtendedData><Data name='empty'><value> </value></Data></ExtendedData>", ""},
      // Names and descriptions of what is not the placemark itself are not its own.
      {"<Style><name>style</name></Style><Point><name>point</name></Point><Snippet>s</Snippet>"
       "<ExtendedData><Data name='d'><displayName>shown</displayName></Data></ExtendedData>"
       "<gx:Track><when>2020</when><ExtendedData><Data name='t'><value>1</value></Data>"
       "</ExtendedData></gx:Track><description>mine</description>",
       "description=mine"},
  };
  for (const auto& row : cases) {
    for (const size_t piece : kPieceSizes) {
      SCOPED_TRACE(testing::Message() << row.content << " in pieces of " << piece);
      EXPECT_EQ(ReadKml(InPlacemark(row.content), piece).Attributes(), row.attributes);
    }
  }
}

// A text value with child elements is kept as markup; one without is its text, as before.
TEST(KmlReader, KeepsMarkupInTextValues) {
  std::string chinese;
  for (int i = 0; i < 400; ++i) chinese += kZhong;
  const struct {
    std::string content;
    std::string attributes;
    uint64_t cut_values;
  } cases[] = {
      {"<description>Some<br/>HTML<br></br>content</description>",
       "description=Some<br></br>HTML<br></br>content", 0},
      {"<description>a &lt; b &amp; c &gt; d<b>x</b> &quot;q&quot;</description>",
       "description=a &lt; b &amp; c &gt; d<b>x</b> \"q\"", 0},
      {"<description><i attr=\"v&amp;&lt;&gt;&quot;'\" b='2'>x &gt; y</i></description>",
       "description=<i attr=\"v&amp;&lt;&gt;&quot;'\" b=\"2\">x &gt; y</i>", 0},
      {"<description> <![CDATA[<p>&amp;</p>]]> &amp; <x:b xmlns:x='u' x:k='1'/> "
       "<![CDATA[ & ]]>t </description>",
       "description=<p>&amp;</p> &amp; <x:b xmlns:x=\"u\" x:k=\"1\"></x:b>  & t", 0},
      {"<name>a &amp; b</name><description><![CDATA[<b>x</b> &amp;]]></description>",
       "name=a & b|description=<b>x</b> &amp;", 0},
      {"<name> N<b>1</b> </name><TimeStamp><when>2024<i/></when></TimeStamp><ExtendedData>"
       "<Data name='d'><value>v<b>w</b></value></Data><SchemaData><SimpleData name='s'>p<q a='1'>"
       "r</q>s</SimpleData></SchemaData></ExtendedData><styleUrl>#s<b>x</b></styleUrl>",
       "name=N<b>1</b>|when=2024<i></i>|data:d=v<b>w</b>|data:s=p<q a=\"1\">r</q>s", 0},
      // What KML would read as features is only markup inside a value.
      {"<description><Placemark><name>n</name></Placemark><NetworkLink/></description>",
       "description=<Placemark><name>n</name></Placemark><NetworkLink></NetworkLink>", 0},
      // Cut at the limit on a character boundary, tags and entities included.
      {"<description>" + std::string(kMaxValueBytes - 2, 'x') + "<br/></description>",
       "description=" + std::string(kMaxValueBytes - 2, 'x') + "<b(cut)", 1},
      {"<description><br/>" + chinese + "</description>",
       "description=<br></br>" + chinese.substr(0, (kMaxValueBytes - 9) / 3 * 3) + "(cut)", 1},
  };
  for (const auto& row : cases) {
    for (const size_t piece : kPieceSizes) {
      SCOPED_TRACE(testing::Message() << row.content.substr(0, 100) << " in pieces of " << piece);
      const Read read = ReadKml(InPlacemark(row.content), piece);
      EXPECT_EQ(read.Attributes(), row.attributes);
      EXPECT_EQ(read.counts.cut_values, row.cut_values);
      EXPECT_EQ(read.counts.placemarks, 1u);
      EXPECT_EQ(read.counts.network_links, 0u);
      EXPECT_EQ(read.placemarks.at(0).placemark.style_url,
                row.content.find("styleUrl") == std::string::npos ? "" : "#sx");
    }
  }
  EXPECT_EQ(ReadKml("<kml><Folder><name>A<b>B</b></name><Placemark/></Folder></kml>").Attributes(),
            "folder=A<b>B</b>");
}

TEST(KmlReader, TheFolderPathNamesTheEnclosingFolders) {
  const Read read = ReadKml(
      "<kml><Document><name>doc</name><Placemark><name>top</name></Placemark>"
      "<Folder><name> Roads </name><Folder><Placemark><name>a</name></Placemark><Folder>"
      "<name>" +
      kTrunkRoads +
      "</name><name>second</name><Placemark><name>b</name></Placemark></Folder>"
      "</Folder><Placemark><name>c</name></Placemark></Folder>"
      "<Folder><name>Rivers</name><Document><name>inner</name><Placemark><name>d</name>"
      "</Placemark></Document></Folder></Document></kml>");
  const std::string expected[] = {"name=top", "folder=Roads|name=a",
                                  "folder=Roads/" + kTrunkRoads + "|name=b", "folder=Roads|name=c",
                                  "folder=Rivers|name=d"};
  ASSERT_EQ(read.placemarks.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(read.Attributes(i), expected[i]);
  }
}

TEST(KmlReader, CutsLongValuesAtACharacterBoundary) {
  std::string chinese;
  for (int i = 0; i < 400; ++i) chinese += kZhong;
  const std::string kept_chinese = chinese.substr(0, kMaxValueBytes / 3 * 3);
  const std::string exact(kMaxValueBytes, 'x');
  const struct {
    std::string text;
    std::string value;
    bool cut;
  } cases[] = {
      {chinese, kept_chinese, true},
      {"  " + exact + std::string(5000, ' '), exact, false},
      {exact + "y", exact, true},
      {exact + " z" + std::string(9, ' '), exact, true},
      {"ab" + chinese, "ab" + chinese.substr(0, (kMaxValueBytes - 2) / 3 * 3), true},
      {std::string(kMaxValueBytes - 1, 'x') + " " + "z", std::string(kMaxValueBytes - 1, 'x'),
       true},
  };
  for (const auto& row : cases) {
    for (const size_t piece : {size_t{1}, size_t{7}, size_t{SIZE_MAX}}) {
      const Read read = ReadKml(InPlacemark("<name>" + row.text + "</name>"), piece);
      const std::vector<Attribute>& attributes = read.placemarks.at(0).placemark.attributes;
      ASSERT_EQ(attributes.size(), 1u);
      EXPECT_EQ(attributes[0].value, row.value) << row.text.size() << " in pieces of " << piece;
      EXPECT_EQ(attributes[0].cut, row.cut);
      EXPECT_EQ(read.counts.cut_values, row.cut ? 1u : 0u);
    }
  }
}

TEST(KmlReader, AHugeDescriptionStreamsThrough) {
  // 100 MB of text in 64 KiB pieces: only the first kMaxValueBytes are ever held.
  const std::string piece(64 * 1024, 'd');
  test_support::FakeXml xml(InPlacemark("<description>  @@</description><name>n</name>"), SIZE_MAX,
                            piece, 1600);
  const Read read = ReadAll(xml);
  EXPECT_EQ(read.Attributes(), "description=" + std::string(kMaxValueBytes, 'd') + "(cut)|name=n");
  EXPECT_EQ(read.counts.cut_values, 1u);
}

// `over` laid over `under`.
Style Over(Style under, const Style& over) {
  under.LayOver(over);
  return under;
}

Style LineStyle(uint32_t color, std::optional<double> width = std::nullopt) {
  Style style;
  style.line_color = color;
  style.line_width = width;
  return style;
}

TEST(KmlReader, ResolvesSharedMappedAndInlineStyles) {
  const Read read = ReadKml(
      "<kml><Document>"
      "<Placemark><styleUrl>#later</styleUrl></Placemark>"
      "<Placemark><styleUrl> #map </styleUrl></Placemark>"
      "<Placemark><styleUrl>#inline_map</styleUrl></Placemark>"
      "<Placemark><styleUrl>#later</styleUrl><Style><LineStyle><width>7</width></LineStyle>"
      "</Style></Placemark>"
      "<Placemark><styleUrl>#unknown</styleUrl><Style><PolyStyle><fill>0</fill></PolyStyle>"
      "</Style></Placemark>"
      "<Placemark><styleUrl>#loop</styleUrl></Placemark>"
      "<Placemark><StyleMap><Pair><key>normal</key><styleUrl>#later</styleUrl></Pair>"
      "</StyleMap></Placemark>"
      "<StyleMap id='map'><Pair><key>highlight</key><styleUrl>#hot</styleUrl></Pair>"
      "<Pair><key>normal</key><styleUrl>#later</styleUrl></Pair></StyleMap>"
      "<StyleMap id='inline_map'><Pair><styleUrl>#later</styleUrl><Style><LineStyle>"
      "<color>ff00ff00</color></LineStyle></Style></Pair></StyleMap>"
      "<StyleMap id='loop'><Pair><key>normal</key><styleUrl>#loop</styleUrl></Pair></StyleMap>"
      "<Style id='hot'><LineStyle><color>ffffffff</color></LineStyle></Style>"
      "<Folder><Style id='later'><LineStyle><color>FF0000FF</color><width>2.5</width>"
      "</LineStyle><IconStyle><scale>1.2</scale><color>80ffffff</color></IconStyle></Style>"
      "</Folder></Document></kml>");
  Style later = LineStyle(0xff0000ff, 2.5);
  later.icon_scale = 1.2;
  later.icon_color = 0x80ffffff;
  Style no_fill;
  no_fill.poly_fill = false;
  const Style expected[] = {
      later,
      later,
      Over(later, LineStyle(0xff00ff00)),
      Over(later, LineStyle(0xff0000ff, 7)),
      no_fill,
      Style{},
      later,
  };
  ASSERT_EQ(read.placemarks.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(read.StyleOf(i), expected[i]) << i;
  }
  EXPECT_EQ(read.placemarks[1].placemark.style_url, "#map");
}

TEST(KmlReader, MalformedStyleValuesLeaveTheFieldUnset) {
  const struct {
    const char* sub_style;
    Style expected;
  } cases[] = {
      {"<LineStyle><color>7fAbCdEf</color></LineStyle>", LineStyle(0x7fabcdef)},
      {"<LineStyle><color> #ff000000 </color></LineStyle>", LineStyle(0xff000000)},
      {"<LineStyle><color>ff00000</color></LineStyle>", {}},
      {"<LineStyle><color>ff0000001</color></LineStyle>", {}},
      {"<LineStyle><color>gg000000</color></LineStyle>", {}},
      {"<LineStyle><color>0xff0000</color></LineStyle>", {}},
      {"<LineStyle><color></color><width>abc</width></LineStyle>", {}},
      {"<LineStyle><width>-1</width></LineStyle>", {}},
      {"<PolyStyle><fill>yes</fill><outline>2</outline></PolyStyle>", {}},
      {"<color>ff0000ff</color><LineStyle><scale>2</scale></LineStyle>", {}},
  };
  for (const auto& row : cases) {
    const Read read = ReadKml(std::string("<kml><Style id='s'>") + row.sub_style +
                              "</Style><Placemark><styleUrl>#s</styleUrl></Placemark></kml>");
    EXPECT_EQ(read.StyleOf(), row.expected) << row.sub_style;
  }
  const struct {
    const char* text;
    std::optional<bool> value;
  } booleans[] = {{"1", true}, {"0", false}, {" true ", true}, {"false", false}, {"TRUE", {}}};
  for (const auto& row : booleans) {
    const Read read =
        ReadKml(InPlacemark(std::string("<Style><PolyStyle><fill>") + row.text +
                            "</fill><outline>" + row.text + "</outline></PolyStyle></Style>"));
    EXPECT_EQ(read.StyleOf().poly_fill, row.value) << row.text;
    EXPECT_EQ(read.StyleOf().poly_outline, row.value) << row.text;
  }
}

TEST(KmlReader, SkipsOverlaysAndNetworkLinksWithWhatTheyHold) {
  const Read read = ReadKml(
      "<kml><Document><GroundOverlay><name>g</name><Placemark><name>in</name></Placemark>"
      "</GroundOverlay><ScreenOverlay/><PhotoOverlay><Point><coordinates>1,2</coordinates>"
      "</Point></PhotoOverlay><NetworkLink><Link><href>a.kml</href></Link><Placemark/>"
      "</NetworkLink><Folder><NetworkLink/><Placemark><name>out</name></Placemark>"
      "</Folder></Document></kml>");
  ASSERT_EQ(read.placemarks.size(), 1u);
  EXPECT_EQ(read.Attributes(), "name=out");
  EXPECT_EQ(read.counts.placemarks, 1u);
  EXPECT_EQ(read.counts.overlays, 3u);
  EXPECT_EQ(read.counts.network_links, 2u);
}

TEST(KmlReader, OnlyAKmlRootGivesPlacemarks) {
  const struct {
    const char* document;
    bool kml_root;
    size_t placemarks;
  } cases[] = {
      {"<kml><Placemark/></kml>", true, 1},
      {"<kml:kml><Document><Placemark/></Document></kml:kml>", true, 1},
      {"<Document><Placemark/><Placemark/></Document>", true, 2},
      {"<Folder><Placemark/></Folder>", true, 1},
      {"<Placemark><name>alone</name></Placemark>", true, 1},
      {"<gpx><Placemark><name>x</name></Placemark></gpx>", false, 0},
      {"<KML><Placemark/></KML>", false, 0},
      {"<?xml version='1.0'?><!-- c --><kml/>", true, 0},
  };
  for (const auto& row : cases) {
    const Read read = ReadKml(row.document);
    EXPECT_EQ(read.counts.kml_root, row.kml_root) << row.document;
    EXPECT_EQ(read.placemarks.size(), row.placemarks) << row.document;
    EXPECT_EQ(read.counts.placemarks, row.placemarks) << row.document;
  }
}

TEST(KmlReader, OnlyPlacemarksThatAreFeaturesOfTheDocumentAreGiven) {
  const struct {
    const char* document;
    const char* names;
    uint64_t outside;
  } cases[] = {
      {"<kml><NetworkLinkControl><Update><targetHref>a.kml</targetHref><Create>"
       "<Document targetId='d'><Placemark><name>created</name></Placemark></Document></Create>"
       "<Change><Placemark targetId='p'><name>changed</name></Placemark></Change><Delete>"
       "<Placemark targetId='q'/></Delete></Update></NetworkLinkControl>"
       "<Document><Placemark><name>a</name></Placemark></Document></kml>",
       "a", 3},
      {"<kml><Document><Style id='s'><Placemark/></Style><StyleMap><Placemark/></StyleMap>"
       "<Schema name='S'><Placemark/></Schema><ExtendedData><Placemark/></ExtendedData>"
       "<Region><Placemark/></Region><Placemark><name>a</name></Placemark></Document></kml>",
       "a", 5},
      {"<kml><Document><x:Group><Placemark/><Folder><Placemark/></Folder></x:Group><gx:Tour>"
       "<gx:Playlist><Placemark/></gx:Playlist></gx:Tour><Folder><Document><Folder><Placemark>"
       "<name>deep</name></Placemark></Folder></Document></Folder></Document></kml>",
       "deep", 3},
      {"<kml><Document><GroundOverlay><Placemark/></GroundOverlay><NetworkLink><Placemark/>"
       "</NetworkLink><Placemark><name>a</name><Placemark><name>in a</name></Placemark>"
       "<MultiGeometry><Placemark/></MultiGeometry></Placemark><Placemark><name>b</name>"
       "</Placemark></Document></kml>",
       "a,b", 4},
      {"<Placemark><name>root</name></Placemark>", "root", 0},
      {"<kml:kml><kml:Document><kml:Folder><kml:Placemark><kml:name>p</kml:name>"
       "</kml:Placemark></kml:Folder></kml:Document></kml:kml>",
       "p", 0},
      {"<Folder><Placemark><name>f</name></Placemark><Update><Placemark/></Update></Folder>", "f",
       1},
      // Not KML: nothing in it is counted.
      {"<gpx><Update><Placemark/></Update><Placemark/></gpx>", "", 0},
  };
  for (const auto& row : cases) {
    for (const size_t piece : {size_t{1}, size_t{SIZE_MAX}}) {
      SCOPED_TRACE(row.document);
      const Read read = ReadKml(row.document, piece);
      EXPECT_EQ(read.Names(), row.names);
      EXPECT_EQ(read.counts.outside_placemarks, row.outside);
      EXPECT_EQ(read.counts.placemarks, read.placemarks.size());
    }
  }
}

TEST(KmlReader, OldStyleSchemasMakePlacemarksOfTheirInstances) {
  const std::string schema =
      "<Schema name='S_park' parent='Placemark'><SimpleField name='AREA' type='double'/>"
      "<SimpleField name='NAME2' type='string'><displayName>N</displayName></SimpleField>"
      "<SimpleField name='name' type='string'/><SimpleField type='int'/></Schema>";
  const struct {
    std::string document;
    const char* attributes;  // of each placemark given, joined by ' '
    const char* geometry;    // of the first one
    uint64_t outside;
  } cases[] = {
      {"<kml><Document>" + schema +
           "<Folder><name>F</name><S_park><name>p</name><AREA> 12.5 </AREA><NAME2>x</NAME2>"
           "<other>o</other><description>d</description><Point><coordinates>1,2</coordinates>"
           "</Point></S_park></Folder><Placemark><name>plain</name><AREA>1</AREA></Placemark>"
           "</Document></kml>",
       "folder=F|name=p|data:AREA=12.5|data:NAME2=x|description=d name=plain", "point(1 2)", 0},
      // The schema's fields are the instance's own children; KML's own elements keep their
      // meaning.
      {"<kml><Document>" + schema +
           "<kml:S_park><name>n</name><ExtendedData><AREA>3</AREA></ExtendedData><MultiGeometry>"
           "<LineString><coordinates>1,2 3,4</coordinates></LineString><NAME2>y</NAME2>"
           "</MultiGeometry><styleUrl>#s</styleUrl><AREA>4</AREA><AREA>5</AREA></kml:S_park>"
           "</Document></kml>",
       "name=n|data:AREA=4", "line(1 2,3 4)", 0},
      // An instance before its schema, a schema without parent='Placemark', an instance
      // inside a placemark or an Update.
      {"<kml><Document><S_park><name>early</name></S_park>" + schema +
           "<Schema name='S_new'><SimpleField name='A'/></Schema><S_new><A>1</A></S_new>"
           "<Placemark><name>p</name><S_park><AREA>1</AREA></S_park></Placemark><Update>"
           "<S_park/></Update></Document></kml>",
       "name=p", "", 2},
  };
  for (const auto& row : cases) {
    for (const size_t piece : {size_t{1}, size_t{SIZE_MAX}}) {
      SCOPED_TRACE(row.document);
      const Read read = ReadKml(row.document, piece);
      std::string attributes;
      for (size_t i = 0; i < read.placemarks.size(); ++i) {
        if (i != 0) attributes += ' ';
        attributes += read.Attributes(i);
      }
      EXPECT_EQ(attributes, row.attributes);
      if (!read.placemarks.empty()) {
        EXPECT_EQ(read.Geometry(), row.geometry);
      }
      EXPECT_EQ(read.counts.outside_placemarks, row.outside);
    }
  }
}

class FailingXml : public XmlEventSource {
 public:
  const XmlEvent& Next() override {
    if (given_++ == 2) {
      throw platform::CFileException(platform::CFileException::badXml,
                                     platform::CString("broken.kml"));
    }
    event_.type = XmlEvent::Type::kStart;
    event_.name = given_ == 1 ? "kml" : "Placemark";
    return event_;
  }

 private:
  int given_ = 0;
  XmlEvent event_;
};

TEST(KmlReader, PassesOnTheErrorsOfTheXmlLayer) {
  FailingXml xml;
  KmlReader reader(xml);
  EXPECT_EQ(reader.Next().type, KmlEvent::Type::kPlacemarkBegin);
  try {
    reader.Next();
    FAIL() << "no exception";
  } catch (const platform::CFileException& error) {
    EXPECT_EQ(error.m_cause, platform::CFileException::badXml);
    EXPECT_THAT(std::string(error.what()), testing::HasSubstr("broken.kml"));
  }
}

}  // namespace
}  // namespace kml
