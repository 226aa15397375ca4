// qxFlGLWindow: the preference command. The dialog edits a copy of the
// mosaic settings; accepted values go back into the configuration, and a
// value the engine is built around makes a new engine and a new load.

#include <GL/glew.h>

#include <FL/Fl.H>

#include <iostream>
#include <memory>

#include "mosaic/photo_mosaic.h"
#include "settings/ini_store.h"
#include "settings/log_stream.h"
#include "settings/window_settings.h"
#include "view/gl_window.h"
#include "view/mosaic_settings.h"
#include "view/preference_dialog.h"

namespace tessaline {

void qxFlGLWindow::EditPreferences() {
  // Replacing the engine under a running load is never allowed.
  if (control_.RefuseWhileBusy()) return;
  const MosaicSettings before = CollectMosaicSettings(Config());
  qxFlPMDialog dialog("photomosaic setting", before, top_window());
  dialog.set_modal();
  dialog.show();
  // The toolkit keeps input from the other windows while the dialog is up;
  // idle steps and redraws go on.
  while (dialog.shown()) Fl::wait();
  // The dialog took the keyboard: the view takes it back for its keys.
  take_focus();
  // Nothing should have started a load meanwhile; if something did, the
  // engine stays as it is.
  if (dialog.Accepted() && !control_.RefuseWhileBusy())
    ApplyPreferences(before, dialog.Settings(), dialog.SaveAsDefault());
}

void qxFlGLWindow::ApplyPreferences(const MosaicSettings& before, const MosaicSettings& after,
                                    bool save_as_default) {
  const bool reshape = EngineShapeChanged(before, after);
  // Refused before anything changes: the engine and its library stay as
  // they were, and so does the configuration a later save writes.
  const std::string refusal = SettingsRefusal(after, Config(), engine_access_.MaxTextureSide());
  if (!refusal.empty()) {
    view_log() << "the settings are not applied : " << refusal << std::endl;
    ShowStatus(refusal);
    return;
  }
  StoreMosaicSettings(after, Config());
  if (reshape) ReplaceEngine();
  if (after.sub_scale_list != before.sub_scale_list) {
    engine_->ParseTileSizes(after.sub_scale_list);
    tile_size_index_ = engine_->Geometry().TileSizeIndex();
  }
  if (save_as_default) SaveMosaicConfig();
  // A live source takes a new rule with its next frame by itself.
  const bool rematch =
      AssignmentRuleChanged(before, after) && control_.Ready() && live_.InputMode() == kStillInput;
  if (reshape || rematch) Generate();
}

// The engine owns GL objects (programs, offscreen targets, textures): the
// old ones are freed and the new ones made with this view's context
// current. An engine that never got its GPU side gets it at the first draw.
void qxFlGLWindow::ReplaceEngine() {
  const bool has_gpu = engine_->Gpu() != nullptr;
  if (has_gpu) make_current();
  // Zooms, auto pilot, the selection and a camera being opened belong to
  // the old engine.
  zoom_.Reset();
  live_.CancelCameraOpen();
  gl_.selected_tile.Reset();
  scene_.selected_tile = 0;
  // Made before the old one goes, so that a failure leaves a whole engine.
  auto fresh = std::make_unique<qxPhotoMosaic>(Config());
  AttachLiveSources(*fresh);
  engine_access_.Reset(fresh.get());
  motion_access_.Reset(fresh.get());
  engine_ = std::move(fresh);
  control_.SetReady(false);
  live_.ForgetSource();  // a live source went with the old engine
  if (has_gpu)
    StartEngineGpu();  // also sets the working-image size
  else
    engine_->SetImageSize(engine_->Geometry().ImageWidth(), engine_->Geometry().ImageHeight());
  Layout(engine_->Geometry().ImageWidth(), engine_->Geometry().ImageHeight());
  tile_size_index_ = engine_->Geometry().TileSizeIndex();
  valid(0);  // the next draw takes the new working-image scale
}

// The store writes the file whole or not at all and reports a failure
// itself.
void qxFlGLWindow::SaveMosaicConfig() {
  const std::string file = std::string(kProgramName) + ".cfg";
  if (config_->Save(config_.get(), file)) support_log() << "save : " << file << std::endl;
}

}  // namespace tessaline
