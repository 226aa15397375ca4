#pragma once
// MosaicGeometry: the engine's geometry state. The sizes themselves (working
// image, tile, matching grid) live in the configuration, where the engine
// writes back the sizes in use; this keeps what follows from them: the cell
// grid and matching-image size, and the offered tile sizes with the current
// size's place among them. Units are working-image pixels. GUI thread; the
// load worker only reads the configuration.

#include <string>
#include <vector>

#include "mosaic/geometry.h"
#include "mosaic/mosaic_config.h"

namespace tessaline {

class MosaicGeometry {
 public:
  // Keeps `config`, which outlives it; the grid and sizes stay empty until
  // the first Set or Parse.
  explicit MosaicGeometry(MosaicConfig& config) : config_(config) {}

  void SetImageSize(int w, int h);
  // Values of 0 or less keep the current size or grid.
  void SetTileSize(int w, int h);
  void SetMatchingGrid(int mx, int my);
  // Replaces the offered tile sizes by those of the list `text` (sizes the
  // working image or a texture cannot hold are refused, with one line each
  // on the engine log) and finds the current size in it again, appended
  // when the list lacks it.
  void ParseTileSizes(const std::string& text);

  int ImageWidth() const { return config_.image_width; }
  int ImageHeight() const { return config_.image_height; }
  int SubWidth() const { return config_.sub_width; }
  int SubHeight() const { return config_.sub_height; }
  const GridGeometry& Grid() const { return grid_; }
  const std::vector<TileSize>& TileSizes() const { return tile_sizes_; }
  // The current tile size's place in TileSizes().
  int TileSizeIndex() const { return tile_size_index_; }

 private:
  void UpdateGrid();
  void FindCurrentTileSize();

  MosaicConfig& config_;
  GridGeometry grid_;
  std::vector<TileSize> tile_sizes_;
  int tile_size_index_ = 0;
};

}  // namespace tessaline
