#include "bench/fidelity_metrics.h"

#include <cmath>
#include <cstdint>
#include <opencv2/imgproc.hpp>
#include <unordered_set>
#include <vector>

#include "match/assignment_stats.h"
#include "mosaic/color_correction.h"

namespace tessaline {

CellGrid GridOf(int width, int height, int cell_w, int cell_h) {
  CellGrid grid;
  if (cell_w < 1 || cell_h < 1) return grid;
  grid.cols = width / cell_w;
  grid.rows = height / cell_h;
  grid.cell_w = cell_w;
  grid.cell_h = cell_h;
  return grid;
}

cv::Mat ReduceToCells(const cv::Mat& bgr, const CellGrid& grid, int per_cell) {
  const cv::Mat cells = bgr(cv::Rect(0, 0, grid.cols * grid.cell_w, grid.rows * grid.cell_h));
  cv::Mat reduced;
  cv::resize(cells, reduced, cv::Size(grid.cols * per_cell, grid.rows * per_cell), 0, 0,
             cv::INTER_AREA);
  return reduced;
}

double MeanDeltaE76(const cv::Mat& a_bgr, const cv::Mat& b_bgr) {
  double sum = 0.0;
  for (int y = 0; y < a_bgr.rows; ++y) {
    const auto* pa = a_bgr.ptr<cv::Vec3b>(y);
    const auto* pb = b_bgr.ptr<cv::Vec3b>(y);
    for (int x = 0; x < a_bgr.cols; ++x) sum += cv::norm(CieLab(pa[x]) - CieLab(pb[x]));
  }
  const double count = static_cast<double>(a_bgr.rows) * a_bgr.cols;
  return count > 0 ? sum / count : 0.0;
}

namespace {

// FNV-1a over the cell's rows; 64 bits make a collision among some ten
// thousand cells practically impossible.
std::uint64_t CellHash(const cv::Mat& cell) {
  std::uint64_t h = 1469598103934665603ULL;
  for (int y = 0; y < cell.rows; ++y) {
    const std::uint8_t* p = cell.ptr<std::uint8_t>(y);
    for (std::size_t i = 0; i < cell.cols * cell.elemSize(); ++i) {
      h = (h ^ p[i]) * 1099511628211ULL;
    }
  }
  return h;
}

cv::Rect CellRect(const CellGrid& grid, int cx, int cy) {
  return cv::Rect(cx * grid.cell_w, cy * grid.cell_h, grid.cell_w, grid.cell_h);
}

}  // namespace

std::size_t DistinctCells(const cv::Mat& mosaic_bgr, const CellGrid& grid) {
  std::unordered_set<std::uint64_t> seen;
  for (int cy = 0; cy < grid.rows; ++cy) {
    for (int cx = 0; cx < grid.cols; ++cx)
      seen.insert(CellHash(mosaic_bgr(CellRect(grid, cx, cy))));
  }
  return seen.size();
}

cv::Mat ColorCorrected(const cv::Mat& mosaic_bgr, const cv::Mat& target_bgr, const CellGrid& grid,
                       double c) {
  cv::Mat out = mosaic_bgr.clone();
  const int w = ColorWeight(c);
  const std::vector<cv::Vec3b> means =
      CellMeanColors(target_bgr, grid.cols, grid.rows, grid.cell_w, grid.cell_h);
  for (int cy = 0; cy < grid.rows; ++cy) {
    for (int cx = 0; cx < grid.cols; ++cx) {
      cv::Mat cell = out(CellRect(grid, cx, cy));
      BlendTowards(cell, means[static_cast<std::size_t>(cy) * grid.cols + cx], w);
    }
  }
  return out;
}

}  // namespace tessaline
