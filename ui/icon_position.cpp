#include "ui/icon_position.h"

namespace ui {

POINT CenteredIconPosition(const RECT& client, int icon_width, int icon_height) {
  const LONG width = client.right - client.left;
  const LONG height = client.bottom - client.top;
  return POINT{(width - icon_width + 1) / 2, (height - icon_height + 1) / 2};
}

}  // namespace ui
