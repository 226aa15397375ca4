#include "mosaic/mosaic_geometry.h"

#include <algorithm>

#include "settings/log_stream.h"

namespace tessaline {

void MosaicGeometry::SetImageSize(int w, int h) {
  config_.image_width = w;
  config_.image_height = h;
  UpdateGrid();
}

void MosaicGeometry::SetTileSize(int w, int h) {
  if (w > 0) config_.sub_width = w;
  if (h > 0) config_.sub_height = h;
  UpdateGrid();
  FindCurrentTileSize();
}

void MosaicGeometry::SetMatchingGrid(int mx, int my) {
  if (mx > 0) config_.matching_x = mx;
  if (my > 0) config_.matching_y = my;
  UpdateGrid();
}

// The current size keeps its place in the menu: when the new list lacks it,
// it is appended, as at construction.
void MosaicGeometry::ParseTileSizes(const std::string& text) {
  std::vector<TileSize> sizes;
  tessaline::ParseTileSizes(text, sizes, engine_log(),
                            TileSizeLimitsFor(config_.image_width, config_.image_height));
  tile_sizes_ = std::move(sizes);
  FindCurrentTileSize();
}

void MosaicGeometry::UpdateGrid() {
  grid_ = ComputeGrid(config_.image_width, config_.image_height, config_.sub_width,
                      config_.sub_height, config_.matching_x, config_.matching_y);
}

void MosaicGeometry::FindCurrentTileSize() {
  const TileSize current{config_.sub_width, config_.sub_height};
  const auto found = std::find(tile_sizes_.begin(), tile_sizes_.end(), current);
  tile_size_index_ = static_cast<int>(found - tile_sizes_.begin());
  if (found == tile_sizes_.end()) tile_sizes_.push_back(current);
}

}  // namespace tessaline
