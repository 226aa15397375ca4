#include "match/matcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "library/feature_index.h"

namespace tessaline {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::int64_t SquaredDistance(const ColourFeature& a, const ColourFeature& b) {
  std::int64_t sum = 0;
  for (std::size_t j = 0; j < a.size(); ++j) {
    const std::int64_t d = static_cast<std::int64_t>(a[j]) - b[j];
    sum += d * d;
  }
  return sum;
}

// Distances of the named tiles to the query, ascending: what two exact
// searches must agree on even when they order ties differently.
std::vector<std::int64_t> SortedDistances(const std::vector<ColourFeature>& tiles,
                                          const std::vector<int>& found,
                                          const ColourFeature& query) {
  std::vector<std::int64_t> d;
  for (int i : found) d.push_back(SquaredDistance(tiles.at(i), query));
  std::sort(d.begin(), d.end());
  return d;
}

std::vector<int> AsInts(const ColourFeature& f) { return std::vector<int>(f.begin(), f.end()); }

unsigned char Clamp(int v) { return static_cast<unsigned char>(std::clamp(v, 0, 255)); }

std::vector<ColourFeature> UniformFeatures(std::mt19937& random, int n, int dim) {
  std::vector<ColourFeature> features(n, ColourFeature(dim));
  for (ColourFeature& f : features)
    for (unsigned char& b : f) b = static_cast<unsigned char>(random() % 256);
  return features;
}

// Like photographs: one colour per picture, sub-cells a little off it.
std::vector<ColourFeature> PhotoLikeFeatures(std::mt19937& random, int n, int dim) {
  std::vector<ColourFeature> features(n, ColourFeature(dim));
  for (ColourFeature& f : features) {
    const int base[3] = {static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                         static_cast<int>(random() % 256)};
    for (int j = 0; j < dim; ++j) f[j] = Clamp(base[j % 3] + static_cast<int>(random() % 21) - 10);
  }
  return features;
}

// A matching image with a smooth gradient, a flat band (many identical
// cells) and a few noisy pixels.
cv::Mat MatchingImage(std::mt19937& random, int w, int h) {
  cv::Mat image(h, w, CV_8UC3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      cv::Vec3b& p = image.at<cv::Vec3b>(y, x);
      if (y < h / 3) {
        p = cv::Vec3b(40, 200, 90);
      } else {
        p = cv::Vec3b(Clamp(x * 255 / w), Clamp(y * 255 / h), Clamp(255 - x * 200 / w));
        if (random() % 17 == 0) p[1] = static_cast<unsigned char>(random() % 256);
      }
    }
  return image;
}

TEST(TileMatcher, FindsTheNearestInAHandMadeLibrary) {
  // Squared distances to (0, 0): 100, 0, 25, 25, 2, not a candidate.
  const std::vector<ColourFeature> tiles = {{10, 0}, {0, 0}, {3, 4}, {0, 5}, {1, 1}, {0, 0, 0}};
  const TileMatcher matcher(tiles, 2);
  EXPECT_EQ(matcher.candidate_count(), 5);
  EXPECT_THAT(matcher.Nearest({0, 0}, 1), ElementsAre(1));
  EXPECT_THAT(matcher.Nearest({0, 0}, 3), ElementsAre(1, 4, 2));
  EXPECT_THAT(matcher.Nearest({0, 0}, 0), ElementsAre(1));
  EXPECT_THAT(matcher.Nearest({0, 0}, 9), ElementsAre(1, 4, 2, 3, 0));
  // (9, 1): to (10, 0) 2, to (3, 4) 45, to (1, 1) 64.
  EXPECT_THAT(matcher.Nearest({9, 1}, 2), ElementsAre(0, 2));
}

TEST(TileMatcher, BreaksTiesByTheLowerTileIndex) {
  std::vector<ColourFeature> tiles(200, ColourFeature{7, 7, 7});
  tiles[150] = {8, 8, 8};
  tiles[3] = {200, 0, 0};
  const TileMatcher matcher(tiles, 3);
  EXPECT_THAT(matcher.Nearest({7, 7, 7}, 3), ElementsAre(0, 1, 2));
  EXPECT_THAT(matcher.Nearest({8, 8, 8}, 2), ElementsAre(150, 0));
  // (255, 0, 0): tile 3 at 3025, tile 150 at 61137, the others at 61602.
  EXPECT_THAT(matcher.Nearest({255, 0, 0}, 2), ElementsAre(3, 150));
}

TEST(TileMatcher, GivesNothingWhenThereIsNothingToFind) {
  EXPECT_THAT(TileMatcher().Nearest({1, 2, 3}, 1), IsEmpty());
  EXPECT_THAT(TileMatcher({}, 3).Nearest({1, 2, 3}, 1), IsEmpty());
  EXPECT_THAT(TileMatcher({{1, 2, 3}}, 0).Nearest({1, 2, 3}, 1), IsEmpty());
  EXPECT_THAT(TileMatcher({{1, 2, 3}}, 3).Nearest({1, 2}, 1), IsEmpty());
}

// The same answer as the brute-force oracle, order included, over sizes
// that give partial blocks, the walk and the full scan (large k).
TEST(TileMatcher, AgreesWithBruteForce) {
  struct Case {
    int tiles, dim, k;
    bool photo_like;
  };
  const Case cases[] = {{1, 3, 1, false},
                        {31, 3, 1, false},
                        {500, 3, 1, true},
                        {1000, 12, 1, true},
                        {1000, 12, 2, true},
                        {1000, 12, 5, false},
                        {700, 27, 10, true},
                        {120, 12, 40, false},
                        {50, 12, 60, true},
                        {2000, 12, 4, false},
                        {2000, 12, 300, true},  // long lists, kept lazily
                        {300, 48, 3, true},
                        // Past the flat scan's reach: the tree.
                        {9000, 12, 1, true},
                        {9000, 12, 3, false},
                        {9000, 12, 200, true}};
  std::mt19937 random(77);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.tiles << " tiles, dim " << c.dim << ", k " << c.k);
    const std::vector<ColourFeature> tiles = c.photo_like
                                                 ? PhotoLikeFeatures(random, c.tiles, c.dim)
                                                 : UniformFeatures(random, c.tiles, c.dim);
    const TileMatcher matcher(tiles, c.dim);
    std::vector<ColourFeature> queries = PhotoLikeFeatures(random, 60, c.dim);
    const std::vector<ColourFeature> uniform = UniformFeatures(random, 60, c.dim);
    queries.insert(queries.end(), uniform.begin(), uniform.end());
    queries.push_back(tiles[c.tiles / 2]);  // a tile's own feature
    queries.push_back(ColourFeature(c.dim, 0));
    queries.push_back(ColourFeature(c.dim, 255));
    for (const ColourFeature& q : queries)
      ASSERT_EQ(matcher.Nearest(q, c.k), BruteForceNearest(tiles, AsInts(q), c.k));
  }
}

// Libraries that stress the tree: nodes whose tiles are all equal (so the
// split falls on a dimension of no spread), and ties everywhere.
enum class Shape {
  kAllIdentical,     // one feature for every tile
  kFewValues,        // bytes from {0, 128, 255}: many tiles at equal distances
  kOneAxis,          // every dimension but one constant
  kTwoDuplicateSets  // two features, each repeated, in alternation
};

std::vector<ColourFeature> ShapedFeatures(std::mt19937& random, Shape shape, int n, int dim) {
  std::vector<ColourFeature> features(n, ColourFeature(dim, 90));
  const ColourFeature other(dim, 170);
  for (int i = 0; i < n; ++i) {
    ColourFeature& f = features[i];
    switch (shape) {
      case Shape::kAllIdentical:
        break;
      case Shape::kFewValues:
        for (unsigned char& b : f)
          b = static_cast<unsigned char>(random() % 3 * 127 + random() % 2);
        break;
      case Shape::kOneAxis:
        f[dim - 1] = static_cast<unsigned char>(random() % 256);
        break;
      case Shape::kTwoDuplicateSets:
        if (i % 2 == 1) f = other;
        break;
    }
  }
  return features;
}

// The tree's edge cases against the oracle, order included: every tile the
// same, ties everywhere, one tile, k at and past the tile count, dimensions
// that fill part of a box chunk (3, 27) or several (48).
TEST(TileMatcher, AgreesWithBruteForceOnDegenerateLibraries) {
  struct Case {
    Shape shape;
    int tiles, dim, k;
  };
  const Case cases[] = {
      {Shape::kAllIdentical, 200, 12, 1},     {Shape::kAllIdentical, 200, 12, 7},
      {Shape::kAllIdentical, 200, 12, 60},    {Shape::kAllIdentical, 1, 12, 1},
      {Shape::kAllIdentical, 1, 3, 4},        {Shape::kFewValues, 1000, 3, 1},
      {Shape::kFewValues, 1000, 12, 5},       {Shape::kFewValues, 600, 27, 9},
      {Shape::kFewValues, 64, 12, 64},        {Shape::kFewValues, 64, 12, 100},
      {Shape::kOneAxis, 700, 12, 3},          {Shape::kOneAxis, 300, 27, 2},
      {Shape::kOneAxis, 97, 48, 4},           {Shape::kTwoDuplicateSets, 256, 12, 1},
      {Shape::kTwoDuplicateSets, 256, 3, 70}, {Shape::kTwoDuplicateSets, 129, 27, 5},
      {Shape::kFewValues, 9000, 12, 5},       {Shape::kAllIdentical, 9000, 12, 2}};
  std::mt19937 random(41);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "shape " << static_cast<int>(c.shape) << ", " << c.tiles
                                    << " tiles, dim " << c.dim << ", k " << c.k);
    const std::vector<ColourFeature> tiles = ShapedFeatures(random, c.shape, c.tiles, c.dim);
    const TileMatcher matcher(tiles, c.dim);
    ASSERT_EQ(matcher.candidate_count(), c.tiles);
    std::vector<ColourFeature> queries = UniformFeatures(random, 40, c.dim);
    const std::vector<ColourFeature> shaped = ShapedFeatures(random, c.shape, 40, c.dim);
    queries.insert(queries.end(), shaped.begin(), shaped.end());
    queries.push_back(tiles.back());
    queries.push_back(ColourFeature(c.dim, 130));  // halfway between the two sets
    for (const ColourFeature& q : queries)
      ASSERT_EQ(matcher.Nearest(q, c.k), BruteForceNearest(tiles, AsInts(q), c.k));
  }
}

// Past 8,192 tiles the search runs over slabs of 512 tiles sorted by sum and
// tint; the tree stays selectable. Both against the oracle, order included:
// a ragged last group and slab, k spanning slabs, ties and duplicates across
// slabs, dimensions with no tint (not whole colours), k at and next to the
// share where every tile is scanned, and queries at the ends of the sums.
TEST(TileMatcher, AgreesWithBruteForcePastTheFlatScan) {
  struct Case {
    int tiles, dim, k;
    bool photo_like;
    Shape shape;  // when not photo-like
  };
  const Case cases[] = {
      {8193, 12, 3, true, Shape::kAllIdentical},    {8705, 12, 1, true, Shape::kAllIdentical},
      {9000, 12, 600, true, Shape::kAllIdentical},  {9000, 12, 2249, true, Shape::kAllIdentical},
      {9000, 12, 2250, true, Shape::kAllIdentical}, {8200, 2, 4, true, Shape::kAllIdentical},
      {8300, 4, 2, false, Shape::kFewValues},       {8196, 27, 5, true, Shape::kAllIdentical},
      {8800, 12, 700, false, Shape::kAllIdentical}, {8450, 12, 3, false, Shape::kTwoDuplicateSets},
      {8300, 3, 9, false, Shape::kFewValues},       {8450, 12, 2, false, Shape::kOneAxis}};
  std::mt19937 random(19);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.tiles << " tiles, dim " << c.dim << ", k " << c.k
                                    << ", shape " << static_cast<int>(c.shape));
    std::vector<ColourFeature> tiles = c.photo_like
                                           ? PhotoLikeFeatures(random, c.tiles, c.dim)
                                           : ShapedFeatures(random, c.shape, c.tiles, c.dim);
    if (c.photo_like)  // the same picture again, far apart in index
      for (int i = 0; i < 400; ++i) tiles[c.tiles - 1 - i] = tiles[i * 7];
    std::vector<ColourFeature> queries = PhotoLikeFeatures(random, 12, c.dim);
    const std::vector<ColourFeature> uniform = UniformFeatures(random, 12, c.dim);
    queries.insert(queries.end(), uniform.begin(), uniform.end());
    queries.push_back(tiles[7]);
    queries.push_back(ColourFeature(c.dim, 0));
    queries.push_back(ColourFeature(c.dim, 255));
    const TileMatcher sorted(tiles, c.dim);
    const TileMatcher tree(tiles, c.dim, TileMatcher::Method::kTree);
    for (const ColourFeature& q : queries) {
      const std::vector<int> expected = BruteForceNearest(tiles, AsInts(q), c.k);
      ASSERT_EQ(sorted.Nearest(q, c.k), expected);
      ASSERT_EQ(tree.Nearest(q, c.k), expected);
    }
  }
}

// Searches start from the previous cell's tiles, which are met again in
// their own leaves; with ties everywhere each must still come once and in
// index order.
TEST(TileMatcher, MatchesCellsOfDegenerateLibrariesLikeOneSearchPerCell) {
  struct Case {
    Shape shape;
    int tiles, mx, my, k;
  };
  const Case cases[] = {{Shape::kAllIdentical, 300, 2, 2, 3},
                        {Shape::kFewValues, 900, 2, 2, 4},
                        {Shape::kFewValues, 500, 1, 1, 2},
                        {Shape::kOneAxis, 400, 3, 3, 2},
                        {Shape::kTwoDuplicateSets, 200, 2, 2, 5},
                        // Past the flat scan, seeded.
                        {Shape::kFewValues, 9000, 2, 2, 4},
                        {Shape::kTwoDuplicateSets, 8195, 2, 2, 3}};
  std::mt19937 random(23);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "shape " << static_cast<int>(c.shape) << ", k " << c.k);
    const int dim = c.mx * c.my * 3, div_x = 16, div_y = 10;
    const std::vector<ColourFeature> tiles = ShapedFeatures(random, c.shape, c.tiles, dim);
    const cv::Mat matching = MatchingImage(random, div_x * c.mx, div_y * c.my);
    const CellCandidates found =
        TileMatcher(tiles, dim).MatchCells(matching, div_x, div_y, c.mx, c.my, c.k);
    ASSERT_EQ(found.per_cell, c.k);
    std::vector<int> query;
    for (int cy = 0; cy < div_y; ++cy)
      for (int cx = 0; cx < div_x; ++cx) {
        CellFeature(matching, cx, cy, c.mx, c.my, query);
        const std::vector<int> cell(found.Of(cx, cy), found.Of(cx, cy) + c.k);
        ASSERT_EQ(cell, BruteForceNearest(tiles, query, c.k)) << "cell " << cx << ", " << cy;
      }
  }
}

TEST(TileMatcher, AgreesWithTheIndexByDistance) {
  struct Case {
    int dim, k;
  };
  std::mt19937 random(5);
  for (const Case c : {Case{3, 1}, Case{12, 1}, Case{12, 3}, Case{27, 8}}) {
    SCOPED_TRACE(testing::Message() << "dim " << c.dim << ", k " << c.k);
    std::vector<ColourFeature> tiles = PhotoLikeFeatures(random, 1500, c.dim);
    // Duplicates: ties that the two searches may order differently.
    for (int i = 0; i < 300; ++i) tiles[1000 + i] = tiles[i % 40];
    FeatureIndex index(c.dim, c.k);
    ASSERT_TRUE(BuildFeatureIndex(index, tiles));
    const TileMatcher matcher(tiles, c.dim);
    std::vector<ColourFeature> queries = PhotoLikeFeatures(random, 150, c.dim);
    for (int i = 0; i < 40; ++i) queries.push_back(tiles[i]);
    for (const ColourFeature& q : queries) {
      const std::vector<int> fast = matcher.Nearest(q, c.k);
      ASSERT_EQ(fast.size(), static_cast<std::size_t>(c.k));
      ASSERT_EQ(SortedDistances(tiles, fast, q), SortedDistances(tiles, index.Query(AsInts(q)), q));
    }
  }
}

// MatchCells against the reference path, one CellFeature and one exact
// search per cell, on grids that do and do not fit the picture.
TEST(TileMatcher, MatchesEveryCellLikeOneSearchPerCell) {
  struct Case {
    int mx, my, div_x, div_y, image_w, image_h, k, workers;
  };
  const Case cases[] = {{2, 2, 20, 12, 40, 24, 1, 2}, {2, 2, 20, 12, 40, 24, 3, 1},
                        {1, 1, 9, 7, 9, 7, 2, 2},     {3, 2, 6, 5, 18, 10, 4, 2},
                        {2, 2, 10, 8, 15, 11, 2, 2},  // the grid overhangs
                        {2, 2, 3, 3, 6, 6, 1, 7}};
  std::mt19937 random(11);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.div_x << " x " << c.div_y << " cells, k " << c.k);
    const int dim = c.mx * c.my * 3;
    const std::vector<ColourFeature> tiles = PhotoLikeFeatures(random, 400, dim);
    const TileMatcher matcher(tiles, dim);
    const cv::Mat matching = MatchingImage(random, c.image_w, c.image_h);
    const CellCandidates found =
        matcher.MatchCells(matching, c.div_x, c.div_y, c.mx, c.my, c.k, c.workers);
    ASSERT_EQ(found.per_cell, c.k);
    ASSERT_EQ(found.tiles.size(), static_cast<std::size_t>(c.div_x * c.div_y * c.k));
    std::vector<int> query;
    for (int cy = 0; cy < c.div_y; ++cy)
      for (int cx = 0; cx < c.div_x; ++cx) {
        CellFeature(matching, cx, cy, c.mx, c.my, query);
        const std::vector<int> cell(found.Of(cx, cy), found.Of(cx, cy) + c.k);
        ASSERT_EQ(cell, BruteForceNearest(tiles, query, c.k)) << "cell " << cx << ", " << cy;
      }
  }
}

TEST(TileMatcher, MatchesCellsLikeTheIndexByDistance) {
  std::mt19937 random(3);
  const std::vector<ColourFeature> tiles = PhotoLikeFeatures(random, 800, 12);
  FeatureIndex index(12, 2);
  ASSERT_TRUE(BuildFeatureIndex(index, tiles));
  const cv::Mat matching = MatchingImage(random, 48, 30);
  const CellCandidates fast = TileMatcher(tiles, 12).MatchCells(matching, 24, 15, 2, 2, 2);
  const CellCandidates designed = MatchCellsWithIndex(index, matching, 24, 15, 2, 2);
  ASSERT_EQ(designed.per_cell, 2);
  ASSERT_EQ(fast.per_cell, 2);
  std::vector<int> query;
  for (int cy = 0; cy < 15; ++cy)
    for (int cx = 0; cx < 24; ++cx) {
      CellFeature(matching, cx, cy, 2, 2, query);
      const ColourFeature q(query.begin(), query.end());
      ASSERT_EQ(SortedDistances(tiles, {fast.Of(cx, cy), fast.Of(cx, cy) + 2}, q),
                SortedDistances(tiles, {designed.Of(cx, cy), designed.Of(cx, cy) + 2}, q));
    }
}

TEST(TileMatcher, GivesCellsNoCandidatesWhenTheGridDoesNotFit) {
  const TileMatcher matcher({{1, 2, 3}, {4, 5, 6}}, 3);
  const cv::Mat matching(4, 4, CV_8UC3, cv::Scalar(1, 2, 3));
  EXPECT_EQ(matcher.MatchCells(matching, 2, 2, 2, 2, 1).per_cell, 0);  // 12 bytes, not 3
  EXPECT_EQ(matcher.MatchCells(matching, 0, 2, 1, 1, 1).per_cell, 0);
  EXPECT_EQ(matcher.MatchCells(matching, -3, 2, 1, 1, 1).div_x, 0);
  EXPECT_EQ(TileMatcher().MatchCells(matching, 2, 2, 1, 1, 1).per_cell, 0);
  // A picture of another type reads as black: tile 0 (1, 2, 3) is nearest.
  const CellCandidates grey = matcher.MatchCells(cv::Mat(4, 4, CV_8UC1), 2, 2, 1, 1, 5);
  ASSERT_EQ(grey.per_cell, 2);
  EXPECT_THAT(std::vector<int>(grey.Of(1, 1), grey.Of(1, 1) + 2), ElementsAre(0, 1));
}

TEST(MatchCellsWithIndex, GivesNoCandidatesBeforeTheIndexIsBuilt) {
  FeatureIndex index(3, 1);
  const CellCandidates found = MatchCellsWithIndex(index, cv::Mat(2, 2, CV_8UC3), 2, 2, 1, 1);
  EXPECT_EQ(found.per_cell, 0);
  EXPECT_THAT(found.tiles, IsEmpty());
}

}  // namespace
}  // namespace tessaline
