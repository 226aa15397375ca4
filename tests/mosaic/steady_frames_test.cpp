#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/fake_movie.h"
#include "common/temp_folder.h"
#include "mosaic/photo_mosaic.h"

namespace tessaline {
namespace {

// Grey tiles 20 levels apart (tile i is level 20 i), and frames of 10 x 9
// cells of 8 x 6 pixels, each cell flat grey.
constexpr int kStep = 20;
constexpr int kTiles = 13;
constexpr int kCols = 10;
constexpr int kRows = 9;

cv::Mat Frame(const std::function<int(int cx, int cy)>& level) {
  cv::Mat frame(kRows * 6, kCols * 8, CV_8UC3);
  for (int cy = 0; cy < kRows; ++cy)
    for (int cx = 0; cx < kCols; ++cx)
      frame(cv::Rect(cx * 8, cy * 6, 8, 6)).setTo(cv::Scalar::all(level(cx, cy)));
  return frame;
}

// Halfway between two tiles: a fresh match takes either as noise tips it.
int Midway(int cx, int cy) { return kStep / 2 + kStep * ((cx + 2 * cy) % (kTiles - 1)); }

// `frame` with noise of up to 3 levels on every byte.
cv::Mat Noisy(const cv::Mat& frame, int seed) {
  cv::Mat noise(frame.size(), CV_16SC3), out;
  cv::RNG(static_cast<std::uint64_t>(seed)).fill(noise, cv::RNG::UNIFORM, -3, 4);
  frame.convertTo(out, CV_16SC3);
  out += noise;
  out.convertTo(out, CV_8UC3);
  return out;
}

int Differing(const std::vector<int>& a, const std::vector<int>& b) {
  int count = 0;
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) count += a[i] != b[i];
  return count;
}

class SteadyFrames : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < kTiles; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "g%02d.png", i);
      cv::imwrite(folder_ / name, cv::Mat(12, 16, CV_8UC3, cv::Scalar::all(kStep * i)));
    }
    config_.image_dir = folder_.Path();
    config_.image_width = kCols * 8;
    config_.image_height = kRows * 6;
    config_.sub_width = 8;
    config_.sub_height = 6;
    config_.sub_scale_list = "8,6";
    config_.steadiness = 0.3;
  }

  // An engine with the grey tiles loaded and its draws seeded, as the
  // batch's movie run makes it.
  std::unique_ptr<qxPhotoMosaic> Engine() {
    auto engine = std::make_unique<qxPhotoMosaic>(config_);
    engine->SetImageSize(config_.image_width, config_.image_height);
    engine->Library().SetTouchedTileFiles(false);
    EXPECT_TRUE(engine->LoadSubImages(folder_.Path()));
    engine->Seed(7);
    return engine;
  }

  TempFolder folder_;
  MosaicConfig config_;
};

// Without steadiness the noise swaps cells between their two tiles; with
// it, no tile moves, neither in the batch's movie frames nor in live ones,
// nor under a repeat distance or a cap.
TEST_F(SteadyFrames, NoiseOnAStillSceneSwapsNoTileOnceSteady) {
  std::deque<cv::Mat> frames;
  for (int seed = 1; seed <= 8; ++seed) frames.push_back(Noisy(Frame(Midway), seed));
  struct Row {
    bool live;
    double steadiness;
    int repeat_distance;
    int max_uses;
    bool swaps;
  };
  for (const Row& r :
       {Row{false, 0.0, 0, 0, true}, Row{false, 0.3, 0, 0, false}, Row{true, 0.0, 0, 0, true},
        Row{true, 0.3, 0, 0, false}, Row{false, 0.0, 1, 0, true}, Row{false, 0.3, 1, 0, false},
        Row{false, 0.0, 0, 10, true}, Row{false, 0.3, 0, 10, false}}) {
    config_.steadiness = r.steadiness;
    config_.repeat_distance = r.repeat_distance;
    config_.max_uses = r.max_uses;
    auto engine = Engine();
    engine->Live().SetMovieOpener([&frames](const std::string&) {
      MovieOpen opened;
      opened.movie = std::make_unique<FakeMovie>(frames);
      return opened;
    });
    ASSERT_TRUE(!r.live || engine->OpenMovie("noise.mp4"));
    std::vector<int> before;
    int swapped = 0;
    for (const cv::Mat& frame : frames) {
      ASSERT_TRUE(r.live ? engine->NextLiveFrame() : engine->ComputeFrameMosaic(frame));
      if (!before.empty()) swapped += Differing(before, engine->CellAssignment());
      before = engine->CellAssignment();
    }
    EXPECT_EQ(swapped > 0, r.swaps)
        << "live " << r.live << " at " << r.steadiness << " R " << r.repeat_distance << " uses "
        << r.max_uses << " : " << swapped << " swaps";
  }
}

// The cells of the first frame lie a level below halfway, nearer the tile
// below; in the second some cells jump far (a share of each row) and the
// others move two levels, past halfway, so that a fresh match takes the
// tile above (9 levels off) but the steady rule keeps the one below (11).
// When most cells jumped, every cell is matched afresh.
TEST_F(SteadyFrames, ACutRematchesEveryCellAndAPartialChangeOnlyItsOwn) {
  for (const int jumped_in_ten : {6, 3}) {
    auto engine = Engine();
    ASSERT_TRUE(
        engine->ComputeFrameMosaic(Frame([](int cx, int cy) { return Midway(cx, cy) - 1; })));
    const auto jumped = [&](int cx, int cy) { return (cx + cy * kCols) % 10 < jumped_in_ten; };
    const cv::Mat next = Frame([&](int cx, int cy) {
      return jumped(cx, cy) ? (Midway(cx, cy) + 120) % 240 : Midway(cx, cy) + 1;
    });
    ASSERT_TRUE(engine->ComputeFrameMosaic(next));
    const std::vector<int> steady = engine->CellAssignment();
    ASSERT_TRUE(engine->ComputeMosaic(kCurrentMosaic, next, true));
    const std::vector<int>& fresh = engine->CellAssignment();
    const bool cut = jumped_in_ten > 5;
    for (int cell = 0; cell < kCols * kRows; ++cell) {
      const bool afresh = cut || jumped(cell % kCols, cell / kCols);
      EXPECT_EQ(steady[cell] == fresh[cell], afresh) << jumped_in_ten << " in ten, cell " << cell;
    }
  }
}

// The frame before has one tile everywhere; under a repeat distance or a
// cap set since, cells keep it only where it breaks neither.
TEST_F(SteadyFrames, AKeptTileThatWouldBreakTheRulesIsReplaced) {
  struct Row {
    int repeat_distance;
    int max_uses;
  };
  for (const Row& r : {Row{1, 0}, Row{0, 10}, Row{1, 10}}) {
    config_.repeat_distance = config_.max_uses = 0;
    auto engine = Engine();
    const cv::Mat scene = Frame([](int, int) { return kStep / 2 - 2; });
    ASSERT_TRUE(engine->ComputeFrameMosaic(scene));
    const int before = engine->CellAssignment().front();
    ASSERT_EQ(std::count(engine->CellAssignment().begin(), engine->CellAssignment().end(), before),
              kCols * kRows);
    config_.repeat_distance = r.repeat_distance;
    config_.max_uses = r.max_uses;
    ASSERT_TRUE(engine->ComputeFrameMosaic(scene));
    const std::vector<int>& tiles = engine->CellAssignment();
    EXPECT_GT(std::count(tiles.begin(), tiles.end(), before), 0)
        << r.repeat_distance << " " << r.max_uses;
    if (r.max_uses > 0) {
      for (int t = 0; t < kTiles; ++t)
        EXPECT_LE(std::count(tiles.begin(), tiles.end(), t), r.max_uses) << "tile " << t;
    }
    for (int a = 0; a < kCols * kRows && r.repeat_distance > 0; ++a) {
      for (int b = a + 1; b < kCols * kRows; ++b) {
        const bool near =
            std::abs(a % kCols - b % kCols) <= 1 && std::abs(a / kCols - b / kCols) <= 1;
        EXPECT_TRUE(!near || tiles[a] != tiles[b]) << "cells " << a << " and " << b;
      }
    }
  }
}

// Steadiness 0: each frame of a movie is the mosaic a fresh match of it
// makes, draw for draw, with a draw set, a repeat distance or a cap.
TEST_F(SteadyFrames, SteadinessZeroGivesTheMosaicsOfFreshMatches) {
  config_.steadiness = 0.0;
  config_.search_num = 3;
  for (const auto& [repeat_distance, max_uses] : {std::pair{0, 0}, {1, 0}, {0, 10}}) {
    config_.repeat_distance = repeat_distance;
    config_.max_uses = max_uses;
    auto frames = Engine();
    auto stills = Engine();
    for (int seed = 1; seed <= 4; ++seed) {
      const cv::Mat frame = Noisy(Frame(Midway), seed);
      ASSERT_TRUE(frames->ComputeFrameMosaic(frame));
      ASSERT_TRUE(stills->ComputeMosaic(kCurrentMosaic, frame, true));
      EXPECT_EQ(frames->CellTableBytes(), stills->CellTableBytes())
          << "R " << repeat_distance << " uses " << max_uses << " frame " << seed;
    }
  }
}

}  // namespace
}  // namespace tessaline
