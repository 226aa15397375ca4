#include "mosaic/geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace tessaline {
namespace {

struct GridRow {
  int image_w, image_h, sub_w, sub_h, mx, my;
  int div_x, div_y, matching_w, matching_h;
};

TEST(Geometry, CellGridAndMatchingSize) {
  const GridRow rows[] = {
      {3840, 2160, 32, 18, 2, 2, 120, 120, 240, 240},
      {3840, 2160, 48, 27, 2, 2, 80, 80, 160, 160},
      // 2160 div 32 = 67: the bottom 16 rows lie outside the grid.
      {3840, 2160, 64, 32, 2, 2, 60, 67, 120, 134},
      {3840, 2160, 32, 18, 3, 1, 120, 120, 360, 120},
      {100, 50, 7, 5, 1, 1, 14, 10, 14, 10},
      // A working image smaller than one tile has an empty grid.
      {16, 9, 32, 18, 2, 2, 0, 0, 0, 0},
  };
  for (const GridRow& r : rows) {
    const GridGeometry g = ComputeGrid(r.image_w, r.image_h, r.sub_w, r.sub_h, r.mx, r.my);
    SCOPED_TRACE(testing::Message()
                 << r.image_w << "x" << r.image_h << " / " << r.sub_w << "x" << r.sub_h);
    EXPECT_EQ(g.div_x, r.div_x);
    EXPECT_EQ(g.div_y, r.div_y);
    EXPECT_EQ(g.matching_w, r.matching_w);
    EXPECT_EQ(g.matching_h, r.matching_h);
  }
}

struct ParseRow {
  const char* text;
  std::vector<TileSize> sizes;
  int log_lines;  // one per skipped pair
};

TEST(Geometry, ParsesTileSizeLists) {
  const ParseRow rows[] = {
      {"32,18", {{32, 18}}, 0},
      {"16,9, 32,18, 48,27, 64,32", {{16, 9}, {32, 18}, {48, 27}, {64, 32}}, 0},
      {"\"16\",\"9\",32,18", {{16, 9}, {32, 18}}, 0},
      // Blanks around a token, as a hand-written setting keeps them.
      {"16 , 9 ,\t32,18 ", {{16, 9}, {32, 18}}, 0},
      {"+16,9", {{16, 9}}, 0},
      {"", {}, 0},
      // Malformed pairs are skipped, the good ones kept.
      {"abc,18, 32,18", {{32, 18}}, 1},
      {"3 2,18", {}, 1},  // a blank inside a number
      {"32,18,48", {{32, 18}}, 1},
      {"0,18, -4,3, 8,8", {{8, 8}}, 2},
      {"16,,32,18", {{32, 18}}, 1},
      {"1.5,2", {}, 1},
      {"99999999999,2", {}, 1},
  };
  for (const ParseRow& r : rows) {
    SCOPED_TRACE(r.text);
    std::vector<TileSize> sizes;
    std::ostringstream log;
    ParseTileSizes(r.text, sizes, log);
    EXPECT_EQ(sizes, r.sizes);
    const std::string text = log.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), r.log_lines) << text;
  }
}

TEST(Geometry, ParsingAppendsAndStopsAfterOneHundredPairs) {
  std::vector<TileSize> sizes;
  std::ostringstream log;
  ParseTileSizes("16,9", sizes, log);
  ParseTileSizes("16,9", sizes, log);
  EXPECT_EQ(sizes, (std::vector<TileSize>{{16, 9}, {16, 9}}));

  std::string long_list;
  for (int i = 1; i <= 120; ++i) long_list += std::to_string(i) + "," + std::to_string(i) + ",";
  sizes.clear();
  ParseTileSizes(long_list, sizes, log);
  ASSERT_EQ(sizes.size(), 100u);
  EXPECT_EQ(sizes.back(), (TileSize{100, 100}));
}

TEST(Geometry, RefusesTileSizesTheImageOrATextureCannotHold) {
  struct Row {
    int image_w, image_h;
    const char* text;
    std::vector<TileSize> sizes;
    long skipped;  // one log line each
  };
  const Row rows[] = {
      {3840, 2160, "3840,2160, 16,9", {{3840, 2160}, {16, 9}}, 0},  // the image as one tile
      {3840, 2160, "3841,18, 32,2161, 32,18", {{32, 18}}, 2},
      {640, 360, "64,36, 1280,720", {{64, 36}}, 1},
      // An image wider than any texture still takes no wider tile.
      {40000, 20000, "16385,9, 16384,16384", {{16384, 16384}}, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    std::vector<TileSize> sizes;
    std::ostringstream log;
    ParseTileSizes(r.text, sizes, log, TileSizeLimitsFor(r.image_w, r.image_h));
    EXPECT_EQ(sizes, r.sizes);
    const std::string text = log.str();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), r.skipped) << text;
  }
}

TEST(Geometry, LabelsTileSizes) {
  EXPECT_EQ(TileSizeLabel({32, 18}), "32 x 18");
  EXPECT_EQ(TileSizeLabel({7, 5}), "7 x 5");
}

}  // namespace
}  // namespace tessaline
