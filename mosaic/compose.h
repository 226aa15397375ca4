#pragma once
// The mosaic picture composed on the CPU, pixel for pixel what the GPU
// synthesis pass renders from the tile atlas and the cell table. It is the
// reference the GPU pass is tested against and the composer of the batch
// command.

#include <opencv2/core.hpp>
#include <vector>

#include "library/sub_image.h"

namespace tessaline {

// Colour correction of a composition: every tile moves toward the target's
// mean colour under its cell (`means`, row-major over the DivX × DivY grid,
// blue first) by BlendChannel with `weight` (ColorWeight of the share).
// Weight 0, or not one mean per cell, leaves the tiles as they are.
struct CellTint {
  std::vector<cv::Vec3b> means;
  int weight = 0;
};

// Composes an image_w × image_h mosaic (CV_8UC3, blue-green-red, top row
// first) from the thumbnails (SW × SH = thumbs.ThumbWidth() × ThumbHeight())
// and a row-major DivX × DivY cell assignment.
//
// Output pixel (x, y), in working-image pixels, lies in cell
// (mx, my) = (x div SW, y div SH) and shows pixel (x − mx × SW, y − my × SH)
// of the tile of cell (min(mx, DivX − 1), min(my, DivY − 1)): pixels right of
// or below the last whole cell repeat the first columns or rows of the last
// cell's tile.
//
// Tile indices pass through the cell table as the GPU sees them: a negative
// index (and an assignment entry missing for a cell) reads as tile 0, indices
// wrap at 2^24, and an index at or beyond the tile count shows the last tile.
//
// An empty Mat when image_w or image_h is below 1; a black picture when
// there are no tiles or no cells. Splits the rows over `workers` threads.
// Pixels right of or below the last whole cell take the last cell's tint.
cv::Mat ComposeMosaic(const SubImageStore& thumbs, const std::vector<int>& assignment, int div_x,
                      int div_y, int image_w, int image_h, int workers = 2,
                      const CellTint& tint = CellTint());

}  // namespace tessaline
