// The transformation of KML coordinates (WGS 84 longitude/latitude, or a Chinese web map's) into
// a system of crs/system.h, and the texts the MIF writer puts down for it.
//
// Per point: the web map's shift is undone (crs/web_map.h). For Beijing 1954 and Xian 1980 the
// point is moved to the point at height 0 on the local ellipsoid that the user's towgs84 takes
// back to the KML's longitude and latitude: that is how a reader of the MIF, which holds no
// heights, returns to WGS 84 (GDAL and PROJ do, to a few nanometres). PROJ's own direction
// from WGS 84 differs from it by a millimetre or two, as PROJ's round trip does. Then the point
// is projected with GeographicLib's transverse Mercator on the datum's ellipsoid (within a few
// nanometres of the exact projection up to thousands of kilometres from the central meridian).
// KML heights are not used: points are taken on the WGS 84 ellipsoid.
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

class Transformer {
 public:
  // The most characters FormatPoint writes.
  static constexpr size_t kMaxPointChars = 2 * kMaxNumberChars + 1;

  // REQUIRES: !system.needs_zone() (FixZone first).
  Transformer(const System& system, Source source);
  ~Transformer();
  Transformer(Transformer&&) noexcept;
  Transformer& operator=(Transformer&&) noexcept;

  // Transforms longitude `lon` and latitude `lat` (degrees) into `x` and `y`: easting and
  // northing in metres for a zone, longitude and latitude in degrees otherwise. False, with x
  // and y untouched, for a value that is not finite or a latitude beyond +-90 degrees.
  bool Forward(double lon, double lat, double* x, double* y) const;

  // Reads the longitude and latitude texts (see ParseDecimal), transforms them and writes
  // "x y" (FormatMetres or FormatDegrees, one space between); gives the end of the text, or
  // nullptr when a text is not a number or Forward refuses the point.
  // REQUIRES: `out` holds kMaxPointChars.
  char* FormatPoint(std::string_view lon, std::string_view lat, char* out) const;

  const System& system() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace crs
