#include "kml/style_table.h"

namespace kml {

using feature::Style;

namespace {

enum : uint8_t {
  kLineColor = 1 << 0,
  kLineWidth = 1 << 1,
  kPolyColor = 1 << 2,
  kPolyFill = 1 << 3,
  kPolyOutline = 1 << 4,
  kIconColor = 1 << 5,
  kIconScale = 1 << 6,
};

// Ids are kept as 64-bit hashes: with at most a quarter million ids, two of them meet with a
// chance of about one in a hundred million, and no id text is held.
uint64_t KeyOf(std::string_view id) {
  if (id.empty()) return 0;
  uint64_t hash = 0xcbf29ce484222325;  // FNV-1a
  for (const char c : id) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 0x100000001b3;
  }
  // The low bits choose the bucket; FNV leaves them weak, so mix the whole word into them.
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccd;
  hash ^= hash >> 33;
  return hash == 0 ? 1 : hash;  // 0 stands for no id
}

uint64_t KeyOfUrl(std::string_view url) {
  const size_t hash_mark = url.find('#');
  if (hash_mark == std::string_view::npos) return 0;
  return KeyOf(url.substr(hash_mark + 1));
}

}  // namespace

StyleTable::Entry StyleTable::Pack(const Style& style, uint64_t next) {
  Entry entry;
  entry.next = next;
  const auto keep = [&entry](const auto& field, uint8_t bit, auto& packed) {
    if (!field) return;
    entry.present |= bit;
    packed = *field;
  };
  keep(style.line_color, kLineColor, entry.line_color);
  keep(style.line_width, kLineWidth, entry.line_width);
  keep(style.poly_color, kPolyColor, entry.poly_color);
  keep(style.icon_color, kIconColor, entry.icon_color);
  keep(style.icon_scale, kIconScale, entry.icon_scale);
  if (style.poly_fill) {
    entry.present |= kPolyFill;
    if (*style.poly_fill) entry.flags |= 1;
  }
  if (style.poly_outline) {
    entry.present |= kPolyOutline;
    if (*style.poly_outline) entry.flags |= 2;
  }
  return entry;
}

Style StyleTable::Unpack(const Entry& entry) {
  Style style;
  if (entry.present & kLineColor) style.line_color = entry.line_color;
  if (entry.present & kLineWidth) style.line_width = entry.line_width;
  if (entry.present & kPolyColor) style.poly_color = entry.poly_color;
  if (entry.present & kPolyFill) style.poly_fill = (entry.flags & 1) != 0;
  if (entry.present & kPolyOutline) style.poly_outline = (entry.flags & 2) != 0;
  if (entry.present & kIconColor) style.icon_color = entry.icon_color;
  if (entry.present & kIconScale) style.icon_scale = entry.icon_scale;
  return style;
}

void StyleTable::Put(uint64_t key, const Entry& entry) {
  if (key == 0) return;  // an empty id can never be referred to
  const auto found = entries_.find(key);
  if (found != entries_.end()) {
    found->second = entry;
  } else if (entries_.size() >= kMaxEntries) {
    ++dropped_;
  } else {
    entries_.emplace(key, entry);
  }
}

void StyleTable::AddStyle(std::string_view id, const Style& style) {
  Put(KeyOf(id), Pack(style, 0));
}

void StyleTable::AddStyleMap(std::string_view id, std::string_view normal_url,
                             const Style& normal_style) {
  Put(KeyOf(id), Pack(normal_style, KeyOfUrl(normal_url)));
}

Style StyleTable::Resolve(std::string_view style_url, const Style& inline_style) const {
  // The bound on levels also ends a loop of StyleMaps: laying the same styles over each other
  // again changes nothing.
  const Entry* chain[kMaxLevels];
  size_t levels = 0;
  for (uint64_t key = KeyOfUrl(style_url); key != 0 && levels < kMaxLevels;) {
    const auto found = entries_.find(key);
    if (found == entries_.end()) break;
    chain[levels++] = &found->second;
    key = found->second.next;
  }
  // A StyleMap's own inline style is laid over the style its url names, as the placemark's own
  // style is laid over the whole.
  Style style;
  while (levels > 0) style.LayOver(Unpack(*chain[--levels]));
  style.LayOver(inline_style);
  return style;
}

}  // namespace kml
