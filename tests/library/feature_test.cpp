#include "library/feature.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <random>
#include <vector>

namespace tessaline {
namespace {

using Row = std::vector<cv::Vec3b>;  // one picture row, each pixel blue, green, red

cv::Mat PictureFromRows(const std::vector<Row>& rows) {
  cv::Mat picture(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()), CV_8UC3);
  for (int r = 0; r < picture.rows; ++r)
    for (int c = 0; c < picture.cols; ++c) picture.at<cv::Vec3b>(r, c) = rows[r][c];
  return picture;
}

// Pixel (column c, row r) from a formula per channel.
template <typename F>
cv::Mat PictureFromFormula(int width, int height, F bgr_of) {
  cv::Mat picture(height, width, CV_8UC3);
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) picture.at<cv::Vec3b>(r, c) = bgr_of(c, r);
  return picture;
}

// Truncated red, green, blue means of a region from OpenCV's channel sums,
// which are exact for 8-bit pictures of this size.
ColourFeature SumMeanRgb(const cv::Mat& region) {
  const cv::Scalar sum = cv::sum(region);
  const std::int64_t n = static_cast<std::int64_t>(region.total());
  ColourFeature rgb;
  for (int channel : {2, 1, 0})
    rgb.push_back(static_cast<unsigned char>(static_cast<std::int64_t>(sum[channel]) / n));
  return rgb;
}

TEST(TileFeature, OneSubCellIsTheTruncatedMeanColourInRedGreenBlueOrder) {
  // Blue sums to 211, green to 1, red to 22 over 6 pixels.
  const cv::Mat picture =
      PictureFromRows({{{10, 0, 1}, {20, 0, 2}, {30, 0, 3}}, {{40, 0, 4}, {50, 0, 5}, {61, 1, 7}}});
  EXPECT_EQ(ComputeTileFeature(picture, 1, 1), (ColourFeature{3, 0, 35}));
}

TEST(TileFeature, UniformPictureKeepsItsExactValue) {
  // 7 × 7 = 49 pixels: a floating mean of 49 × (1 / 49) falls just below 1.
  struct Case {
    int width, height;
    cv::Vec3b bgr;
  };
  for (const Case& c : {Case{7, 7, {1, 1, 1}}, Case{7, 7, {3, 2, 255}}, Case{49, 1, {7, 9, 11}},
                        Case{1, 1, {255, 0, 128}}}) {
    const cv::Mat picture(c.height, c.width, CV_8UC3, cv::Scalar(c.bgr[0], c.bgr[1], c.bgr[2]));
    EXPECT_EQ(ComputeTileFeature(picture, 1, 1), (ColourFeature{c.bgr[2], c.bgr[1], c.bgr[0]}))
        << c.width << " x " << c.height;
  }
}

TEST(TileFeature, LastColumnAndRowOfAFiveByThreePictureAreIgnored) {
  // Sub-cells are 2 × 1 pixels; the white column 4 and row 2 must not count.
  const cv::Vec3b w{255, 255, 255};
  const cv::Mat picture =
      PictureFromRows({{{0, 10, 100}, {1, 11, 103}, {2, 20, 50}, {4, 21, 51}, w},
                       {{6, 30, 7}, {9, 31, 8}, {100, 200, 0}, {101, 200, 1}, w},
                       {w, w, w, w, w}});
  EXPECT_EQ(ComputeTileFeature(picture, 2, 2),
            (ColourFeature{101, 10, 0, 50, 20, 3, 7, 30, 7, 0, 200, 100}));
}

TEST(TileFeature, GridRowsAreOuterAndColumnsInner) {
  // red = 10 × column + 100 × row, green = column, blue = row.
  const cv::Mat picture = PictureFromFormula(3, 3, [](int c, int r) {
    return cv::Vec3b(static_cast<uchar>(r), static_cast<uchar>(c),
                     static_cast<uchar>(10 * c + 100 * r));
  });
  EXPECT_EQ(ComputeTileFeature(picture, 3, 1), (ColourFeature{100, 0, 1, 110, 1, 1, 120, 2, 1}));
  EXPECT_EQ(ComputeTileFeature(picture, 1, 3), (ColourFeature{10, 1, 0, 110, 1, 1, 210, 1, 2}));
}

TEST(TileFeature, MatchesChannelSumsOfEachSubCellOfARandomPicture) {
  std::mt19937 random(7);
  cv::Mat picture(23, 37, CV_8UC3);
  for (auto it = picture.begin<cv::Vec3b>(); it != picture.end<cv::Vec3b>(); ++it)
    *it = cv::Vec3b(random() % 256, random() % 256, random() % 256);
  struct Grid {
    int mx, my;
  };
  for (const Grid g : {Grid{1, 1}, Grid{2, 2}, Grid{3, 2}, Grid{4, 5}}) {
    const int cw = picture.cols / g.mx, ch = picture.rows / g.my;
    ColourFeature expected;
    for (int y = 0; y < g.my; ++y)
      for (int x = 0; x < g.mx; ++x) {
        const ColourFeature rgb = SumMeanRgb(picture(cv::Rect(x * cw, y * ch, cw, ch)));
        expected.insert(expected.end(), rgb.begin(), rgb.end());
      }
    EXPECT_EQ(ComputeTileFeature(picture, g.mx, g.my), expected) << g.mx << " x " << g.my;
  }
}

TEST(TileFeature, PicturesSmallerThanTheGridUseTheNearestPixel) {
  // Zero-size sub-cells take column x × W div MX (row y × H div MY).
  struct Case {
    const char* name;
    cv::Mat picture;
    int mx, my;
    ColourFeature expected;
  };
  const cv::Vec3b w{255, 255, 255};
  const std::vector<Case> cases = {
      {"1x1 on 2x2", PictureFromRows({{{5, 6, 7}}}), 2, 2, {7, 6, 5, 7, 6, 5, 7, 6, 5, 7, 6, 5}},
      {"3x1 on 4x2",  // columns 0, 0, 1, 2 on both grid rows
       PictureFromRows({{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}}),
       4,
       2,
       {3, 2, 1, 3, 2, 1, 6, 5, 4, 9, 8, 7, 3, 2, 1, 3, 2, 1, 6, 5, 4, 9, 8, 7}},
      {"2x5 on 4x2",  // columns 0, 0, 1, 1; rows 0-1 and 2-3 averaged; row 4 unused
       PictureFromRows({{{0, 0, 0}, {0, 1, 10}},
                        {{1, 0, 20}, {1, 1, 30}},
                        {{2, 0, 40}, {2, 1, 50}},
                        {{3, 0, 60}, {3, 1, 70}},
                        {w, w}}),
       4,
       2,
       {10, 0, 0, 10, 0, 0, 20, 1, 0, 20, 1, 0, 50, 0, 2, 50, 0, 2, 60, 1, 2, 60, 1, 2}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ComputeTileFeature(c.picture, c.mx, c.my), c.expected) << c.name;
}

TEST(TileFeature, UnusualPicturesGiveADefinedFeature) {
  const cv::Mat grey = (cv::Mat_<uchar>(1, 2) << 10, 30);
  const cv::Mat bgra(1, 1, CV_8UC4, cv::Scalar(1, 2, 3, 200));
  const cv::Mat deep(2, 2, CV_16UC3, cv::Scalar(1000, 1000, 1000));
  EXPECT_EQ(ComputeTileFeature(cv::Mat(), 2, 2), ColourFeature(12, 0));
  EXPECT_EQ(ComputeTileFeature(deep, 1, 1), ColourFeature(3, 0));
  EXPECT_EQ(ComputeTileFeature(grey, 1, 1), (ColourFeature{20, 20, 20}));
  EXPECT_EQ(ComputeTileFeature(bgra, 1, 1), (ColourFeature{3, 2, 1}));
  EXPECT_TRUE(ComputeTileFeature(grey, 0, 2).empty());
  EXPECT_TRUE(ComputeTileFeature(grey, 2, -1).empty());
}

TEST(MatchingImage, HasTheRequestedSizeAndThreeChannels) {
  const cv::Mat target(23, 37, CV_8UC3, cv::Scalar(1, 2, 3));
  const cv::Mat matching = MakeMatchingImage(target, cv::Size(8, 6));
  EXPECT_EQ(matching.cols, 8);
  EXPECT_EQ(matching.rows, 6);
  EXPECT_EQ(matching.type(), CV_8UC3);
  const cv::Mat from_grey =
      MakeMatchingImage(cv::Mat(5, 5, CV_8UC1, cv::Scalar(90)), cv::Size(2, 3));
  ASSERT_EQ(from_grey.type(), CV_8UC3);
  EXPECT_EQ(from_grey.at<cv::Vec3b>(2, 1), cv::Vec3b(90, 90, 90));
}

TEST(MatchingImage, UniformPictureStaysUniform) {
  const cv::Mat target(30, 40, CV_8UC3, cv::Scalar(12, 34, 56));
  const cv::Mat matching = MakeMatchingImage(target, cv::Size(7, 5));
  for (auto it = matching.begin<cv::Vec3b>(); it != matching.end<cv::Vec3b>(); ++it)
    ASSERT_EQ(*it, cv::Vec3b(12, 34, 56));
}

TEST(MatchingImage, KeepsQuadrantsInPlace) {
  // Quadrants green, blue / red, white; in a 4 times smaller picture each
  // pixel is the mean of one quadrant.
  const cv::Mat target = PictureFromFormula(8, 8, [](int c, int r) {
    if (r < 4) return c < 4 ? cv::Vec3b(0, 255, 0) : cv::Vec3b(255, 0, 0);
    return c < 4 ? cv::Vec3b(0, 0, 255) : cv::Vec3b(255, 255, 255);
  });
  const cv::Mat matching = MakeMatchingImage(target, cv::Size(2, 2));
  EXPECT_EQ(matching.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 255, 0));
  EXPECT_EQ(matching.at<cv::Vec3b>(0, 1), cv::Vec3b(255, 0, 0));
  EXPECT_EQ(matching.at<cv::Vec3b>(1, 0), cv::Vec3b(0, 0, 255));
  EXPECT_EQ(matching.at<cv::Vec3b>(1, 1), cv::Vec3b(255, 255, 255));
}

TEST(MatchingImage, ShrinkingGivesEachSubCellItsMean) {
  // Sub-cells 16 pixels wide, black with a white stripe of four columns in
  // the middle: each is a dark grey (64), as its tile feature would say, not
  // the white a resize sampling the sub-cell's centre would see.
  const cv::Mat target = PictureFromFormula(64, 36, [](int c, int) {
    return c % 16 >= 6 && c % 16 < 10 ? cv::Vec3b(255, 255, 255) : cv::Vec3b(0, 0, 0);
  });
  const cv::Mat matching = MakeMatchingImage(target, cv::Size(4, 2));
  for (auto it = matching.begin<cv::Vec3b>(); it != matching.end<cv::Vec3b>(); ++it)
    ASSERT_NEAR((*it)[1], 64, 1);
}

TEST(MatchingImage, WholeFactorsGiveOpenCvsAreaMeans) {
  // Shrinking by whole factors takes a path of its own; it must give what
  // the general area resize gives (up to rounding), factors of 1 included.
  cv::Mat target(54, 96, CV_8UC3);
  cv::randu(target, 0, 256);
  for (const cv::Size size : {cv::Size(12, 6), cv::Size(96, 2), cv::Size(1, 54), cv::Size(32, 27)}) {
    cv::Mat expected;
    cv::resize(target, expected, size, 0, 0, cv::INTER_AREA);
    EXPECT_LE(cv::norm(MakeMatchingImage(target, size), expected, cv::NORM_INF), 1) << size;
  }
}

TEST(MatchingImage, EmptyTargetOrSizeGivesNothing) {
  EXPECT_TRUE(MakeMatchingImage(cv::Mat(), cv::Size(4, 4)).empty());
  EXPECT_TRUE(MakeMatchingImage(cv::Mat(4, 4, CV_8UC3), cv::Size(0, 4)).empty());
  EXPECT_TRUE(MakeMatchingImage(cv::Mat(4, 4, CV_8UC3), cv::Size(4, -1)).empty());
}

// red = 100 + 10 × column + row, green = 50 + column, blue = column + 10 × row.
cv::Mat NumberedMatchingImage(int width, int height) {
  return PictureFromFormula(width, height, [](int c, int r) {
    return cv::Vec3b(static_cast<uchar>(c + 10 * r), static_cast<uchar>(50 + c),
                     static_cast<uchar>(100 + 10 * c + r));
  });
}

TEST(CellFeature, ReadsTheCellsPixelBlockRowsOuterInRedGreenBlue) {
  const cv::Mat matching = NumberedMatchingImage(4, 2);  // 2 × 1 cells of 2 × 2
  std::vector<int> query(5, 99);
  CellFeature(matching, 0, 0, 2, 2, query);  // pixels (0,0), (1,0), (0,1), (1,1)
  EXPECT_EQ(query, (std::vector<int>{100, 50, 0, 110, 51, 1, 101, 50, 10, 111, 51, 11}));
  CellFeature(matching, 1, 0, 2, 2, query);  // pixels (2,0), (3,0), (2,1), (3,1)
  EXPECT_EQ(query, (std::vector<int>{120, 52, 2, 130, 53, 3, 121, 52, 12, 131, 53, 13}));
}

TEST(CellFeature, UsesTheGridWidthForColumnsAndHeightForRows) {
  const cv::Mat matching = NumberedMatchingImage(6, 2);  // 2 × 2 cells of 3 × 1
  std::vector<int> query;
  CellFeature(matching, 1, 1, 3, 1, query);  // pixels (3,1), (4,1), (5,1)
  EXPECT_EQ(query, (std::vector<int>{131, 53, 13, 141, 54, 14, 151, 55, 15}));
}

TEST(CellFeature, CellsOutsideTheImageReadAsZero) {
  const cv::Mat matching = NumberedMatchingImage(4, 2);
  std::vector<int> query;
  for (const cv::Point cell : {cv::Point(2, 0), cv::Point(0, 1), cv::Point(-1, 0)}) {
    CellFeature(matching, cell.x, cell.y, 2, 2, query);
    EXPECT_EQ(query, std::vector<int>(12, 0)) << cell;
  }
  CellFeature(cv::Mat(), 0, 0, 1, 1, query);
  EXPECT_EQ(query, std::vector<int>(3, 0));
}

}  // namespace
}  // namespace tessaline
