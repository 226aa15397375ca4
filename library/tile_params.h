#pragma once
// The shape of the library's tiles: what a load reads and makes.

namespace tessaline {

// The largest texture side the view's GPU takes, in pixels: the
// GL_MAX_TEXTURE_SIZE the machines we run on report. A tile's picture is
// one texture, so no tile side may be longer.
constexpr int kMaxTextureSide = 16384;

struct TileLibraryParams {
  int matching_x = 2;               // columns of a tile's colour feature grid
  int matching_y = 2;               // rows of the colour feature grid
  int sub_width = 32;               // thumbnail width in pixels
  int sub_height = 18;              // thumbnail height
  double touched_tile_scale = 7.0;  // enlargement of the .tle files
};

}  // namespace tessaline
