#include "crs/web_map.h"

#include <cmath>

namespace crs {
namespace {

constexpr double kPi = 3.14159265358979323846;
// The formulas' own constants: Krassovsky's ellipsoid, and Baidu's angular factor.
constexpr double kSemiMajor = 6378245.0;
constexpr double kEccentricitySquared = 0.00669342162296594323;
constexpr double kBaiduFactor = kPi * 3000.0 / 180.0;
// The inverses stop once the forward formula of their estimate is this close to the input. The
// shifts change by less than 0.02 degrees per degree (their derivative), so the step taken
// then leaves the estimate within 0.02 / 0.98 of that of the exact inverse: 2e-11 degrees.
constexpr double kTolerance = 1e-9;
constexpr int kMaxSteps = 40;

// An angle as its cosine and sine; multiplying two adds the angles.
struct Turn {
  double cos, sin;
};

Turn operator*(Turn a, Turn b) {
  return {a.cos * b.cos - a.sin * b.sin, a.sin * b.cos + a.cos * b.sin};
}

// The sines of 2, 5, 20, 60, 120 and 360 times `angle`. The formula's ten sines are all of such
// multiples of pi * x / 60 or pi * y / 60: one sine and cosine and a few products give them at
// a fraction of the cost of ten calls, to within 1e-13.
struct Multiples {
  double times2, times5, times20, times60, times120, times360;
};

Multiples SinesOfMultiples(double angle) {
  const Turn t1{std::cos(angle), std::sin(angle)};
  const Turn t2 = t1 * t1;
  const Turn t5 = t2 * t2 * t1;
  const Turn t10 = t5 * t5;
  const Turn t20 = t10 * t10;
  const Turn t60 = t20 * t20 * t20;
  const Turn t120 = t60 * t60;
  const Turn t360 = t120 * t120 * t120;
  return {t2.sin, t5.sin, t20.sin, t60.sin, t120.sin, t360.sin};
}

// The GCJ-02 shift of the WGS 84 point (lon, lat), for any point (no rectangle): the public
// formula, with its sines from SinesOfMultiples.
void GcjShift(double lon, double lat, double* shift_lon, double* shift_lat) {
  const double x = lon - 105.0;
  const double y = lat - 35.0;
  const Multiples sx = SinesOfMultiples(x * kPi / 60.0);
  const Multiples sy = SinesOfMultiples(y * kPi / 60.0);
  const double root = std::sqrt(std::fabs(x));
  // sin(6 pi x), sin(2 pi x); sin(pi y), sin(pi y / 3); sin(pi y / 12), sin(pi y / 30); ...
  const double common = (20.0 * sx.times360 + 20.0 * sx.times120) * 2.0 / 3.0;
  double north = -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * root + common;
  north += (20.0 * sy.times60 + 40.0 * sy.times20) * 2.0 / 3.0;
  north += (160.0 * sy.times5 + 320.0 * sy.times2) * 2.0 / 3.0;
  double east = 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * root + common;
  east += (20.0 * sx.times60 + 40.0 * sx.times20) * 2.0 / 3.0;
  east += (150.0 * sx.times5 + 300.0 * sx.times2) * 2.0 / 3.0;
  const double radians = lat / 180.0 * kPi;
  const double sine = std::sin(radians);
  const double magic = 1 - kEccentricitySquared * sine * sine;
  const double root_magic = std::sqrt(magic);
  *shift_lat =
      (north * 180.0) / ((kSemiMajor * (1 - kEccentricitySquared)) / (magic * root_magic) * kPi);
  *shift_lon = (east * 180.0) / (kSemiMajor / root_magic * std::cos(radians) * kPi);
}

void Bd09FromGcj02Anywhere(double lon, double lat, double* bd_lon, double* bd_lat) {
  const double z = std::sqrt(lon * lon + lat * lat) + 0.00002 * std::sin(lat * kBaiduFactor);
  const double theta = std::atan2(lat, lon) + 0.000003 * std::cos(lon * kBaiduFactor);
  *bd_lon = z * std::cos(theta) + 0.0065;
  *bd_lat = z * std::sin(theta) + 0.006;
}

// Solves forward(w) = (lon, lat) from the estimate in (*w_lon, *w_lat) by the fixed-point
// step w -= forward(w) - target, which converges since forward is the identity plus a shift
// that varies slowly.
template <typename Forward>
void Solve(Forward forward, double lon, double lat, double* w_lon, double* w_lat) {
  for (int step = 0; step < kMaxSteps; ++step) {
    double f_lon = 0;
    double f_lat = 0;
    forward(*w_lon, *w_lat, &f_lon, &f_lat);
    const double error_lon = f_lon - lon;
    const double error_lat = f_lat - lat;
    *w_lon -= error_lon;
    *w_lat -= error_lat;
    if (std::fabs(error_lon) < kTolerance && std::fabs(error_lat) < kTolerance) return;
  }
}

void Gcj02FromWgs84Anywhere(double lon, double lat, double* gcj_lon, double* gcj_lat) {
  double shift_lon = 0;
  double shift_lat = 0;
  GcjShift(lon, lat, &shift_lon, &shift_lat);
  *gcj_lon = lon + shift_lon;
  *gcj_lat = lat + shift_lat;
}

}  // namespace

bool InWebMapRectangle(double lon, double lat) {
  return lon >= 72.004 && lon <= 137.8347 && lat >= 0.8293 && lat <= 55.8271;
}

void Gcj02FromWgs84(double lon, double lat, double* gcj_lon, double* gcj_lat) {
  *gcj_lon = lon;
  *gcj_lat = lat;
  if (InWebMapRectangle(lon, lat)) Gcj02FromWgs84Anywhere(lon, lat, gcj_lon, gcj_lat);
}

void Bd09FromWgs84(double lon, double lat, double* bd_lon, double* bd_lat) {
  *bd_lon = lon;
  *bd_lat = lat;
  if (!InWebMapRectangle(lon, lat)) return;
  double gcj_lon = 0;
  double gcj_lat = 0;
  Gcj02FromWgs84Anywhere(lon, lat, &gcj_lon, &gcj_lat);
  Bd09FromGcj02Anywhere(gcj_lon, gcj_lat, bd_lon, bd_lat);
}

void Wgs84FromGcj02(double lon, double lat, double* wgs_lon, double* wgs_lat) {
  *wgs_lon = lon;
  *wgs_lat = lat;
  if (!InWebMapRectangle(lon, lat)) return;
  Solve(Gcj02FromWgs84Anywhere, lon, lat, wgs_lon, wgs_lat);
}

void Wgs84FromBd09(double lon, double lat, double* wgs_lon, double* wgs_lat) {
  *wgs_lon = lon;
  *wgs_lat = lat;
  if (!InWebMapRectangle(lon, lat)) return;
  // Baidu's own approximate inverse is the first estimate of the GCJ-02 point.
  const double x = lon - 0.0065;
  const double y = lat - 0.006;
  const double z = std::sqrt(x * x + y * y) - 0.00002 * std::sin(y * kBaiduFactor);
  const double theta = std::atan2(y, x) - 0.000003 * std::cos(x * kBaiduFactor);
  double gcj_lon = z * std::cos(theta);
  double gcj_lat = z * std::sin(theta);
  Solve(Bd09FromGcj02Anywhere, lon, lat, &gcj_lon, &gcj_lat);
  *wgs_lon = gcj_lon;
  *wgs_lat = gcj_lat;
  Solve(Gcj02FromWgs84Anywhere, gcj_lon, gcj_lat, wgs_lon, wgs_lat);
}

}  // namespace crs
