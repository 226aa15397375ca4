#pragma once
// Photo-like tile thumbnails for the benchmarks: a base colour with a gentle
// slope and a little noise, so features cluster the way real libraries do.

#include <opencv2/core.hpp>

#include <algorithm>
#include <random>

namespace tessaline {

inline cv::Mat MakeSyntheticThumbnail(std::mt19937& random, int width, int height) {
  std::uniform_real_distribution<double> byte(0, 255), slope(-1.5, 1.5);
  std::normal_distribution<double> noise(0, 6);
  const double base[3] = {byte(random), byte(random), byte(random)};
  const double sx = slope(random), sy = slope(random);
  cv::Mat tile(height, width, CV_8UC3);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < 3; ++c)
        tile.at<cv::Vec3b>(y, x)[c] = static_cast<unsigned char>(
            std::clamp(base[c] + sx * x + sy * y + noise(random), 0.0, 255.0));
  return tile;
}

}  // namespace tessaline
