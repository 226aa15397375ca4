// qxFlGLWindow: commands and the idle step.

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
  if ((before ^ draw_flags_) & kDrawMipmapping) resources_.ApplyPictureMipmaps();
  EndCommand();
}

void qxFlGLWindow::SetAlpha(double alpha) {
  SetMosaicAlpha(scene_, alpha);
  redraw();
}

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

double qxFlGLWindow::Steadiness() const { return Config().steadiness; }

void qxFlGLWindow::SetSteadiness(double s, bool released) {
  // Only the GUI thread's live frames read it; a running load does not.
  Config().steadiness = std::clamp(s, 0.0, 1.0);
  if (released) view_log() << "steadiness : " << Config().steadiness << std::endl;
}

void qxFlGLWindow::SetAnimation(int on) { animation_.Set(on); }

void qxFlGLWindow::AnimationStep() {
  // A step that failed once would fail on every idle call: stop animating.
  if (!GuardEvent("idle step", [this] { IdleStep(); })) SetAnimation(0);
}

void qxFlGLWindow::IdleStep() {
  make_current();
  switch (control_.PollLoad(engine_->LoadProgress())) {
    case MosaicControl::Poll::kLoading:
      // Polling as fast as the loop spins would take a core from the load;
      // a hundred looks a second keep the status line lively enough.
      animation_.Pause(0.01);
      return;
    case MosaicControl::Poll::kTakenUp:
      break;
    case MosaicControl::Poll::kFailed:
      // Nothing to animate; no frame-rate text may cover the reason.
      SetAnimation(0);
      break;
    case MosaicControl::Poll::kIdle:
      if (!NormalFrame()) {
        // The same picture is not drawn again, and the camera is looked at
        // again shortly rather than as fast as the loop spins.
        animation_.Pause(kLivePollSeconds);
        return;
      }
      break;
  }
  redraw();
}

LiveControl::Step qxFlGLWindow::LiveStep() {
  // A live mosaic needs no finer picture than the view has pixels for;
  // while recording, every frame's whole picture is read back anyway.
  if (MosaicGpu* gpu = engine_->Gpu())
    gpu->SetViewSize(live_.Recording() ? 0 : view_w_, live_.Recording() ? 0 : view_h_);
  return live_.LiveStep();
}

bool qxFlGLWindow::NormalFrame() {
  // The rate on the status line is that of the pictures shown: a live step
  // that only found the input ended shows none.
  bool shown = true;
  if (live_.Live()) {
    scene_.press_armed = false;
    const LiveControl::Step step = LiveStep();
    if (step == LiveControl::Step::kNothingNew) return false;
    shown = step == LiveControl::Step::kNewMosaic;
  } else {
    zoom_.Frame();
  }
  // Without a mosaic there is no frame to measure, and the status line may
  // be saying why the load failed (or a recording did).
  if (shown && Ready() && !status_held_) frame_rate_.MeasureFrameRate();
  return true;
}

}  // namespace tessaline
