#pragma once
// Photo-like colour features for the matching benchmarks: most pictures are
// dull, near the grey axis, in a few dozen clusters of scenes (skies,
// foliage, skin, night), with some exact duplicates; a target is a smooth
// picture with colours drawn the same way. Uniform features would flatter
// every index and every assignment.

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <random>
#include <vector>

#include "library/feature.h"

namespace tessaline {

// A mosaic of 14,400 cells (3840 × 2160 at 32 × 18) with a 2 × 2 feature
// grid.
constexpr int kDivX = 120, kDivY = 120, kMx = 2, kMy = 2, kDim = kMx * kMy * 3;

inline unsigned char FeatureByte(double v) {
  return static_cast<unsigned char>(std::clamp(v, 0.0, 255.0));
}

// Colour centres of the scene clusters: brightness spread, colourfulness
// mostly low.
inline std::vector<cv::Vec3d> ClusterCentres(std::mt19937& random, int count) {
  std::uniform_real_distribution<double> unit(0, 1);
  std::normal_distribution<double> tint(0, 1);
  std::vector<cv::Vec3d> centres;
  for (int i = 0; i < count; ++i) {
    const double grey = 20 + 210 * unit(random) * unit(random) + 20 * unit(random);
    const double colourful = 45 * unit(random) * unit(random);
    centres.emplace_back(grey + colourful * tint(random), grey + colourful * tint(random),
                         grey + colourful * tint(random));
  }
  return centres;
}

inline cv::Vec3d PhotoColour(std::mt19937& random, const std::vector<cv::Vec3d>& centres) {
  std::normal_distribution<double> spread(0, 14);
  const cv::Vec3d& c = centres[random() % centres.size()];
  const double shade = spread(random);
  return {c[0] + shade + spread(random) / 2, c[1] + shade + spread(random) / 2,
          c[2] + shade + spread(random) / 2};
}

inline std::vector<ColourFeature> PhotoFeatures(std::mt19937& random,
                                                const std::vector<cv::Vec3d>& centres, int n) {
  std::normal_distribution<double> slope(0, 8), noise(0, 2);
  std::vector<ColourFeature> features(n, ColourFeature(kDim));
  for (int i = 0; i < n; ++i) {
    if (i > 0 && random() % 50 == 0) {  // the same picture twice
      features[i] = features[random() % i];
      continue;
    }
    const cv::Vec3d base = PhotoColour(random, centres);
    const double sx = slope(random), sy = slope(random);
    for (int y = 0, j = 0; y < kMy; ++y)
      for (int x = 0; x < kMx; ++x)
        for (int c = 0; c < 3; ++c, ++j)
          features[i][j] = FeatureByte(base[c] + sx * (x - 0.5) + sy * (y - 0.5) + noise(random));
  }
  return features;
}

// A smooth picture: a coarse grid of photo colours, enlarged, at the
// matching image's size (one pixel per feature sub-cell, BGR).
inline cv::Mat PhotoMatchingImage(std::mt19937& random, const std::vector<cv::Vec3d>& centres) {
  cv::Mat coarse(12, 12, CV_8UC3);
  for (int y = 0; y < coarse.rows; ++y)
    for (int x = 0; x < coarse.cols; ++x) {
      const cv::Vec3d rgb = PhotoColour(random, centres);
      coarse.at<cv::Vec3b>(y, x) =
          cv::Vec3b(FeatureByte(rgb[2]), FeatureByte(rgb[1]), FeatureByte(rgb[0]));
    }
  cv::Mat image;
  cv::resize(coarse, image, cv::Size(kDivX * kMx, kDivY * kMy), 0, 0, cv::INTER_CUBIC);
  return image;
}

}  // namespace tessaline
