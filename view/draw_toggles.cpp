#include "view/draw_toggles.h"

#include "render/overlay.h"

namespace tessaline {

int DrawToggleIndex(const std::string& name) {
  for (std::size_t i = 0; i < kDrawToggles.size(); ++i)
    if (name.rfind(kDrawToggles[i].label, 0) == 0) return static_cast<int>(i);
  return -1;
}

int ToggledDrawFlags(int flags, const std::string& name) {
  const int i = DrawToggleIndex(name);
  if (i < 0) return flags;
  const int bit = 1 << i;
  flags ^= bit;
  if (bit == kDrawZoomWithSelected && (flags & bit)) flags ^= kDrawAround;
  return flags;
}

}  // namespace tessaline
