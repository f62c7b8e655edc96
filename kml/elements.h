// The KML elements that the reader looks at, by local name, and the white space around their
// texts. Internal to kml/: shared by the KML reader and its style reader.
#pragma once

#include <cstdint>
#include <string_view>

namespace kml {

// Every element not listed is kOther.
enum class Tag : uint8_t {
  kOther,
  kKml,
  kDocument,
  kFolder,
  kPlacemark,
  kName,
  kDescription,
  kPoint,
  kLineString,
  kLinearRing,
  kPolygon,
  kInnerBoundaryIs,
  kTrack,
  kCoord,
  kModel,
  kLocation,
  kLongitude,
  kLatitude,
  kCoordinates,
  kTimeStamp,
  kWhen,
  kTimeSpan,
  kBegin,
  kEnd,
  kExtendedData,
  kData,
  kValue,
  kSchemaData,
  kSimpleData,
  kStyleUrl,
  kStyle,
  kStyleMap,
  kPair,
  kKey,
  kLineStyle,
  kPolyStyle,
  kIconStyle,
  kColor,
  kWidth,
  kFill,
  kOutline,
  kScale,
  kOverlay,
  kNetworkLink,
  kLink,  // a NetworkLink's Link, or KML 2.0's Url
  kHref,
  kSchema,
  kSimpleField,
};

// The element of local name `name` ("Placemark", "coord" of gx:coord).
Tag TagOf(std::string_view name);

// Whether an element `tag` (local name `name`) as a placemark's own child means something of
// its own, so that no old-style schema field takes it.
bool MeansSomethingInPlacemark(Tag tag, std::string_view name);

inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline std::string_view TrimSpace(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace kml
