// PhotoMosaicMotion: the engine's zoom and live-input calls.

#include "view/motion_access.h"

#include "mosaic/mosaic_config.h"
#include "mosaic/photo_mosaic.h"

namespace tessaline {

std::vector<std::string> TargetInfoLines(const qxPhotoMosaic& engine) {
  if (engine.Target().name.empty()) return {};
  return {"image name : " + engine.Target().name};
}

bool PhotoMosaicMotion::TargetLoaded() const { return engine_->Target().loaded; }

ZoomGrid PhotoMosaicMotion::Grid() const {
  ZoomGrid grid;
  const MosaicGeometry& geometry = engine_->Geometry();
  grid.sub_w = geometry.SubWidth();
  grid.sub_h = geometry.SubHeight();
  grid.cols = geometry.Grid().div_x;
  grid.rows = geometry.Grid().div_y;
  grid.image_w = geometry.ImageWidth();
  grid.image_h = geometry.ImageHeight();
  grid.touched_tile_scale = Config().touched_tile_scale;
  return grid;
}

std::optional<std::pair<int, int>> PhotoMosaicMotion::PickRandomCell() {
  return engine_->PickRandomCell();
}

bool PhotoMosaicMotion::ZoomIntoCell(int col, int row, bool around) {
  engine_->SelectCell(col, row);
  return engine_->ZoomIntoCell(col, row, around);
}

ZoomTextures PhotoMosaicMotion::Textures() const {
  ZoomTextures made;
  if (MosaicGpu* gpu = engine_->Gpu()) {
    made.mosaic = gpu->MosaicTexture(kCurrentMosaic);
    made.image = gpu->ImageTexture(0);
  }
  for (int i = 0; i < kAroundLayerCount; ++i)
    made.around[static_cast<std::size_t>(i)] = engine_->AroundTexture(i);
  made.info_lines = TargetInfoLines(*engine_);
  return made;
}

bool PhotoMosaicMotion::OpenMovie(const std::string& path) { return engine_->OpenMovie(path); }

int PhotoMosaicMotion::ListCameras(std::vector<std::string>& names) {
  return engine_->ListCameras(names);
}

int PhotoMosaicMotion::LastCamera() const { return engine_->Live().LastCamera(); }

bool PhotoMosaicMotion::OpenCamera(int index) { return engine_->OpenCamera(index); }

LiveEngine::CameraOpening PhotoMosaicMotion::PollCameraOpen() { return engine_->PollCameraOpen(); }

std::string PhotoMosaicMotion::CameraOpenText() const { return engine_->Live().CameraOpenText(); }

void PhotoMosaicMotion::CancelCameraOpen() { engine_->Live().CancelCameraOpen(); }

bool PhotoMosaicMotion::CloseLiveInput() { return engine_->CloseLiveInput(); }

bool PhotoMosaicMotion::NextLiveFrame() { return engine_->NextLiveFrame(); }

int PhotoMosaicMotion::LiveFrameCount() const { return engine_->Live().FrameCount(); }

double PhotoMosaicMotion::FrameRate() const { return engine_->Live().FrameRate(); }

cv::Size PhotoMosaicMotion::WorkingSize() const {
  return cv::Size(engine_->Geometry().ImageWidth(), engine_->Geometry().ImageHeight());
}

bool PhotoMosaicMotion::FrameTextures(unsigned int& image, unsigned int& mosaic) const {
  const MosaicGpu* gpu = engine_->Gpu();
  if (gpu == nullptr) return false;
  image = gpu->ImageTexture(0);
  mosaic = gpu->MosaicTexture(kCurrentMosaic);
  return true;
}

cv::Mat PhotoMosaicMotion::RecordingFrame(double alpha) {
  const cv::Mat mosaic = engine_->MosaicImage();
  if (mosaic.empty()) return cv::Mat();
  return BlendFrames(engine_->Target().working_image.Picture(), mosaic, alpha);
}

}  // namespace tessaline
