#include "app/window_geometry.h"

namespace tessaline {

namespace {

bool Overlaps(const WindowRect& a, const WindowRect& b) {
  return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

}  // namespace

bool WindowRectUsable(const WindowRect& rect, const std::vector<WindowRect>& work_areas) {
  if (rect.w < kMinWindowSide || rect.h < kMinWindowSide) return false;
  if (work_areas.empty()) return true;
  for (const WindowRect& area : work_areas) {
    if (rect.w <= area.w && rect.h <= area.h && Overlaps(rect, area)) return true;
  }
  return false;
}

}  // namespace tessaline
