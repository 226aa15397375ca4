#pragma once
// InputControl: what the view does with the mouse and the keys the main
// window forwards. A left click on the mosaic is a three-step gesture:
// press (arm and select the cell), optional drag (reselect), release (zoom
// into the selected tile); a move without buttons disarms it. Icons act on
// a click made on them (IconPress); the right button stops the auto pilot;
// a press on the picture ends live input or gives up a camera being opened;
// "g" and the arrow keys switch full screen and walk the tile sizes.
//
// Positions are view pixels, y down, from the view's top left corner. No
// toolkit calls and no GL: picking, the selected tile's picture and the
// window's geometry go through InputHost, so that tests drive it with
// fakes. GUI thread only.

#include "render/view_scene.h"
#include "view/icon_press.h"
#include "view/live_control.h"
#include "view/zoom_pilot.h"

namespace tessaline {

// What the mouse and keys ask of the view.
class InputHost {
 public:
  virtual ~InputHost() = default;
  virtual bool Busy() const = 0;   // a load has the engine
  virtual bool Ready() const = 0;  // a mosaic was made
  // Outside the view's rectangle (0, 0) ... (width, height).
  virtual bool OutsideView(int x, int y) const = 0;
  virtual void TakeFocus() = 0;
  virtual void MakeGlContextCurrent() = 0;
  virtual void UpdateMenuStates() = 0;
  virtual void Redraw() = 0;
  // The pick name under view pixel (x, y) as PickAt gives it: an icon
  // index, a cell from FirstCellName() on, or -1.
  virtual int Pick(int x, int y) = 0;
  virtual int IconCount() const = 0;
  virtual int FirstCellName() const = 0;
  virtual int FadeIcon() const = 0;
  virtual void RunIconActions(int icon) = 0;
  // The lifted-tile style of a press on the mosaic.
  virtual int PressStyle() = 0;
  // Selects the cell under (x, y) and loads its tile picture.
  virtual void SelectCellAt(int x, int y) = 0;
  virtual void ToggleViewFullScreen(bool from_key) = 0;
  virtual int TileSizeIndex() const = 0;
  virtual int TileSizeCount() const = 0;
  virtual void ChangeTileSize(int index) = 0;
};

class InputControl {
 public:
  InputControl(ViewScene& scene, ZoomPilot& zoom, LiveControl& live, InputHost& host)
      : scene_(scene), zoom_(zoom), live_(live), host_(host) {}

  void MouseButton(int button, bool pressed, int x, int y);
  void MouseDrag(int x, int y);
  void MouseMove(int x, int y);
  void KeyDown(int key);

  // The icon drawn highlighted, -1 for none.
  int HoverName() const { return hover_name_; }
  void ClearHover() { hover_name_ = -1; }
  // Position of the last move, view pixels.
  int MouseX() const { return mouse_x_; }
  int MouseY() const { return mouse_y_; }

 private:
  // The icon under (x, y), -1 for none.
  int IconUnder(int x, int y);
  void LeftPress(int icon, int x, int y);
  void LeftRelease(int icon);

  ViewScene& scene_;
  ZoomPilot& zoom_;
  LiveControl& live_;
  InputHost& host_;
  IconPress icon_press_;
  int hover_name_ = -1;
  int mouse_x_ = 0;
  int mouse_y_ = 0;
};

}  // namespace tessaline
