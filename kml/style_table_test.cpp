#include "kml/style_table.h"

#include <gtest/gtest.h>

#include <string>

namespace kml {

using feature::Style;

namespace {

// Numbered("s", i) trips GCC 12's false -Wrestrict warning.
std::string Numbered(const char* prefix, size_t i) {
  std::string id = prefix;
  id += std::to_string(i);
  return id;
}

Style Line(uint32_t color, double width) {
  Style style;
  style.line_color = color;
  style.line_width = width;
  return style;
}

Style Poly(uint32_t color) {
  Style style;
  style.poly_color = color;
  style.poly_fill = false;
  style.poly_outline = true;
  return style;
}

TEST(StyleTable, ResolvesByFragmentAndLaysTheInlineStyleOver) {
  StyleTable table;
  table.AddStyle("red", Line(0xff0000ff, 2));
  Style icon;
  icon.icon_color = 0x80ffffff;
  icon.icon_scale = 1.5;
  table.AddStyle("icon", icon);
  Style over;
  over.line_width = 5;

  Style red_over = Line(0xff0000ff, 5);
  const struct {
    const char* url;
    Style inline_style;
    Style expected;
  } cases[] = {
      {"#red", {}, Line(0xff0000ff, 2)},
      {"other.kml#red", {}, Line(0xff0000ff, 2)},
      {"http://example.com/a.kml#red", over, red_over},
      {"#icon", {}, icon},
      {"#missing", over, over},
      {"red", over, over},  // no fragment: not a reference into this document
      {"#", over, over},
      {"", {}, {}},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(table.Resolve(row.url, row.inline_style), row.expected) << row.url;
  }
}

TEST(StyleTable, FollowsStyleMapsWithoutLoopingOrGoingDeep) {
  StyleTable table;
  table.AddStyle("base", Line(0xff00ff00, 1));
  table.AddStyleMap("map", "#base", Poly(0x7f0000ff));
  table.AddStyleMap("map_of_map", "#map", Line(0xffffffff, 3));
  table.AddStyleMap("loop_a", "#loop_b", Line(0x11111111, 1));
  table.AddStyleMap("loop_b", "#loop_a", Poly(0x22222222));
  table.AddStyleMap("dangling", "#nowhere", Poly(0x33333333));
  table.AddStyleMap("self", "#self", Poly(0x44444444));

  Style map = Line(0xff00ff00, 1);
  map.LayOver(Poly(0x7f0000ff));
  Style map_of_map = map;
  map_of_map.LayOver(Line(0xffffffff, 3));
  Style loop = Poly(0x22222222);
  loop.LayOver(Line(0x11111111, 1));
  EXPECT_EQ(table.Resolve("#map", {}), map);
  EXPECT_EQ(table.Resolve("#map_of_map", {}), map_of_map);
  EXPECT_EQ(table.Resolve("#loop_a", {}), loop);
  EXPECT_EQ(table.Resolve("#dangling", {}), Poly(0x33333333));
  EXPECT_EQ(table.Resolve("#self", {}), Poly(0x44444444));

  // A chain longer than eight maps is cut: the style at its far end is not reached.
  table.AddStyle("s0", Line(0xff000000, 9));
  for (size_t i = 1; i <= 9; ++i) {
    table.AddStyleMap(Numbered("s", i), Numbered("#s", i - 1), {});
  }
  EXPECT_EQ(table.Resolve("#s7", {}), Line(0xff000000, 9));
  EXPECT_EQ(table.Resolve("#s9", {}), Style{});
}

TEST(StyleTable, LaterDefinitionsReplaceAndTheTableIsBounded) {
  StyleTable table;
  table.AddStyle("a", Line(1, 1));
  table.AddStyle("a", Poly(2));
  EXPECT_EQ(table.Resolve("#a", {}), Poly(2));

  for (size_t i = 1; i < StyleTable::kMaxEntries; ++i) {
    table.AddStyle(Numbered("id", i), Line(3, 1));
  }
  EXPECT_EQ(table.dropped(), 0u);
  table.AddStyle("one_too_many", Line(4, 1));
  table.AddStyleMap("two_too_many", "#a", {});
  EXPECT_EQ(table.dropped(), 2u);
  EXPECT_EQ(table.Resolve("#one_too_many", {}), Style{});
  table.AddStyle("a", Line(5, 1));  // a known id is still replaced
  EXPECT_EQ(table.dropped(), 2u);
  EXPECT_EQ(table.Resolve("#a", {}), Line(5, 1));
  EXPECT_EQ(table.Resolve("#id77", {}), Line(3, 1));
}

}  // namespace
}  // namespace kml
