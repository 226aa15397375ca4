#include "bench/fidelity_metrics.h"

#include <cmath>
#include <cstdint>
#include <opencv2/imgproc.hpp>
#include <unordered_set>
#include <vector>

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

namespace {

// sRGB byte to linear light, by the sRGB transfer function.
double LinearFromByte(int v) {
  const double c = v / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double LabF(double t) {
  constexpr double kEpsilon = 216.0 / 24389.0, kKappa = 24389.0 / 27.0;
  return t > kEpsilon ? std::cbrt(t) : (kKappa * t + 16.0) / 116.0;
}

// CIELAB of an sRGB colour under D65. Computed exactly here rather than by
// OpenCV's conversion, whose tabulated curves are off by some tenths of a
// unit of L*: as much as the differences the benchmark compares.
cv::Vec3d Lab(const cv::Vec3b& bgr) {
  static const std::vector<double> linear = [] {
    std::vector<double> table(256);
    for (int v = 0; v < 256; ++v) table[v] = LinearFromByte(v);
    return table;
  }();
  const double r = linear[bgr[2]], g = linear[bgr[1]], b = linear[bgr[0]];
  const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
  const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
  const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
  const double fx = LabF(x), fy = LabF(y), fz = LabF(z);
  return cv::Vec3d(116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz));
}

}  // namespace

double MeanDeltaE76(const cv::Mat& a_bgr, const cv::Mat& b_bgr) {
  double sum = 0.0;
  for (int y = 0; y < a_bgr.rows; ++y) {
    const auto* pa = a_bgr.ptr<cv::Vec3b>(y);
    const auto* pb = b_bgr.ptr<cv::Vec3b>(y);
    for (int x = 0; x < a_bgr.cols; ++x) sum += cv::norm(Lab(pa[x]) - Lab(pb[x]));
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
