#include "crs/mif_coordsys.h"

#include <charconv>

namespace crs {
namespace {

constexpr double kHalfWidth = 1'000'000;
constexpr double kSouth = -1'000'000;
constexpr double kNorth = 9'000'000;

// The shortest text that reads back as `value`, never with an exponent, nor "-0".
void Append(double value, std::string& out) {
  char buffer[400];
  if (value == 0) value = 0;  // -0 becomes 0
  out.append(buffer,
             std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr);
}

void AppendList(std::initializer_list<double> values, std::string& out) {
  for (const double value : values) {
    out += ", ";
    Append(value, out);
  }
}

}  // namespace

Bounds ZoneBounds(const System& system) {
  const double false_easting = system.code.false_easting;
  return {false_easting - kHalfWidth, kSouth, false_easting + kHalfWidth, kNorth};
}

std::string MifCoordSys(const System& system) {
  if (system.is_wgs84()) return "CoordSys Earth Projection 1, 104";
  std::string out = "CoordSys Earth Projection ";
  out += system.projected() ? "8" : "1";
  if (system.code.datum == Datum::kCgcs2000) {
    out += ", 999, 0, 0, 0, 0";
  } else {
    const Towgs84& t = system.towgs84;
    out += system.code.datum == Datum::kBeijing1954 ? ", 9999, 3" : ", 9999, 31";
    AppendList({t.dx, t.dy, t.dz, -t.rx, -t.ry, -t.rz, t.ppm, 0}, out);
  }
  if (!system.projected()) return out;
  out += ", \"m\"";
  AppendList(
      {static_cast<double>(system.code.central_meridian), 0, 1, system.code.false_easting, 0}, out);
  const Bounds bounds = ZoneBounds(system);
  out += " Bounds (";
  Append(bounds.min_x, out);
  out += ", ";
  Append(bounds.min_y, out);
  out += ") (";
  Append(bounds.max_x, out);
  out += ", ";
  Append(bounds.max_y, out);
  out += ")";
  return out;
}

}  // namespace crs
