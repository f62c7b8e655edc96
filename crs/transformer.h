// The transformation of KML coordinates (WGS 84 longitude/latitude, or a Chinese web map's) into
// a system of crs/system.h, and the texts the MIF writer puts down for it.
//
// Per point: the web map's shift is undone (crs/web_map.h). For Beijing 1954 and Xian 1980 the
// point is moved to the point at height 0 on the local ellipsoid that the user's towgs84 takes
// back to the KML's longitude and latitude: that is how a reader of the MIF, which holds no
// heights, returns to WGS 84 (GDAL and PROJ do, to a few nanometres). PROJ's own direction
// from WGS 84 differs from it by a millimetre or two, as PROJ's round trip does. Then the point
// is projected with GeographicLib's transverse Mercator on the datum's ellipsoid (within a few
// nanometres of the exact projection up to 35 degrees from the central meridian, 0.01 mm at 60).
// KML heights are not used: points are taken on the WGS 84 ellipsoid.
//
// Refused points (Forward and Transform give false, nothing is written): a value that is not
// finite, a latitude beyond +-90 degrees, and for a zone a point more than 60 degrees of
// longitude from its central meridian, beyond which the projection's series drifts from the
// exact projection (a fifth of a millimetre at 65 degrees, metres at 75) and then diverges.
//
// The grid (Transform, what kml2mif writes with): for a zone, the datum step and the projection
// together are a smooth function of the WGS 84 longitude and latitude, so within the zone and 3
// degrees beyond it, from 80 S to 84 N, they are interpolated from exact values at nodes every
// 0.1 degree (Lagrange cubic over the 4 x 4 nodes around the point), at a quarter of the cost
// of the exact computation. A node is computed when a point first needs it, so a file pays
// only for the cells its points fall in (a whole zone is 150,000 to 200,000 nodes, a tenth of a
// second, twice that with a datum shift); the grid takes at most 3.3 MB. The interpolation is
// within kGridError of the exact computation (measured: 2.3 micrometres at worst over the whole
// grid, for every family; the tests hold it to kGridError). Every point of
// the grid's area goes through it, whatever the file's length, so a point is written the same
// in every file. The web maps' shift is not smooth enough at 0.1 degree and stays exact.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "crs/numbers.h"
#include "crs/system.h"

namespace crs {

// Where the KML's coordinates come from (--from).
enum class Source {
  kWgs84,  // GPS, Google Earth: the coordinates are WGS 84
  kGcj02,  // traced on a map published in China (Amap, Tencent, Google's map of China)
  kBd09,   // traced on Baidu's map
};

// Whether anything is to be done: false for WGS 84 out of WGS 84, whose texts the writer
// copies as they are.
bool Transforms(const System& system, Source source);

// The WGS 84 longitude and latitude of a KML point from `source`: the web map's shift undone
// inside its rectangle, the point as it is elsewhere (degrees).
void ToWgs84(Source source, double lon, double lat, double* wgs_lon, double* wgs_lat);

// One transformation. Forward is const; Transform keeps the grid's nodes it has computed, so a
// Transformer serves one thread at a time (each thread may have its own).
class Transformer {
 public:
  // The most characters FormatPoint writes.
  static constexpr size_t kMaxPointChars = 2 * kMaxNumberChars + 1;
  // The largest distance, metres, between Transform and Forward.
  static constexpr double kGridError = 1e-5;

  // REQUIRES: !system.needs_zone() (FixZone first).
  Transformer(const System& system, Source source);
  ~Transformer();
  Transformer(Transformer&&) noexcept;
  Transformer& operator=(Transformer&&) noexcept;

  // Transforms longitude `lon` and latitude `lat` (degrees) exactly into `x` and `y`: easting
  // and northing in metres for a zone, longitude and latitude in degrees otherwise. False, with
  // x and y untouched, for a refused point (see above).
  bool Forward(double lon, double lat, double* x, double* y) const;

  // As Forward, through the grid where the point lies in it: what kml2mif writes. Sets
  // `*outside_zone` (when not null) to whether the point's WGS 84 longitude lies more than half
  // a zone beyond its zone (System::IsOutsideZone).
  bool Transform(double lon, double lat, double* x, double* y, bool* outside_zone = nullptr);

  // Reads the longitude and latitude texts (see ParseDecimal), transforms them (Transform) and
  // writes "x y" (FormatMetres or FormatDegrees, one space between); gives the end of the
  // text, or nullptr when a text is not a number or the point is refused.
  // REQUIRES: `out` holds kMaxPointChars.
  char* FormatPoint(std::string_view lon, std::string_view lat, char* out,
                    bool* outside_zone = nullptr);

  const System& system() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace crs
