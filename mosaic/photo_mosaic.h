#pragma once
// qxPhotoMosaic: the photomosaic engine. It holds the working-image geometry
// (working size, tile size and the offered tile sizes, cell grid, matching
// size), and, as they come, the tile library, the feature index, the
// assignment and the live source. It reads and writes back the program-wide
// configuration values it is given. GUI thread, except for the tile-library
// load, which may run on the load worker while the GUI thread leaves the
// engine alone.

#include <memory>
#include <opencv2/core.hpp>
#include <vector>

#include "mosaic/geometry.h"
#include "mosaic/mosaic_config.h"
#include "mosaic/mosaic_gpu.h"

namespace tessaline {

class qxPhotoMosaic {
 public:
  // Reads `config` (the program-wide values by default), mends sizes it
  // cannot work with, and logs its settings summary.
  explicit qxPhotoMosaic(MosaicConfig& config = Config());
  ~qxPhotoMosaic();
  qxPhotoMosaic(const qxPhotoMosaic&) = delete;
  qxPhotoMosaic& operator=(const qxPhotoMosaic&) = delete;

  // Gives the engine its GPU side (made by the view once GL is up).
  void SetGpu(std::unique_ptr<MosaicGpu> gpu);

  void PrintSettings() const;
  void SetImageSize(int w, int h);
  // Values of 0 or less keep the current size. With `reload` after a mosaic
  // was made, the library is emptied so the next generation loads it anew.
  void SetTileSize(int w, int h, bool reload);
  void ParseTileSizes(const std::string& text);

  int ImageWidth() const { return config_.image_width; }
  int ImageHeight() const { return config_.image_height; }
  int SubWidth() const { return config_.sub_width; }
  int SubHeight() const { return config_.sub_height; }
  const GridGeometry& Grid() const { return grid_; }
  const std::vector<TileSize>& TileSizes() const { return tile_sizes_; }
  int TileSizeIndex() const { return tile_size_index_; }
  const cv::Mat& WorkingImage() const { return working_image_; }
  std::vector<int>& CellAssignment() { return cell_assignment_; }

 private:
  void UpdateGrid();

  MosaicConfig& config_;
  std::unique_ptr<MosaicGpu> gpu_;
  GridGeometry grid_;
  std::vector<TileSize> tile_sizes_;
  int tile_size_index_ = 0;
  cv::Mat working_image_;
  std::vector<int> cell_assignment_;
  std::vector<unsigned char> cell_table_bytes_;
  bool target_loaded_ = false;
  bool mosaic_valid_ = false;
};

}  // namespace tessaline
