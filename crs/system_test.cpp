#include "crs/system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "crs/mif_coordsys.h"
#include "crs/transformer.h"

namespace crs {
namespace {

using Kind = ParseError::Kind;

constexpr const char* kSeven = "15.8, -154.4,-82.3,0.5,-1.25,0,3.5";

System Parsed(std::string_view code, std::optional<std::string_view> towgs84 = std::nullopt) {
  System system;
  ParseError error{};
  EXPECT_TRUE(ParseSystem(code, towgs84, &system, &error)) << code << ": " << error.text;
  return system;
}

TEST(ParseSystemTest, Table) {
  struct Case {
    const char* code;
    const char* towgs84;             // nullptr: not given
    int epsg;                        // accepted: the code (0: an automatic zone); refused: -1
    Kind kind = Kind::kUnknownCode;  // refused: why
    const char* text = "";           // refused: what the message quotes
  };
  const Case cases[] = {
      {"wgs84", nullptr, 4326},
      {"WGS84", nullptr, 4326},
      {"EPSG:4326", nullptr, 4326},
      {"epsg:4490", nullptr, 4490},
      {"CGCS2000", nullptr, 4490},
      {"4527", nullptr, 4527},
      {"Epsg:4554", nullptr, 4554},
      {"cgcs2000-gk3", nullptr, 0},
      {"CGCS2000-GK6", nullptr, 0},
      {"EPSG:2401", kSeven, 2401},
      {"21463", "1,2,3", 21463},
      {"epsg:4214", "1,2,3", 4214},
      {"EPSG:4610", " 1 ,2,3,4,5,6,7 ", 4610},
      {"2390", "1e1,0,0,0,0,0,-0.5", 2390},
      {"EPSG:3857", nullptr, -1, Kind::kUnknownCode, "EPSG:3857"},
      {"4555", nullptr, -1, Kind::kUnknownCode, "4555"},
      {"EPSG: 4527", nullptr, -1, Kind::kUnknownCode, "EPSG: 4527"},
      {"EPSG:", nullptr, -1, Kind::kUnknownCode, "EPSG:"},
      {"", nullptr, -1, Kind::kUnknownCode, ""},
      {"cgcs2000-gk4", "1,2,3", -1, Kind::kUnknownCode, "cgcs2000-gk4"},
      {"45270000000000000000", nullptr, -1, Kind::kUnknownCode, "45270000000000000000"},
      {"2401", nullptr, -1, Kind::kTowgs84Missing, "Beijing 1954 / 3-degree Gauss-Kruger zone 25"},
      {"4610", nullptr, -1, Kind::kTowgs84Missing, "Xian 1980"},
      {"wgs84", "0,0,0", -1, Kind::kTowgs84NotApplicable, "WGS 84"},
      {"4527", kSeven, -1, Kind::kTowgs84NotApplicable, "CGCS2000 / 3-degree Gauss-Kruger zone 39"},
      {"2401", "1,2", -1, Kind::kMalformedTowgs84, "1,2"},
      {"2401", "1,2,3,4", -1, Kind::kMalformedTowgs84, "1,2,3,4"},
      {"2401", "1,2,3,4,5,6,7,8", -1, Kind::kMalformedTowgs84, "1,2,3,4,5,6,7,8"},
      {"2401", "1,,3", -1, Kind::kMalformedTowgs84, "1,,3"},
      {"2401", "1;2;3", -1, Kind::kMalformedTowgs84, "1;2;3"},
      {"2401", "", -1, Kind::kMalformedTowgs84, ""},
      {"2401", "1,2,3,", -1, Kind::kMalformedTowgs84, "1,2,3,"},
      {"2401", "x,0,0", -1, Kind::kMalformedTowgs84, "x,0,0"},
      {"2401", "1e400,0,0", -1, Kind::kMalformedTowgs84, "1e400,0,0"},
      {"2401", "0,0,0,0,0,0,-1000000", -1, Kind::kMalformedTowgs84, "0,0,0,0,0,0,-1000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.code) + " " + (c.towgs84 ? c.towgs84 : "(none)"));
    System system;
    ParseError error{};
    const std::optional<std::string_view> towgs84 =
        c.towgs84 ? std::optional<std::string_view>(c.towgs84) : std::nullopt;
    const bool accepted = ParseSystem(c.code, towgs84, &system, &error);
    ASSERT_EQ(accepted, c.epsg >= 0) << error.text;
    if (accepted) {
      EXPECT_EQ(system.code.epsg, c.epsg);
      EXPECT_EQ(system.needs_zone(), c.epsg == 0);
    } else {
      EXPECT_EQ(error.kind, c.kind);
      EXPECT_EQ(error.text, c.text);
    }
  }
  const Towgs84 t = Parsed("2401", kSeven).towgs84;
  EXPECT_EQ(t.dx, 15.8);
  EXPECT_EQ(t.dy, -154.4);
  EXPECT_EQ(t.dz, -82.3);
  EXPECT_EQ(t.rx, 0.5);
  EXPECT_EQ(t.ry, -1.25);
  EXPECT_EQ(t.rz, 0);
  EXPECT_EQ(t.ppm, 3.5);
}

TEST(FixZoneTest, MidpointZoneWithZonePrefix) {
  struct Case {
    const char* code;
    double min_lon, max_lon;
    int epsg;
  };
  const Case cases[] = {
      {"cgcs2000-gk3", 116.0, 118.9, 4527},  // middle 117.45: zone 39 (115.5-118.5)
      {"cgcs2000-gk3", 118.5, 118.5, 4528},  // a zone's west edge belongs to it
      {"cgcs2000-gk3", 118.4, 118.4, 4527},
      {"cgcs2000-gk3", 73.0, 135.0, 4523},   // all China: middle 104, zone 35
      {"cgcs2000-gk3", -10.0, 20.0, 4513},   // beyond China's zones: the nearest, 25
      {"cgcs2000-gk3", 150.0, 170.0, 4533},  // and 45
      {"cgcs2000-gk6", 116.0, 118.0, 4498},  // zone 20 (114-120)
      {"cgcs2000-gk6", 120.0, 120.0, 4499},
      {"cgcs2000-gk6", 0.0, 10.0, 4491},
      {"cgcs2000-gk6", 170.0, 180.0, 4501},
      {"4548", 0.0, 10.0, 4548},  // a fixed zone stays
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.code) + " " + std::to_string(c.min_lon));
    const System fixed = FixZone(Parsed(c.code), c.min_lon, c.max_lon);
    EXPECT_EQ(fixed.code.epsg, c.epsg);
    EXPECT_FALSE(fixed.needs_zone());
  }
}

TEST(SystemTest, OutsideZoneBeyondHalfAZoneOutside) {
  const System three = Parsed("4527");  // central meridian 117
  const System six = Parsed("4498");    // 117 as well
  for (const double lon : {114.0, 117.0, 120.0}) EXPECT_FALSE(three.IsOutsideZone(lon)) << lon;
  for (const double lon : {113.99, 120.01, -63.0}) EXPECT_TRUE(three.IsOutsideZone(lon)) << lon;
  for (const double lon : {111.0, 123.0}) EXPECT_FALSE(six.IsOutsideZone(lon)) << lon;
  for (const double lon : {110.99, 123.01}) EXPECT_TRUE(six.IsOutsideZone(lon)) << lon;
  EXPECT_FALSE(Parsed("cgcs2000").IsOutsideZone(0.0));
}

TEST(MifCoordSysTest, OneClausePerFamily) {
  struct Case {
    const char* code;
    const char* towgs84;
    const char* clause;
  };
  const Case cases[] = {
      {"wgs84", nullptr, "CoordSys Earth Projection 1, 104"},
      {"cgcs2000", nullptr, "CoordSys Earth Projection 1, 999, 0, 0, 0, 0"},
      {"EPSG:4527", nullptr,
       "CoordSys Earth Projection 8, 999, 0, 0, 0, 0, \"m\", 117, 0, 1, 39500000, 0 "
       "Bounds (38500000, -1000000) (40500000, 9000000)"},
      {"EPSG:4548", nullptr,
       "CoordSys Earth Projection 8, 999, 0, 0, 0, 0, \"m\", 117, 0, 1, 500000, 0 "
       "Bounds (-500000, -1000000) (1500000, 9000000)"},
      {"EPSG:4214", kSeven,
       "CoordSys Earth Projection 1, 9999, 3, 15.8, -154.4, -82.3, -0.5, 1.25, 0, 3.5, 0"},
      {"EPSG:21413", "1,2,3",
       "CoordSys Earth Projection 8, 9999, 3, 1, 2, 3, 0, 0, 0, 0, 0, \"m\", 75, 0, 1, 13500000, 0 "
       "Bounds (12500000, -1000000) (14500000, 9000000)"},
      {"EPSG:2370", kSeven,
       "CoordSys Earth Projection 8, 9999, 31, 15.8, -154.4, -82.3, -0.5, 1.25, 0, 3.5, 0, \"m\", "
       "75, 0, 1, 500000, 0 Bounds (-500000, -1000000) (1500000, 9000000)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const std::optional<std::string_view> towgs84 =
        c.towgs84 ? std::optional<std::string_view>(c.towgs84) : std::nullopt;
    EXPECT_EQ(MifCoordSys(Parsed(c.code, towgs84)), c.clause);
  }
}

// Every zone's Bounds hold the zone and 3 degrees beyond it from the equator to 60 N (China and
// the web maps' rectangle lie within 0.8-55.9 N), at most 1 cm per step of the .TAB's grid of
// 2 * 10^9 steps (finer than the 2^32 steps MapInfo's documentation counts).
TEST(MifCoordSysTest, BoundsHoldEveryZoneAndThreeDegreesBeyond) {
  for (const CodeDefinition& code : Codes()) {
    if (code.zone_width == 0) continue;
    SCOPED_TRACE(code.epsg);
    System system;
    system.code = code;
    const Bounds bounds = ZoneBounds(system);
    EXPECT_LE((bounds.max_x - bounds.min_x) / 2e9, 0.01);
    EXPECT_LE((bounds.max_y - bounds.min_y) / 2e9, 0.01);
    const Transformer transformer(system, Source::kWgs84);
    const double reach = code.zone_width / 2.0 + 3;
    for (const double lon : {code.central_meridian - reach, code.central_meridian + reach}) {
      for (const double lat : {0.0, 30.0, 60.0}) {
        double x = 0, y = 0;
        ASSERT_TRUE(transformer.Forward(lon, lat, &x, &y));
        EXPECT_TRUE(x > bounds.min_x && x < bounds.max_x && y > bounds.min_y && y < bounds.max_y)
            << lon << " " << lat;
      }
    }
  }
}

// The writer's view of a point: texts in, "x y" out, or nothing for what cannot be written.
TEST(TransformerTest, FormatPoint) {
  struct Case {
    const char* code;
    Source source;
    const char* lon;
    const char* lat;
    const char* written;  // nullptr: refused
  };
  const Case cases[] = {
      {"4527", Source::kWgs84, "117", "0", "39500000.000 0.000"},
      {"4548", Source::kWgs84, "+117.0", "0e5", "500000.000 0.000"},
      {"cgcs2000", Source::kWgs84, "116.3912340004", "-5", "116.391234 -5"},
      {"wgs84", Source::kGcj02, "200", "50", "200 50"},  // outside the web maps' rectangle
      {"4527", Source::kWgs84, "117", "90.5", nullptr},
      {"4527", Source::kWgs84, "57", "30", "33289093.100 5455136.342"},  // 60 degrees west
      {"4527", Source::kWgs84, "56.99", "30", nullptr},  // beyond: the series drifts
      {"4527", Source::kWgs84, "-63", "0", nullptr},     // the far side
      {"4527", Source::kWgs84, "nan", "0", nullptr},
      {"4527", Source::kWgs84, "117", "", nullptr},
      {"4527", Source::kWgs84, "1e400", "0", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.code) + " " + c.lon + " " + c.lat);
    Transformer transformer(Parsed(c.code), c.source);
    char buffer[Transformer::kMaxPointChars];
    const char* const end = transformer.FormatPoint(c.lon, c.lat, buffer);
    if (c.written == nullptr) {
      EXPECT_EQ(end, nullptr);
    } else {
      ASSERT_NE(end, nullptr);
      EXPECT_EQ(std::string(static_cast<const char*>(buffer), end), c.written);
    }
  }
  EXPECT_FALSE(Transforms(Parsed("wgs84"), Source::kWgs84));
  EXPECT_TRUE(Transforms(Parsed("wgs84"), Source::kBd09));
  EXPECT_TRUE(Transforms(Parsed("cgcs2000"), Source::kWgs84));
}

// The grid against the exact path it replaces: within kGridError everywhere in it (random points
// and its corners), and the exact path itself beyond it; for each family of zones.
TEST(TransformerTest, GridWithinItsBoundOfTheExactPath) {
  struct Case {
    const char* code;
    const char* towgs84;
  };
  const Case cases[] = {
      {"4527", nullptr}, {"4548", nullptr}, {"4498", nullptr}, {"2401", kSeven}, {"2338", kSeven}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const std::optional<std::string_view> towgs84 =
        c.towgs84 ? std::optional<std::string_view>(c.towgs84) : std::nullopt;
    Transformer transformer(Parsed(c.code, towgs84), Source::kWgs84);
    const double central = transformer.system().code.central_meridian;
    const double reach = transformer.system().code.zone_width / 2.0 + 3;
    std::vector<std::pair<double, double>> inside = {
        {central - reach, -80}, {central + reach, 84}, {central, 0}, {central + reach, -80}};
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> offset(-reach, reach), latitude(-80, 84);
    for (int i = 0; i < 5000; ++i) inside.emplace_back(central + offset(random), latitude(random));
    double worst = 0;
    for (const auto& [lon, lat] : inside) {
      double x = 0, y = 0, exact_x = 0, exact_y = 0;
      ASSERT_TRUE(transformer.Transform(lon, lat, &x, &y)) << lon << " " << lat;
      ASSERT_TRUE(transformer.Forward(lon, lat, &exact_x, &exact_y));
      worst = std::max(worst, std::hypot(x - exact_x, y - exact_y));
    }
    EXPECT_LE(worst, Transformer::kGridError);
    for (const auto& [lon, lat] : {std::pair(central - reach - 0.01, 10.0),
                                   {central, 84.01},
                                   {central + 40, 30.0},
                                   {central, -80.01}}) {
      double x = 0, y = 0, exact_x = 0, exact_y = 0;
      ASSERT_TRUE(transformer.Transform(lon, lat, &x, &y)) << lon << " " << lat;
      ASSERT_TRUE(transformer.Forward(lon, lat, &exact_x, &exact_y));
      EXPECT_EQ(std::pair(x, y), std::pair(exact_x, exact_y)) << lon << " " << lat;
    }
  }
}

}  // namespace
}  // namespace crs
