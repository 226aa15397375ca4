#pragma once
// Mosaic geometry: the cell grid a working image is cut into, the matching
// image size, and the list of offered tile sizes. Units are working-image
// pixels; a cell is one tile.

#include <iosfwd>
#include <string>
#include <vector>

#include "library/tile_params.h"

namespace tessaline {

struct TileSize {
  int width = 0;
  int height = 0;
  bool operator==(const TileSize& o) const { return width == o.width && height == o.height; }
};

struct GridGeometry {
  int div_x = 0;       // cells across: image width div tile width
  int div_y = 0;       // cells down
  int matching_w = 0;  // matching image: one pixel per feature sub-cell
  int matching_h = 0;
};

// The grid of a working image of image_w x image_h cut into tiles of
// sub_w x sub_h (both at least 1), with an mx x my feature grid per cell.
// Pixels beyond the last whole cell lie outside the grid.
GridGeometry ComputeGrid(int image_w, int image_h, int sub_w, int sub_h, int mx, int my);

// At most this many pairs are taken from one tile-size list.
constexpr int kMaxTileSizePairs = 100;

// The largest tile size a list may offer, in working-image pixels.
struct TileSizeLimits {
  int max_width = kMaxTextureSide;
  int max_height = kMaxTextureSide;
};

// A tile must fit in the working image of image_w x image_h (a larger one
// leaves an empty grid) and in one texture.
TileSizeLimits TileSizeLimitsFor(int image_w, int image_h);

// Reads a tile-size list "w,h,w,h..." (blanks around a token skipped, a token
// may be in double quotes, an optional sign) and appends its pairs to
// `sizes`. A pair with a token that is not an integer, a size below 1 or
// above `limits`, or a lone last token is skipped with one line on `log`
// naming it.
void ParseTileSizes(const std::string& text, std::vector<TileSize>& sizes, std::ostream& log,
                    const TileSizeLimits& limits = {});

// The menu label of a tile size: "32 x 18".
std::string TileSizeLabel(const TileSize& size);

}  // namespace tessaline
