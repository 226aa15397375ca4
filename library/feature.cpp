#include "library/feature.h"

#include <algorithm>
#include <cstdint>
#include <vector>
#include <opencv2/imgproc.hpp>

#include "settings/work_split.h"

namespace tessaline {
namespace {

// The picture as 8-bit blue-green-red: the same Mat when it already is one,
// a converted copy for grey or blue-green-red-alpha, else an empty Mat.
cv::Mat AsBgr(const cv::Mat& picture) {
  if (picture.empty()) return cv::Mat();
  cv::Mat bgr;
  switch (picture.type()) {
    case CV_8UC3:
      return picture;
    case CV_8UC1:
      cv::cvtColor(picture, bgr, cv::COLOR_GRAY2BGR);
      return bgr;
    case CV_8UC4:
      cv::cvtColor(picture, bgr, cv::COLOR_BGRA2BGR);
      return bgr;
    default:
      return cv::Mat();
  }
}

// Area means for whole-number shrink factors, the usual case (a 3840 × 2160
// working image to a 240 × 240 matching image): a vertical pass adds each
// output row's fy input rows (a loop the compiler vectorises), a horizontal
// one adds fx pixels of that. On two cores it takes a third of the time of
// cv::resize's general area path (2.4 against 8 ms), which matters in live
// video.
cv::Mat WholeFactorMeans(const cv::Mat& bgr, cv::Size size, int fx, int fy) {
  cv::Mat means(size, CV_8UC3);
  const int width = bgr.cols * 3;
  const std::uint32_t area = static_cast<std::uint32_t>(fx) * static_cast<std::uint32_t>(fy);
  // Reading the picture is most of the time, so both cores share it.
  SplitWork(size.height, 2, [&](int begin, int end) {
    // 16 bits hold fy <= 257 rows of 255; the caller sends taller factors
    // to cv::resize.
    std::vector<std::uint16_t> columns(static_cast<std::size_t>(width));
    for (int oy = begin; oy < end; ++oy) {
      std::fill(columns.begin(), columns.end(), 0);
      for (int y = oy * fy; y < (oy + 1) * fy; ++y) {
        const std::uint8_t* row = bgr.ptr<std::uint8_t>(y);
        std::uint16_t* column = columns.data();
        for (int i = 0; i < width; ++i) column[i] = static_cast<std::uint16_t>(column[i] + row[i]);
      }
      std::uint8_t* out = means.ptr<std::uint8_t>(oy);
      const std::uint16_t* column = columns.data();
      for (int ox = 0; ox < size.width; ++ox, column += 3 * fx) {
        std::uint32_t sum[3] = {0, 0, 0};
        for (int i = 0; i < 3 * fx; i += 3) {
          sum[0] += column[i];
          sum[1] += column[i + 1];
          sum[2] += column[i + 2];
        }
        for (int c = 0; c < 3; ++c) *out++ = static_cast<std::uint8_t>((sum[c] + area / 2) / area);
      }
    }
  });
  return means;
}

// Start and length (in pixels) of sub-cell i of `cells` along an axis of
// `extent` pixels; see ComputeTileFeature for the rule when the sub-cell
// would be narrower than one pixel.
cv::Range SubCellSpan(int extent, int cells, int i) {
  const int size = extent / cells;
  if (size >= 1) return cv::Range(i * size, i * size + size);
  const int start = static_cast<int>(static_cast<std::int64_t>(i) * extent / cells);
  return cv::Range(start, start + 1);
}

// Writes the truncated mean red, green, blue of `region` (8-bit BGR, not
// empty) to out[0..2]. Integer sums keep the mean exact: a floating mean such
// as 49 × (1 / 49) can land just below a whole value and truncate one too low.
void RegionMeanRgb(const cv::Mat& region, unsigned char* out) {
  std::uint64_t sum[3] = {0, 0, 0};
  for (int row = 0; row < region.rows; ++row) {
    const unsigned char* p = region.ptr<unsigned char>(row);
    for (int col = 0; col < region.cols; ++col, p += 3) {
      sum[0] += p[0];
      sum[1] += p[1];
      sum[2] += p[2];
    }
  }
  const std::uint64_t n = static_cast<std::uint64_t>(region.rows) * region.cols;
  out[0] = static_cast<unsigned char>(sum[2] / n);
  out[1] = static_cast<unsigned char>(sum[1] / n);
  out[2] = static_cast<unsigned char>(sum[0] / n);
}

}  // namespace

ColourFeature ComputeTileFeature(const cv::Mat& picture, int mx, int my) {
  if (mx < 1 || my < 1) return ColourFeature();
  ColourFeature feature(static_cast<std::size_t>(mx) * my * 3, 0);
  const cv::Mat bgr = AsBgr(picture);
  if (bgr.empty()) return feature;
  for (int y = 0; y < my; ++y) {
    const cv::Range rows = SubCellSpan(bgr.rows, my, y);
    for (int x = 0; x < mx; ++x) {
      const cv::Range cols = SubCellSpan(bgr.cols, mx, x);
      RegionMeanRgb(bgr(rows, cols), &feature[3 * (static_cast<std::size_t>(y) * mx + x)]);
    }
  }
  return feature;
}

cv::Mat MakeMatchingImage(const cv::Mat& target, cv::Size matching_size) {
  if (matching_size.width < 1 || matching_size.height < 1) return cv::Mat();
  const cv::Mat bgr = AsBgr(target);
  if (bgr.empty()) return cv::Mat();
  // Shrinking, each matching pixel is its sub-cell's area mean, as a tile's
  // feature is: a linear resize would sample a few pixels of every sub-cell
  // and match the cells' noise instead of their colours. Enlarging (a small
  // thumbnail as the target), the linear resize is the smooth one.
  const bool shrinks = matching_size.width <= bgr.cols && matching_size.height <= bgr.rows;
  if (shrinks && bgr.cols % matching_size.width == 0 && bgr.rows % matching_size.height == 0 &&
      bgr.rows / matching_size.height <= 257)
    return WholeFactorMeans(bgr, matching_size, bgr.cols / matching_size.width,
                            bgr.rows / matching_size.height);
  cv::Mat matching;
  cv::resize(bgr, matching, matching_size, 0, 0, shrinks ? cv::INTER_AREA : cv::INTER_LINEAR);
  return matching;
}

void CellFeature(const cv::Mat& matching, int cx, int cy, int mx, int my, std::vector<int>& query) {
  query.assign(static_cast<std::size_t>(mx < 0 ? 0 : mx) * (my < 0 ? 0 : my) * 3, 0);
  if (matching.type() != CV_8UC3) return;
  std::size_t j = 0;
  for (int y = 0; y < my; ++y) {
    const std::int64_t row = static_cast<std::int64_t>(cy) * my + y;
    for (int x = 0; x < mx; ++x, j += 3) {
      const std::int64_t col = static_cast<std::int64_t>(cx) * mx + x;
      if (row < 0 || row >= matching.rows || col < 0 || col >= matching.cols) continue;
      const cv::Vec3b& pixel = matching.at<cv::Vec3b>(static_cast<int>(row), static_cast<int>(col));
      query[j] = pixel[2];
      query[j + 1] = pixel[1];
      query[j + 2] = pixel[0];
    }
  }
}

}  // namespace tessaline
