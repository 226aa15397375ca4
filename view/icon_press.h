#pragma once
// IconPress: pairs a left press on an icon with its release, so that an
// icon acts only for a click made on it. An icon's action runs on release
// when the same icon was pressed and is under the pointer again. The fade
// icon also acts on its press (holding it fades the mosaic out), and its
// release acts wherever it happens, even outside the view or over the
// mosaic, so that the mosaic never stays faded.
//
// Pure logic: the view tells it which icon lies under the pointer at the
// press and at the release (picked then, never remembered from an earlier
// move). GUI thread.

namespace tessaline {

class IconPress {
 public:
  // A left press with icon `icon` under the pointer (-1: none). Returns the
  // icon whose action runs now, or -1.
  int Press(int icon, int fade_icon);
  // The left release with icon `icon` under the pointer (-1: none, or the
  // pointer is outside the view). Returns the icon whose action runs now,
  // or -1. Ends the press either way.
  int Release(int icon);
  // The icon a press is held on, -1 when none.
  int Pressed() const { return pressed_; }

 private:
  int pressed_ = -1;
  bool fade_ = false;
};

}  // namespace tessaline
