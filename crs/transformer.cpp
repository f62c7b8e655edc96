#include "crs/transformer.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <cmath>

#include "crs/web_map.h"

namespace crs {
namespace {

constexpr double kWgs84SemiMajor = 6378137.0;
constexpr double kWgs84InverseFlattening = 298.257223563;
constexpr double kRadiansPerArcSecond = 3.14159265358979323846 / 648000.0;

}  // namespace

bool Transforms(const System& system, Source source) {
  return !system.is_wgs84() || source != Source::kWgs84;
}

class Transformer::Impl {
 public:
  Impl(const System& system, Source source)
      : system_(system),
        source_(source),
        helmert_(system.code.datum == Datum::kBeijing1954 || system.code.datum == Datum::kXian1980),
        wgs84_earth_(kWgs84SemiMajor, 1 / kWgs84InverseFlattening),
        local_earth_(system.code.semi_major, 1 / system.code.inverse_flattening),
        projection_(system.code.semi_major, 1 / system.code.inverse_flattening, 1.0) {
    if (helmert_) SetHelmert(system.towgs84);
  }

  bool Forward(double lon, double lat, double* x, double* y) const {
    if (!std::isfinite(lon) || !std::isfinite(lat) || std::fabs(lat) > 90) return false;
    if (source_ == Source::kGcj02) {
      Wgs84FromGcj02(lon, lat, &lon, &lat);
    } else if (source_ == Source::kBd09) {
      Wgs84FromBd09(lon, lat, &lon, &lat);
    }
    if (helmert_) ToLocalDatum(&lon, &lat);
    double out_x = lon;
    double out_y = lat;
    if (system_.projected()) {
      projection_.Forward(system_.code.central_meridian, lat, lon, out_x, out_y);
      out_x += system_.code.false_easting;
    }
    if (!std::isfinite(out_x) || !std::isfinite(out_y)) return false;
    *x = out_x;
    *y = out_y;
    return true;
  }

  const System& system() const { return system_; }

 private:
  // The user's towgs84 takes local geocentric coordinates L to WGS 84 ones by
  // W = T + (1 + s) R L, with R the position-vector rotation matrix of small angles, as PROJ
  // and GDAL build it. Its exact inverse is L = M (W - T) with M = R^-1 / (1 + s); the
  // transpose of R (the angles negated) would be off by the angles squared times the Earth's
  // radius, millimetres for rotations of a few arc-seconds.
  void SetHelmert(const Towgs84& towgs84) {
    const double rx = towgs84.rx * kRadiansPerArcSecond;
    const double ry = towgs84.ry * kRadiansPerArcSecond;
    const double rz = towgs84.rz * kRadiansPerArcSecond;
    const double r[3][3] = {{1, -rz, ry}, {rz, 1, -rx}, {-ry, rx, 1}};
    const double cofactor[3][3] = {
        {r[1][1] * r[2][2] - r[1][2] * r[2][1], r[0][2] * r[2][1] - r[0][1] * r[2][2],
         r[0][1] * r[1][2] - r[0][2] * r[1][1]},
        {r[1][2] * r[2][0] - r[1][0] * r[2][2], r[0][0] * r[2][2] - r[0][2] * r[2][0],
         r[0][2] * r[1][0] - r[0][0] * r[1][2]},
        {r[1][0] * r[2][1] - r[1][1] * r[2][0], r[0][1] * r[2][0] - r[0][0] * r[2][1],
         r[0][0] * r[1][1] - r[0][1] * r[1][0]},
    };
    const double determinant =
        r[0][0] * cofactor[0][0] + r[0][1] * cofactor[1][0] + r[0][2] * cofactor[2][0];
    const double scale = 1 + towgs84.ppm * 1e-6;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        forward_[i][j] = r[i][j] * scale;
        inverse_[i][j] = cofactor[i][j] / (determinant * scale);
      }
    }
    shift_[0] = towgs84.dx;
    shift_[1] = towgs84.dy;
    shift_[2] = towgs84.dz;
  }

  // The local point at height 0 that the towgs84 takes to (lon, lat) at whatever height: a MIF
  // holds no heights, and its readers (GDAL, MapInfo) take its points at height 0 on the local
  // ellipsoid. The exact 3D inverse of the KML's point at height 0 on WGS 84 lies some 50 m
  // above or below the local ellipsoid, and dropping that height would move it by up to a
  // millimetre and a half (the height times the angle between the two ellipsoids' normals);
  // one step against the forward transformation brings that to a few nanometres.
  void ToLocalDatum(double* lon, double* lat) const {
    double w[3];
    wgs84_earth_.Forward(*lat, *lon, 0, w[0], w[1], w[2]);
    for (int i = 0; i < 3; ++i) w[i] -= shift_[i];
    double l[3];
    for (int i = 0; i < 3; ++i) {
      l[i] = inverse_[i][0] * w[0] + inverse_[i][1] * w[1] + inverse_[i][2] * w[2];
    }
    double local_lat = 0, local_lon = 0, height = 0;
    local_earth_.Reverse(l[0], l[1], l[2], local_lat, local_lon, height);
    local_earth_.Forward(local_lat, local_lon, 0, l[0], l[1], l[2]);
    for (int i = 0; i < 3; ++i) {
      w[i] = shift_[i] + forward_[i][0] * l[0] + forward_[i][1] * l[1] + forward_[i][2] * l[2];
    }
    double back_lat = 0, back_lon = 0;
    wgs84_earth_.Reverse(w[0], w[1], w[2], back_lat, back_lon, height);
    *lat = local_lat + (*lat - back_lat);
    *lon = local_lon + std::remainder(*lon - back_lon, 360.0);
  }

  System system_;
  Source source_;
  bool helmert_;
  GeographicLib::Geocentric wgs84_earth_;
  GeographicLib::Geocentric local_earth_;
  GeographicLib::TransverseMercator projection_;
  double forward_[3][3] = {};  // (1 + s) R
  double inverse_[3][3] = {};
  double shift_[3] = {};
};

Transformer::Transformer(const System& system, Source source)
    : impl_(std::make_unique<Impl>(system, source)) {}
Transformer::~Transformer() = default;
Transformer::Transformer(Transformer&&) noexcept = default;
Transformer& Transformer::operator=(Transformer&&) noexcept = default;

bool Transformer::Forward(double lon, double lat, double* x, double* y) const {
  return impl_->Forward(lon, lat, x, y);
}

char* Transformer::FormatPoint(std::string_view lon, std::string_view lat, char* out) const {
  double lon_value = 0;
  double lat_value = 0;
  double x = 0;
  double y = 0;
  if (!ParseDecimal(lon, &lon_value) || !ParseDecimal(lat, &lat_value) ||
      !impl_->Forward(lon_value, lat_value, &x, &y)) {
    return nullptr;
  }
  if (impl_->system().projected()) {
    out = FormatMetres(x, out);
    *out++ = ' ';
    return FormatMetres(y, out);
  }
  out = FormatDegrees(x, out);
  *out++ = ' ';
  return FormatDegrees(y, out);
}

const System& Transformer::system() const { return impl_->system(); }

}  // namespace crs
