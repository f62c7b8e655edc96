// The CoordSys clause of a MIF header for a system of crs/system.h, in the form that both
// MapInfo and GDAL read.
//
// - WGS 84: "CoordSys Earth Projection 1, 104", as kml2mif has always written it.
// - CGCS2000: a custom datum on the GRS 80 ellipsoid (MapInfo's 0) without shift,
//   "999, 0, 0, 0, 0" (GDAL reads it as NAD83, which has the same ellipsoid and no shift).
// - Beijing 1954 and Xian 1980: "9999, ellipsoid, dx, dy, dz, rx, ry, rz, ppm, 0" with MapInfo's
//   Krassovsky (3) or IAG 75 (31). MapInfo turns its rotations the other way from towgs84's
//   position-vector convention (GDAL negates them when it reads a MIF), so they are written
//   negated. MapInfo's IAG 75 has an inverse flattening of 298.257222, not Xian 1980's 298.257:
//   coordinates are computed on the true ellipsoid, and a reader that takes MapInfo's finds
//   them a few millimetres away.
// - Zones: projection 8 (transverse Mercator) in "m" with the central meridian, latitude of
//   origin 0, scale 1 and the false easting and northing, then Bounds fixed per zone, so that
//   every file of a zone merges at one precision: 1,000 km on each side of the central
//   meridian, and from 1,000 km south of the equator to 9,000 km north of it (about 81 N). The
//   .TAB that MapInfo makes stores coordinates as integers over these bounds (2 * 10^9 steps
//   per axis, as GDAL's writer of .TAB files shows): steps of at most 1 mm east-west and 5 mm
//   north-south.
#pragma once

#include <string>

#include "crs/system.h"

namespace crs {

// A zone's Bounds: its easting and northing ranges, metres.
struct Bounds {
  double min_x, min_y, max_x, max_y;
};

// REQUIRES: system.projected() && !system.needs_zone().
Bounds ZoneBounds(const System& system);

// The clause, without a line end: "CoordSys Earth Projection 8, 999, 0, 0, 0, 0, \"m\", 117, 0,
// 1, 39500000, 0 Bounds (38500000, -1000000) (40500000, 9000000)".
// REQUIRES: !system.needs_zone().
std::string MifCoordSys(const System& system);

}  // namespace crs
