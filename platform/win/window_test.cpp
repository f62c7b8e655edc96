#include "platform/win/window.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/win/win_app.h"

namespace platform {
namespace {

TEST(CenteredWindowPositionTest, CentresAndStaysInsideTheWorkArea) {
  struct Case {
    const char* name;
    RECT over;
    RECT bounds;
    LONG width, height;
    LONG x, y;
  };
  const Case cases[] = {
      {"screen", {0, 0, 1280, 1024}, {0, 0, 1280, 1024}, 480, 350, 400, 337},
      {"odd remainder", {0, 0, 1281, 1025}, {0, 0, 1281, 1025}, 480, 350, 400, 337},
      {"work area with a task bar", {0, 40, 1280, 1024}, {0, 40, 1280, 1024}, 480, 350, 400, 357},
      {"owner near the right edge", {1100, 100, 1300, 300}, {0, 0, 1280, 1024}, 400, 300, 880, 50},
      {"owner near the top left", {-50, -50, 50, 50}, {0, 0, 1280, 1024}, 400, 300, 0, 0},
      {"larger than the work area", {0, 0, 800, 600}, {0, 0, 800, 600}, 1000, 700, 0, 0},
  };
  for (const Case& c : cases) {
    const POINT corner = CenteredWindowPosition(c.over, c.bounds, c.width, c.height);
    EXPECT_EQ(corner.x, c.x) << c.name;
    EXPECT_EQ(corner.y, c.y) << c.name;
  }
}

TEST(AppNameFromModulePathTest, IsTheFileNameWithoutItsExtension) {
  struct Case {
    std::wstring path;
    std::wstring name;
  };
  const Case cases[] = {
      {L"C:\\Program Files\\KmlConverter.exe", L"KmlConverter"},
      {L"C:\\tools.v2\\KmlConverter.exe", L"KmlConverter"},
      {L"C:\\tools\\kml.converter.exe", L"kml.converter"},
      {L"C:\\tools\\KmlConverter", L"KmlConverter"},
      {L"\\\\server\\share\\\u8f6c\u6362.exe", L"\u8f6c\u6362"},
      {L"KmlConverter.exe", L"KmlConverter"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AppNameFromModulePath(c.path), c.name);
  }
}

}  // namespace
}  // namespace platform
