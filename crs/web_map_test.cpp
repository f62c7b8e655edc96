#include "crs/web_map.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace crs {
namespace {

constexpr double kTolerance = 1e-9;  // degrees
constexpr double kPi = 3.14159265358979323846;

// The public GCJ-02 formula as it is usually written, one sine per term: the reference for the
// library's, which gets the same sines from products of two.
void PlainGcj02FromWgs84(double lon, double lat, double* gcj_lon, double* gcj_lat) {
  const double x = lon - 105.0;
  const double y = lat - 35.0;
  double north =
      -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * std::sqrt(std::fabs(x));
  north += (20.0 * std::sin(6.0 * x * kPi) + 20.0 * std::sin(2.0 * x * kPi)) * 2.0 / 3.0;
  north += (20.0 * std::sin(y * kPi) + 40.0 * std::sin(y / 3.0 * kPi)) * 2.0 / 3.0;
  north += (160.0 * std::sin(y / 12.0 * kPi) + 320 * std::sin(y * kPi / 30.0)) * 2.0 / 3.0;
  double east = 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * std::sqrt(std::fabs(x));
  east += (20.0 * std::sin(6.0 * x * kPi) + 20.0 * std::sin(2.0 * x * kPi)) * 2.0 / 3.0;
  east += (20.0 * std::sin(x * kPi) + 40.0 * std::sin(x / 3.0 * kPi)) * 2.0 / 3.0;
  east += (150.0 * std::sin(x / 12.0 * kPi) + 300.0 * std::sin(x / 30.0 * kPi)) * 2.0 / 3.0;
  const double radians = lat / 180.0 * kPi;
  const double magic = 1 - 0.00669342162296594323 * std::sin(radians) * std::sin(radians);
  *gcj_lat = lat + (north * 180.0) / ((6378245.0 * (1 - 0.00669342162296594323)) /
                                      (magic * std::sqrt(magic)) * kPi);
  *gcj_lon = lon + (east * 180.0) / (6378245.0 / std::sqrt(magic) * std::cos(radians) * kPi);
}

// Published pairs of WGS 84 and web-map positions, as other implementations of the public
// formulas give them in their tests:
// - googollee/eviltransform, go/transform_test.go (Shanghai, Shenzhen, Beijing);
// - wandergis/coordtransform, test/app.js (wgs84togcj02 and gcj02tobd09 of 116.404, 39.915).
TEST(WebMapTest, PublishedPairs) {
  struct Pair {
    double lon, lat;          // WGS 84 (GCJ-02 for the Baidu pair)
    double map_lon, map_lat;  // GCJ-02 (BD-09)
    bool baidu;
  };
  const Pair pairs[] = {
      {121.5272106, 31.1774276, 121.531541859215, 31.17530398364597, false},
      {113.912316, 22.543847, 113.9171764808363, 22.540796131694766, false},
      {116.377817, 39.911954, 116.38404722455657, 39.91334545536069, false},
      {116.404, 39.915, 116.41024449916938, 39.91640428150164, false},
      {116.404, 39.915, 116.41036949371029, 39.92133699351021, true},
  };
  for (const Pair& p : pairs) {
    SCOPED_TRACE(testing::Message() << p.lon << " " << p.lat << (p.baidu ? " BD-09" : ""));
    double lon = 0;
    double lat = 0;
    if (p.baidu) {
      // Baidu's shift alone: the GCJ-02 point is the WGS 84 point of its own GCJ-02 inverse.
      double wgs_lon = 0;
      double wgs_lat = 0;
      Wgs84FromGcj02(p.lon, p.lat, &wgs_lon, &wgs_lat);
      Bd09FromWgs84(wgs_lon, wgs_lat, &lon, &lat);
    } else {
      Gcj02FromWgs84(p.lon, p.lat, &lon, &lat);
    }
    EXPECT_NEAR(lon, p.map_lon, kTolerance);
    EXPECT_NEAR(lat, p.map_lat, kTolerance);
    if (p.baidu) {
      Wgs84FromBd09(p.map_lon, p.map_lat, &lon, &lat);
      Gcj02FromWgs84(lon, lat, &lon, &lat);
    } else {
      Wgs84FromGcj02(p.map_lon, p.map_lat, &lon, &lat);
    }
    EXPECT_NEAR(lon, p.lon, kTolerance);
    EXPECT_NEAR(lat, p.lat, kTolerance);
  }
}

// Over the whole rectangle (but a margin at its edges, where a point and its shifted one can
// lie on either side), the formula is the plain one, the inverse undoes the formula and the
// formula undoes the inverse.
TEST(WebMapTest, InversesAcrossTheRectangle) {
  double worst = 0;
  double plain = 0;
  for (int i = 0; i < 380; ++i) {
    for (int j = 0; j < 420; ++j) {
      const double lon = 72.05 + i * 0.173;
      const double lat = 0.87 + j * 0.131;
      double a_lon = 0, a_lat = 0, b_lon = 0, b_lat = 0;
      Gcj02FromWgs84(lon, lat, &a_lon, &a_lat);
      PlainGcj02FromWgs84(lon, lat, &b_lon, &b_lat);
      plain = std::max({plain, std::fabs(b_lon - a_lon), std::fabs(b_lat - a_lat)});
      Wgs84FromGcj02(lon, lat, &a_lon, &a_lat);
      Gcj02FromWgs84(a_lon, a_lat, &b_lon, &b_lat);
      worst = std::max({worst, std::fabs(b_lon - lon), std::fabs(b_lat - lat)});
      Gcj02FromWgs84(lon, lat, &a_lon, &a_lat);
      Wgs84FromGcj02(a_lon, a_lat, &b_lon, &b_lat);
      worst = std::max({worst, std::fabs(b_lon - lon), std::fabs(b_lat - lat)});
      Wgs84FromBd09(lon, lat, &a_lon, &a_lat);
      Bd09FromWgs84(a_lon, a_lat, &b_lon, &b_lat);
      worst = std::max({worst, std::fabs(b_lon - lon), std::fabs(b_lat - lat)});
      Bd09FromWgs84(lon, lat, &a_lon, &a_lat);
      Wgs84FromBd09(a_lon, a_lat, &b_lon, &b_lat);
      worst = std::max({worst, std::fabs(b_lon - lon), std::fabs(b_lat - lat)});
    }
  }
  EXPECT_LT(worst, kTolerance);
  EXPECT_LT(plain, 1e-12);
}

TEST(WebMapTest, OutsideTheRectangleUnchanged) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double outside[][2] = {{72.0039, 30},  {137.8348, 30}, {100, 0.8292},  {100, 55.8272},
                               {-122.4, 37.8}, {2.35, 48.85},  {151.2, -33.9}, {nan, 30}};
  using Function = void (*)(double, double, double*, double*);
  for (const Function function : {Gcj02FromWgs84, Bd09FromWgs84, Wgs84FromGcj02, Wgs84FromBd09}) {
    for (const auto& point : outside) {
      double lon = 0;
      double lat = 0;
      function(point[0], point[1], &lon, &lat);
      EXPECT_TRUE(lon == point[0] || (std::isnan(lon) && std::isnan(point[0]))) << point[0];
      EXPECT_EQ(lat, point[1]);
    }
  }
  EXPECT_TRUE(InWebMapRectangle(72.004, 0.8293));
  EXPECT_TRUE(InWebMapRectangle(137.8347, 55.8271));
}

}  // namespace
}  // namespace crs
