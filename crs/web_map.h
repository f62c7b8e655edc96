// Coordinates of Chinese web maps turned back into WGS 84.
//
// Maps published in China shift WGS 84 positions by a few hundred metres with a public
// obfuscation formula, GCJ-02; Baidu's maps shift GCJ-02 once more (BD-09). A KML traced on
// such a map carries the shifted coordinates. The formulas apply only inside the rectangle
// 72.004-137.8347 E, 0.8293-55.8271 N, and points outside it are left as they are both ways.
// The inverses are solved by iteration to 1e-9 degrees of the formulas' exact inverse; what
// they cannot undo is the formulas' own distance from the maps' true shift (a few decimetres).
// Longitudes and latitudes are in degrees.
#pragma once

namespace crs {

// Whether (lon, lat) lies in the rectangle where the web maps' formulas apply (edges included).
bool InWebMapRectangle(double lon, double lat);

// WGS 84 to GCJ-02 and GCJ-02 to BD-09: the public formulas, for points in the rectangle
// (others are given back as they are).
void Gcj02FromWgs84(double lon, double lat, double* gcj_lon, double* gcj_lat);
void Bd09FromWgs84(double lon, double lat, double* bd_lon, double* bd_lat);

// The inverses: the WGS 84 point whose GCJ-02 (BD-09) coordinates are those given, when they
// lie in the rectangle (others are given back as they are). Within 1e-9 degrees of the exact
// inverse for any point in the rectangle.
void Wgs84FromGcj02(double lon, double lat, double* wgs_lon, double* wgs_lat);
void Wgs84FromBd09(double lon, double lat, double* wgs_lon, double* wgs_lat);

}  // namespace crs
