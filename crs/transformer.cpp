#include "crs/transformer.h"

#include <GeographicLib/Geocentric.hpp>
#include <GeographicLib/TransverseMercator.hpp>
#include <cmath>
#include <cstddef>
#include <memory>

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

void ToWgs84(Source source, double lon, double lat, double* wgs_lon, double* wgs_lat) {
  switch (source) {
    case Source::kWgs84:
      *wgs_lon = lon;
      *wgs_lat = lat;
      return;
    case Source::kGcj02:
      Wgs84FromGcj02(lon, lat, wgs_lon, wgs_lat);
      return;
    case Source::kBd09:
      Wgs84FromBd09(lon, lat, wgs_lon, wgs_lat);
      return;
  }
}

namespace {

// The datum step and the projection of a zone at nodes every 0.1 degree of longitude from the
// central meridian and of latitude from the equator, computed as points first need them.
class Grid {
 public:
  // `reach`: the grid spans the central meridian +- reach degrees.
  explicit Grid(int reach) : reach_(reach * kPerDegree) {}

  // Interpolates the exact function `exact(offset, lat, &x, &y)` (offset: longitude from the
  // central meridian) at the point; false, with nothing done, outside the grid.
  template <typename Exact>
  bool Interpolate(double offset, double lat, const Exact& exact, double* x, double* y) {
    const double u = offset * kPerDegree;
    const double v = lat * kPerDegree;
    if (!(u >= -reach_ && u <= reach_ && v >= kSouth && v <= kNorth)) return false;
    const int column = static_cast<int>(std::floor(u));
    const int row = static_cast<int>(std::floor(v));
    const size_t cell =
        static_cast<size_t>(row - kSouth) * (2 * reach_ + 1) + static_cast<size_t>(column + reach_);
    if (nodes_ == nullptr) Allocate();
    if (!cell_ready_[cell]) Fill(column, row, exact, cell);
    double wu[4];
    double wv[4];
    Weights(u - column, wu);
    Weights(v - row, wv);
    const Node* first = &nodes_[NodeIndex(column - 1, row - 1)];
    const size_t stride = NodeColumns();
    double sx = 0;
    double sy = 0;
    for (int b = 0; b < 4; ++b) {
      const Node* p = first + b * stride;
      sx += wv[b] * (wu[0] * p[0].x + wu[1] * p[1].x + wu[2] * p[2].x + wu[3] * p[3].x);
      sy += wv[b] * (wu[0] * p[0].y + wu[1] * p[1].y + wu[2] * p[2].y + wu[3] * p[3].y);
    }
    *x = sx;
    *y = sy;
    return true;
  }

 private:
  static constexpr int kPerDegree = 10;
  static constexpr int kSouth = -80 * kPerDegree;
  static constexpr int kNorth = 84 * kPerDegree;

  struct Node {
    double x, y;
  };

  // Lagrange's weights of the nodes at -1, 0, 1 and 2 for a point at t (0 <= t <= 1).
  static void Weights(double t, double w[4]) {
    const double a = t + 1;
    const double b = t - 1;
    const double c = t - 2;
    w[0] = -t * b * c / 6;
    w[1] = a * b * c / 2;
    w[2] = -a * t * c / 2;
    w[3] = a * t * b / 6;
  }

  // Columns of nodes: -reach - 1 to reach + 2; rows: kSouth - 1 to kNorth + 2.
  size_t NodeColumns() const { return static_cast<size_t>(2 * reach_ + 4); }
  size_t NodeIndex(int column, int row) const {
    return static_cast<size_t>(row - kSouth + 1) * NodeColumns() +
           static_cast<size_t>(column + reach_ + 1);
  }

  void Allocate() {
    const size_t rows = static_cast<size_t>(kNorth - kSouth + 4);
    const size_t cells = static_cast<size_t>(kNorth - kSouth + 1) * (2 * reach_ + 1);
    // Left uninitialized: only the nodes computed are ever read, and untouched pages cost
    // nothing.
    nodes_.reset(new Node[rows * NodeColumns()]);
    node_ready_ = std::make_unique<bool[]>(rows * NodeColumns());
    cell_ready_ = std::make_unique<bool[]>(cells);
  }

  template <typename Exact>
  void Fill(int column, int row, const Exact& exact, size_t cell) {
    for (int r = row - 1; r <= row + 2; ++r) {
      for (int c = column - 1; c <= column + 2; ++c) {
        const size_t index = NodeIndex(c, r);
        if (node_ready_[index]) continue;
        // Tenths divided, not multiplied by 0.1: each node is the double nearest its position.
        exact(static_cast<double>(c) / kPerDegree, static_cast<double>(r) / kPerDegree,
              &nodes_[index].x, &nodes_[index].y);
        node_ready_[index] = true;
      }
    }
    cell_ready_[cell] = true;
  }

  int reach_;  // tenths of a degree
  std::unique_ptr<Node[]> nodes_;
  std::unique_ptr<bool[]> node_ready_;
  std::unique_ptr<bool[]> cell_ready_;
};

// Beyond this many degrees of longitude from the central meridian, points are refused.
constexpr double kMaxOffset = 60;
// The grid spans the zone and this many degrees beyond it.
constexpr int kGridBeyondZone = 3;

}  // namespace

class Transformer::Impl {
 public:
  Impl(const System& system, Source source)
      : system_(system),
        source_(source),
        helmert_(system.code.datum == Datum::kBeijing1954 || system.code.datum == Datum::kXian1980),
        wgs84_earth_(kWgs84SemiMajor, 1 / kWgs84InverseFlattening),
        local_earth_(system.code.semi_major, 1 / system.code.inverse_flattening),
        projection_(system.code.semi_major, 1 / system.code.inverse_flattening, 1.0),
        grid_(system.code.zone_width / 2 + kGridBeyondZone) {
    if (helmert_) SetHelmert(system.towgs84);
  }

  // The exact computation with `grid` null, else through it.
  bool Forward(double lon, double lat, double* x, double* y, bool* outside_zone, Grid* grid) const {
    double offset = 0;
    if (!Prepare(&lon, &lat, &offset)) return false;
    double out_x = lon;
    double out_y = lat;
    if (system_.projected()) {
      const auto exact = [this](double node_offset, double node_lat, double* node_x,
                                double* node_y) {
        Project(system_.code.central_meridian + node_offset, node_lat, node_x, node_y);
      };
      if (grid == nullptr || !grid->Interpolate(offset, lat, exact, &out_x, &out_y)) {
        Project(lon, lat, &out_x, &out_y);
      }
      out_x += system_.code.false_easting;
    } else if (helmert_) {
      ToLocalDatum(&out_x, &out_y);
    }
    if (!std::isfinite(out_x) || !std::isfinite(out_y)) return false;
    if (outside_zone != nullptr) *outside_zone = system_.IsOutsideZone(lon);
    *x = out_x;
    *y = out_y;
    return true;
  }

  Grid* grid() { return &grid_; }
  const System& system() const { return system_; }

 private:
  // Checks the point and undoes the web map's shift; for a zone, `offset` is the longitude from
  // the central meridian (-180 to 180).
  bool Prepare(double* lon, double* lat, double* offset) const {
    if (!std::isfinite(*lon) || !std::isfinite(*lat) || std::fabs(*lat) > 90) return false;
    ToWgs84(source_, *lon, *lat, lon, lat);
    if (!system_.projected()) return true;
    *offset = *lon - system_.code.central_meridian;
    if (*offset < -180 || *offset > 180) *offset = std::remainder(*offset, 360.0);
    return std::fabs(*offset) <= kMaxOffset;
  }

  // The datum step and the projection, without the false easting.
  void Project(double lon, double lat, double* x, double* y) const {
    if (helmert_) ToLocalDatum(&lon, &lat);
    projection_.Forward(system_.code.central_meridian, lat, lon, *x, *y);
  }

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
  Grid grid_;
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
  return impl_->Forward(lon, lat, x, y, nullptr, nullptr);
}

bool Transformer::Transform(double lon, double lat, double* x, double* y, bool* outside_zone) {
  return impl_->Forward(lon, lat, x, y, outside_zone, impl_->grid());
}

char* Transformer::FormatPoint(std::string_view lon, std::string_view lat, char* out,
                               bool* outside_zone) {
  double lon_value = 0;
  double lat_value = 0;
  double x = 0;
  double y = 0;
  if (!ParseDecimal(lon, &lon_value) || !ParseDecimal(lat, &lat_value) ||
      !Transform(lon_value, lat_value, &x, &y, outside_zone)) {
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
