#include "view/draw_toggles.h"

#include "render/overlay.h"

namespace tessaline {

int ToggledDrawFlags(int flags, int index) {
  if (index < 0 || index >= static_cast<int>(kDrawToggles.size())) return flags;
  const int bit = 1 << index;
  flags ^= bit;
  if (bit == kDrawZoomWithSelected && (flags & bit)) flags ^= kDrawAround;
  return flags;
}

}  // namespace tessaline
