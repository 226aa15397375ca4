// qxFlGLWindow: mouse and keys. Positions are view pixels, y down, relative
// to the view's top left corner (the main window subtracts the view's
// offset before forwarding).

#include <GL/glew.h>

#include <FL/Fl.H>

#include <cstdlib>

#include "mosaic/photo_mosaic.h"
#include "view/command_text.h"
#include "view/event_guard.h"
#include "view/gl_window.h"
#include "view/view_animation.h"

namespace tessaline {
namespace {

// 2 or 3 with equal chance (from the engine's source): the two lifted-tile
// styles.
int RandomLiftedStyle(qxPhotoMosaic& engine) { return engine.DrawRandom() % 2 == 0 ? 2 : 3; }

}  // namespace

bool qxFlGLWindow::OutsideView(int x, int y) const {
  return x < 0 || y < 0 || x > view_w_ || y > view_h_;
}

void qxFlGLWindow::UpdateModifier() {
  if (Fl::event_state(FL_SHIFT))
    modifier_ = 2;
  else if (Fl::event_state(FL_CTRL))
    modifier_ = 3;
  else
    modifier_ = 1;
}

int qxFlGLWindow::Pick(int x, int y) { return PickAt(scene_, MakeFrameInputs(), x, y); }

void qxFlGLWindow::MouseButton(int button, bool pressed, int x, int y) {
  const bool outside = OutsideView(x, y);
  // A click on the picture brings the keyboard back from the panel.
  if (pressed && !outside) take_focus();
  // It also gives up a camera that has not answered yet, load or not.
  if (pressed && !outside && live_.CameraOpening()) {
    GuardEvent("mouse button", [this] { live_.CancelCameraOpen(); });
    owner_->UpdateMenuStates();
    return;
  }
  // The engine belongs to the load while one runs; before the first mosaic
  // there is nothing to click. Only the release of an icon press gets
  // through anyway: the fade icon must end the fade it began.
  const bool usable = !outside && !Busy() && Ready();
  const bool icon_release = button == 1 && !pressed && icon_press_.Pressed() >= 0;
  if (!usable && !icon_release) return;
  GuardEvent("mouse button", [&] {
    make_current();
    UpdateModifier();
    // What lies under the pointer now, never what an earlier move left.
    const int icon = usable ? IconUnder(x, y) : -1;
    if (button == 1 && pressed)
      LeftPress(icon, x, y);
    else if (button == 1)
      LeftRelease(icon);
    else if (button == 3 && pressed && zoom_.AutoPilot())
      zoom_.StopAutoPilot();
  });
  redraw();
}

int qxFlGLWindow::IconUnder(int x, int y) {
  const int name = Pick(x, y);
  return IsIcon(name) ? name : -1;
}

void qxFlGLWindow::LeftPress(int icon, int x, int y) {
  hover_name_ = icon;
  // The fade icon acts on press and again on release: holding it fades
  // the mosaic out, letting go fades it back in.
  const int fire = icon_press_.Press(icon, fade_icon_);
  if (icon >= 0) {
    scene_.press_armed = false;
    if (fire >= 0) RunIconActions(fire);
    return;
  }
  if (live_.Live()) {
    ToggleVideoInput("");  // a press on the picture ends live input
    scene_.press_armed = false;
    return;
  }
  if (zoom_.Zooming()) return;
  scene_.press_armed = true;
  scene_.elevate_style =
      (draw_flags_ & kDrawTileElevating) ? RandomLiftedStyle(*engine_) : kElevateOutline;
  SelectCellAt(x, y);
}

void qxFlGLWindow::LeftRelease(int icon) {
  if (icon_press_.Pressed() >= 0) {
    const int fire = icon_press_.Release(icon);
    if (fire >= 0) RunIconActions(fire);
    return;
  }
  // A press on the mosaic let go over an icon is no click on either.
  if (icon >= 0) scene_.press_armed = false;
  if (!scene_.press_armed || !scene_.cell_selected || zoom_.Zooming() || live_.Live()) return;
  zoom_.ZoomIntoSelected();
}

void qxFlGLWindow::RunIconActions(int name) {
  // Copies: an action may change the icon list (a new GL start-up).
  std::vector<std::function<void()>> actions;
  for (const ViewIcon& icon : icons_)
    if (icon.index == name && icon.action) actions.push_back(icon.action);
  for (const std::function<void()>& action : actions) action();
}

void qxFlGLWindow::MouseDrag(int x, int y) {
  if (OutsideView(x, y) || Busy() || !Ready() || zoom_.Zooming()) return;
  GuardEvent("mouse drag", [&] {
    make_current();
    if (scene_.press_armed) SelectCellAt(x, y);
  });
  redraw();
}

void qxFlGLWindow::MouseMove(int x, int y) {
  if (OutsideView(x, y) || Busy() || !Ready()) return;
  GuardEvent("mouse move", [&] {
    make_current();
    const int name = Pick(x, y);
    if (name == -1) {
      zoom_.ClearSelection();
      hover_name_ = -1;
    } else {
      hover_name_ = name >= first_cell_name_ ? -1 : name;
    }
    scene_.press_armed = false;
    mouse_x_ = x;
    mouse_y_ = y;
  });
  redraw();
}

void qxFlGLWindow::KeyDown(int key, int x, int y) {
  if (Busy() || !Ready()) return;
  GuardEvent("key", [&] {
    make_current();
    UpdateModifier();
    const int sizes = static_cast<int>(engine_->TileSizes().size());
    if (key == 'g')
      ToggleViewFullScreen(true);
    else if (key == FL_Left)
      ChangeTileSize(PreviousTileSizeIndex(tile_size_index_, sizes));
    else if (key == FL_Right)
      ChangeTileSize(NextTileSizeIndex(tile_size_index_, sizes));
  });
  redraw();
}

void qxFlGLWindow::SelectCellAt(int x, int y) {
  const ImagePixel pixel = ViewToImagePixel(x, y, view_w_, view_h_, scene_.visible, scene_.camera);
  if (pixel.x > engine_->ImageWidth() || pixel.y > engine_->ImageHeight()) return;
  const GridGeometry& grid = engine_->Grid();
  const CellPosition cell =
      CellAt(pixel.x, pixel.y, engine_->SubWidth(), engine_->SubHeight(), grid.div_x, grid.div_y);
  // A mosaic that was not drawn has no cells to pick (its table is empty).
  if (cell.column < 0 || cell.row < 0 || engine_->CellAssignment().empty()) return;
  if (cell.column != zoom_.SelectedCol() || cell.row != zoom_.SelectedRow()) {
    const TileLibrary& library = engine_->Library();
    gl_.selected_tile = LoadTileTexture(cell.column, cell.row, grid.div_x, grid.div_y,
                                        engine_->CellAssignment(), library.Entries(),
                                        library.ImagesPath(), (draw_flags_ & kDrawMipmapping) != 0);
    scene_.selected_tile = gl_.selected_tile.name();
  }
  zoom_.SelectCell(cell.column, cell.row);
  hover_name_ = -1;
}

void qxFlGLWindow::ToggleViewFullScreen(bool from_key) {
  if (view_full_screen_) {
    LeaveViewFullScreen();
    if (!from_key && owner_->IsFullScreen()) owner_->ToggleFullScreen();
    return;
  }
  if (from_key && !owner_->IsFullScreen()) return;
  if (!owner_->IsFullScreen()) owner_->ToggleFullScreen();
  EnterViewFullScreen();
}

void qxFlGLWindow::EnterViewFullScreen() {
  restore_x_ = x();
  restore_y_ = y();
  restore_w_ = w();
  restore_h_ = h();
  view_full_screen_ = true;
  resize(0, 0, w(), h());  // resize() makes it the main window's size
}

void qxFlGLWindow::LeaveViewFullScreen() {
  view_full_screen_ = false;
  resize(restore_x_, restore_y_, restore_w_, restore_h_);
}

}  // namespace tessaline
