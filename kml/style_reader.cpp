#include "kml/style_reader.h"

#include "feature/number.h"

namespace kml {

using feature::Style;

namespace {

std::optional<uint32_t> ParseColor(std::string_view text) {
  text = TrimSpace(text);
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  if (text.size() != 8) return std::nullopt;
  uint32_t color = 0;
  for (const char c : text) {
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    color = color << 4 | digit;
  }
  return color;
}

std::optional<bool> ParseBool(std::string_view text) {
  text = TrimSpace(text);
  if (text == "1" || text == "true") return true;
  if (text == "0" || text == "false") return false;
  return std::nullopt;
}

std::optional<double> ParseSize(std::string_view text) {
  const std::optional<double> value = feature::ParseNumber(TrimSpace(text));
  if (value && *value < 0) return std::nullopt;
  return value;
}

}  // namespace

std::optional<StyleReader::Field> StyleReader::Start(Tag tag, Tag parent, Tag grandparent,
                                                     size_t depth, bool in_placemark,
                                                     std::string_view id) {
  switch (tag) {
    case Tag::kStyle:
      if (style_depth_ != 0) break;
      if (pair_depth_ != 0 && parent == Tag::kPair) {
        target_ = Target::kPair;
      } else if (in_placemark && parent == Tag::kPlacemark) {
        target_ = Target::kInline;
      } else if (!in_placemark) {
        target_ = Target::kShared;
        style_id_.assign(id);
      } else {
        break;
      }
      style_depth_ = depth;
      style_ = Style{};
      break;
    case Tag::kStyleMap:
      if (map_depth_ != 0 || style_depth_ != 0) break;
      if (in_placemark && parent != Tag::kPlacemark) break;
      map_depth_ = depth;
      map_inline_ = in_placemark;
      map_has_normal_ = false;
      map_id_.assign(id);
      map_url_.clear();
      map_style_ = Style{};
      break;
    case Tag::kPair:
      if (map_depth_ == 0 || parent != Tag::kStyleMap || pair_depth_ != 0) break;
      pair_depth_ = depth;
      pair_key_.clear();
      pair_url_.clear();
      pair_style_ = Style{};
      break;
    case Tag::kKey:
      if (pair_depth_ != 0 && parent == Tag::kPair) return Field::kPairKey;
      break;
    case Tag::kStyleUrl:
      if (pair_depth_ != 0 && parent == Tag::kPair) return Field::kPairUrl;
      break;
    case Tag::kColor:
    case Tag::kWidth:
    case Tag::kFill:
    case Tag::kOutline:
    case Tag::kScale:
      if (style_depth_ == 0 || style_depth_ != depth - 2 || grandparent != Tag::kStyle) break;
      if (parent == Tag::kLineStyle && tag == Tag::kColor) return Field::kLineColor;
      if (parent == Tag::kLineStyle && tag == Tag::kWidth) return Field::kLineWidth;
      if (parent == Tag::kPolyStyle && tag == Tag::kColor) return Field::kPolyColor;
      if (parent == Tag::kPolyStyle && tag == Tag::kFill) return Field::kPolyFill;
      if (parent == Tag::kPolyStyle && tag == Tag::kOutline) return Field::kPolyOutline;
      if (parent == Tag::kIconStyle && tag == Tag::kColor) return Field::kIconColor;
      if (parent == Tag::kIconStyle && tag == Tag::kScale) return Field::kIconScale;
      break;
    default:
      break;
  }
  return std::nullopt;
}

void StyleReader::Collected(Field field, const std::string& value) {
  switch (field) {
    case Field::kPairKey:
      pair_key_ = value;
      return;
    case Field::kPairUrl:
      if (pair_url_.empty()) pair_url_ = value;
      return;
    case Field::kLineColor:
      style_.line_color = ParseColor(value);
      return;
    case Field::kLineWidth:
      style_.line_width = ParseSize(value);
      return;
    case Field::kPolyColor:
      style_.poly_color = ParseColor(value);
      return;
    case Field::kPolyFill:
      style_.poly_fill = ParseBool(value);
      return;
    case Field::kPolyOutline:
      style_.poly_outline = ParseBool(value);
      return;
    case Field::kIconColor:
      style_.icon_color = ParseColor(value);
      return;
    case Field::kIconScale:
      style_.icon_scale = ParseSize(value);
      return;
  }
}

void StyleReader::EndOpen(size_t depth, feature::Placemark& placemark) {
  if (style_depth_ == depth) {
    switch (target_) {
      case Target::kShared:
        table_.AddStyle(style_id_, style_);
        break;
      case Target::kInline:
        placemark.inline_style.LayOver(style_);
        break;
      case Target::kPair:
        pair_style_.LayOver(style_);
        break;
    }
    style_depth_ = 0;
  }
  if (pair_depth_ == depth) {
    if (!map_has_normal_ && (pair_key_.empty() || pair_key_ == "normal")) {
      map_has_normal_ = true;
      map_url_ = pair_url_;
      map_style_ = pair_style_;
    }
    pair_depth_ = 0;
  }
  if (map_depth_ == depth) {
    if (map_inline_) {
      placemark.inline_style.LayOver(map_style_);
      if (inline_map_url_.empty()) inline_map_url_ = map_url_;
    } else {
      table_.AddStyleMap(map_id_, map_url_, map_style_);
    }
    map_depth_ = 0;
  }
}

void StyleReader::BeginPlacemark(feature::Placemark& placemark) {
  placemark.inline_style = Style{};
  inline_map_url_.clear();
}

void StyleReader::EndPlacemark(feature::Placemark& placemark) const {
  if (placemark.style_url.empty()) placemark.style_url = inline_map_url_;
}

}  // namespace kml
