#include "view/icon_press.h"

namespace tessaline {

int IconPress::Press(int icon, int fade_icon) {
  pressed_ = icon < 0 ? -1 : icon;
  fade_ = pressed_ >= 0 && pressed_ == fade_icon;
  return fade_ ? pressed_ : -1;
}

int IconPress::Release(int icon) {
  const int pressed = pressed_;
  const bool fade = fade_;
  pressed_ = -1;
  fade_ = false;
  if (pressed < 0) return -1;
  // The fade icon's release ends the fade it began on the press.
  if (fade || icon == pressed) return pressed;
  return -1;
}

}  // namespace tessaline
