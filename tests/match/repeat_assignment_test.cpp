#include "match/repeat_assignment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <vector>

#include "library/feature.h"
#include "match/matcher.h"

namespace tessaline {
namespace {

constexpr int kMx = 1, kMy = 1, kDim = 3;

std::int64_t Distance2(const ColourFeature& a, const unsigned char* b) {
  std::int64_t sum = 0;
  for (int j = 0; j < kDim; ++j) sum += (a[j] - b[j]) * (a[j] - b[j]);
  return sum;
}

// Tiles clustered around a few colours, as photo libraries are, so that
// neighbouring cells compete for the same tiles.
std::vector<ColourFeature> ClusteredTiles(std::mt19937& random, int n) {
  std::vector<ColourFeature> tiles(n, ColourFeature(kDim));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < kDim; ++j)
      tiles[i][j] = static_cast<unsigned char>((i % 4) * 60 + random() % 30);
  return tiles;
}

// A matching image of large flat areas with a little noise: the case in
// which the nearest tile would repeat across a whole region.
cv::Mat FlatAreas(std::mt19937& random, int div_x, int div_y) {
  cv::Mat m(div_y * kMy, div_x * kMx, CV_8UC3);
  for (int y = 0; y < m.rows; ++y)
    for (int x = 0; x < m.cols; ++x) {
      const int base = (x * 3 / m.cols + y * 2 / m.rows) * 50 + 20;
      m.at<cv::Vec3b>(y, x) = cv::Vec3b(base + random() % 5, base + random() % 5, base);
    }
  return m;
}

// Any (R + 1) x (R + 1) cells must all differ, so a library of fewer tiles
// cannot keep R; the greedy order always keeps it with (2R + 1)^2 tiles
// besides the target, more than the cells of a window around a cell.
struct Case {
  int repeat;
  int div_x, div_y;
  int tiles;
  int k;
  int target_tile;
  bool keepable;
};

class RepeatRun {
 public:
  explicit RepeatRun(const Case& c, unsigned seed = 1) : c_(c), random_(seed + 100) {
    features_ = ClusteredTiles(random_, c.tiles);
    matcher_ = TileMatcher(features_, kDim);
    matching_ = FlatAreas(random_, c.div_x, c.div_y);
    first_ = matcher_.MatchCells(matching_, c.div_x, c.div_y, kMx, kMy,
                                 RepeatCandidatesToRequest(c.k, c.target_tile, c.repeat));
  }

  bool Assign(std::vector<int>& tiles, unsigned seed) const {
    RepeatInput input;
    input.first = &first_;
    input.nearest = CellQueryOf(matcher_, matching_, kMx, kMy);
    input.library_size = matcher_.candidate_count();
    input.k = c_.k;
    input.target_tile = c_.target_tile;
    input.repeat_distance = c_.repeat;
    std::mt19937 draws(seed);
    return AssignWithRepeatDistance(input, tiles,
                                    [&draws] { return static_cast<int>(draws() >> 1); });
  }

  ColourFeature Feature(int cx, int cy) const {
    std::vector<int> f;
    CellFeature(matching_, cx, cy, kMx, kMy, f);
    return ColourFeature(f.begin(), f.end());
  }
  const std::vector<ColourFeature>& Features() const { return features_; }

 private:
  Case c_;
  std::mt19937 random_;
  std::vector<ColourFeature> features_;
  TileMatcher matcher_;
  cv::Mat matching_;
  CellCandidates first_;
};

// The tiles of the other cells within r cells of (cx, cy).
std::set<int> UsedNear(const std::vector<int>& tiles, int div_x, int div_y, int cx, int cy, int r) {
  std::set<int> used;
  for (int y = std::max(cy - r, 0); y <= std::min(cy + r, div_y - 1); ++y)
    for (int x = std::max(cx - r, 0); x <= std::min(cx + r, div_x - 1); ++x)
      if (x != cx || y != cy) used.insert(tiles[x + y * div_x]);
  return used;
}

// The first cell whose tile repeats within r cells, if any.
std::optional<int> FirstRepeat(const std::vector<int>& tiles, int div_x, int div_y, int r) {
  for (int cell = 0; cell < div_x * div_y; ++cell)
    if (UsedNear(tiles, div_x, div_y, cell % div_x, cell / div_x, r).count(tiles[cell]))
      return cell;
  return std::nullopt;
}

const Case kCases[] = {
    {1, 12, 9, 40, 1, -1, true},  {1, 12, 9, 40, 1, 3, true},
    {3, 20, 15, 200, 3, 7, true}, {4, 24, 16, 300, 1, -1, true},
    {8, 30, 30, 600, 1, 5, true}, {50, 7, 5, 40, 2, 0, true},  // R beyond the grid: all differ
    {2, 10, 10, 8, 1, -1, false}, {3, 9, 7, 16, 4, 2, false},  // too few tiles for R
    {1, 1, 1, 5, 1, -1, true},    {2, 6, 4, 1, 1, 0, false},   // one tile, and it is the target
};

TEST(RepeatAssignment, NoTileRepeatsWithinRUnlessTheLibraryIsTooSmall) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "R " << c.repeat << ", " << c.div_x << " x " << c.div_y
                                    << ", " << c.tiles << " tiles, k " << c.k);
    std::vector<int> tiles;
    const bool kept = RepeatRun(c).Assign(tiles, 9);
    ASSERT_EQ(tiles.size(), static_cast<std::size_t>(c.div_x * c.div_y));
    EXPECT_EQ(kept, c.keepable);
    EXPECT_EQ(FirstRepeat(tiles, c.div_x, c.div_y, c.repeat).has_value(), !c.keepable);
    for (int t : tiles) {
      ASSERT_TRUE(t >= 0 && t < c.tiles) << t;
      if (c.keepable) {
        EXPECT_NE(t, c.target_tile);
      }
    }
  }
}

// A tile not used within R of a cell in the end was free when the cell was
// taken too (uses only grow), so with k = 1 none may lie nearer than the
// tile the cell took: the choice was the nearest allowed one.
TEST(RepeatAssignment, EachCellTakesTheNearestTileFreeAroundIt) {
  for (const Case& c : kCases) {
    if (c.k != 1 || !c.keepable) continue;
    SCOPED_TRACE(testing::Message() << "R " << c.repeat << ", " << c.tiles << " tiles");
    const RepeatRun run(c);
    std::vector<int> tiles;
    run.Assign(tiles, 4);
    for (int cell = 0; cell < c.div_x * c.div_y; ++cell) {
      const int cx = cell % c.div_x, cy = cell / c.div_x;
      const ColourFeature f = run.Feature(cx, cy);
      const std::int64_t taken = Distance2(run.Features()[tiles[cell]], f.data());
      const std::set<int> used = UsedNear(tiles, c.div_x, c.div_y, cx, cy, c.repeat);
      for (int u = 0; u < c.tiles; ++u) {
        if (u == c.target_tile || used.count(u)) continue;
        ASSERT_LE(taken, Distance2(run.Features()[u], f.data()))
            << "cell " << cell << " tile " << u;
      }
    }
  }
}

TEST(RepeatAssignment, TheSeedDecidesTheAssignment) {
  const RepeatRun run(Case{2, 16, 12, 120, 3, -1, true});
  std::vector<int> a, b, c;
  run.Assign(a, 21);
  run.Assign(b, 21);
  run.Assign(c, 22);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
}

TEST(RepeatAssignment, StoresIntoTheCellTableAndOnlyWhenAskedIntoTheAssignment) {
  const std::vector<int> tiles = {3, 70000, 0};
  std::vector<int> assignment = {9};
  std::vector<unsigned char> table;
  StoreAssignment(tiles, false, assignment, table);
  EXPECT_EQ(assignment, std::vector<int>{9});
  ASSERT_EQ(table.size(), 12u);
  EXPECT_EQ(UnpackTileIndex(&table[4]), 70000);
  StoreAssignment(tiles, true, assignment, table);
  EXPECT_EQ(assignment, tiles);
}

// NearestAllowed must agree with a brute-force search over the allowed
// tiles alone, however many of the nearest are refused.
TEST(TileMatcherNearestAllowed, FindsTheNearestAmongTheAllowedTiles) {
  std::mt19937 random(5);
  const std::vector<ColourFeature> features = ClusteredTiles(random, 700);
  const TileMatcher matcher(features, kDim);
  struct Filter {
    const char* name;
    TileMatcher::TileFilter allowed;
  };
  const Filter filters[] = {
      {"all", [](int) { return true; }},
      {"none", [](int) { return false; }},
      {"every third", [](int t) { return t % 3 == 0; }},
      {"one", [](int t) { return t == 411; }},
  };
  for (const Filter& filter : filters) {
    for (int k : {1, 5, 400}) {
      SCOPED_TRACE(testing::Message() << filter.name << ", k " << k);
      const ColourFeature query = {70, 75, 66};
      std::vector<std::pair<std::int64_t, int>> expected;
      for (int t = 0; t < static_cast<int>(features.size()); ++t)
        if (filter.allowed(t)) expected.emplace_back(Distance2(features[t], query.data()), t);
      std::sort(expected.begin(), expected.end());
      expected.resize(std::min<std::size_t>(expected.size(), k));
      const std::vector<int> found = matcher.NearestAllowed(query, k, filter.allowed);
      ASSERT_EQ(found.size(), expected.size());
      for (std::size_t i = 0; i < found.size(); ++i)
        EXPECT_EQ(Distance2(features[found[i]], query.data()), expected[i].first) << i;
    }
  }
  EXPECT_TRUE(TileMatcher().NearestAllowed({1, 2, 3}, 1, [](int) { return true; }).empty());
}

}  // namespace
}  // namespace tessaline
