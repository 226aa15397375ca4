#include "bench/fidelity_metrics.h"

#include <gtest/gtest.h>

namespace tessaline {
namespace {

cv::Mat Flat(int w, int h, cv::Vec3b bgr) { return cv::Mat(h, w, CV_8UC3, cv::Scalar(bgr)); }

TEST(FidelityMetrics, DeltaEMatchesHandComputedCielabDistances) {
  struct Case {
    const char* name;
    cv::Vec3b a, b;
    double delta_e;
  };
  // L*a*b* of sRGB under D65: white (100, 0, 0), black (0, 0, 0), grey 119
  // (50.03, 0, 0), red (53.24, 80.09, 67.20).
  const Case cases[] = {
      {"same", {10, 200, 30}, {10, 200, 30}, 0.0},
      {"white-black", {255, 255, 255}, {0, 0, 0}, 100.0},
      {"white-grey", {255, 255, 255}, {119, 119, 119}, 49.97},
      {"red-black", {0, 0, 255}, {0, 0, 0}, 117.32},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(MeanDeltaE76(Flat(3, 2, c.a), Flat(3, 2, c.b)), c.delta_e, 0.02) << c.name;
  }
  // A mean over pixels: one of two pixels differs by 100.
  cv::Mat half = Flat(2, 1, {0, 0, 0});
  half.at<cv::Vec3b>(0, 1) = {255, 255, 255};
  EXPECT_NEAR(MeanDeltaE76(half, Flat(2, 1, {0, 0, 0})), 50.0, 0.02);
}

TEST(FidelityMetrics, ReductionAveragesAreasPerCellAndDropsPartialCells) {
  // Two 8 x 6 cells plus a stray column and row that hold no whole cell.
  cv::Mat picture = Flat(17, 7, {0, 0, 0});
  picture(cv::Rect(0, 0, 4, 6)).setTo(cv::Scalar(200, 100, 40));  // left half of cell 0
  picture(cv::Rect(16, 0, 1, 7)).setTo(cv::Scalar(255, 255, 255));
  picture(cv::Rect(0, 6, 17, 1)).setTo(cv::Scalar(255, 255, 255));
  const CellGrid grid = GridOf(picture.cols, picture.rows, 8, 6);
  ASSERT_EQ(grid.cols, 2);
  ASSERT_EQ(grid.rows, 1);
  const cv::Mat reduced = ReduceToCells(picture, grid, 4);
  ASSERT_EQ(reduced.size(), cv::Size(8, 4));
  EXPECT_EQ(reduced.at<cv::Vec3b>(3, 1), cv::Vec3b(200, 100, 40));
  EXPECT_EQ(reduced.at<cv::Vec3b>(0, 2), cv::Vec3b(0, 0, 0));
  // The white edge must not bleed into the last reduced column or row.
  EXPECT_EQ(reduced.at<cv::Vec3b>(3, 7), cv::Vec3b(0, 0, 0));
}

TEST(FidelityMetrics, ReductionAveragesFineDetailRatherThanSamplingIt) {
  // Rows alternately black and white in 8 x 18 cells: 4.5 rows to a reduced
  // pixel, each of which must come out mid-grey; sampling between two rows
  // would give a quarter or three quarters of white.
  cv::Mat stripes = Flat(16, 18, {0, 0, 0});
  for (int y = 1; y < stripes.rows; y += 2) stripes.row(y).setTo(cv::Scalar::all(255));
  const cv::Mat reduced = ReduceToCells(stripes, GridOf(16, 18, 8, 18), 4);
  for (int y = 0; y < reduced.rows; ++y) {
    for (int x = 0; x < reduced.cols; ++x) {
      const int grey = reduced.at<cv::Vec3b>(y, x)[1];
      EXPECT_TRUE(grey >= 100 && grey <= 155) << x << "," << y << " : " << grey;
    }
  }
}

TEST(FidelityMetrics, DistinctCellsCountsDifferentTilesOnly) {
  // Tiles A B A / B C A: three tiles. C differs from A in its last pixel
  // only, so a count that skips a cell's last row or column misses it.
  const CellGrid grid = GridOf(9, 4, 3, 2);
  cv::Mat mosaic = Flat(9, 4, {10, 10, 10});
  const cv::Vec3b b(50, 60, 70);
  mosaic(cv::Rect(3, 0, 3, 2)).setTo(cv::Scalar(b));
  mosaic(cv::Rect(0, 2, 3, 2)).setTo(cv::Scalar(b));
  mosaic.at<cv::Vec3b>(3, 5) = {11, 10, 10};
  EXPECT_EQ(DistinctCells(mosaic, grid), 3u);
}

TEST(FidelityMetrics, ColorCorrectionBlendsEachCellTowardItsOwnTargetMean) {
  const CellGrid grid = GridOf(4, 2, 2, 2);
  const cv::Mat mosaic = Flat(4, 2, {200, 200, 200});
  cv::Mat target = Flat(4, 2, {100, 100, 100});
  target(cv::Rect(2, 0, 2, 2)).setTo(cv::Scalar(0, 0, 0));
  // c = 0.3 is a weight of 77: (200 * 179 + m * 77 + 128) >> 8.
  const cv::Mat corrected = ColorCorrected(mosaic, target, grid, 0.3);
  EXPECT_EQ(corrected.at<cv::Vec3b>(1, 1), cv::Vec3b(170, 170, 170));
  EXPECT_EQ(corrected.at<cv::Vec3b>(1, 2), cv::Vec3b(140, 140, 140));
  EXPECT_EQ(mosaic.at<cv::Vec3b>(0, 0), cv::Vec3b(200, 200, 200));
}

}  // namespace
}  // namespace tessaline
