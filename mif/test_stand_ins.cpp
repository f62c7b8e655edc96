// A stand-in for the style table that the writer's tests use, linked only while the KML
// reader's own is not in the tree.
#include <functional>
#include <string_view>

#include "kml/style_table.h"

#if KML2MIF_STAND_IN_STYLE_TABLE
namespace kml {
namespace {
uint64_t Hash(std::string_view id) { return std::hash<std::string_view>()(id) | 1; }
uint64_t HashOfUrl(std::string_view url) {
  const size_t hash = url.find('#');
  return hash == std::string_view::npos ? 0 : Hash(url.substr(hash + 1));
}
}  // namespace

void StyleTable::AddStyle(std::string_view id, const Style& style) {
  entries_[Hash(id)] = Entry{style, 0};
}
void StyleTable::AddStyleMap(std::string_view id, std::string_view normal_url,
                             const Style& normal_style) {
  entries_[Hash(id)] = Entry{normal_style, HashOfUrl(normal_url)};
}
Style StyleTable::Resolve(std::string_view style_url, const Style& inline_style) const {
  Style style;
  uint64_t key = HashOfUrl(style_url);
  for (int depth = 0; key != 0 && depth < 8; ++depth) {
    const auto found = entries_.find(key);
    if (found == entries_.end()) break;
    Style shared = found->second.style;
    shared.LayOver(style);
    style = shared;
    key = found->second.next;
  }
  style.LayOver(inline_style);
  return style;
}
}  // namespace kml
#endif
