// StyleReader: the styles of a KML document, read as the KML reader meets their elements.
//
// Shared <Style id> and <StyleMap id> elements (outside placemarks) go into the style table; a
// placemark's own Style, or its own StyleMap's "normal" pair, is laid over the placemark's
// inline style, and the pair's styleUrl stands in for a styleUrl the placemark lacks. Of a
// StyleMap only the normal pair counts (the first Pair keyed "normal", or without a key).
// The reader owns the elements' text; this class only says which texts it wants. Internal to
// kml/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "feature/placemark.h"
#include "kml/elements.h"
#include "kml/style_table.h"

namespace kml {

class StyleReader {
 public:
  // The texts the style reader wants collected.
  enum class Field : uint8_t {
    kPairKey,
    kPairUrl,
    kLineColor,
    kLineWidth,
    kPolyColor,
    kPolyFill,
    kPolyOutline,
    kIconColor,
    kIconScale,
  };

  // REQUIRES: `table` outlives the style reader.
  explicit StyleReader(StyleTable& table) : table_(table) {}

  // Whether Start may want an element `tag`: the reader asks only about these, since most
  // elements of a document are none of them.
  static bool Concerns(Tag tag) {
    switch (tag) {
      case Tag::kStyle:
      case Tag::kStyleMap:
      case Tag::kPair:
      case Tag::kKey:
      case Tag::kStyleUrl:
      case Tag::kColor:
      case Tag::kWidth:
      case Tag::kFill:
      case Tag::kOutline:
      case Tag::kScale:
        return true;
      default:
        return false;
    }
  }

  // An element `tag` has started as the `depth`-th open element, below `parent` and
  // `grandparent`; `in_placemark` tells whether a placemark is open, `id` is the element's id
  // attribute. Gives the field whose text the caller is to collect and hand to Collected.
  // REQUIRES: no text is being collected.
  std::optional<Field> Start(Tag tag, Tag parent, Tag grandparent, size_t depth, bool in_placemark,
                             std::string_view id);
  // The text of `field`, trimmed.
  void Collected(Field field, const std::string& value);
  // The `depth`-th open element has ended; an inline style goes onto `placemark`.
  void End(size_t depth, feature::Placemark& placemark) {
    if (depth == style_depth_ || depth == pair_depth_ || depth == map_depth_) {
      EndOpen(depth, placemark);
    }
  }

  // A placemark begins: its inline style and StyleMap are forgotten.
  void BeginPlacemark(feature::Placemark& placemark);
  // A placemark ends: without a styleUrl of its own, its own StyleMap's normal url stands in.
  void EndPlacemark(feature::Placemark& placemark) const;

 private:
  enum class Target : uint8_t { kShared, kInline, kPair };

  // End for an element that the style reader has open.
  void EndOpen(size_t depth, feature::Placemark& placemark);

  StyleTable& table_;

  // The Style being read (depth 0: none), and where it goes.
  size_t style_depth_ = 0;
  Target target_ = Target::kShared;
  std::string style_id_;
  feature::Style style_;
  // The StyleMap being read (depth 0: none) and its normal pair so far.
  size_t map_depth_ = 0;
  bool map_inline_ = false;
  bool map_has_normal_ = false;
  std::string map_id_, map_url_;
  feature::Style map_style_;
  // The Pair being read (depth 0: none).
  size_t pair_depth_ = 0;
  std::string pair_key_, pair_url_;
  feature::Style pair_style_;
  // The normal url of the open placemark's own StyleMap.
  std::string inline_map_url_;
};

}  // namespace kml
