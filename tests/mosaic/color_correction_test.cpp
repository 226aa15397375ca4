#include "mosaic/color_correction.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tessaline {
namespace {

TEST(ColorCorrection, WeightsAndBlendsMeetTheEnds) {
  EXPECT_EQ(ColorWeight(0.0), 0);
  EXPECT_EQ(ColorWeight(1.0), 256);
  EXPECT_EQ(ColorWeight(0.3), 77);
  EXPECT_EQ(ColorWeight(-2.0), 0);
  EXPECT_EQ(ColorWeight(7.0), 256);
  EXPECT_EQ(ColorWeight(std::nan("")), 0);
  for (int p : {0, 1, 127, 254, 255}) {
    for (int m : {0, 128, 255}) {
      const auto P = static_cast<std::uint8_t>(p), M = static_cast<std::uint8_t>(m);
      EXPECT_EQ(BlendChannel(P, M, 0), p);
      EXPECT_EQ(BlendChannel(P, M, 256), m);
      const int half = BlendChannel(P, M, 128);
      EXPECT_LE(std::abs(2 * half - p - m), 1) << p << " " << m;
    }
  }
}

TEST(ColorCorrection, CellMeansCoverPartialAndMissingCells) {
  cv::Mat target(5, 7, CV_8UC3, cv::Scalar(10, 20, 30));
  target(cv::Rect(4, 0, 3, 5)).setTo(cv::Scalar(200, 100, 0));
  // 4 × 4 cells: the right column is 3 pixels wide; the third row lies outside.
  const auto means = CellMeanColors(target, 2, 3, 4, 4);
  ASSERT_EQ(means.size(), 6u);
  EXPECT_EQ(means[0], cv::Vec3b(10, 20, 30));
  EXPECT_EQ(means[1], cv::Vec3b(200, 100, 0));
  EXPECT_EQ(means[3], cv::Vec3b(200, 100, 0));
  EXPECT_EQ(means[4], cv::Vec3b(0, 0, 0));
}

}  // namespace
}  // namespace tessaline
