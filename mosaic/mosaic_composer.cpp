#include "mosaic/mosaic_composer.h"

#include <utility>

#include "match/assignment.h"
#include "mosaic/color_correction.h"
#include "mosaic/compose.h"

namespace tessaline {

void MosaicComposer::SetGpu(std::unique_ptr<MosaicGpu> gpu) {
  gpu_ = std::move(gpu);
  atlas_uploaded_ = false;
}

void MosaicComposer::EnsureAtlas() {
  if (!gpu_ || atlas_uploaded_) return;
  atlas_uploaded_ = gpu_->UploadAtlas(library_.Composite(), config_.sub_width, config_.sub_height);
}

// Without a GPU the cells are composed when someone asks.
bool MosaicComposer::Compose(int index, const std::vector<unsigned char>& table,
                             std::vector<cv::Vec3b> means, bool view_only) {
  KeptCells& cells = kept_[static_cast<std::size_t>(index)];
  cells.tiles.resize(table.size() / 4);
  for (std::size_t cell = 0; cell < cells.tiles.size(); ++cell)
    cells.tiles[cell] = UnpackTileIndex(&table[cell * 4]);
  cells.means = std::move(means);
  if (!gpu_) return true;
  EnsureAtlas();
  gpu_->SetColorWeight(ColorWeight(config_.color_correction));
  gpu_->UploadCellTable(table);
  gpu_->UploadCellMeans(cells.means);
  if (view_only ? gpu_->RenderMosaicForView(index) : gpu_->RenderMosaic(index)) return true;
  cells = KeptCells();
  return false;
}

bool MosaicComposer::ComposeAgain() {
  if (gpu_) gpu_->SetColorWeight(ColorWeight(config_.color_correction));
  bool composed = false;
  for (int index = 0; index < kMosaicTargetCount; ++index) composed |= RenderKept(index);
  return composed;
}

// Renders target `index` again from its kept cells, at the current weight.
bool MosaicComposer::RenderKept(int index) {
  const GridGeometry& grid = geometry_.Grid();
  const KeptCells& cells = kept_[static_cast<std::size_t>(index)];
  const std::size_t grid_cells = static_cast<std::size_t>(grid.div_x) * grid.div_y;
  if (cells.tiles.empty() || cells.tiles.size() != grid_cells || library_.Empty()) return false;
  if (!gpu_) return true;  // composed when asked for, with the new weight
  std::vector<unsigned char> table(cells.tiles.size() * 4);
  for (std::size_t cell = 0; cell < cells.tiles.size(); ++cell)
    PackTileIndex(cells.tiles[cell], &table[cell * 4]);
  EnsureAtlas();
  gpu_->UploadCellTable(table);
  gpu_->UploadCellMeans(cells.means);
  return gpu_->RenderMosaic(index);
}

void MosaicComposer::SwapCurrentAndPrevious() {
  // A zoom may draw the previous mosaic larger than a view-only pass made it.
  if (gpu_ && gpu_->HalfOnly(kCurrentMosaic)) RenderKept(kCurrentMosaic);
  if (gpu_) gpu_->SwapMosaicSlots();
  std::swap(kept_[kCurrentMosaic], kept_[kPreviousMosaic]);
}

cv::Mat MosaicComposer::Picture(int index) {
  if (index < 0 || index >= kMosaicTargetCount) return cv::Mat();
  if (gpu_ && gpu_->HalfOnly(index)) RenderKept(index);
  if (gpu_) return gpu_->ReadMosaic(index);
  const KeptCells& cells = kept_[static_cast<std::size_t>(index)];
  if (cells.tiles.empty()) return cv::Mat();
  CellTint tint;
  tint.weight = ColorWeight(config_.color_correction);
  if (tint.weight > 0) tint.means = cells.means;
  const GridGeometry& grid = geometry_.Grid();
  return ComposeMosaic(library_.Store(), cells.tiles, grid.div_x, grid.div_y, config_.image_width,
                       config_.image_height, 2, tint);
}

}  // namespace tessaline
