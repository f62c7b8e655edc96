#include "crs/system.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "crs/numbers.h"

namespace crs {
namespace {

constexpr CodeDefinition kCodes[] = {
#include "crs/codes.inc"
};

const CodeDefinition* Find(int epsg) {
  for (const CodeDefinition& code : kCodes) {
    if (code.epsg == epsg) return &code;
  }
  return nullptr;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The EPSG code named by `code`, 0 for the automatic zones, nullopt when unknown.
std::optional<int> CodeNumber(std::string_view code, int* auto_width) {
  std::string name = Lower(code);
  *auto_width = 0;
  if (name == "wgs84") return 4326;
  if (name == "cgcs2000") return 4490;
  if (name == "cgcs2000-gk3" || name == "cgcs2000-gk6") {
    *auto_width = name.back() - '0';
    return 0;
  }
  std::string_view digits = name;
  if (digits.starts_with("epsg:")) digits.remove_prefix(5);
  if (digits.empty() || digits.size() > 6 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const int number = std::atoi(std::string(digits).c_str());
  if (Find(number) == nullptr) return std::nullopt;
  return number;
}

bool ParseTowgs84(std::string_view text, Towgs84* towgs84) {
  std::array<double, 7> values{};
  size_t count = 0;
  while (true) {
    const size_t comma = text.find(',');
    if (count == values.size()) return false;
    if (!ParseDecimal(Trim(text.substr(0, comma)), &values[count])) return false;
    ++count;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  if (count != 3 && count != 7) return false;
  // A scale of zero or less would fold space.
  if (!(values[6] > -1e6)) return false;
  *towgs84 = {values[0], values[1], values[2], values[3], values[4], values[5], values[6]};
  return true;
}

}  // namespace

std::span<const CodeDefinition> Codes() { return kCodes; }

bool System::IsOutsideZone(double lon) const {
  if (!projected()) return false;
  double difference = lon - code.central_meridian;
  if (difference < -180 || difference > 180) difference = std::remainder(difference, 360.0);
  return std::fabs(difference) > code.zone_width;
}

bool ParseSystem(std::string_view code, std::optional<std::string_view> towgs84, System* system,
                 ParseError* error) {
  int auto_width = 0;
  const std::optional<int> number = CodeNumber(code, &auto_width);
  if (!number) {
    *error = {ParseError::Kind::kUnknownCode, std::string(code)};
    return false;
  }
  System parsed;
  if (auto_width != 0) {
    parsed.code = *Find(4490);
    parsed.code.epsg = 0;
    parsed.code.zone_width = auto_width;
    parsed.code.name = auto_width == 3 ? "CGCS2000 / 3-degree Gauss-Kruger zone of the data"
                                       : "CGCS2000 / Gauss-Kruger zone of the data";
  } else {
    parsed.code = *Find(*number);
  }
  const bool local =
      parsed.code.datum == Datum::kBeijing1954 || parsed.code.datum == Datum::kXian1980;
  if (local && !towgs84) {
    *error = {ParseError::Kind::kTowgs84Missing, parsed.code.name};
    return false;
  }
  if (!local && towgs84) {
    *error = {ParseError::Kind::kTowgs84NotApplicable, parsed.code.name};
    return false;
  }
  if (towgs84 && !ParseTowgs84(*towgs84, &parsed.towgs84)) {
    *error = {ParseError::Kind::kMalformedTowgs84, std::string(*towgs84)};
    return false;
  }
  *system = parsed;
  return true;
}

System FixZone(const System& system, double min_lon, double max_lon) {
  if (!system.needs_zone()) return system;
  const double middle = (min_lon + max_lon) / 2;
  const int width = system.code.zone_width;
  // Zone n of 3 degrees is centred on 3n; zone n of 6 degrees on 6n - 3.
  int zone = width == 3 ? static_cast<int>(std::floor((middle + 1.5) / 3))
                        : static_cast<int>(std::floor(middle / 6)) + 1;
  zone = width == 3 ? std::clamp(zone, 25, 45) : std::clamp(zone, 13, 23);
  for (const CodeDefinition& code : kCodes) {
    if (code.datum == Datum::kCgcs2000 && code.zone_width == width && code.zone == zone &&
        code.false_easting != 500000) {
      System fixed = system;
      fixed.code = code;
      return fixed;
    }
  }
  return system;  // not reached: the table holds every zone
}

}  // namespace crs
