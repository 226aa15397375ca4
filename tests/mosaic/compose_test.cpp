#include "mosaic/compose.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace tessaline {
namespace {

// Tiles of sw × sh pixels whose every pixel tells its tile and position:
// blue = tile, green = 10 × x + 1, red = 10 × y + 2 (no two pixels alike, no
// symmetry), so a flip, an offset or a wrong tile shows.
SubImageStore NumberedTiles(int count, int sw, int sh) {
  SubImageStore store;
  store.Reset(sw, sh);
  for (int t = 0; t < count; ++t) {
    cv::Mat tile(sh, sw, CV_8UC3);
    for (int y = 0; y < sh; ++y)
      for (int x = 0; x < sw; ++x)
        tile.at<cv::Vec3b>(y, x) =
            cv::Vec3b(static_cast<unsigned char>(t), static_cast<unsigned char>(10 * x + 1),
                      static_cast<unsigned char>(10 * y + 2));
    store.Add(tile);
  }
  return store;
}

// The pixel that NumberedTiles gives tile t at (x, y).
cv::Vec3b TilePixel(int t, int x, int y) {
  return cv::Vec3b(static_cast<unsigned char>(t), static_cast<unsigned char>(10 * x + 1),
                   static_cast<unsigned char>(10 * y + 2));
}

TEST(ComposeMosaic, PlacesEachTileInItsCell) {
  // 2 × 2 cells of 3 × 2 pixels, tiles 2 1 / 0 2.
  const cv::Mat out = ComposeMosaic(NumberedTiles(3, 3, 2), {2, 1, 0, 2}, 2, 2, 6, 4);
  ASSERT_EQ(out.type(), CV_8UC3);
  ASSERT_EQ(out.size(), cv::Size(6, 4));
  EXPECT_EQ(out.at<cv::Vec3b>(0, 0), TilePixel(2, 0, 0));
  EXPECT_EQ(out.at<cv::Vec3b>(1, 2), TilePixel(2, 2, 1));
  EXPECT_EQ(out.at<cv::Vec3b>(0, 3), TilePixel(1, 0, 0));
  EXPECT_EQ(out.at<cv::Vec3b>(1, 5), TilePixel(1, 2, 1));
  EXPECT_EQ(out.at<cv::Vec3b>(2, 1), TilePixel(0, 1, 0));
  EXPECT_EQ(out.at<cv::Vec3b>(3, 4), TilePixel(2, 1, 1));
}

TEST(ComposeMosaic, FindsTilePixelsAsTheSynthesisPassDoes) {
  // 16 × 9 tiles: output pixel (20, 10) lies in cell (1, 1) at tile pixel (4, 1).
  std::vector<int> assignment(4 * 3, 0);
  assignment[1 + 1 * 4] = 3;
  const cv::Mat out = ComposeMosaic(NumberedTiles(4, 16, 9), assignment, 4, 3, 64, 27);
  EXPECT_EQ(out.at<cv::Vec3b>(10, 20), TilePixel(3, 4, 1));
}

TEST(ComposeMosaic, RepeatsTheLastCellsTileBeyondTheGrid) {
  // 7 × 5 tiles in 100 × 52: 14 × 10 whole cells, then 2 more columns and
  // 2 more rows that show the first columns and rows of the last cells.
  std::vector<int> assignment(14 * 10);
  for (int i = 0; i < 140; ++i) assignment[i] = i % 6;
  const cv::Mat out = ComposeMosaic(NumberedTiles(6, 7, 5), assignment, 14, 10, 100, 52);
  ASSERT_EQ(out.size(), cv::Size(100, 52));
  const int last_col_tile = assignment[13 + 4 * 14];
  const int corner_tile = assignment[13 + 9 * 14];
  const int bottom_tile = assignment[2 + 9 * 14];
  EXPECT_EQ(out.at<cv::Vec3b>(22, 97), TilePixel(last_col_tile, 6, 2));
  EXPECT_EQ(out.at<cv::Vec3b>(22, 98), TilePixel(last_col_tile, 0, 2));
  EXPECT_EQ(out.at<cv::Vec3b>(22, 99), TilePixel(last_col_tile, 1, 2));
  EXPECT_EQ(out.at<cv::Vec3b>(50, 15), TilePixel(bottom_tile, 1, 0));
  EXPECT_EQ(out.at<cv::Vec3b>(51, 99), TilePixel(corner_tile, 1, 1));
}

TEST(ComposeMosaic, ShowsIndicesAsTheCellTableCarriesThem) {
  struct Row {
    int assigned;
    int shown;
  };
  // Three tiles: past the end shows the last, negative shows tile 0, and
  // indices wrap at 2^24 like the table's three bytes.
  const Row rows[] = {{1, 1}, {3, 2}, {99, 2}, {-4, 0}, {16777216 + 1, 1}, {16777215, 2}};
  const SubImageStore tiles = NumberedTiles(3, 2, 3);
  for (const Row& row : rows) {
    const cv::Mat out = ComposeMosaic(tiles, {0, row.assigned}, 2, 1, 4, 3);
    EXPECT_EQ(out.at<cv::Vec3b>(2, 3), TilePixel(row.shown, 1, 2)) << row.assigned;
    EXPECT_EQ(out.at<cv::Vec3b>(2, 1), TilePixel(0, 1, 2)) << row.assigned;
  }
  // Cells the assignment does not reach read as tile 0.
  const cv::Mat short_assignment = ComposeMosaic(tiles, {2}, 2, 1, 4, 3);
  EXPECT_EQ(short_assignment.at<cv::Vec3b>(0, 0), TilePixel(2, 0, 0));
  EXPECT_EQ(short_assignment.at<cv::Vec3b>(0, 2), TilePixel(0, 0, 0));
}

// Every pixel against a direct reading of the rule, for sizes that are and
// are not multiples of the tile size and for several thread counts.
TEST(ComposeMosaic, MatchesThePixelRuleEverywhere) {
  struct Case {
    int sw, sh, div_x, div_y, image_w, image_h, workers;
  };
  const Case cases[] = {{7, 5, 14, 10, 100, 52, 2}, {7, 5, 14, 10, 98, 50, 1},
                        {3, 4, 5, 3, 16, 13, 3},    {4, 4, 2, 2, 13, 11, 2},
                        {5, 3, 9, 9, 20, 7, 2},     {2, 2, 3, 3, 6, 1, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.image_w << " x " << c.image_h);
    std::vector<int> assignment(static_cast<std::size_t>(c.div_x) * c.div_y);
    for (std::size_t i = 0; i < assignment.size(); ++i)
      assignment[i] = static_cast<int>(i * 7 % 11);
    const cv::Mat out = ComposeMosaic(NumberedTiles(11, c.sw, c.sh), assignment, c.div_x, c.div_y,
                                      c.image_w, c.image_h, c.workers);
    ASSERT_EQ(out.size(), cv::Size(c.image_w, c.image_h));
    for (int y = 0; y < c.image_h; ++y)
      for (int x = 0; x < c.image_w; ++x) {
        const int mx = x / c.sw, my = y / c.sh;
        const int cell = std::min(mx, c.div_x - 1) + std::min(my, c.div_y - 1) * c.div_x;
        ASSERT_EQ(out.at<cv::Vec3b>(y, x),
                  TilePixel(assignment[cell], x - mx * c.sw, y - my * c.sh))
            << "pixel " << x << ", " << y;
      }
  }
}

TEST(ComposeMosaic, FullColourCorrectionPaintsEachCellItsMean) {
  // 7 × 5 tiles in 100 × 52: the 2 columns and rows past the last whole
  // cells take the last cells' means, as they take their tiles.
  std::vector<int> assignment(14 * 10);
  CellTint tint;
  tint.weight = 256;
  for (int i = 0; i < 140; ++i) {
    assignment[i] = i % 6;
    tint.means.emplace_back(static_cast<unsigned char>(i), static_cast<unsigned char>(255 - i),
                            static_cast<unsigned char>(3 * i));
  }
  const cv::Mat out = ComposeMosaic(NumberedTiles(6, 7, 5), assignment, 14, 10, 100, 52, 2, tint);
  ASSERT_EQ(out.size(), cv::Size(100, 52));
  for (int y = 0; y < out.rows; ++y) {
    for (int x = 0; x < out.cols; ++x) {
      const int cell = std::min(x / 7, 13) + std::min(y / 5, 9) * 14;
      ASSERT_EQ(out.at<cv::Vec3b>(y, x), tint.means[cell]) << x << ", " << y;
    }
  }
}

TEST(ComposeMosaic, DegenerateInputsGiveEmptyOrBlackPictures) {
  const SubImageStore tiles = NumberedTiles(2, 3, 3);
  EXPECT_TRUE(ComposeMosaic(tiles, {0}, 1, 1, 0, 5).empty());
  EXPECT_TRUE(ComposeMosaic(tiles, {0}, 1, 1, 5, -1).empty());
  const cv::Mat no_tiles = ComposeMosaic(NumberedTiles(0, 3, 3), {0}, 1, 1, 4, 2);
  ASSERT_EQ(no_tiles.size(), cv::Size(4, 2));
  EXPECT_EQ(cv::countNonZero(no_tiles.reshape(1)), 0);
  const cv::Mat no_cells = ComposeMosaic(tiles, {}, 0, 3, 4, 2);
  ASSERT_EQ(no_cells.size(), cv::Size(4, 2));
  EXPECT_EQ(cv::countNonZero(no_cells.reshape(1)), 0);
  // A grid far larger than the picture only reads the cells it shows.
  const cv::Mat huge_grid = ComposeMosaic(tiles, {1}, 1 << 30, 1 << 30, 4, 2);
  EXPECT_EQ(huge_grid.at<cv::Vec3b>(1, 1), TilePixel(1, 1, 1));
  EXPECT_EQ(huge_grid.at<cv::Vec3b>(1, 3), TilePixel(0, 0, 1));
}

}  // namespace
}  // namespace tessaline
