// qxFlGLWindow: the window's side of live input and of the zoom (the
// LiveHost and ZoomHost calls that need the toolkit or GL): the camera-open
// poll's timer, the camera dialog, the status line's held failures and the
// selected tile's texture. GUI thread.

#include <GL/glew.h>

#include <FL/Fl.H>

#include <memory>
#include <vector>

#include "mosaic/photo_mosaic.h"
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
  engine.SetMovieOpener(OpenMovieFile);
  engine.SetCameraFactory(MakeSystemCameraCapture);
}

void qxFlGLWindow::StartCameraPoll() {
  Fl::add_timeout(kCameraPollSeconds, CameraPollCallback, this);
}

void qxFlGLWindow::StopCameraPoll() { Fl::remove_timeout(CameraPollCallback, this); }

void qxFlGLWindow::CameraPollCallback(void* view) {
  auto* self = static_cast<qxFlGLWindow*>(view);
  bool again = false;
  GuardEvent("camera open", [&] { again = self->live_.PollCamera(); });
  if (again) Fl::repeat_timeout(kCameraPollSeconds, CameraPollCallback, view);
}

std::optional<int> qxFlGLWindow::ChooseCamera(const std::vector<std::string>& names,
                                              int preselected) {
  auto dialog = std::make_unique<qxFlRadioDialog>("Choose a device", names, preselected, window());
  dialog->set_modal();
  dialog->show();
  // Idle steps and redraws go on while the dialog is up.
  while (dialog->shown()) Fl::wait();
  take_focus();
  if (!dialog->Accepted()) return std::nullopt;
  return dialog->Selected();
}

void qxFlGLWindow::ShowFailure(const std::string& text) {
  ShowStatus(text);
  status_held_ = true;
}

void qxFlGLWindow::ForgetSelectedTile() {
  gl_.selected_tile.Reset();
  scene_.selected_tile = 0;
}

}  // namespace tessaline
