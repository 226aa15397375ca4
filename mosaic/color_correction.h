#pragma once
// Colour correction moves every pixel of a tile toward the mean colour of
// the target under its cell, by a share c in [0, 1]: c = 0 keeps the tile,
// c = 1 paints the cell flat. The share is quantised to 1/256 so that the
// blend is exact integer arithmetic: the GLSL pass reproduces it in floats
// (every intermediate value is an integer below 2^24) and the GPU output
// equals the CPU output byte for byte.

#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

namespace tessaline {

// The share `c` clamped to [0, 1]; a NaN share counts as 0. Every place that
// takes a share from outside (the engine, the view's slider) goes through it.
double ColorShare(double c);

// The blend weight of share `c`: round(ColorShare(c) × 256).
int ColorWeight(double c);

// (p × (256 − w) + m × w + 128) / 256, rounded down: the corrected channel.
inline std::uint8_t BlendChannel(std::uint8_t p, std::uint8_t m, int w) {
  return static_cast<std::uint8_t>((p * (256 - w) + m * w + 128) >> 8);
}

// Corrects a CV_8UC3 picture (or a part of one) toward `mean` in place.
void BlendTowards(cv::Mat& pixels, const cv::Vec3b& mean, int w);

// The rounded mean colour of each cell of a div_x × div_y grid of
// cell_w × cell_h cells over `target` (CV_8UC3), row-major. A cell reaching
// past the picture's edge is averaged over its part inside; a cell wholly
// outside it is black.
std::vector<cv::Vec3b> CellMeanColors(const cv::Mat& target, int div_x, int div_y, int cell_w,
                                      int cell_h);

}  // namespace tessaline
