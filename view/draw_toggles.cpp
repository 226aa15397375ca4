#include "view/draw_toggles.h"

namespace tessaline {

int DrawToggleIndex(const std::string& name) {
  for (std::size_t i = 0; i < kDrawToggles.size(); ++i)
    if (name.rfind(kDrawToggles[i].label, 0) == 0) return static_cast<int>(i);
  return -1;
}

int ToggledDrawFlags(int flags, const std::string& name) {
  constexpr int kZoomWithSelected = 7;
  constexpr int kAround = 4;
  const int i = DrawToggleIndex(name);
  if (i < 0) return flags;
  flags ^= 1 << i;
  if (i == kZoomWithSelected && (flags & (1 << i))) flags ^= 1 << kAround;
  return flags;
}

}  // namespace tessaline
