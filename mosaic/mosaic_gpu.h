#pragma once
// The engine's GPU side, seen from the engine: the cell table texture and the
// offscreen targets the mosaics are rendered into. The view gives the engine
// a GL implementation once its context exists; without one (the batch
// command, tests) the engine composes on the CPU and these steps are skipped.
// Every call needs the view's GL context current (GUI thread).
//
// Cell table bytes
//   4 bytes per cell, cell (column, row) at byte (column + row * div_x) * 4;
//   a tile index t is stored as red = t mod 256, green = (t div 256) mod 256,
//   blue = (t div 65536) mod 256, alpha = 255 (PackTileIndex in
//   mosaic/assignment.h), so indices up to 16,777,215 fit.
//
// Mosaic targets
//   Index 0 is the current mosaic, 1 the previous one (which of the two GL
//   targets each is changes with SwapMosaicSlots), 2 ... 9 the eight mosaics
//   around a zoomed tile (neighbour n = index - 2).

#include <cstddef>
#include <opencv2/core.hpp>
#include <vector>

#include "mosaic/geometry.h"

namespace tessaline {

constexpr int kMosaicTargetCount = 10;
constexpr int kCurrentMosaic = 0;
constexpr int kPreviousMosaic = 1;
constexpr int kFirstAroundMosaic = 2;

// The two grid calls are required; the others default to doing nothing
// (names 0, empty read-backs, false), which is what a test double of the
// engine usually wants.
class MosaicGpu {
 public:
  virtual ~MosaicGpu() = default;

  // A cell table texture of div_x x div_y cells (re)made at every grid change.
  virtual void CreateCellTable(int div_x, int div_y) = 0;

  // The two mosaic and eight neighbour targets at the working size and one
  // at the matching size; a target that already has its size is kept.
  virtual void CreateOffscreenTargets(int image_w, int image_h, int matching_w, int matching_h) = 0;

  // The longest side a texture may have: tiles, the working image and the
  // matching image longer than this are refused before a load.
  virtual int MaxTextureSide() const { return kMaxTextureSide; }

  // Builds (again) the synthesis and resize programs; prints the GLSL build
  // progress on standard output. At GL start-up and after new settings.
  virtual void BuildPrograms() {}

  // Turns the three-slot target-picture ring one step and uploads `image`
  // (CV_8UC1/3/4, blue first, top row first) into the new current slot.
  // Gives the slot's texture name, 0 when the image cannot be uploaded.
  virtual unsigned int UploadWorkingImage(const cv::Mat& /*image*/) { return 0; }

  // Whether the target pictures are sampled through mipmaps (the view's
  // "Mipmapping" toggle): applied to the pictures held now and to every
  // later upload. The mosaic targets are always mipmapped.
  virtual void SetPictureMipmaps(bool /*on*/) {}

  // Replaces the tile atlas with `composite` (SubImageStore::Composite():
  // CV_8UC3, tile_w * tile_h pixels wide, one tile per row). False, with one
  // log line, when the library cannot be held by one texture.
  virtual bool UploadAtlas(const cv::Mat& /*composite*/, int /*tile_w*/, int /*tile_h*/) {
    return false;
  }

  // Re-defines the cell table from `bytes` (div_x * div_y * 4, layout above).
  virtual void UploadCellTable(const std::vector<unsigned char>& /*bytes*/) {}

  // The target's mean colour under each cell (div_x * div_y, row-major, blue
  // first), which colour correction moves the tiles toward. Uploaded with
  // every cell table; none, or a count other than the table's cells (then
  // with one log line), and the passes draw the tiles uncorrected.
  virtual void UploadCellMeans(const std::vector<cv::Vec3b>& /*means*/) {}

  // The colour-correction weight of the next passes (ColorWeight in
  // mosaic/color_correction.h); 0 draws the tiles as they are.
  virtual void SetColorWeight(int /*weight*/) {}

  // Exchanges the current and previous mosaic targets before a new mosaic.
  virtual void SwapMosaicSlots() {}

  // Composes the mosaic of the uploaded cell table and atlas into target
  // `index` (see above) at the working size. False, with one log line, when
  // there is no such target, atlas or table, or the atlas's tiles do not
  // make the table's grid; the target then holds no mosaic (MosaicTexture
  // gives 0, ReadMosaic an empty Mat).
  virtual bool RenderMosaic(int /*index*/) { return false; }

  // The view's size in pixels: the most a mosaic is drawn at (0 x 0, the
  // start, for unknown).
  virtual void SetViewSize(int /*w*/, int /*h*/) {}
  // RenderMosaic for a mosaic that only the view draws (a live frame's).
  // When the view is at most half the working size each way and the tile
  // sides are even, only half the working size is drawn, from the tiles
  // averaged 2 x 2: the first mipmap level of the whole mosaic and the
  // finest a view that small samples. HalfOnly then tells that ReadMosaic
  // gives nothing until RenderMosaic has drawn the target whole.
  virtual bool RenderMosaicForView(int index) { return RenderMosaic(index); }
  virtual bool HalfOnly(int /*index*/) const { return false; }

  // Texture names for drawing: the colour texture of mosaic target `index`
  // (0 before it was first rendered into) and the current (0) or previous
  // (1) target picture. 0 means none.
  virtual unsigned int MosaicTexture(int /*index*/) const { return 0; }
  virtual unsigned int ImageTexture(int /*which*/) const { return 0; }

  // Mosaic target `index` as CV_8UC3, blue first, top row first; an empty
  // Mat, with "no mosaic images" logged, when it holds no mosaic.
  virtual cv::Mat ReadMosaic(int /*index*/) const { return cv::Mat(); }
};

}  // namespace tessaline
