// What MifWriter keeps of each placemark in its spill files until the header can be written
// (the columns' widths and types are known only at the end): fixed-size records, written and
// read back as bytes. Internal to mif/.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "feature/placemark.h"

namespace mif {

enum class Shape : uint8_t { kPoint, kLine, kRing };

enum class ObjectKind { kNone, kPoint, kMultipoint, kPline, kPlineMultiple, kRegion, kCollection };

// A kept part: where its point lines stand in the coordinate spill.
struct PartRecord {
  uint64_t text_offset = 0;
  uint64_t text_bytes = 0;
  uint64_t points = 0;
  Shape shape = Shape::kPoint;
};

// What a placemark's record in the placemark spill starts with. The style url and the
// attributes (AttributeHeader + value bytes each) follow.
struct PlacemarkHeader {
  uint64_t parts = 0;                      // kept parts, in the part spill
  std::array<uint64_t, 3> shape_parts{};   // by Shape
  std::array<uint64_t, 3> shape_points{};  // by Shape
  feature::Style inline_style;
  uint32_t style_url_size = 0;
  uint32_t attributes = 0;
};
static_assert(std::is_trivially_copyable_v<PlacemarkHeader>);
static_assert(std::is_trivially_copyable_v<PartRecord>);

struct AttributeHeader {
  uint32_t column = 0;
  uint32_t size = 0;
};

inline size_t Index(Shape shape) { return static_cast<size_t>(shape); }

// The MIF object a placemark becomes, from its kept parts.
inline ObjectKind KindOf(const PlacemarkHeader& header) {
  const uint64_t points = header.shape_parts[Index(Shape::kPoint)];
  const uint64_t lines = header.shape_parts[Index(Shape::kLine)];
  const uint64_t rings = header.shape_parts[Index(Shape::kRing)];
  const int groups = (points > 0) + (lines > 0) + (rings > 0);
  if (groups == 0) return ObjectKind::kNone;
  if (groups > 1) return ObjectKind::kCollection;
  if (points > 0) {
    return header.shape_points[Index(Shape::kPoint)] == 1 ? ObjectKind::kPoint
                                                          : ObjectKind::kMultipoint;
  }
  if (lines > 0) return lines == 1 ? ObjectKind::kPline : ObjectKind::kPlineMultiple;
  return ObjectKind::kRegion;
}

}  // namespace mif
