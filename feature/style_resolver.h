// StyleResolver: how the writer learns the style of a placemark once the whole document is
// read. The full conversion binds it to the reader's style table; the writer knows only this.
#pragma once

#include <string_view>

#include "feature/placemark.h"

namespace feature {

class StyleResolver {
 public:
  virtual ~StyleResolver() = default;
  // The style of a placemark whose styleUrl is `style_url` (as written, maybe empty) and whose
  // own style is `inline_style`: the shared style named, with the inline one laid over it.
  virtual Style Resolve(std::string_view style_url, const Style& inline_style) const = 0;
};

}  // namespace feature
