// ZoomPilot: selection, zoom, auto pilot and fade on the scene's layers.

#include "view/zoom_pilot.h"

#include <ostream>

#include "settings/log_stream.h"
#include "view/view_animation.h"

namespace tessaline {

void ZoomPilot::SelectCell(int col, int row) {
  selected_col_ = col;
  selected_row_ = row;
  const ZoomGrid grid = engine_.Grid();
  scene_.highlight = CellHighlight(scene_.camera, grid.sub_w, grid.sub_h, col, row);
  scene_.cell_selected = true;
}

void ZoomPilot::ClearSelection() {
  selected_col_ = selected_row_ = -1;
  scene_.cell_selected = false;
}

bool ZoomPilot::ZoomInto(int col, int row) {
  zoom_frame_ = 0;
  const ZoomGrid grid = engine_.Grid();
  const int flags = host_.DrawFlags();
  ZoomStart start;
  start.cell_x = scene_.highlight.x;
  start.cell_y = scene_.highlight.y;
  start.cell_w = 2.0 * scene_.highlight.w;
  start.cell_h = 2.0 * scene_.highlight.h;
  start.cols = grid.cols;
  start.rows = grid.rows;
  start.image_w = grid.image_w;
  start.image_h = grid.image_h;
  start.draw_flags = flags;
  start.touched_tile_scale = grid.touched_tile_scale;
  StartZoomPoses(scene_, start);
  if (!engine_.ZoomIntoCell(col, row, (flags & kDrawAround) != 0)) {
    // A border cell has no mosaic to grow, and a failed pass drew none:
    // back to the rest pose.
    scene_.front = 1 - scene_.front;
    host_.LayoutScene();
    return false;
  }
  // The front pair and the surrounding layers show what the zoom just made.
  const ZoomTextures made = engine_.Textures();
  qxRectPolygon& mosaic = scene_.MosaicLayer(scene_.front);
  qxRectPolygon& image = scene_.ImageLayer(scene_.front);
  mosaic.texture = made.mosaic;
  image.texture = made.image;
  mosaic.info_lines = image.info_lines = made.info_lines;
  for (int i = 0; i < kAroundLayerCount; ++i)
    scene_.AroundLayer(i).texture = made.around[static_cast<std::size_t>(i)];
  // The next selection fetches its tile picture again.
  host_.ForgetSelectedTile();
  selected_col_ = selected_row_ = -1;
  return true;
}

void ZoomPilot::ZoomIntoSelected() {
  scene_.press_armed = false;
  zooming_ = ZoomInto(selected_col_, selected_row_);
  host_.SetAnimation(1);
}

void ZoomPilot::Frame() {
  if (auto_pilot_ || !zooming_) {
    if (next_zoom_) AutoPilotNext();
    if (zooming_)
      ZoomStep();
    else
      FadeStep();
  } else {
    ZoomStep();
  }
}

void ZoomPilot::ZoomStep() {
  scene_.press_armed = false;
  const int flags = host_.DrawFlags();
  const double progress = zoom_frame_ / static_cast<double>(kZoomFrames);
  ZoomFramePoses(scene_, progress, scene_.alpha, flags);
  if (progress >= 1.0) {
    if (auto_pilot_)
      next_zoom_ = true;
    else
      host_.SetAnimation(0);
    FinishZoomPoses(scene_, scene_.alpha, flags);
    zooming_ = false;
    zoom_frame_ = 0;
    host_.LayoutScene();
    view_log() << "zoom : end" << std::endl;
  }
  ++zoom_frame_;
  // Slows the zoom down to the "Sleep " slider's pace (whole milliseconds);
  // the frame just posed is drawn during the pause.
  host_.PauseAnimation(static_cast<int>(pause_ms_) / 1000.0);
}

void ZoomPilot::FadeStep() {
  const FadeLevel fade = StepFade(fade_alpha_, fading_out_, scene_.alpha);
  if (fade.level != fade_alpha_) {
    fade_alpha_ = fade.level;
    scene_.MosaicLayer(scene_.front).alpha = fade_alpha_;
  }
  if (fade.done) host_.SetAnimation(0);
}

void ZoomPilot::AutoPilotNext() {
  next_zoom_ = false;
  const std::optional<std::pair<int, int>> cell = engine_.PickRandomCell();
  if (!cell) {
    auto_pilot_ = false;  // a grid without interior cells: nowhere to go
    return;
  }
  SelectCell(cell->first, cell->second);
  zooming_ = ZoomInto(cell->first, cell->second);
  if (!zooming_) auto_pilot_ = false;
}

void ZoomPilot::StartAutoPilot() {
  if (!engine_.TargetLoaded() || host_.RefuseWhileBusy()) return;
  // The engine draws the first cell too, from its seeded source and only
  // among interior cells; a grid without any (an image smaller than three
  // tiles across or down) has nowhere to go.
  const std::optional<std::pair<int, int>> cell = engine_.PickRandomCell();
  if (!cell) {
    view_log() << "auto pilot : the grid has no cell to zoom into" << std::endl;
    return;
  }
  auto_pilot_ = true;
  scene_.press_armed = false;
  SelectCell(cell->first, cell->second);
  zooming_ = ZoomInto(cell->first, cell->second);
  // A cell without a zoom: the next idle step picks another.
  next_zoom_ = !zooming_;
  host_.SetAnimation(1);
}

void ZoomPilot::ToggleAutoPilot() {
  if (auto_pilot_)
    StopAutoPilot();
  else
    StartAutoPilot();
  host_.UpdateMenuStates();
}

// A zoom already asked for (between two zooms) is dropped, so none starts
// after this.
void ZoomPilot::StopAutoPilot() {
  auto_pilot_ = false;
  next_zoom_ = false;
}

void ZoomPilot::ToggleFade() {
  fading_out_ = !fading_out_;
  if (!fading_out_) return;  // the running idle step fades back in
  fade_alpha_ = scene_.alpha;
  host_.SetAnimation(1);
}

void ZoomPilot::Reset() {
  zooming_ = false;
  next_zoom_ = false;
  zoom_frame_ = 0;
  auto_pilot_ = false;
  ClearSelection();
  scene_.press_armed = false;
  host_.SetAnimation(0);
}

}  // namespace tessaline
