// qxFlGLWindow: commands, the idle step, zoom, auto pilot and fade.

#include <GL/glew.h>

#include <FL/Fl.H>
#include <FL/Fl_File_Chooser.H>

#include <algorithm>
#include <cstdlib>

#include "mosaic/color_correction.h"
#include "mosaic/photo_mosaic.h"
#include "settings/log_stream.h"
#include "view/command_text.h"
#include "view/draw_toggles.h"
#include "view/event_guard.h"
#include "view/gl_window.h"
#include "view/view_animation.h"

namespace tessaline {

void qxFlGLWindow::Command(ViewCommand command, int index) {
  GuardEvent("command", [&] {
    switch (command) {
      case ViewCommand::kGenerate:
        Generate();
        break;
      case ViewCommand::kRandom:
        control_.Random();
        break;
      case ViewCommand::kPreference:
        EditPreferences();
        break;
      case ViewCommand::kAutoPilot:
        ToggleAutoPilot();
        break;
      case ViewCommand::kUpdateImages:
        control_.UpdateImages();
        break;
      case ViewCommand::kChooseImagesDir:
        ChooseImagesDir();
        break;
      case ViewCommand::kCameraInput:
        ToggleVideoInput("");
        break;
      case ViewCommand::kTileSize:
        ChangeTileSize(index);
        break;
      case ViewCommand::kNone:
        break;
    }
  });
  EndCommand();
}

void qxFlGLWindow::EndCommand() {
  owner_->UpdateMenuStates();
  redraw();
}

void qxFlGLWindow::Generate() { control_.Generate(); }

void qxFlGLWindow::ChangeTileSize(int index) {
  if (control_.ChangeTileSize(index)) tile_size_index_ = index;
}

void qxFlGLWindow::OpenImage(const std::string& path) {
  control_.OpenImage(path);
  redraw();
}

void qxFlGLWindow::ChooseImagesDir() {
  // The folder is read by the load: not while one runs.
  if (control_.RefuseWhileBusy()) return;
  Fl_File_Chooser chooser(".", "All Files (*)", Fl_File_Chooser::DIRECTORY, "Image Directory");
  chooser.show();
  while (chooser.shown()) Fl::wait();
  if (!chooser.value()) return;
  Config().image_dir = chooser.value();
  control_.SetReady(false);
}

void qxFlGLWindow::StartStop() {
  GuardEvent("Start/Stop", [this] {
    // Stopping the idle step during a load would leave the load untaken.
    if (!control_.RefuseWhileBusy()) SetAnimation(-1);
  });
  EndCommand();
}

void qxFlGLWindow::Step() {
  GuardEvent("step", [this] { IdleStep(); });
  EndCommand();
}

void qxFlGLWindow::ToggleDrawFlag(int index) {
  const int before = draw_flags_;
  draw_flags_ = ToggledDrawFlags(draw_flags_, index);
  if ((before ^ draw_flags_) & kDrawMipmapping) ApplyPictureMipmaps();
  EndCommand();
}

// The pictures' textures live in this view's context; before the first
// draw there are none, and StartEngineGpu applies the flag.
void qxFlGLWindow::ApplyPictureMipmaps() {
  MosaicGpu* gpu = engine_->Gpu();
  if (gpu == nullptr) return;
  make_current();
  const bool on = (draw_flags_ & kDrawMipmapping) != 0;
  gpu->SetPictureMipmaps(on);
  SetPictureMipmaps(gl_.selected_tile.name(), on);
}

void qxFlGLWindow::SetAlpha(double alpha) {
  SetMosaicAlpha(scene_, alpha);
  redraw();
}

void qxFlGLWindow::SetZoomPause(double ms) { zoom_pause_ms_ = ms; }

double qxFlGLWindow::ColorCorrection() const { return Config().color_correction; }

void qxFlGLWindow::SetColorCorrection(double c, bool released) {
  if (control_.Busy()) {
    // The load worker has the engine: the next mosaic takes the value.
    Config().color_correction = ColorShare(c);
  } else {
    make_current();
    if (engine_->SetColorCorrection(c)) redraw();
  }
  if (released) view_log() << "colour correction : " << Config().color_correction << std::endl;
}

bool qxFlGLWindow::ExportMosaic(const std::string& path) {
  // The load worker has the engine to itself until it ends.
  if (control_.Busy()) {
    view_log() << "cannot write the mosaic image to " << path << " : the tile images are loading"
               << std::endl;
    return false;
  }
  // Before the first mosaic the engine says "no mosaic images" itself.
  make_current();
  if (!engine_->SaveMosaicImage(path)) return false;
  view_log() << "saved the mosaic image to " << path << std::endl;
  return true;
}

void qxFlGLWindow::SetAnimation(int on) {
  const bool run = on < 0 ? !idle_running_ : on != 0;
  if (run == idle_running_) return;
  if (run) {
    if (!idle_paused_) Fl::add_idle(IdleCallback, this);
  } else {
    Fl::remove_idle(IdleCallback, this);
    Fl::remove_timeout(ResumeCallback, this);
    idle_paused_ = false;
  }
  idle_running_ = run;
}

void qxFlGLWindow::PauseAnimation(double seconds) {
  if (!idle_running_ || idle_paused_ || seconds <= 0.0) return;
  Fl::remove_idle(IdleCallback, this);
  idle_paused_ = true;
  Fl::add_timeout(seconds, ResumeCallback, this);
}

void qxFlGLWindow::ResumeCallback(void* view) {
  auto* self = static_cast<qxFlGLWindow*>(view);
  self->idle_paused_ = false;
  if (self->idle_running_) Fl::add_idle(IdleCallback, self);
}

void qxFlGLWindow::IdleCallback(void* view) {
  auto* self = static_cast<qxFlGLWindow*>(view);
  // A step that failed once would fail on every idle call: stop animating.
  if (!GuardEvent("idle step", [self] { self->IdleStep(); })) self->SetAnimation(0);
}

void qxFlGLWindow::IdleStep() {
  make_current();
  switch (control_.PollLoad(engine_->LoadProgress())) {
    case MosaicControl::Poll::kLoading:
      // Polling as fast as the loop spins would take a core from the load;
      // a hundred looks a second keep the status line lively enough.
      PauseAnimation(0.01);
      return;
    case MosaicControl::Poll::kTakenUp:
      break;
    case MosaicControl::Poll::kFailed:
      // Nothing to animate; no frame-rate text may cover the reason.
      SetAnimation(0);
      break;
    case MosaicControl::Poll::kIdle:
      NormalFrame();
      break;
  }
  redraw();
}

void qxFlGLWindow::OnMosaicTakenUp() {
  // Whatever moved belonged to the library that was replaced.
  ResetMotion();
  if (input_mode_ != kLiveInput) return;
  if (engine_->Live().Kind() == LiveKind::kCamera) {
    SetAnimation(1);  // a camera streams on
  } else {
    LiveStep();  // a movie shows its frame and waits for Start/Stop
  }
}

void qxFlGLWindow::ResetMotion() {
  zooming_ = false;
  next_zoom_ = false;
  zoom_frame_ = 0;
  auto_pilot_ = false;
  selected_col_ = selected_row_ = -1;
  scene_.cell_selected = false;
  scene_.press_armed = false;
  SetAnimation(0);
}

void qxFlGLWindow::NormalFrame() {
  if (input_mode_ == kLiveInput) {
    scene_.press_armed = false;
    LiveStep();
  } else if (auto_pilot_ || !zooming_) {
    if (next_zoom_) AutoPilotNext();
    if (zooming_)
      ZoomStep();
    else
      FadeStep();
  } else {
    ZoomStep();
  }
  // Without a mosaic there is no frame to measure, and the status line may
  // be saying why the load failed (or a recording did).
  if (Ready() && !status_held_) frame_rate_.MeasureFrameRate();
  ++frame_count_;
}

void qxFlGLWindow::FadeStep() {
  const FadeLevel fade = StepFade(fade_alpha_, fading_out_, scene_.alpha);
  if (fade.level != fade_alpha_) {
    fade_alpha_ = fade.level;
    scene_.MosaicLayer(scene_.front).alpha = fade_alpha_;
  }
  if (fade.done) SetAnimation(0);
}

void qxFlGLWindow::ToggleFade() {
  fading_out_ = !fading_out_;
  if (!fading_out_) return;  // the running idle step fades back in
  fade_alpha_ = scene_.alpha;
  SetAnimation(1);
}

// Selects cell (col, row) and puts the highlight around it.
void qxFlGLWindow::SelectCell(int col, int row) {
  selected_col_ = col;
  selected_row_ = row;
  scene_.highlight = CellHighlight(scene_.camera, engine_->Geometry().SubWidth(),
                                   engine_->Geometry().SubHeight(), col, row);
  scene_.cell_selected = true;
}

bool qxFlGLWindow::ZoomInto(int col, int row) {
  zoom_progress_ = 0.0;
  zoom_frame_ = 0;
  engine_->SelectCell(col, row);
  ZoomStart start;
  start.cell_x = scene_.highlight.x;
  start.cell_y = scene_.highlight.y;
  start.cell_w = 2.0 * scene_.highlight.w;
  start.cell_h = 2.0 * scene_.highlight.h;
  start.cols = engine_->Geometry().Grid().div_x;
  start.rows = engine_->Geometry().Grid().div_y;
  start.image_w = engine_->Geometry().ImageWidth();
  start.image_h = engine_->Geometry().ImageHeight();
  start.draw_flags = draw_flags_;
  start.touched_tile_scale = Config().touched_tile_scale;
  StartZoomPoses(scene_, start);
  if (!engine_->ZoomIntoCell(col, row, draw_flags_ & kDrawAround)) {
    // A border cell has no mosaic to grow, and a failed pass drew none:
    // back to the rest pose.
    scene_.front = 1 - scene_.front;
    LayoutScene();
    return false;
  }
  TakeZoomTextures();
  // The next selection fetches its tile picture again.
  gl_.selected_tile.Reset();
  scene_.selected_tile = 0;
  selected_col_ = selected_row_ = -1;
  return true;
}

// The front pair and the surrounding layers show what the zoom just made.
void qxFlGLWindow::TakeZoomTextures() {
  qxRectPolygon& mosaic = scene_.MosaicLayer(scene_.front);
  qxRectPolygon& image = scene_.ImageLayer(scene_.front);
  if (MosaicGpu* gpu = engine_->Gpu()) {
    mosaic.texture = gpu->MosaicTexture(kCurrentMosaic);
    image.texture = gpu->ImageTexture(0);
  }
  mosaic.info_lines = image.info_lines = TargetInfoLines();
  for (int i = 0; i < kAroundLayerCount; ++i)
    scene_.AroundLayer(i).texture = engine_->AroundTexture(i);
}

void qxFlGLWindow::ZoomStep() {
  scene_.press_armed = false;
  zoom_progress_ = zoom_frame_ / static_cast<double>(kZoomFrames);
  ZoomFramePoses(scene_, zoom_progress_, scene_.alpha, draw_flags_);
  if (zoom_progress_ >= 1.0) {
    if (auto_pilot_)
      next_zoom_ = true;
    else
      SetAnimation(0);
    FinishZoomPoses(scene_, scene_.alpha, draw_flags_);
    zoom_progress_ = 0.0;
    zooming_ = false;
    zoom_frame_ = 0;
    LayoutScene();
    view_log() << "zoom : end" << std::endl;
  }
  ++zoom_frame_;
  // Slows the zoom down to the "Sleep " slider's pace (whole milliseconds);
  // the frame just posed is drawn during the pause.
  PauseAnimation(static_cast<int>(zoom_pause_ms_) / 1000.0);
}

void qxFlGLWindow::AutoPilotNext() {
  next_zoom_ = false;
  const std::optional<std::pair<int, int>> cell = engine_->PickRandomCell();
  if (!cell) {
    auto_pilot_ = false;  // a grid without interior cells: nowhere to go
    return;
  }
  SelectCell(cell->first, cell->second);
  zooming_ = ZoomInto(cell->first, cell->second);
  if (!zooming_) auto_pilot_ = false;
}

void qxFlGLWindow::StartAutoPilot() {
  if (!engine_->Target().loaded || control_.RefuseWhileBusy()) return;
  // The engine draws the first cell too, from its seeded source and only
  // among interior cells; a grid without any (an image smaller than three
  // tiles across or down) has nowhere to go.
  const std::optional<std::pair<int, int>> cell = engine_->PickRandomCell();
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
  SetAnimation(1);
}

void qxFlGLWindow::ToggleAutoPilot() {
  if (auto_pilot_)
    StopAutoPilot();
  else
    StartAutoPilot();
  owner_->UpdateMenuStates();
}

// The running zoom finishes, then the animation stops. A zoom already asked
// for (between two zooms) is dropped, so none starts after this.
void qxFlGLWindow::StopAutoPilot() {
  auto_pilot_ = false;
  next_zoom_ = false;
}

}  // namespace tessaline
