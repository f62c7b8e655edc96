// A command-line window on crs/ for the tests against PROJ and GDAL (compare_with_proj.py).
//
//   crs_probe codes
//       one line per accepted EPSG code: "epsg zone_width central_meridian false_easting"
//   crs_probe points CODE TOWGS84|- SOURCE [MIN_LON MAX_LON] < "lon lat" lines
//       first "EPSG:n" (the zone FixZone picks with MIN_LON MAX_LON), then per point the text
//       FormatPoint writes and Forward's doubles in full: "x y x_exact y_exact", or "refused"
//   crs_probe mif PATH CODE TOWGS84|- < "lon lat" lines
//       writes PATH.mif and PATH.mid: the CoordSys clause and one Point object per line
//
// SOURCE is wgs84, gcj02 or bd09. Exit 2 on a usage error or a refused option value.
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "crs/mif_coordsys.h"
#include "crs/numbers.h"
#include "crs/system.h"
#include "crs/transformer.h"

namespace {

std::string Exact(double value) {
  char buffer[64];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

bool Parse(const std::string& code, const std::string& towgs84, crs::System* system) {
  crs::ParseError error{};
  const std::optional<std::string_view> parameters =
      towgs84 == "-" ? std::nullopt : std::optional<std::string_view>(towgs84);
  if (crs::ParseSystem(code, parameters, system, &error)) return true;
  std::cerr << "refused (" << static_cast<int>(error.kind) << "): " << error.text << "\n";
  return false;
}

int Points(int argc, char** argv) {
  crs::System system;
  if (!Parse(argv[2], argv[3], &system)) return 2;
  const std::string source = argv[4];
  const crs::Source from = source == "gcj02"  ? crs::Source::kGcj02
                           : source == "bd09" ? crs::Source::kBd09
                                              : crs::Source::kWgs84;
  if (argc == 7) system = crs::FixZone(system, std::stod(argv[5]), std::stod(argv[6]));
  crs::Transformer transformer(system, from);
  std::cout << "EPSG:" << system.code.epsg << "\n";
  std::string lon, lat;
  while (std::cin >> lon >> lat) {
    char buffer[crs::Transformer::kMaxPointChars];
    const char* const end = transformer.FormatPoint(lon, lat, buffer);
    double lon_value = 0, lat_value = 0, x = 0, y = 0;
    if (end == nullptr || !crs::ParseDecimal(lon, &lon_value) ||
        !crs::ParseDecimal(lat, &lat_value) || !transformer.Forward(lon_value, lat_value, &x, &y)) {
      std::cout << "refused\n";
      continue;
    }
    std::cout << std::string_view(buffer, end - buffer) << " " << Exact(x) << " " << Exact(y)
              << "\n";
  }
  return 0;
}

int Mif(char** argv) {
  crs::System system;
  if (!Parse(argv[3], argv[4], &system)) return 2;
  crs::Transformer transformer(system, crs::Source::kWgs84);
  std::ofstream mif(std::string(argv[2]) + ".mif", std::ios::binary);
  std::ofstream mid(std::string(argv[2]) + ".mid", std::ios::binary);
  mif << "Version 300\r\nCharset \"Neutral\"\r\nDelimiter \",\"\r\n"
      << crs::MifCoordSys(system) << "\r\nColumns 1\r\n  id Integer\r\nData\r\n\r\n";
  std::string lon, lat;
  for (int id = 1; std::cin >> lon >> lat; ++id) {
    char buffer[crs::Transformer::kMaxPointChars];
    const char* const end = transformer.FormatPoint(lon, lat, buffer);
    if (end == nullptr) return 1;
    mif << "Point " << std::string_view(buffer, end - buffer) << "\r\n";
    mid << id << "\r\n";
  }
  return mif && mid ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "codes" && argc == 2) {
    for (const crs::CodeDefinition& code : crs::Codes()) {
      std::cout << code.epsg << " " << code.zone_width << " " << code.central_meridian << " "
                << Exact(code.false_easting) << "\n";
    }
    return 0;
  }
  if (command == "points" && (argc == 5 || argc == 7)) return Points(argc, argv);
  if (command == "mif" && argc == 5) return Mif(argv);
  std::cerr << "usage: crs_probe codes | points CODE TOWGS84|- SOURCE [MIN_LON MAX_LON] | "
               "mif PATH CODE TOWGS84|-\n";
  return 2;
}
