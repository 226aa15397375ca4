#include "app/window_geometry.h"

#include <gtest/gtest.h>

namespace tessaline {
namespace {

TEST(WindowRectUsable, RejectsTinyOversizedAndStrandedRectangles) {
  // Two screens side by side; the left one has a 24-pixel panel on top.
  const std::vector<WindowRect> screens{{0, 24, 1024, 744}, {1024, 0, 1280, 1024}};
  struct Case {
    WindowRect rect;
    bool usable;
  } cases[] = {
      {{100, 100, 640, 480}, true},     // the default
      {{0, 100, 640, 0}, false},        // zero height
      {{100, 100, -640, 480}, false},   // negative width
      {{100, 100, 99, 480}, false},     // under the minimum
      {{100, 100, 100, 100}, true},     // exactly the minimum
      {{-5000, 100, 640, 480}, false},  // left of every screen
      {{1500, 100, 1200, 900}, true},   // too big for the first, fits the second
      {{0, 24, 1281, 500}, false},      // wider than both
      {{-600, 0, 640, 480}, true},      // partly on the first screen
  };
  for (const Case& c : cases) {
    const WindowRect& r = c.rect;
    EXPECT_EQ(WindowRectUsable(r, screens), c.usable)
        << r.x << "," << r.y << " " << r.w << "x" << r.h;
  }
  // No screen known: only the size is checked.
  EXPECT_TRUE(WindowRectUsable({-5000, -5000, 640, 480}, {}));
  EXPECT_FALSE(WindowRectUsable({100, 100, 0, 480}, {}));
}

}  // namespace
}  // namespace tessaline
