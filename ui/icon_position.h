// Where the icon of a minimised window is drawn: centred in its client area.
#pragma once

#include <windows.h>

namespace ui {

// The top-left corner for an icon of `icon_width` x `icon_height` centred in `client`:
// x = (client width - icon width + 1) / 2, and y likewise, in signed arithmetic with the
// division rounding toward zero (an icon larger than the client area gives a negative or zero
// corner).
POINT CenteredIconPosition(const RECT& client, int icon_width, int icon_height);

}  // namespace ui
