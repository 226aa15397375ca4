#include "mosaic/compose.h"

#include <algorithm>
#include <cstring>

#include "match/assignment.h"
#include "mosaic/color_correction.h"
#include "picture/huge_pages.h"
#include "settings/work_split.h"

namespace tessaline {
namespace {

// The tile a cell shows, after the trip through the cell table's bytes.
int ShownTile(const std::vector<int>& assignment, std::size_t cell, int tile_count) {
  unsigned char texel[4];
  PackTileIndex(cell < assignment.size() ? assignment[cell] : 0, texel);
  return std::min(UnpackTileIndex(texel), tile_count - 1);
}

void BlendPixels(unsigned char* pixels, int count, const cv::Vec3b& mean, int weight) {
  for (int i = 0; i < count * 3; i += 3) {
    for (int ch = 0; ch < 3; ++ch) pixels[i + ch] = BlendChannel(pixels[i + ch], mean[ch], weight);
  }
}

// The visible cells' tiles and, when tinted, their means: both row-major
// over the div_x × div_y grid of visible cells.
struct VisibleCells {
  std::vector<const cv::Mat*> tiles;
  std::vector<cv::Vec3b> means;  // empty: no tint
  int weight = 0;
  int div_x = 0;
  int div_y = 0;
};

// Copies output rows [begin, end); each output row is a run of pieces of one
// tile row each.
void ComposeRows(const VisibleCells& cells, int sw, int sh, cv::Mat& out, int begin, int end) {
  const int div_x = cells.div_x;
  const int div_y = cells.div_y;
  const bool tinted = !cells.means.empty();
  for (int y = begin; y < end; ++y) {
    const int my = y / sh;
    const int sy = y - my * sh;
    const std::size_t row_of_cells = static_cast<std::size_t>(std::min(my, div_y - 1)) * div_x;
    unsigned char* dst = out.ptr(y);
    for (int x = 0; x < out.cols; x += sw) {
      const int mx = std::min(x / sw, div_x - 1);
      const int width = std::min(sw, out.cols - x);
      const cv::Mat& tile = *cells.tiles[row_of_cells + mx];
      unsigned char* piece = dst + static_cast<std::size_t>(x) * 3;
      std::memcpy(piece, tile.ptr(sy), static_cast<std::size_t>(width) * 3);
      if (tinted) BlendPixels(piece, width, cells.means[row_of_cells + mx], cells.weight);
    }
  }
}

}  // namespace

cv::Mat ComposeMosaic(const SubImageStore& thumbs, const std::vector<int>& assignment, int div_x,
                      int div_y, int image_w, int image_h, int workers, const CellTint& tint) {
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
  const bool tinted =
      tint.weight > 0 && tint.means.size() == static_cast<std::size_t>(div_x) * div_y;
  VisibleCells visible;
  visible.div_x = used_x;
  visible.div_y = used_y;
  visible.weight = tint.weight;
  visible.tiles.resize(static_cast<std::size_t>(used_x) * used_y);
  if (tinted) visible.means.resize(visible.tiles.size());
  for (int cy = 0; cy < used_y; ++cy) {
    for (int cx = 0; cx < used_x; ++cx) {
      const std::size_t cell = static_cast<std::size_t>(cx) + static_cast<std::size_t>(cy) * div_x;
      const std::size_t shown = static_cast<std::size_t>(cy) * used_x + cx;
      visible.tiles[shown] =
          &thumbs.At(static_cast<std::size_t>(ShownTile(assignment, cell, tile_count)));
      if (tinted) visible.means[shown] = tint.means[cell];
    }
  }

  cv::Mat out(image_h, image_w, CV_8UC3);
  AdviseHugePages(out);
  SplitWork(image_h, workers,
            [&](int begin, int end) { ComposeRows(visible, sw, sh, out, begin, end); });
  return out;
}

}  // namespace tessaline
