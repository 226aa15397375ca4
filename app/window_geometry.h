#pragma once
// The main window's rectangle as read from tessaline.ini, checked against the
// screens before the window is placed there. Pure: no toolkit, no display.

#include <vector>

namespace tessaline {

struct WindowRect {
  int x = 0, y = 0, w = 0, h = 0;
};

// The rectangle the window opens at when the saved one cannot be used.
constexpr WindowRect kDefaultWindowRect{100, 100, 640, 480};
// Smallest saved size taken as is, in pixels each way.
constexpr int kMinWindowSide = 100;

// True when `rect` is at least kMinWindowSide each way, fits inside one of
// `work_areas` and overlaps that area, so the window can be seen and grabbed.
// No work areas (no screen known) accepts any size from the minimum up.
bool WindowRectUsable(const WindowRect& rect, const std::vector<WindowRect>& work_areas);

}  // namespace tessaline
