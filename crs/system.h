// The coordinate systems kml2mif writes, as the user names them (--coordsys, --towgs84), and
// what each one is: datum, ellipsoid, Gauss-Krueger zone.
//
// KML is WGS 84 longitude/latitude. The systems are WGS 84 itself, CGCS2000 (China's national
// system, taken as equal to WGS 84: they agree to a few centimetres and no official public
// transformation exists), and Beijing 1954 and Xian 1980, whose relation to WGS 84 the user
// gives as seven parameters; each as longitude/latitude or in 3-degree or 6-degree
// Gauss-Krueger zones (transverse Mercator, scale 1, origin on the equator). The parameters of
// every EPSG code come from PROJ's database through the generated table crs/codes.inc.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace crs {

enum class Datum { kWgs84, kCgcs2000, kBeijing1954, kXian1980 };

// A seven-parameter Helmert transformation from a local datum to WGS 84, in the position-vector
// convention of PROJ's and GDAL's towgs84: translations in metres, rotations in arc-seconds,
// scale difference in parts per million.
struct Towgs84 {
  double dx = 0, dy = 0, dz = 0;
  double rx = 0, ry = 0, rz = 0;
  double ppm = 0;
};

// One EPSG code of the table (crs/codes.inc).
struct CodeDefinition {
  int epsg;
  Datum datum;
  double semi_major;          // of the datum's ellipsoid, metres
  double inverse_flattening;  // of the datum's ellipsoid
  int zone_width;             // 3 or 6 degrees; 0 for longitude/latitude
  int zone;                   // the zone's number (3-degree: 25-45; 6-degree: 13-23)
  int central_meridian;       // degrees east
  double false_easting;       // metres: 500000, or the zone's number in front of it
  const char* name;           // PROJ's: "CGCS2000 / 3-degree Gauss-Kruger zone 39"
};

// Every accepted EPSG code, in the table's order (datum by datum, longitude/latitude first).
std::span<const CodeDefinition> Codes();

// A system to write, as parsed from the options.
struct System {
  // The code; for cgcs2000-gk3 and cgcs2000-gk6 a placeholder (epsg 0, zone 0) until FixZone
  // picks the zone from the data.
  CodeDefinition code{4326, Datum::kWgs84, 6378137, 298.257223563, 0, 0, 0, 0, "WGS 84"};
  Towgs84 towgs84;  // Beijing 1954 and Xian 1980 only

  bool projected() const { return code.zone_width != 0; }
  bool needs_zone() const { return projected() && code.zone == 0; }
  bool is_wgs84() const { return code.datum == Datum::kWgs84; }
  // Whether a point of longitude `lon` (degrees) lies more than half a zone beyond its zone's
  // edge: 1.5 degrees for 3-degree zones, 3 for 6-degree ones. False for longitude/latitude.
  // REQUIRES: !needs_zone().
  bool IsOutsideZone(double lon) const;
};

// Why an option value was refused; `text` is what the message should quote.
struct ParseError {
  enum class Kind {
    kUnknownCode,           // text: the --coordsys value
    kMalformedTowgs84,      // text: the --towgs84 value
    kTowgs84Missing,        // text: the system's name ("Beijing 1954 / ..."), which needs it
    kTowgs84NotApplicable,  // text: the system's name (WGS 84 or CGCS2000), which takes none
  };
  Kind kind;
  std::string text;
};

// Parses --coordsys `code` with --towgs84 `towgs84` (nullopt when not given) into `system`.
// Codes, case ignored: "wgs84", "cgcs2000", "cgcs2000-gk3", "cgcs2000-gk6", and every code of
// Codes() with or without "EPSG:" in front ("EPSG:4527", "epsg:4527", "4527"). --towgs84 is
// "dx,dy,dz,rx,ry,rz,ppm" or "dx,dy,dz" (no rotation, no scale), blanks allowed around the
// numbers; it is required for Beijing 1954 and Xian 1980 and refused for the others (parameters
// the user believes in must not be dropped without a word). False and `error` set when refused.
bool ParseSystem(std::string_view code, std::optional<std::string_view> towgs84, System* system,
                 ParseError* error);

// The system of cgcs2000-gk3 or cgcs2000-gk6 for data whose longitudes span [min_lon, max_lon]:
// the zone that holds the range's midpoint, with the zone's number in front of the false
// easting; a midpoint beyond China's zones (75-135 degrees east) takes the nearest of them.
// Any other system is given back as it is.
// REQUIRES: min_lon <= max_lon, both finite (degrees, -180 to 180).
System FixZone(const System& system, double min_lon, double max_lon);

}  // namespace crs
