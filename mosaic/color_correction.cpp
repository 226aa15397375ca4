#include "mosaic/color_correction.h"

#include <algorithm>
#include <cmath>

namespace tessaline {

int ColorWeight(double c) {
  if (!(c > 0.0)) return 0;
  return static_cast<int>(std::lround(std::min(c, 1.0) * 256.0));
}

void BlendTowards(cv::Mat& pixels, const cv::Vec3b& mean, int w) {
  if (w <= 0) return;
  for (int y = 0; y < pixels.rows; ++y) {
    auto* row = pixels.ptr<cv::Vec3b>(y);
    for (int x = 0; x < pixels.cols; ++x) {
      for (int ch = 0; ch < 3; ++ch) row[x][ch] = BlendChannel(row[x][ch], mean[ch], w);
    }
  }
}

std::vector<cv::Vec3b> CellMeanColors(const cv::Mat& target, int div_x, int div_y, int cell_w,
                                      int cell_h) {
  std::vector<cv::Vec3b> means;
  if (div_x < 1 || div_y < 1) return means;
  means.assign(static_cast<size_t>(div_x) * div_y, cv::Vec3b(0, 0, 0));
  const cv::Rect picture(0, 0, target.cols, target.rows);
  for (int my = 0; my < div_y; ++my) {
    for (int mx = 0; mx < div_x; ++mx) {
      const cv::Rect cell = cv::Rect(mx * cell_w, my * cell_h, cell_w, cell_h) & picture;
      if (cell.empty()) continue;
      const cv::Scalar m = cv::mean(target(cell));
      auto& out = means[static_cast<size_t>(my) * div_x + mx];
      for (int ch = 0; ch < 3; ++ch) out[ch] = cv::saturate_cast<std::uint8_t>(m[ch]);
    }
  }
  return means;
}

}  // namespace tessaline
