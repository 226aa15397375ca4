#include "match/capped_assignment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "bench/exact_assignment.h"
#include "library/feature.h"

namespace tessaline {
namespace {

constexpr int kDim = 3;  // a 1 × 1 feature grid

// Tiles and cells drawn around the same few colours, so that cells compete
// for the same tiles and the caps bind.
ColourFeature Clustered(std::mt19937& random) {
  const int centre = static_cast<int>(random() % 4) * 60 + 20;
  ColourFeature f(kDim);
  for (auto& byte : f) byte = static_cast<unsigned char>(centre + random() % 40);
  return f;
}

struct Case {
  int div_x, div_y, photos;
  int max_uses;
  bool use_all;
  int repeat;
  int k;
  int target;
};

struct CappedRun {
  std::vector<ColourFeature> features;
  TileMatcher matcher;
  cv::Mat matching;
  std::vector<int> tiles;
  CappedOutcome outcome;

  // With `kept`, the next frame of the same cells, moved by up to
  // `noise` levels, kept steady at `steadiness` against those tiles.
  CappedRun(const Case& c, unsigned seed, bool lists = false,
            const std::vector<int>* kept = nullptr, int noise = 0, double steadiness = 0.0) {
    std::mt19937 random(seed);
    for (int i = 0; i < c.photos; ++i) features.push_back(Clustered(random));
    matcher = TileMatcher(features, kDim);
    matching.create(c.div_y, c.div_x, CV_8UC3);
    for (int y = 0; y < c.div_y; ++y)
      for (int x = 0; x < c.div_x; ++x) {
        const ColourFeature f = Clustered(random);
        matching.at<cv::Vec3b>(y, x) = cv::Vec3b(f[2], f[1], f[0]);
      }
    for (auto& byte : cv::Mat_<unsigned char>(matching.reshape(1)))
      byte =
          static_cast<unsigned char>(byte + static_cast<int>(random() % (2 * noise + 1)) - noise);
    CappedInput in;
    in.matcher = &matcher;
    in.matching = &matching;
    in.div_x = c.div_x;
    in.div_y = c.div_y;
    in.k = c.k;
    in.target_tile = c.target;
    in.rules = {c.max_uses, c.use_all, c.repeat};
    if (lists) in.max_dense_photos = 0;
    in.kept = kept;
    in.steadiness = steadiness;
    std::mt19937 draws(seed + 1);
    outcome = AssignWithCaps(in, tiles, [&draws] { return static_cast<int>(draws() >> 1); });
  }

  // The objective: Euclidean feature distance, as the assignment weighs it.
  double Cost(int cell, int tile) const {
    const cv::Vec3b p = matching.at<cv::Vec3b>(cell / matching.cols, cell % matching.cols);
    double sum = 0;
    for (int j = 0; j < kDim; ++j) sum += std::pow(p[2 - j] - features[tile][j], 2);
    return std::sqrt(sum);
  }
};

// The rules every mosaic of a case must keep.
void ExpectRulesKept(const Case& c, const CappedRun& run) {
  const int cells = c.div_x * c.div_y, photos = c.photos - (c.target >= 0 ? 1 : 0);
  std::vector<int> uses(static_cast<std::size_t>(c.photos), 0);
  for (int t : run.tiles) ++uses[static_cast<std::size_t>(t)];
  int cap = c.max_uses;
  if (c.use_all && cells < photos) cap = 1;
  if (cap > 0 && cap * photos < cells) cap = (cells + photos - 1) / photos;
  EXPECT_EQ(run.outcome.cap, cap);
  for (int t = 0; t < c.photos; ++t) {
    const bool required = c.use_all && cells >= photos && t != c.target;
    EXPECT_TRUE(t != c.target || uses[t] == 0) << "the target tile is used";
    EXPECT_TRUE(cap == 0 || uses[t] <= cap) << "photo " << t << " used " << uses[t];
    EXPECT_TRUE(!required || uses[t] >= 1) << "photo " << t << " unused";
  }
  for (int a = 0; a < cells; ++a)
    for (int b = a + 1; b < cells; ++b)
      EXPECT_FALSE(std::abs(a % c.div_x - b % c.div_x) <= c.repeat &&
                   b / c.div_x - a / c.div_x <= c.repeat && run.tiles[a] == run.tiles[b])
          << "cells " << a << " and " << b;
  EXPECT_TRUE(run.outcome.cap_kept && run.outcome.repeat_kept && run.outcome.left_out == 0);
}

TEST(AssignWithCaps, KeepsEveryRuleOverATableOfCases) {
  const Case cases[] = {
      {20, 20, 500, 1, false, 0, 1, -1}, {20, 20, 250, 2, false, 0, 1, 7},
      {20, 20, 100, 5, false, 2, 1, -1}, {20, 20, 600, 0, true, 0, 1, 3},
      {20, 20, 150, 0, true, 0, 1, -1},  {20, 20, 150, 3, true, 1, 1, 0},
      {20, 20, 250, 2, false, 1, 3, 5},  {20, 20, 300, 1, false, 2, 4, -1},
      {30, 10, 90, 0, true, 2, 2, 1},
  };
  for (const bool lists : {false, true})
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "photos " << c.photos << " cap " << c.max_uses
                                      << " use_all " << c.use_all << " R " << c.repeat << " k "
                                      << c.k << (lists ? " over lists" : " over every cost"));
      const CappedRun run(c, 11, lists);
      ExpectRulesKept(c, run);
      EXPECT_EQ(run.outcome.cap_raised, c.photos == 300) << "only the 300-photo case lacks photos";
      EXPECT_EQ(CappedRun(c, 11, lists).tiles, run.tiles) << "the same draws give the same mosaic";
    }
}

// Cells moved by noise since the frame before keep their tiles when they
// are held, and still keep every rule; matched afresh, many move.
TEST(AssignWithCaps, AFrameKeptSteadyMovesFewCells) {
  const Case cases[] = {{20, 20, 250, 2, false, 0, 1, -1}, {20, 20, 150, 3, true, 1, 1, 0}};
  for (const bool lists : {false, true})
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "cap " << c.max_uses << (lists ? " over lists" : ""));
      const CappedRun before(c, 3, lists);
      for (const double steadiness : {0.0, 0.3}) {
        const CappedRun now(c, 3, lists, &before.tiles, 2, steadiness);
        ExpectRulesKept(c, now);
        int moved = 0;
        for (std::size_t cell = 0; cell < now.tiles.size(); ++cell)
          moved += now.tiles[cell] != before.tiles[cell];
        const bool few = moved < 10;
        EXPECT_EQ(few, steadiness > 0) << moved << " of 400 moved at " << steadiness;
      }
    }
}

TEST(AssignWithCaps, ComesWithinOnePercentOfTheExactOptimum) {
  // 200 cells over 200 photos once each, and over 100 photos twice each (a
  // photo's two uses are two columns of the dense matrix).
  const Case cases[] = {{20, 10, 200, 1, false, 0, 1, -1},
                        {20, 10, 100, 2, false, 0, 1, -1},
                        {20, 10, 200, 0, true, 0, 1, -1}};
  for (const bool lists : {false, true})
  for (const Case& c : cases) {
    const CappedRun run(c, 5, lists);
    ExpectRulesKept(c, run);
    const int cells = c.div_x * c.div_y, uses = std::max(c.max_uses, 1);
    std::vector<std::vector<double>> dense(cells, std::vector<double>(c.photos * uses));
    double total = 0;
    for (int cell = 0; cell < cells; ++cell) {
      total += run.Cost(cell, run.tiles[cell]);
      for (int col = 0; col < c.photos * uses; ++col)
        dense[cell][col] = run.Cost(cell, col % c.photos);
    }
    const double optimum = ExactOptimum(dense);
    EXPECT_LE(total, optimum * 1.01) << "cap " << c.max_uses << " optimum " << optimum;
    // Over every cost the optimum is exact but for costs rounded to 1/16.
    if (!lists) {
      EXPECT_NEAR(total, optimum, cells / 16.0) << "cap " << c.max_uses;
    }
    std::printf("cap %d%s: %.4f %% above the optimum\n", c.max_uses, lists ? " over lists" : "",
                100 * (total / optimum - 1));
  }
}

}  // namespace
}  // namespace tessaline
