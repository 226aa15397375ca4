// qxFlGLWindow: the view's side of mouse and keys (InputControl has the
// rest): the cell under a point and full screen. Positions are view pixels,
// y down, relative to the view's top left corner (the main window subtracts
// the view's offset before forwarding).

#include <GL/glew.h>

#include "mosaic/photo_mosaic.h"
#include "view/gl_window.h"
#include "view/view_animation.h"

namespace tessaline {

void qxFlGLWindow::SelectCellAt(int x, int y) {
  const ImagePixel pixel = ViewToImagePixel(x, y, view_w_, view_h_, scene_.visible, scene_.camera);
  if (pixel.x > engine_->Geometry().ImageWidth() || pixel.y > engine_->Geometry().ImageHeight())
    return;
  const GridGeometry& grid = engine_->Geometry().Grid();
  const CellPosition cell = CellAt(pixel.x, pixel.y, engine_->Geometry().SubWidth(),
                                   engine_->Geometry().SubHeight(), grid.div_x, grid.div_y);
  // A mosaic that was not drawn has no cells to pick (its table is empty).
  if (cell.column < 0 || cell.row < 0 || engine_->CellAssignment().empty()) return;
  if (cell.column != zoom_.SelectedCol() || cell.row != zoom_.SelectedRow()) {
    const TileLibrary& library = engine_->Library();
    resources_.SetSelectedTile(LoadTileTexture(
        cell.column, cell.row, grid.div_x, grid.div_y, engine_->CellAssignment(), library.Entries(),
        library.ImagesPath(), (draw_flags_ & kDrawMipmapping) != 0));
  }
  zoom_.SelectCell(cell.column, cell.row);
  input_.ClearHover();
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
