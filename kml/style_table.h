// StyleTable: the document's shared styles by id, so that a styleUrl can be resolved once the
// whole document is read (a style may be defined after the placemarks that use it).
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "feature/placemark.h"
#include "feature/style_resolver.h"

namespace kml {

class StyleTable : public feature::StyleResolver {
 public:
  // Styles beyond this many are not kept (and counted): what a file can make us hold is bounded.
  static constexpr size_t kMaxEntries = size_t{1} << 18;

  // A <Style id="...">. A later definition of the same id replaces the earlier one.
  void AddStyle(std::string_view id, const feature::Style& style);
  // A <StyleMap id="...">: its "normal" Pair, which names a style by `normal_url` and/or holds
  // an inline `normal_style`.
  void AddStyleMap(std::string_view id, std::string_view normal_url,
                   const feature::Style& normal_style);

  // The style of a placemark: the shared style that `style_url` names by its fragment ("#id",
  // "doc.kml#id"), followed through StyleMaps' normal pairs, with `inline_style` laid over it.
  // An unknown id, or a url without '#', gives `inline_style` alone.
  feature::Style Resolve(std::string_view style_url,
                         const feature::Style& inline_style) const override;

  size_t dropped() const { return dropped_; }  // definitions not kept (kMaxEntries)

 private:
  // Chains of StyleMaps are followed this many levels deep at most.
  static constexpr size_t kMaxLevels = 8;

  // A Style packed small: a table of a quarter million styles stays around ten megabytes.
  struct Entry {
    uint64_t next = 0;  // a StyleMap's normal url, hashed; 0 for none
    double line_width = 0;
    double icon_scale = 0;
    uint32_t line_color = 0;
    uint32_t poly_color = 0;
    uint32_t icon_color = 0;
    uint8_t present = 0;  // which fields are set, one bit each
    uint8_t flags = 0;    // poly_fill and poly_outline
  };
  static Entry Pack(const feature::Style& style, uint64_t next);
  static feature::Style Unpack(const Entry& entry);
  void Put(uint64_t key, const Entry& entry);

  std::unordered_map<uint64_t, Entry> entries_;  // by hashed id
  size_t dropped_ = 0;
};

}  // namespace kml
