// ViewHooks: what the view's controllers (MosaicControl, ZoomPilot,
// LiveControl, InputControl) ask of the window: its GL context, the idle
// callback, the camera-open poll's timer, the camera dialog, picking, the
// status line and the owner. GUI thread.

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
  engine.Live().SetMovieOpener(OpenMovieFile);
  engine.Live().SetCameraFactory(MakeSystemCameraCapture);
}

void ViewHooks::SetAnimation(int on) { view_.SetAnimation(on); }

void ViewHooks::LayoutScene() {
  view_.Layout(view_.engine_->Geometry().ImageWidth(), view_.engine_->Geometry().ImageHeight());
}

void ViewHooks::ShowStatus(const std::string& text) { view_.ShowStatus(text); }

void ViewHooks::UpdateMenuStates() { view_.owner_->UpdateMenuStates(); }

void ViewHooks::MakeGlContextCurrent() { view_.make_current(); }

bool ViewHooks::RefuseWhileBusy() { return view_.control_.RefuseWhileBusy(); }

bool ViewHooks::Ready() const { return view_.Ready(); }

void ViewHooks::Redraw() { view_.redraw(); }

void ViewHooks::OnMosaicTakenUp() {
  // Whatever moved belonged to the library that was replaced.
  view_.zoom_.Reset();
  if (!view_.live_.Live()) return;
  if (view_.engine_->Live().Kind() == LiveKind::kCamera) {
    view_.SetAnimation(1);  // a camera streams on
  } else {
    view_.LiveStep();  // a movie shows its frame and waits for Start/Stop
  }
}

bool ViewHooks::HasGlContext() const { return view_.context() != nullptr; }

void ViewHooks::PauseAnimation(double seconds) { view_.animation_.Pause(seconds); }

int ViewHooks::DrawFlags() const { return view_.draw_flags_; }

void ViewHooks::ForgetSelectedTile() { view_.resources_.ForgetSelectedTile(); }

void ViewHooks::ShowFailure(const std::string& text) {
  view_.ShowStatus(text);
  view_.status_held_ = true;
}

void ViewHooks::SetOutputText(const std::string& text) { view_.owner_->SetOutputText(text); }

void ViewHooks::Generate() { view_.Generate(); }

void ViewHooks::IdleStep() { view_.IdleStep(); }

void ViewHooks::StartCameraPoll() { Fl::add_timeout(kCameraPollSeconds, CameraPollCallback, this); }

void ViewHooks::StopCameraPoll() { Fl::remove_timeout(CameraPollCallback, this); }

void ViewHooks::CameraPollCallback(void* hooks) {
  auto* self = static_cast<ViewHooks*>(hooks);
  bool again = false;
  GuardEvent("camera open", [&] { again = self->view_.live_.PollCamera(); });
  if (again) Fl::repeat_timeout(kCameraPollSeconds, CameraPollCallback, hooks);
}

std::optional<int> ViewHooks::ChooseCamera(const std::vector<std::string>& names, int preselected) {
  auto dialog =
      std::make_unique<qxFlRadioDialog>("Choose a device", names, preselected, view_.window());
  dialog->set_modal();
  dialog->show();
  // Idle steps and redraws go on while the dialog is up.
  while (dialog->shown()) Fl::wait();
  view_.take_focus();
  if (!dialog->Accepted()) return std::nullopt;
  return dialog->Selected();
}

bool ViewHooks::Busy() const { return view_.Busy(); }

bool ViewHooks::OutsideView(int x, int y) const {
  return x < 0 || y < 0 || x > view_.view_w_ || y > view_.view_h_;
}

void ViewHooks::TakeFocus() { view_.take_focus(); }

int ViewHooks::Pick(int x, int y) { return PickAt(view_.scene_, view_.MakeFrameInputs(), x, y); }

int ViewHooks::IconCount() const { return view_.resources_.IconCount(); }

int ViewHooks::FirstCellName() const { return view_.resources_.FirstCellName(); }

int ViewHooks::FadeIcon() const { return view_.resources_.FadeIcon(); }

void ViewHooks::RunIconActions(int icon) {
  // Copies: an action may change the icon list (a new GL start-up).
  std::vector<std::function<void()>> actions;
  for (const ViewIcon& entry : view_.resources_.Icons())
    if (entry.index == icon && entry.action) actions.push_back(entry.action);
  for (const std::function<void()>& action : actions) action();
}

// With "Tile elevating", 2 or 3 with equal chance (from the engine's seeded
// source): the two lifted-tile styles.
int ViewHooks::PressStyle() {
  if (!(view_.draw_flags_ & kDrawTileElevating)) return kElevateOutline;
  return view_.engine_->DrawRandom() % 2 == 0 ? 2 : 3;
}

void ViewHooks::SelectCellAt(int x, int y) { view_.SelectCellAt(x, y); }

void ViewHooks::ToggleViewFullScreen(bool from_key) { view_.ToggleViewFullScreen(from_key); }

int ViewHooks::TileSizeIndex() const { return view_.tile_size_index_; }

int ViewHooks::TileSizeCount() const {
  return static_cast<int>(view_.engine_->Geometry().TileSizes().size());
}

void ViewHooks::ChangeTileSize(int index) { view_.ChangeTileSize(index); }

}  // namespace tessaline
