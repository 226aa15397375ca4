#include "mosaic/stretched_means.h"

#include <algorithm>
#include <cmath>

namespace tessaline {
namespace {

// Per box: the first frame pixel it reads and its weights for that pixel
// and the following ones.
struct AxisWeights {
  std::vector<int> first;
  std::vector<int> begin;  // per box, and one past the last: start in `weights`
  std::vector<float> weights;
};

// The frame pixel that working pixel `p` is interpolated from, and the
// weight of the next one, as cv::resize's bilinear stretch takes them
// (pixel centres aligned, the edges clamped).
struct Tap {
  int pixel;
  double next;
};
Tap SourceTap(int p, double scale, int source) {
  const double s = (p + 0.5) * scale - 0.5;
  int pixel = static_cast<int>(std::floor(s));
  double next = s - pixel;
  if (pixel < 0) {
    pixel = 0;
    next = 0.0;
  }
  if (pixel >= source - 1) {
    pixel = source - 1;
    next = 0.0;
  }
  return {pixel, next};
}

bool MakeAxisWeights(int source, int working, const AxisBoxes& boxes, AxisWeights& axis) {
  if (source < 1 || working < 1 || boxes.count < 1 || !(boxes.step > 0.0) ||
      (boxes.count - 1) * boxes.step >= working)
    return false;
  const double scale = 1.0 / (static_cast<double>(working) / source);
  std::vector<double> taps;
  axis.begin.assign(1, 0);
  for (int b = 0; b < boxes.count; ++b) {
    const double lo = b * boxes.step;
    const double hi = std::min((b + 1) * boxes.step, static_cast<double>(working));
    const int p0 = static_cast<int>(std::floor(lo));
    const int p1 = static_cast<int>(std::ceil(hi));  // working pixels [p0, p1)
    const int first = SourceTap(p0, scale, source).pixel;
    const int last = std::min(SourceTap(p1 - 1, scale, source).pixel + 1, source - 1);
    taps.assign(static_cast<std::size_t>(last - first + 1), 0.0);
    for (int p = p0; p < p1; ++p) {
      const double cover = std::min(hi, p + 1.0) - std::max(lo, static_cast<double>(p));
      const Tap tap = SourceTap(p, scale, source);
      taps[static_cast<std::size_t>(tap.pixel - first)] += cover * (1.0 - tap.next);
      if (tap.next > 0.0) taps[static_cast<std::size_t>(tap.pixel + 1 - first)] += cover * tap.next;
    }
    axis.first.push_back(first);
    for (double tap : taps) axis.weights.push_back(static_cast<float>(tap / (hi - lo)));
    axis.begin.push_back(static_cast<int>(axis.weights.size()));
  }
  return true;
}

// Row y of the frame as the weighted sums of each x box, 3 floats a box.
void SumRow(const cv::Mat& frame, int y, const AxisWeights& x, float* out) {
  const std::uint8_t* row = frame.ptr<std::uint8_t>(y);
  for (std::size_t b = 0; b + 1 < x.begin.size(); ++b, out += 3) {
    const std::uint8_t* pixel = row + 3 * x.first[b];
    float sum[3] = {0.0f, 0.0f, 0.0f};
    for (int k = x.begin[b]; k < x.begin[b + 1]; ++k, pixel += 3) {
      const float w = x.weights[static_cast<std::size_t>(k)];
      sum[0] += w * pixel[0];
      sum[1] += w * pixel[1];
      sum[2] += w * pixel[2];
    }
    std::copy(sum, sum + 3, out);
  }
}

}  // namespace

AxisBoxes ResizeBoxes(int working, int count) {
  return {count, count > 0 ? static_cast<double>(working) / count : 1.0};
}

AxisBoxes CellBoxes(int count, int cell) { return {count, static_cast<double>(cell)}; }

cv::Mat StretchedAreaMeans(const cv::Mat& frame, cv::Size working, const AxisBoxes& x,
                           const AxisBoxes& y) {
  AxisWeights wx;
  AxisWeights wy;
  if (frame.empty() || frame.type() != CV_8UC3 ||
      !MakeAxisWeights(frame.cols, working.width, x, wx) ||
      !MakeAxisWeights(frame.rows, working.height, y, wy))
    return cv::Mat();
  // The frame rows the boxes read, each summed across once.
  const int top = wy.first.front();
  const int bottom = wy.first.back() + (wy.begin.back() - wy.begin[wy.begin.size() - 2]);
  const std::size_t width = static_cast<std::size_t>(x.count) * 3;
  std::vector<float> rows(static_cast<std::size_t>(bottom - top) * width);
  for (int r = top; r < bottom; ++r) SumRow(frame, r, wx, &rows[(r - top) * width]);
  cv::Mat means(y.count, x.count, CV_8UC3);
  std::vector<float> sum(width);
  for (int b = 0; b < y.count; ++b) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    const float* row = &rows[(wy.first[static_cast<std::size_t>(b)] - top) * width];
    for (int k = wy.begin[static_cast<std::size_t>(b)];
         k < wy.begin[static_cast<std::size_t>(b) + 1]; ++k, row += width) {
      const float w = wy.weights[static_cast<std::size_t>(k)];
      for (std::size_t i = 0; i < width; ++i) sum[i] += w * row[i];
    }
    std::uint8_t* out = means.ptr<std::uint8_t>(b);
    for (std::size_t i = 0; i < width; ++i) out[i] = cv::saturate_cast<std::uint8_t>(sum[i]);
  }
  return means;
}

std::vector<cv::Vec3b> StretchedCellMeans(const cv::Mat& frame, cv::Size working,
                                          const AxisBoxes& x, const AxisBoxes& y) {
  const cv::Mat means = StretchedAreaMeans(frame, working, x, y);
  if (means.empty()) return {};
  return std::vector<cv::Vec3b>(means.begin<cv::Vec3b>(), means.end<cv::Vec3b>());
}

}  // namespace tessaline
