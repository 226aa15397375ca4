// InputControl: mouse buttons, drags, moves and keys on the view.

#include "view/input_control.h"

#include <FL/Enumerations.H>

#include "view/command_text.h"
#include "view/event_guard.h"

namespace tessaline {

void InputControl::MouseButton(int button, bool pressed, int x, int y) {
  const bool outside = host_.OutsideView(x, y);
  // A click on the picture brings the keyboard back from the panel.
  if (pressed && !outside) host_.TakeFocus();
  // It also gives up a camera that has not answered yet, load or not.
  if (pressed && !outside && live_.CameraOpening()) {
    GuardEvent("mouse button", [this] { live_.CancelCameraOpen(); });
    host_.UpdateMenuStates();
    return;
  }
  // The engine belongs to the load while one runs; before the first mosaic
  // there is nothing to click. Only the release of an icon press gets
  // through anyway: the fade icon must end the fade it began.
  const bool usable = !outside && !host_.Busy() && host_.Ready();
  const bool icon_release = button == 1 && !pressed && icon_press_.Pressed() >= 0;
  if (!usable && !icon_release) return;
  GuardEvent("mouse button", [&] {
    host_.MakeGlContextCurrent();
    // What lies under the pointer now, never what an earlier move left.
    const int icon = usable ? IconUnder(x, y) : -1;
    if (button == 1 && pressed)
      LeftPress(icon, x, y);
    else if (button == 1)
      LeftRelease(icon);
    else if (button == 3 && pressed && zoom_.AutoPilot())
      zoom_.StopAutoPilot();
  });
  host_.Redraw();
}

int InputControl::IconUnder(int x, int y) {
  const int name = host_.Pick(x, y);
  return name >= 0 && name < host_.IconCount() ? name : -1;
}

void InputControl::LeftPress(int icon, int x, int y) {
  hover_name_ = icon;
  // The fade icon acts on press and again on release: holding it fades
  // the mosaic out, letting go fades it back in.
  const int fire = icon_press_.Press(icon, host_.FadeIcon());
  if (icon >= 0) {
    scene_.press_armed = false;
    if (fire >= 0) host_.RunIconActions(fire);
    return;
  }
  if (live_.Live()) {
    live_.ToggleVideoInput("");  // a press on the picture ends live input
    scene_.press_armed = false;
    return;
  }
  if (zoom_.Zooming()) return;
  scene_.press_armed = true;
  scene_.elevate_style = host_.PressStyle();
  host_.SelectCellAt(x, y);
}

void InputControl::LeftRelease(int icon) {
  if (icon_press_.Pressed() >= 0) {
    const int fire = icon_press_.Release(icon);
    if (fire >= 0) host_.RunIconActions(fire);
    return;
  }
  // A press on the mosaic let go over an icon is no click on either.
  if (icon >= 0) scene_.press_armed = false;
  if (!scene_.press_armed || !scene_.cell_selected || zoom_.Zooming() || live_.Live()) return;
  zoom_.ZoomIntoSelected();
}

void InputControl::MouseDrag(int x, int y) {
  if (host_.OutsideView(x, y) || host_.Busy() || !host_.Ready() || zoom_.Zooming()) return;
  GuardEvent("mouse drag", [&] {
    host_.MakeGlContextCurrent();
    if (scene_.press_armed) host_.SelectCellAt(x, y);
  });
  host_.Redraw();
}

void InputControl::MouseMove(int x, int y) {
  if (host_.OutsideView(x, y) || host_.Busy() || !host_.Ready()) return;
  GuardEvent("mouse move", [&] {
    host_.MakeGlContextCurrent();
    const int name = host_.Pick(x, y);
    if (name == -1) {
      zoom_.ClearSelection();
      hover_name_ = -1;
    } else {
      hover_name_ = name >= host_.FirstCellName() ? -1 : name;
    }
    scene_.press_armed = false;
    mouse_x_ = x;
    mouse_y_ = y;
  });
  host_.Redraw();
}

void InputControl::KeyDown(int key) {
  if (host_.Busy() || !host_.Ready()) return;
  GuardEvent("key", [&] {
    host_.MakeGlContextCurrent();
    const int index = host_.TileSizeIndex();
    const int sizes = host_.TileSizeCount();
    if (key == 'g')
      host_.ToggleViewFullScreen(true);
    else if (key == FL_Left)
      host_.ChangeTileSize(PreviousTileSizeIndex(index, sizes));
    else if (key == FL_Right)
      host_.ChangeTileSize(NextTileSizeIndex(index, sizes));
  });
  host_.Redraw();
}

}  // namespace tessaline
