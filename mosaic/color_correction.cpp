#include "mosaic/color_correction.h"

#include <algorithm>
#include <cmath>

#include "settings/work_split.h"

namespace tessaline {

double ColorShare(double c) { return c > 0.0 ? std::min(c, 1.0) : 0.0; }

int ColorWeight(double c) { return static_cast<int>(std::lround(ColorShare(c) * 256.0)); }

void BlendTowards(cv::Mat& pixels, const cv::Vec3b& mean, int w) {
  if (w <= 0) return;
  for (int y = 0; y < pixels.rows; ++y) {
    auto* row = pixels.ptr<cv::Vec3b>(y);
    for (int x = 0; x < pixels.cols; ++x) {
      for (int ch = 0; ch < 3; ++ch) row[x][ch] = BlendChannel(row[x][ch], mean[ch], w);
    }
  }
}

namespace {

// Adds the channels of `count` pixels from `pixels` to sum[0..2].
void AddPixels(const std::uint8_t* pixels, int count, std::uint64_t* sum) {
  std::uint32_t b = 0, g = 0, r = 0;
  for (int i = 0; i < count * 3; i += 3) {
    b += pixels[i];
    g += pixels[i + 1];
    r += pixels[i + 2];
  }
  sum[0] += b;
  sum[1] += g;
  sum[2] += r;
}

// The means of one row of cells, rows [y0, y1) of `target`, `used_x` cells
// of cell_w pixels (the last may be cut by the edge).
void RowOfCellMeans(const cv::Mat& target, int y0, int y1, int used_x, int cell_w, cv::Vec3b* out) {
  std::vector<std::uint64_t> sums(static_cast<std::size_t>(used_x) * 3, 0);
  for (int y = y0; y < y1; ++y) {
    const std::uint8_t* row = target.ptr<std::uint8_t>(y);
    for (int mx = 0; mx < used_x; ++mx) {
      const int x0 = mx * cell_w;
      const int width = std::min(cell_w, target.cols - x0);
      AddPixels(row + static_cast<std::size_t>(x0) * 3, width,
                &sums[static_cast<std::size_t>(mx) * 3]);
    }
  }
  for (int mx = 0; mx < used_x; ++mx) {
    const int width = std::min(cell_w, target.cols - mx * cell_w);
    // The same arithmetic as cv::mean, so the rounding is the same too.
    const double scale = 1.0 / (static_cast<double>(width) * (y1 - y0));
    for (int ch = 0; ch < 3; ++ch)
      out[mx][ch] = cv::saturate_cast<std::uint8_t>(
          static_cast<double>(sums[static_cast<std::size_t>(mx) * 3 + ch]) * scale);
  }
}

}  // namespace

// One pass over the picture's rows: a cv::mean per cell reads each of its
// short rows separately, several times slower at the working size.
std::vector<cv::Vec3b> CellMeanColors(const cv::Mat& target, int div_x, int div_y, int cell_w,
                                      int cell_h) {
  std::vector<cv::Vec3b> means;
  if (div_x < 1 || div_y < 1) return means;
  means.assign(static_cast<size_t>(div_x) * div_y, cv::Vec3b(0, 0, 0));
  if (target.empty() || target.type() != CV_8UC3 || cell_w < 1 || cell_h < 1) return means;
  const int used_x = static_cast<int>(std::min<long long>(div_x, (target.cols - 1LL) / cell_w + 1));
  const int used_y = static_cast<int>(std::min<long long>(div_y, (target.rows - 1LL) / cell_h + 1));
  // Rows of cells are independent: the two cores share them.
  SplitWork(used_y, 2, [&](int begin, int end) {
    for (int my = begin; my < end; ++my) {
      const int y0 = my * cell_h;
      const int y1 =
          static_cast<int>(std::min<long long>(y0 + static_cast<long long>(cell_h), target.rows));
      RowOfCellMeans(target, y0, y1, used_x, cell_w, &means[static_cast<size_t>(my) * div_x]);
    }
  });
  return means;
}

}  // namespace tessaline
