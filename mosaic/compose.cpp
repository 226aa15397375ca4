#include "mosaic/compose.h"

#include <algorithm>
#include <cstring>

#include "mosaic/assignment.h"
#include "mosaic/work_split.h"
#include "mosaic/huge_pages.h"

namespace tessaline {
namespace {

// The tile a cell shows, after the trip through the cell table's bytes.
int ShownTile(const std::vector<int>& assignment, std::size_t cell, int tile_count) {
  unsigned char texel[4];
  PackTileIndex(cell < assignment.size() ? assignment[cell] : 0, texel);
  return std::min(UnpackTileIndex(texel), tile_count - 1);
}

// Copies output rows [begin, end). `tiles` holds the thumbnail of each
// visible cell, row-major over a div_x × div_y grid; each output row is a run
// of pieces of one tile row each.
void ComposeRows(const std::vector<const cv::Mat*>& tiles, int div_x, int div_y, int sw, int sh,
                 cv::Mat& out, int begin, int end) {
  for (int y = begin; y < end; ++y) {
    const int my = y / sh;
    const int sy = y - my * sh;
    const std::size_t row_of_cells = static_cast<std::size_t>(std::min(my, div_y - 1)) * div_x;
    unsigned char* dst = out.ptr(y);
    for (int x = 0; x < out.cols; x += sw) {
      const int mx = std::min(x / sw, div_x - 1);
      const int width = std::min(sw, out.cols - x);
      const cv::Mat& tile = *tiles[row_of_cells + mx];
      std::memcpy(dst + static_cast<std::size_t>(x) * 3, tile.ptr(sy),
                  static_cast<std::size_t>(width) * 3);
    }
  }
}

}  // namespace

cv::Mat ComposeMosaic(const SubImageStore& thumbs, const std::vector<int>& assignment, int div_x,
                      int div_y, int image_w, int image_h, int workers) {
  if (image_w < 1 || image_h < 1) return cv::Mat();
  const int sw = thumbs.ThumbWidth();
  const int sh = thumbs.ThumbHeight();
  const int tile_count = static_cast<int>(std::min<std::size_t>(thumbs.Size(), 1 << 24));
  if (tile_count == 0 || sw < 1 || sh < 1 || div_x < 1 || div_y < 1)
    return cv::Mat(image_h, image_w, CV_8UC3, cv::Scalar::all(0));

  // Cells past the picture's edge never show: only the visible ones count
  // (which also bounds the table when the grid is absurdly large).
  const int used_x = std::min(div_x, (image_w - 1) / sw + 1);
  const int used_y = std::min(div_y, (image_h - 1) / sh + 1);
  std::vector<const cv::Mat*> tiles(static_cast<std::size_t>(used_x) * used_y);
  for (int cy = 0; cy < used_y; ++cy) {
    for (int cx = 0; cx < used_x; ++cx) {
      const std::size_t cell = static_cast<std::size_t>(cx) + static_cast<std::size_t>(cy) * div_x;
      const int tile = ShownTile(assignment, cell, tile_count);
      tiles[static_cast<std::size_t>(cy) * used_x + cx] =
          &thumbs.At(static_cast<std::size_t>(tile));
    }
  }

  cv::Mat out(image_h, image_w, CV_8UC3);
  AdviseHugePages(out);
  SplitWork(image_h, workers, [&](int begin, int end) {
    ComposeRows(tiles, used_x, used_y, sw, sh, out, begin, end);
  });
  return out;
}

}  // namespace tessaline
