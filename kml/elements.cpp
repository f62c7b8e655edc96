#include "kml/elements.h"

#include <unordered_map>

namespace kml {

Tag TagOf(std::string_view name) {
  static const std::unordered_map<std::string_view, Tag> kTags = {
      {"kml", Tag::kKml},
      {"Document", Tag::kDocument},
      {"Folder", Tag::kFolder},
      {"Placemark", Tag::kPlacemark},
      {"name", Tag::kName},
      {"description", Tag::kDescription},
      {"Point", Tag::kPoint},
      {"LineString", Tag::kLineString},
      {"LinearRing", Tag::kLinearRing},
      {"Polygon", Tag::kPolygon},
      {"innerBoundaryIs", Tag::kInnerBoundaryIs},
      {"Track", Tag::kTrack},
      {"coord", Tag::kCoord},
      {"Model", Tag::kModel},
      {"Location", Tag::kLocation},
      {"longitude", Tag::kLongitude},
      {"latitude", Tag::kLatitude},
      {"coordinates", Tag::kCoordinates},
      {"TimeStamp", Tag::kTimeStamp},
      {"when", Tag::kWhen},
      {"TimeSpan", Tag::kTimeSpan},
      {"begin", Tag::kBegin},
      {"end", Tag::kEnd},
      {"ExtendedData", Tag::kExtendedData},
      {"Data", Tag::kData},
      {"value", Tag::kValue},
      {"SchemaData", Tag::kSchemaData},
      {"SimpleData", Tag::kSimpleData},
      {"styleUrl", Tag::kStyleUrl},
      {"Style", Tag::kStyle},
      {"StyleMap", Tag::kStyleMap},
      {"Pair", Tag::kPair},
      {"key", Tag::kKey},
      {"LineStyle", Tag::kLineStyle},
      {"PolyStyle", Tag::kPolyStyle},
      {"IconStyle", Tag::kIconStyle},
      {"color", Tag::kColor},
      {"width", Tag::kWidth},
      {"fill", Tag::kFill},
      {"outline", Tag::kOutline},
      {"scale", Tag::kScale},
      {"GroundOverlay", Tag::kOverlay},
      {"ScreenOverlay", Tag::kOverlay},
      {"PhotoOverlay", Tag::kOverlay},
      {"NetworkLink", Tag::kNetworkLink},
      {"Link", Tag::kLink},
      {"Url", Tag::kLink},
      {"href", Tag::kHref},
      {"Schema", Tag::kSchema},
      {"SimpleField", Tag::kSimpleField},
  };
  const auto found = kTags.find(name);
  return found == kTags.end() ? Tag::kOther : found->second;
}

bool MeansSomethingInPlacemark(Tag tag, std::string_view name) {
  switch (tag) {
    case Tag::kName:
    case Tag::kDescription:
    case Tag::kStyleUrl:
    case Tag::kTimeStamp:
    case Tag::kTimeSpan:
    case Tag::kExtendedData:
    case Tag::kStyle:
    case Tag::kStyleMap:
    case Tag::kPoint:
    case Tag::kLineString:
    case Tag::kLinearRing:
    case Tag::kPolygon:
    case Tag::kTrack:
    case Tag::kModel:
      return true;
    case Tag::kOther:
      return name == "MultiGeometry" || name == "MultiTrack";
    default:
      return false;
  }
}

}  // namespace kml
