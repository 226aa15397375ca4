#include "match/assignment.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <set>
#include <vector>

namespace tessaline {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Hands out scripted draws in order and counts them; past the script it
// repeats the last value.
class ScriptedRandom {
 public:
  explicit ScriptedRandom(std::vector<int> draws) : draws_(std::move(draws)) {}
  RandomSource Source() {
    return [this] {
      const int r = draws_.empty() ? 0 : draws_[std::min(used_, draws_.size() - 1)];
      ++used_;
      return r;
    };
  }
  std::size_t used() const { return used_; }

 private:
  std::vector<int> draws_;
  std::size_t used_ = 0;
};

SubImageInfo Tile(int r, int g, int b, bool thumb = false) {
  SubImageInfo info;
  info.mean_r = static_cast<std::uint8_t>(r);
  info.mean_g = static_cast<std::uint8_t>(g);
  info.mean_b = static_cast<std::uint8_t>(b);
  info.is_thumb = thumb;
  return info;
}

TEST(CandidatesToRequest, AsksForOneMoreWhileATargetTileIsSet) {
  EXPECT_EQ(CandidatesToRequest(1, -1), 1);
  EXPECT_EQ(CandidatesToRequest(1, 0), 2);
  EXPECT_EQ(CandidatesToRequest(3, 7), 4);
}

TEST(ChooseTile, DrawsAmongTheFirstKAvoidingTheTarget) {
  struct Row {
    std::vector<int> candidates;
    int k, target;
    std::vector<int> draws;
    int expected;
    std::size_t draws_used;
  };
  const Row rows[] = {
      {{}, 3, -1, {1}, 0, 0},                 // no candidates: tile 0
      {{5, 6, 7}, 0, -1, {1}, 0, 0},          // k = 0: tile 0
      {{5, 6, 7}, 3, -1, {4}, 6, 1},          // 4 mod 3 = 1
      {{5, 6, 7}, 3, 6, {1, 4, 2}, 7, 3},     // the target is drawn twice
      {{5, 6, 7, 8}, 2, 5, {0, 2, 3}, 6, 3},  // only the first k are drawn
      {{5, 6, 7}, 5, -1, {4}, 6, 1},          // k beyond the candidates
      {{5, 6}, 1, 6, {9}, 5, 1},              // the target is not nearest
      {{5, 6, 7}, 1, 5, {2}, 6, 0},           // only the target: next nearest
      {{5}, 1, 5, {2}, 5, 0},                 // nothing else in the library
      {{5, 6, 7}, 3, -1, {-1}, 5, 1},         // a negative draw counts from 0
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "k " << row.k << ", target " << row.target);
    ScriptedRandom random(row.draws);
    EXPECT_EQ(ChooseTile(row.candidates.data(), static_cast<int>(row.candidates.size()), row.k,
                         row.target, random.Source()),
              row.expected);
    EXPECT_EQ(random.used(), row.draws_used);
  }
}

TEST(ChooseTile, StopsDrawingWhenTheSourceOnlyHitsTheTarget) {
  const std::vector<int> candidates = {5, 6};
  ScriptedRandom random({0});
  EXPECT_EQ(ChooseTile(candidates.data(), 2, 2, 5, random.Source()), 6);
  EXPECT_EQ(random.used(), 128u);  // 64 draws per candidate
}

TEST(ChooseTile, WithRandIsUniformOverTheOthersAndNeverTheTarget) {
  std::srand(12345);
  const std::vector<int> candidates = {4, 9, 2};
  std::array<int, 10> seen{};
  for (int i = 0; i < 3000; ++i) ++seen.at(ChooseTile(candidates.data(), 3, 3, 9));
  EXPECT_EQ(seen[9], 0);
  EXPECT_EQ(seen[4] + seen[2], 3000);
  EXPECT_GT(seen[4], 1300);
  EXPECT_GT(seen[2], 1300);
}

TEST(CellTable, PacksTheTileIndexIntoColourBytes) {
  struct Row {
    int tile;
    std::array<unsigned char, 4> texel;
    int unpacked;
  };
  const Row rows[] = {{0, {0, 0, 0, 255}, 0},
                      {300, {44, 1, 0, 255}, 300},
                      {70000, {112, 17, 1, 255}, 70000},
                      {16777215, {255, 255, 255, 255}, 16777215},
                      {16777216 + 258, {2, 1, 0, 255}, 258},  // wraps at 2^24
                      {-5, {0, 0, 0, 255}, 0}};
  for (const Row& row : rows) {
    std::array<unsigned char, 4> texel{};
    PackTileIndex(row.tile, texel.data());
    EXPECT_EQ(texel, row.texel) << row.tile;
    EXPECT_EQ(UnpackTileIndex(texel.data()), row.unpacked) << row.tile;
  }
}

// Cell (cx, cy) of a 3 × 2 grid offers tiles 10 × cell and 10 × cell + 1,
// cell = cx + 3 × cy. The draws go to the cells column by column.
CellCandidates TwoPerCell() {
  CellCandidates c;
  c.div_x = 3;
  c.div_y = 2;
  c.per_cell = 2;
  for (int cell = 0; cell < 6; ++cell) c.tiles.insert(c.tiles.end(), {10 * cell, 10 * cell + 1});
  return c;
}

TEST(ComputeAssignment, DrawsColumnByColumn) {
  // Draw order: (0,0) (0,1) (1,0) (1,1) (2,0) (2,1).
  ScriptedRandom random({0, 1, 0, 1, 1, 0});
  std::vector<int> assignment;
  std::vector<unsigned char> table;
  ComputeAssignment(TwoPerCell(), 2, -1, true, assignment, table, random.Source());
  EXPECT_THAT(assignment, ElementsAre(0, 10, 21, 31, 41, 50));
  EXPECT_EQ(random.used(), 6u);
  ASSERT_EQ(table.size(), 24u);
  for (int cell = 0; cell < 6; ++cell) {
    EXPECT_EQ(UnpackTileIndex(&table[cell * 4]), assignment[cell]);
    EXPECT_EQ(table[cell * 4 + 3], 255);
  }
}

TEST(ComputeAssignment, WithoutStoreWritesOnlyTheCellTable) {
  ScriptedRandom random({1});
  std::vector<int> assignment(6, -7);
  std::vector<unsigned char> table;
  ComputeAssignment(TwoPerCell(), 2, 21, false, assignment, table, random.Source());
  EXPECT_THAT(assignment, ElementsAreArray(std::vector<int>(6, -7)));
  // Every cell draws its second tile; cell 2 (2, 0) offers 20 and the
  // target 21, so its draws hit the target until the source gives up.
  const int expected[] = {1, 11, 20, 31, 41, 51};
  for (int cell = 0; cell < 6; ++cell) EXPECT_EQ(UnpackTileIndex(&table[cell * 4]), expected[cell]);
}

TEST(ComputeAssignment, GivesTileZeroToCellsWithoutCandidates) {
  CellCandidates none;
  none.div_x = 2;
  none.div_y = 2;
  std::vector<int> assignment;
  std::vector<unsigned char> table;
  ComputeAssignment(none, 1, -1, true, assignment, table, ScriptedRandom({}).Source());
  EXPECT_THAT(assignment, ElementsAre(0, 0, 0, 0));
  EXPECT_THAT(table, ElementsAre(0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255));
}

TEST(RandomTileIndex, SkipsThumbnailsForAtMostNPlusOneDraws) {
  const std::vector<SubImageInfo> mixed = {Tile(0, 0, 0, true), Tile(0, 0, 0, true), Tile(0, 0, 0),
                                           Tile(0, 0, 0)};
  ScriptedRandom first_hit({0, 5, 6, 3});
  EXPECT_EQ(RandomTileIndex(mixed, first_hit.Source()), 2);
  EXPECT_EQ(first_hit.used(), 3u);

  const std::vector<SubImageInfo> thumbs = {Tile(0, 0, 0, true), Tile(0, 0, 0, true)};
  ScriptedRandom all_thumbs({1, 2, 3, 4, 5});
  EXPECT_EQ(RandomTileIndex(thumbs, all_thumbs.Source()), 1);  // the third draw, 3 mod 2
  EXPECT_EQ(all_thumbs.used(), 3u);

  EXPECT_EQ(RandomTileIndex({}, ScriptedRandom({1}).Source()), -1);
}

// A 4 × 3 grid has the interior cells (1, 1) and (2, 1): cx = draw mod 2 + 1,
// cy = draw mod 1 + 1.
struct PickRow {
  const char* what;
  std::vector<int> assignment;
  int target;
  std::vector<int> draws;
  int cx, tile;
  std::size_t draws_used;
};

TEST(PickRandomCell, RejectsLookAlikesThumbnailsAndTheTarget) {
  // Mean colour distance to tile 0: tile 1 is 42 away, tile 2 exactly 50,
  // tile 3 is a thumbnail, tile 4 is 255 away.
  const std::vector<SubImageInfo> library = {Tile(0, 0, 0), Tile(30, 30, 0), Tile(40, 30, 0),
                                             Tile(250, 0, 0, true), Tile(255, 0, 0)};
  const PickRow rows[] = {
      {"too similar", {9, 1, 2, 9, 9, 1, 2, 9, 9, 9, 9, 9}, 0, {0, 0, 1, 0}, 2, 2, 4},
      {"thumbnail", {9, 3, 4, 9, 9, 3, 4, 9, 9, 9, 9, 9}, 0, {0, 0, 1, 0}, 2, 4, 4},
      {"the target", {9, 4, 1, 9, 9, 4, 1, 9, 9, 9, 9, 9}, 4, {0, 0, 1, 0}, 2, 1, 4},
      {"no target: no colour test", {9, 1, 2, 9, 9, 1, 2, 9, 9, 9, 9, 9}, -1, {0, 0}, 1, 1, 2},
      {"outside the library", {9, 9, 4, 9, 9, 9, 4, 9, 9, 9, 9, 9}, 0, {0, 0, 1, 0}, 2, 4, 4},
      {"accepted after 12 attempts", std::vector<int>(12, 0), 0, {1}, 2, 0, 26},
  };
  for (const PickRow& row : rows) {
    SCOPED_TRACE(row.what);
    ScriptedRandom random(row.draws);
    const std::optional<CellPick> pick =
        PickRandomCell(row.assignment, 4, 3, library, row.target, random.Source());
    ASSERT_TRUE(pick.has_value());
    EXPECT_EQ(pick->cx, row.cx);
    EXPECT_EQ(pick->cy, 1);
    EXPECT_EQ(pick->tile, row.tile);
    EXPECT_EQ(random.used(), row.draws_used);
  }
}

TEST(PickRandomCell, RefusesGridsWithoutInteriorCells) {
  const std::vector<SubImageInfo> library = {Tile(0, 0, 0), Tile(255, 255, 255)};
  const std::vector<int> assignment(100, 1);
  EXPECT_FALSE(PickRandomCell(assignment, 2, 5, library, 0, ScriptedRandom({0}).Source()));
  EXPECT_FALSE(PickRandomCell(assignment, 5, 2, library, 0, ScriptedRandom({0}).Source()));
  EXPECT_FALSE(PickRandomCell(assignment, 0, 0, library, 0, ScriptedRandom({0}).Source()));
  EXPECT_FALSE(PickRandomCell({1, 1, 1}, 3, 3, library, 0, ScriptedRandom({0}).Source()));
  EXPECT_TRUE(PickRandomCell(assignment, 3, 3, library, 0, ScriptedRandom({0}).Source()));
}

TEST(ZoomCells, OnlyInteriorCellsCanBeZoomedInto) {
  struct Row {
    int cx, cy;
    bool interior;
  };
  const Row rows[] = {{0, 5, false}, {119, 5, false}, {1, 1, true},   {118, 118, true},
                      {1, 0, false}, {1, 119, false}, {-1, 5, false}, {118, 5, true}};
  for (const Row& row : rows)
    EXPECT_EQ(IsInteriorCell(row.cx, row.cy, 120, 120), row.interior) << row.cx << ", " << row.cy;
  EXPECT_FALSE(IsInteriorCell(1, 1, 2, 2));
}

TEST(ZoomCells, NeighboursComeColumnByColumn) {
  // Every cell of a 4 × 4 grid holds its own row-major index.
  std::vector<int> assignment(16);
  for (int i = 0; i < 16; ++i) assignment[i] = i;
  const auto tiles = NeighbourTiles(assignment, 4, 4, 1, 2);
  ASSERT_TRUE(tiles.has_value());
  // (0,1) (0,2) (0,3) (1,1) (1,3) (2,1) (2,2) (2,3)
  EXPECT_THAT(*tiles, ElementsAre(4, 8, 12, 5, 13, 6, 10, 14));
  EXPECT_FALSE(NeighbourTiles(assignment, 4, 4, 0, 2).has_value());
  EXPECT_FALSE(NeighbourTiles(assignment, 4, 4, 1, 3).has_value());
  EXPECT_FALSE(NeighbourTiles({1, 2, 3}, 4, 4, 1, 1).has_value());
}

}  // namespace
}  // namespace tessaline
