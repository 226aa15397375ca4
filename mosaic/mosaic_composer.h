#pragma once
// MosaicComposer: turns cell assignments into mosaic pictures. For each
// mosaic target (kCurrentMosaic ...) it keeps the tiles and cell colours it
// was last given, renders them through the GPU side when the engine has one
// (uploading the library's atlas once per library), and otherwise composes
// the picture on the CPU when someone asks for it (the batch command,
// tests). The kept cells let a new colour correction compose every target
// again without a new match. GUI thread.

#include <opencv2/core.hpp>

#include <array>
#include <memory>
#include <vector>

#include "library/tile_library.h"
#include "mosaic/mosaic_config.h"
#include "mosaic/mosaic_geometry.h"
#include "mosaic/mosaic_gpu.h"

namespace tessaline {

class MosaicComposer {
 public:
  // Reads the three, which outlive it, at every pass.
  MosaicComposer(const MosaicConfig& config, const MosaicGeometry& geometry,
                 const TileLibrary& library)
      : config_(config), geometry_(geometry), library_(library) {}

  void SetGpu(std::unique_ptr<MosaicGpu> gpu);
  MosaicGpu* Gpu() const { return gpu_.get(); }
  // The library's thumbnails changed: the atlas is uploaded again before the
  // next GPU pass.
  void AtlasChanged() { atlas_uploaded_ = false; }

  // Keeps `table` (the packed cell table, four bytes a cell) and `means` for
  // target `index` and renders them on the GPU; `view_only` for a mosaic
  // only the view draws (MosaicGpu::RenderMosaicForView). False when the GPU
  // pass failed; nothing is then kept for the target.
  bool Compose(int index, const std::vector<unsigned char>& table, std::vector<cv::Vec3b> means,
               bool view_only = false);
  // Every target composed again from its kept cells at the colour
  // correction now in the configuration; true when any of them was.
  bool ComposeAgain();
  // The kept cells name tiles of a library (or a grid) that is gone.
  void Forget() { kept_.fill(KeptCells()); }
  // The current mosaic becomes the previous one, on the GPU too.
  void SwapCurrentAndPrevious();
  // The picture of target `index`, empty when it holds none; a target drawn
  // for the view only is drawn whole first.
  cv::Mat Picture(int index);

 private:
  bool RenderKept(int index);
  void EnsureAtlas();

  const MosaicConfig& config_;
  const MosaicGeometry& geometry_;
  const TileLibrary& library_;
  std::unique_ptr<MosaicGpu> gpu_;
  bool atlas_uploaded_ = false;
  struct KeptCells {
    std::vector<int> tiles;
    std::vector<cv::Vec3b> means;
  };
  std::array<KeptCells, kMosaicTargetCount> kept_;
};

}  // namespace tessaline
