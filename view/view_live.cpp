// qxFlGLWindow: live input. A movie or a camera replaces the still target;
// every idle step pulls one frame, whose mosaic the engine composes, and the
// layers show it. GUI thread; the camera reads on its own thread (video/).

#include <GL/glew.h>

#include <FL/Fl.H>

#include <memory>
#include <vector>

#include "mosaic/photo_mosaic.h"
#include "settings/log_stream.h"
#include "video/live_capture.h"
#include "view/choice_dialog.h"
#include "view/event_guard.h"
#include "view/gl_window.h"

namespace tessaline {
namespace {

// A camera answers on its reader thread; a timer looks twenty times a
// second, so that events and redraws go on while it is awaited.
constexpr double kCameraPollSeconds = 0.05;

}  // namespace

void AttachLiveSources(qxPhotoMosaic& engine) {
  engine.Live().SetMovieOpener(OpenMovieFile);
  engine.Live().SetCameraFactory(MakeSystemCameraCapture);
}

void qxFlGLWindow::ToggleVideoInput(const std::string& path) {
  // A camera still being opened is given up; a movie asked for goes on.
  if (camera_opening_) {
    CancelCameraOpen();
    if (path.empty()) {
      owner_->UpdateMenuStates();
      return;
    }
  }
  // The load worker has the engine to itself until it ends.
  if (control_.RefuseWhileBusy()) {
    owner_->UpdateMenuStates();
    return;
  }
  make_current();
  if (input_mode_ == kLiveInput) {
    EndLiveInput();
  } else {
    if (!Ready()) Generate();  // the load runs while the source opens
    if (path.empty()) {
      if (OpenChosenCamera()) WaitForCamera();
    } else if (engine_->OpenMovie(path)) {
      StartLiveInput(false);
    }
  }
  owner_->UpdateMenuStates();
}

void qxFlGLWindow::WaitForCamera() {
  camera_opening_ = true;
  ShowStatus(engine_->Live().CameraOpenText());
  Fl::add_timeout(kCameraPollSeconds, CameraPollCallback, this);
}

void qxFlGLWindow::CameraPollCallback(void* view) {
  auto* self = static_cast<qxFlGLWindow*>(view);
  if (!GuardEvent("camera open", [self] { self->PollCamera(); })) self->camera_opening_ = false;
}

void qxFlGLWindow::PollCamera() {
  if (!camera_opening_) return;
  const qxPhotoMosaic::CameraOpening outcome = engine_->PollCameraOpen();
  if (outcome == qxPhotoMosaic::CameraOpening::kOpening) {
    Fl::repeat_timeout(kCameraPollSeconds, CameraPollCallback, this);
    return;
  }
  camera_opening_ = false;
  // kNone: the engine that was opening it has been replaced meanwhile.
  if (outcome != qxPhotoMosaic::CameraOpening::kNone) ShowStatus(engine_->Live().CameraOpenText());
  if (outcome == qxPhotoMosaic::CameraOpening::kRunning) {
    make_current();
    StartLiveInput(true);
  }
  owner_->UpdateMenuStates();
  redraw();
}

void qxFlGLWindow::CancelCameraOpen() {
  if (!camera_opening_) return;
  Fl::remove_timeout(CameraPollCallback, this);
  camera_opening_ = false;
  engine_->Live().CancelCameraOpen();
  ShowStatus(engine_->Live().CameraOpenText());
  redraw();
}

void qxFlGLWindow::StartLiveInput(bool camera) {
  input_mode_ = kLiveInput;
  Layout(engine_->Geometry().ImageWidth(), engine_->Geometry().ImageHeight());
  scene_.front = 0;
  if (camera) {
    SetAnimation(1);  // a camera streams at once
  } else {
    IdleStep();  // a movie shows its first frame and waits for Start/Stop
  }
}

void qxFlGLWindow::EndLiveInput() {
  view_log() << "live input : closed after " << engine_->Live().FrameCount() << " frames"
             << std::endl;
  engine_->CloseLiveInput();
  SetAnimation(0);
  input_mode_ = kStillInput;
  scene_.press_armed = true;
  // The last frame stays the target: its still mosaic is made again.
  Generate();
  if (recording_) SetRecording(0, "output.avi");
}

// Lists the cameras, lets the user pick one and starts opening it.
bool qxFlGLWindow::OpenChosenCamera() {
  std::vector<std::string> names;
  if (engine_->ListCameras(names) == 0) return false;
  for (std::size_t i = 0; i < names.size(); ++i)
    view_log() << "Camera " << i << " : " << names[i] << std::endl;
  auto dialog = std::make_unique<qxFlRadioDialog>("Choose a device", names,
                                                  engine_->Live().LastCamera(), window());
  dialog->set_modal();
  dialog->show();
  // Idle steps and redraws go on while the dialog is up.
  while (dialog->shown()) Fl::wait();
  take_focus();
  if (!dialog->Accepted()) return false;
  const int chosen = dialog->Selected();
  dialog.reset();
  make_current();
  return engine_->OpenCamera(chosen);
}

void qxFlGLWindow::LiveStep() {
  const int frames_before = engine_->Live().FrameCount();
  if (!engine_->NextLiveFrame()) {
    SetAnimation(0);
    if (recording_) SetRecording(0, "output.avi");
    return;
  }
  if (MosaicGpu* gpu = engine_->Gpu()) {
    // Both pairs show the newest frame, whichever of them is in front.
    for (int i = 0; i < 2; ++i) {
      scene_.ImageLayer(i).texture = gpu->ImageTexture(0);
      scene_.MosaicLayer(i).texture = gpu->MosaicTexture(kCurrentMosaic);
    }
  }
  for (int i = 0; i < 2; ++i) {
    scene_.ImageLayer(i).info_lines.clear();
    scene_.MosaicLayer(i).info_lines.clear();
    scene_.ImageLayer(i).alpha = 1.0;
    scene_.MosaicLayer(i).alpha = scene_.alpha;
  }
  // A camera with nothing new yet repeats no frame in the recording.
  if (recording_ && engine_->Live().FrameCount() != frames_before) WriteRecordingFrame();
}

}  // namespace tessaline
