// ViewServiceHooks: what the preference command, the GL start-up and the
// exports ask of the window: the preference dialog, a new engine, the icon
// buttons of the start-up and the engine's mosaic. GUI thread.

#include <GL/glew.h>

#include <FL/Fl.H>

#include <memory>
#include <utility>

#include "mosaic/photo_mosaic.h"
#include "view/gl_window.h"
#include "view/preference_dialog.h"

namespace tessaline {

void ViewServiceHooks::ShowStatus(const std::string& text) { view_.ShowStatus(text); }

bool ViewServiceHooks::RefuseWhileBusy() { return view_.control_.RefuseWhileBusy(); }

std::optional<PreferenceChoice> ViewServiceHooks::ChoosePreferences(const MosaicSettings& before) {
  qxFlPMDialog dialog("photomosaic setting", before, view_.top_window());
  dialog.set_modal();
  dialog.show();
  // The toolkit keeps input from the other windows while the dialog is up;
  // idle steps and redraws go on.
  while (dialog.shown()) Fl::wait();
  // The dialog took the keyboard: the view takes it back for its keys.
  view_.take_focus();
  if (!dialog.Accepted()) return std::nullopt;
  return PreferenceChoice{dialog.Settings(), dialog.SaveAsDefault()};
}

int ViewServiceHooks::MaxTextureSide() const { return view_.engine_access_.MaxTextureSide(); }

// The engine owns GL objects (programs, offscreen targets, textures): the
// old ones are freed and the new ones made with this view's context
// current. An engine that never got its GPU side gets it at the first draw.
void ViewServiceHooks::ReplaceEngine() {
  const bool has_gpu = view_.engine_->Gpu() != nullptr;
  if (has_gpu) view_.make_current();
  // Zooms, auto pilot, the selection and a camera being opened belong to
  // the old engine.
  view_.zoom_.Reset();
  view_.live_.CancelCameraOpen();
  view_.resources_.ForgetSelectedTile();
  // Made before the old one goes, so that a failure leaves a whole engine.
  auto fresh = std::make_unique<qxPhotoMosaic>(Config());
  AttachLiveSources(*fresh);
  view_.engine_access_.Reset(fresh.get());
  view_.motion_access_.Reset(fresh.get());
  view_.engine_ = std::move(fresh);
  view_.control_.SetReady(false);
  view_.live_.ForgetSource();  // a live source went with the old engine
  qxPhotoMosaic& engine = *view_.engine_;
  if (has_gpu)
    view_.resources_.StartEngineGpu();  // also sets the working-image size
  else
    engine.SetImageSize(engine.Geometry().ImageWidth(), engine.Geometry().ImageHeight());
  LayoutScene();
  view_.tile_size_index_ = engine.Geometry().TileSizeIndex();
  view_.valid(0);  // the next draw takes the new working-image scale
}

void ViewServiceHooks::SetTileSizes(const std::string& list) {
  view_.engine_->ParseTileSizes(list);
  view_.tile_size_index_ = view_.engine_->Geometry().TileSizeIndex();
}

bool ViewServiceHooks::StillMosaicShown() const {
  return view_.control_.Ready() && view_.live_.InputMode() == kStillInput;
}

void ViewServiceHooks::Generate() { view_.Generate(); }

qxPhotoMosaic* ViewServiceHooks::Engine() { return view_.engine_.get(); }

int ViewServiceHooks::DrawFlags() const { return view_.draw_flags_; }

bool ViewServiceHooks::Ready() const { return view_.Ready(); }

void ViewServiceHooks::EndForUnusableGl(const std::string& message) {
  view_.owner_->EndForUnusableGl(message);
}

void ViewServiceHooks::LayoutScene() {
  view_.Layout(view_.engine_->Geometry().ImageWidth(), view_.engine_->Geometry().ImageHeight());
}

std::vector<StartIcon> ViewServiceHooks::StartIcons() {
  qxFlGLWindow& view = view_;
  return {
      {"texture/fullscreen.png", "texture/fullscreen2.png",
       [&view] { view.ToggleViewFullScreen(false); },
       [&view] { return view.owner_->IsFullScreen(); }, false},
      {"texture/icon_video.png", "texture/icon_photos.png", [&view] { view.ToggleVideoInput(""); },
       [&view] { return view.live_.Live(); }, false},
      {"texture/random.png", "", [&view] { view.ToggleAutoPilot(); }, {}, false},
      {"texture/icon_grad.png", "", [&view] { view.ToggleFade(); }, {}, true},
  };
}

void ViewServiceHooks::ForgetHover() { view_.input_.ClearHover(); }

bool ViewServiceHooks::Busy() const { return view_.Busy(); }

bool ViewServiceHooks::MosaicValid() const { return view_.engine_->Target().mosaic_valid; }

PrintJob ViewServiceHooks::MakePrintJob(int tile_px) {
  return tessaline::MakePrintJob(*view_.engine_, tile_px);
}

bool ViewServiceHooks::SaveMosaicImage(const std::string& path) {
  view_.make_current();
  return view_.engine_->SaveMosaicImage(path);
}

}  // namespace tessaline
