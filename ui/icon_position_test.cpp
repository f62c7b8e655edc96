#include "ui/icon_position.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(CenteredIconPositionTest, RoundsTowardZeroInSignedArithmetic) {
  struct Case {
    const char* name;
    RECT client;
    int icon_width, icon_height;
    LONG x, y;
  };
  const Case cases[] = {
      {"even remainders", {0, 0, 160, 32}, 32, 32, 64, 0},
      {"odd remainders round up", {0, 0, 161, 33}, 32, 32, 65, 1},
      {"one pixel short", {0, 0, 31, 31}, 32, 32, 0, 0},
      {"two pixels short rounds toward zero", {0, 0, 30, 29}, 32, 32, 0, -1},
      {"much smaller client", {0, 0, 0, 0}, 32, 32, -15, -15},
      {"only the size of the client counts", {10, 20, 170, 52}, 32, 32, 64, 0},
  };
  for (const Case& c : cases) {
    const POINT corner = CenteredIconPosition(c.client, c.icon_width, c.icon_height);
    EXPECT_EQ(corner.x, c.x) << c.name;
    EXPECT_EQ(corner.y, c.y) << c.name;
  }
}

}  // namespace
}  // namespace ui
