// The features that flow from the KML reader to the MIF writer: placemarks as plain data.
//
// A placemark's geometry arrives flattened into parts (points, lines, rings) in document order,
// each part as a stream of coordinates, so that no coordinate list is ever held whole. Its
// attributes and its style arrive when the placemark ends. Nothing here knows XML or MIF: the
// reader and the writer both include this folder, and it includes neither. All text is UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace feature {

// The kinds of part a placemark's geometry is flattened into.
enum class PartKind : uint8_t {
  kPoint,      // a Point, or a Model's Location: one coordinate
  kLine,       // a LineString, or a gx:Track's gx:coord list
  kOuterRing,  // a LinearRing on its own, or a Polygon's outer boundary
  kInnerRing,  // a Polygon's inner boundary: belongs to the outer ring before it
};

// One coordinate: longitude and latitude exactly as the document wrote them, each checked to be
// a finite decimal number (an optional sign, digits with at most one '.', an optional exponent).
// The altitude is dropped. Views into the reader's buffers: valid until its next Next().
struct Coordinate {
  std::string_view x;
  std::string_view y;
  // Both are plain decimals: an optional '-', digits, and a '.' only between digits ("-116.5",
  // "40"), so that they can be written as they stand without another look.
  bool plain = false;
};

// A style as KML states it. Colours are KML's aabbggrr. Each field is set only where the
// document sets it, so that an inline style can be laid over a shared one field by field.
struct Style {
  std::optional<uint32_t> line_color;
  std::optional<double> line_width;  // pixels
  std::optional<uint32_t> poly_color;
  std::optional<bool> poly_fill;
  std::optional<bool> poly_outline;
  std::optional<uint32_t> icon_color;
  std::optional<double> icon_scale;

  // Every field that `over` sets replaces this one's.
  void LayOver(const Style& over);
  bool operator==(const Style&) const = default;
};

// The longest attribute value kept, in bytes of UTF-8. No column holds more than 254 bytes of
// output text, and 1024 bytes of UTF-8 give at least that much in every output character set.
inline constexpr size_t kMaxValueBytes = 1024;

enum class AttributeKind : uint8_t {
  kName,
  kDescription,
  kFolder,     // the names of the enclosing Folders, outermost first, joined by '/'
  kTimeStamp,  // TimeStamp/when
  kBegin,      // TimeSpan/begin
  kEnd,        // TimeSpan/end
  kData,       // an ExtendedData Data value or a SchemaData SimpleData, by `name`
};

struct Attribute {
  AttributeKind kind = AttributeKind::kData;
  std::string name;   // kData: the field's name as the document gives it; empty otherwise
  std::string value;  // leading and trailing white space removed; at most kMaxValueBytes,
                      // cut at a character boundary
  bool cut = false;   // the document's value was longer than kMaxValueBytes
};

struct Placemark {
  // At most one attribute per kind (per name for kData), in the order of first appearance; an
  // empty value is not listed.
  std::vector<Attribute> attributes;
  std::string style_url;  // the styleUrl as written ("#id", "file.kml#id"), or empty
  Style inline_style;     // a Style inside the placemark itself
};

}  // namespace feature
