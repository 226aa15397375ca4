#include "mosaic/photo_mosaic.h"

#include <boost/format.hpp>

#include <ctime>

#include "mosaic/stretched_means.h"
#include "settings/log_stream.h"

namespace tessaline {

qxPhotoMosaic::qxPhotoMosaic(MosaicConfig& config) : config_(config), library_(LibraryParams(config_)) {
  SanitizeMosaicConfig(config_, engine_log());
  SetMatchingGrid(0, 0);
  // Sizes the working image or a texture cannot hold are refused here.
  geometry_.ParseTileSizes(config_.sub_scale_list);
  SetTileSize(0, 0, false);
  library_.Clear(config_.sub_width, config_.sub_height);
  PrintSettings();
  Seed(static_cast<unsigned>(std::time(nullptr)));
}

qxPhotoMosaic::~qxPhotoMosaic() = default;

void qxPhotoMosaic::SetGpu(std::unique_ptr<MosaicGpu> gpu) { composer_.SetGpu(std::move(gpu)); }

void qxPhotoMosaic::PrintSettings() const {
  std::ostream& log = engine_log();
  log << "matching : " << config_.matching_x << " x " << config_.matching_y << std::endl;
  log << "sub : " << config_.sub_width << " x " << config_.sub_height << std::endl;
  const GridGeometry& grid = geometry_.Grid();
  log << "div : " << grid.div_x << " x " << grid.div_y << std::endl;
  log << "images dir : " << config_.image_dir << std::endl;
  log << "search : " << config_.search_num << std::endl;
  log << "tile scales : " << config_.sub_scale_list << std::endl;
  for (const TileSize& size : geometry_.TileSizes())
    log << size.width << ", " << size.height << std::endl;
}

void qxPhotoMosaic::SetImageSize(int w, int h) {
  geometry_.SetImageSize(w, h);
  engine_log() << "size of image : "
               << boost::format(" (w x h) = %d x %d") % config_.image_width % config_.image_height
               << std::endl;
  target_.working_image.Reset(cv::Size(config_.image_width, config_.image_height));
  SetTileSize(config_.sub_width, config_.sub_height, false);
  if (MosaicGpu* gpu = composer_.Gpu())
    gpu->CreateOffscreenTargets(config_.image_width, config_.image_height,
                                geometry_.Grid().matching_w, geometry_.Grid().matching_h);
}

void qxPhotoMosaic::SetTileSize(int w, int h, bool reload) {
  geometry_.SetTileSize(w, h);
  composer_.Forget();
  const GridGeometry& grid = geometry_.Grid();
  if (MosaicGpu* gpu = composer_.Gpu()) gpu->CreateCellTable(grid.div_x, grid.div_y);
  assigner_.ResetCells();
  if (reload && target_.mosaic_valid) {
    // The library at the old size no longer fits: the next generation
    // loads it again at the new size (from its own cache file if any).
    library_.Clear(config_.sub_width, config_.sub_height);
    assigner_.ForgetLibrary();
    composer_.AtlasChanged();
    target_.loaded = false;
  }
}

void qxPhotoMosaic::ParseTileSizes(const std::string& text) { geometry_.ParseTileSizes(text); }

void qxPhotoMosaic::SetMatchingGrid(int mx, int my) {
  geometry_.SetMatchingGrid(mx, my);
  composer_.Forget();
  // Features of the old length no longer compare: the library is loaded
  // again before the next mosaic.
  library_.Clear(config_.sub_width, config_.sub_height);
  assigner_.ForgetLibrary();
  composer_.AtlasChanged();
}

bool qxPhotoMosaic::LoadSubImages(const std::string& dir) {
  // The index is built inside the load, so its stage shows before the
  // touched tiles; a load that read nothing still leaves a matcher of what
  // the library holds.
  bool indexed = false;
  library_.SetIndexBuilder([&] {
    assigner_.IndexLibrary(library_);
    indexed = true;
  });
  library_.SetParams(LibraryParams(config_));
  const bool loaded = library_.LoadSubImages(dir);
  library_.SetIndexBuilder(nullptr);
  if (!indexed) assigner_.IndexLibrary(library_);
  composer_.Forget();
  composer_.AtlasChanged();
  return loaded;
}

bool qxPhotoMosaic::OpenMovie(const std::string& path) {
  if (!live_.OpenMovie(path)) return false;
  BeginLiveTarget();
  return true;
}

qxPhotoMosaic::CameraOpening qxPhotoMosaic::PollCameraOpen() {
  const CameraOpening outcome = live_.PollCameraOpen();
  if (outcome == CameraOpening::kRunning) BeginLiveTarget();
  return outcome;
}

// The new source is the target: no tile is, so every tile may be used.
void qxPhotoMosaic::BeginLiveTarget() {
  assigner_.RearmRepeatWarning();
  assigner_.ForgetFrames();
  target_.tile = -1;
  target_.name = live_.SourceName();
}

bool qxPhotoMosaic::NextLiveFrame() {
  switch (live_.NextFrame()) {
    case LiveInput::Pull::kNew:
      MakeLiveMosaic();
      return true;
    case LiveInput::Pull::kSame:  // the last frame's mosaic stays
      return true;
    case LiveInput::Pull::kEnd:
      break;
  }
  return false;
}

// The frame's mosaic: the frame turns the picture ring (GL stretches it where
// it is drawn), then an assignment, steady from the frame before, is
// composed into the current mosaic target. The matching image and the cell
// means come from the frame itself, as the stretched picture would give
// them; the stretch is left to whoever asks for the working image.
void qxPhotoMosaic::MakeLiveMosaic() {
  const cv::Size working(config_.image_width, config_.image_height);
  if (target_.working_image.Size() != working) target_.working_image.Reset(working);
  target_.working_image.SetFrame(live_.Frame());
  const cv::Mat& frame = target_.working_image.Frame();
  target_.matching_image.release();
  if (MosaicGpu* gpu = composer_.Gpu()) gpu->UploadWorkingImage(frame);
  target_.loaded = true;
  const GridGeometry& grid = geometry_.Grid();
  if (grid.matching_w > working.width || grid.matching_h > working.height) {
    // A matching image larger than the picture is no area mean.
    target_.mosaic_valid = ComputeFrameMosaic(target_.working_image.Picture());
    return;
  }
  cv::Mat matching = StretchedAreaMeans(frame, working, ResizeBoxes(working.width, grid.matching_w),
                                        ResizeBoxes(working.height, grid.matching_h));
  std::vector<cv::Vec3b> means =
      StretchedCellMeans(frame, working, CellBoxes(grid.div_x, config_.sub_width),
                         CellBoxes(grid.div_y, config_.sub_height));
  // Drawn only by the view until something asks for its picture.
  target_.mosaic_valid = ComposeFrame(matching, std::move(means), true);
}

}  // namespace tessaline
