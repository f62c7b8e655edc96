#include "feature/placemark.h"

namespace feature {

void Style::LayOver(const Style& over) {
  if (over.line_color) line_color = over.line_color;
  if (over.line_width) line_width = over.line_width;
  if (over.poly_color) poly_color = over.poly_color;
  if (over.poly_fill) poly_fill = over.poly_fill;
  if (over.poly_outline) poly_outline = over.poly_outline;
  if (over.icon_color) icon_color = over.icon_color;
  if (over.icon_scale) icon_scale = over.icon_scale;
}

}  // namespace feature
