#include "mosaic/photo_mosaic.h"

#include <boost/format.hpp>

#include <algorithm>
#include <ctime>

#include "settings/log_stream.h"

namespace tessaline {

qxPhotoMosaic::qxPhotoMosaic(MosaicConfig& config) : config_(config), library_(LibraryParams(config_)) {
  SanitizeMosaicConfig(config_, engine_log());
  SetMatchingGrid(0, 0);
  // Sizes the working image or a texture cannot hold are refused here.
  tessaline::ParseTileSizes(config_.sub_scale_list, tile_sizes_, engine_log(),
                            TileSizeLimitsFor(config_.image_width, config_.image_height));
  SetTileSize(0, 0, false);
  library_.Clear(config_.sub_width, config_.sub_height);
  PrintSettings();
  Seed(static_cast<unsigned>(std::time(nullptr)));
}

qxPhotoMosaic::~qxPhotoMosaic() = default;

void qxPhotoMosaic::SetGpu(std::unique_ptr<MosaicGpu> gpu) {
  gpu_ = std::move(gpu);
  atlas_uploaded_ = false;
}

void qxPhotoMosaic::PrintSettings() const {
  std::ostream& log = engine_log();
  log << "matching : " << config_.matching_x << " x " << config_.matching_y << std::endl;
  log << "sub : " << config_.sub_width << " x " << config_.sub_height << std::endl;
  log << "div : " << grid_.div_x << " x " << grid_.div_y << std::endl;
  log << "images dir : " << config_.image_dir << std::endl;
  log << "search : " << config_.search_num << std::endl;
  log << "tile scales : " << config_.sub_scale_list << std::endl;
  for (const TileSize& size : tile_sizes_) log << size.width << ", " << size.height << std::endl;
}

void qxPhotoMosaic::SetImageSize(int w, int h) {
  config_.image_width = w;
  config_.image_height = h;
  engine_log() << "size of image : "
               << boost::format(" (w x h) = %d x %d") % config_.image_width % config_.image_height
               << std::endl;
  working_image_.release();
  working_image_.create(config_.image_height, config_.image_width, CV_8UC3);
  SetTileSize(config_.sub_width, config_.sub_height, false);
  if (gpu_)
    gpu_->CreateOffscreenTargets(config_.image_width, config_.image_height, grid_.matching_w,
                                 grid_.matching_h);
}

void qxPhotoMosaic::SetTileSize(int w, int h, bool reload) {
  if (w > 0) config_.sub_width = w;
  if (h > 0) config_.sub_height = h;
  UpdateGrid();
  FindCurrentTileSize();
  ForgetComposed();
  if (gpu_) gpu_->CreateCellTable(grid_.div_x, grid_.div_y);
  const std::size_t cells = static_cast<std::size_t>(grid_.div_x) * grid_.div_y;
  cell_assignment_.assign(cells, 0);
  cell_table_bytes_.assign(cells * 4, 0);
  if (reload && mosaic_valid_) {
    // The library at the old size no longer fits: the next generation
    // loads it again at the new size (from its own cache file if any).
    library_.Clear(config_.sub_width, config_.sub_height);
    matcher_ = TileMatcher();
    atlas_uploaded_ = false;
    target_loaded_ = false;
  }
}

void qxPhotoMosaic::UpdateGrid() {
  grid_ = ComputeGrid(config_.image_width, config_.image_height, config_.sub_width,
                      config_.sub_height, config_.matching_x, config_.matching_y);
}

// The current size keeps its place in the menu: when the new list lacks it,
// it is appended, as at construction.
void qxPhotoMosaic::ParseTileSizes(const std::string& text) {
  std::vector<TileSize> sizes;
  tessaline::ParseTileSizes(text, sizes, engine_log(),
                            TileSizeLimitsFor(config_.image_width, config_.image_height));
  tile_sizes_ = std::move(sizes);
  FindCurrentTileSize();
}

void qxPhotoMosaic::FindCurrentTileSize() {
  const TileSize current{config_.sub_width, config_.sub_height};
  const auto found = std::find(tile_sizes_.begin(), tile_sizes_.end(), current);
  tile_size_index_ = static_cast<int>(found - tile_sizes_.begin());
  if (found == tile_sizes_.end()) tile_sizes_.push_back(current);
}

void qxPhotoMosaic::SetMatchingGrid(int mx, int my) {
  if (mx > 0) config_.matching_x = mx;
  if (my > 0) config_.matching_y = my;
  UpdateGrid();
  ForgetComposed();
  // Features of the old length no longer compare: the library is loaded
  // again before the next mosaic.
  library_.Clear(config_.sub_width, config_.sub_height);
  matcher_ = TileMatcher();
  atlas_uploaded_ = false;
}

bool qxPhotoMosaic::LoadSubImages(const std::string& dir) {
  // The index is built inside the load, so its stage shows before the
  // touched tiles; a load that read nothing still leaves a matcher of what
  // the library holds.
  bool indexed = false;
  library_.SetIndexBuilder([&] {
    RebuildMatcher();
    indexed = true;
  });
  library_.SetParams(LibraryParams(config_));
  const bool loaded = library_.LoadSubImages(dir);
  library_.SetIndexBuilder(nullptr);
  if (!indexed) RebuildMatcher();
  ForgetComposed();
  atlas_uploaded_ = false;
  return loaded;
}

void qxPhotoMosaic::RebuildMatcher() {
  std::vector<ColourFeature> features;
  features.reserve(library_.Size());
  for (const SubImageInfo& info : library_.Entries()) features.push_back(info.feature);
  matcher_ = TileMatcher(features, config_.matching_x * config_.matching_y * 3);
}

}  // namespace tessaline
