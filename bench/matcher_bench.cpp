// Cost of the nearest-tile search for one mosaic, 14,400 cells (3840 × 2160
// at 32 × 18) with a 2 × 2 feature grid, at large libraries (argument 0),
// k tiles per cell (argument 1; 2 is a plain mosaic with its target tile),
// through the matcher's own choice (Auto) and through its k-d tree alone
// (Tree, the search used above 8,192 tiles before the sorted scan).
//
// Features are made to crowd as photographs' do: most pictures are dull,
// near the grey axis, in a few dozen clusters of scenes (skies, foliage,
// skin, night), with some exact duplicates; the target is a smooth picture
// with colours drawn the same way. Uniform features would flatter every
// index.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <random>
#include <utility>
#include <vector>

#include "match/matcher.h"

namespace tessaline {
namespace {

constexpr int kDivX = 120, kDivY = 120, kMx = 2, kMy = 2, kDim = kMx * kMy * 3;

unsigned char Clamp(double v) { return static_cast<unsigned char>(std::clamp(v, 0.0, 255.0)); }

// Colour centres of the scene clusters: brightness spread, colourfulness
// mostly low.
std::vector<cv::Vec3d> ClusterCentres(std::mt19937& random, int count) {
  std::uniform_real_distribution<double> unit(0, 1);
  std::normal_distribution<double> tint(0, 1);
  std::vector<cv::Vec3d> centres;
  for (int i = 0; i < count; ++i) {
    const double grey = 20 + 210 * unit(random) * unit(random) + 20 * unit(random);
    const double colourful = 45 * unit(random) * unit(random);
    centres.emplace_back(grey + colourful * tint(random), grey + colourful * tint(random),
                         grey + colourful * tint(random));
  }
  return centres;
}

cv::Vec3d PhotoColour(std::mt19937& random, const std::vector<cv::Vec3d>& centres) {
  std::normal_distribution<double> spread(0, 14);
  const cv::Vec3d& c = centres[random() % centres.size()];
  const double shade = spread(random);
  return {c[0] + shade + spread(random) / 2, c[1] + shade + spread(random) / 2,
          c[2] + shade + spread(random) / 2};
}

std::vector<ColourFeature> PhotoFeatures(std::mt19937& random,
                                         const std::vector<cv::Vec3d>& centres, int n) {
  std::normal_distribution<double> slope(0, 8), noise(0, 2);
  std::vector<ColourFeature> features(n, ColourFeature(kDim));
  for (int i = 0; i < n; ++i) {
    if (i > 0 && random() % 50 == 0) {  // the same picture twice
      features[i] = features[random() % i];
      continue;
    }
    const cv::Vec3d base = PhotoColour(random, centres);
    const double sx = slope(random), sy = slope(random);
    for (int y = 0, j = 0; y < kMy; ++y)
      for (int x = 0; x < kMx; ++x)
        for (int c = 0; c < 3; ++c, ++j)
          features[i][j] = Clamp(base[c] + sx * (x - 0.5) + sy * (y - 0.5) + noise(random));
  }
  return features;
}

// A smooth picture: a coarse grid of photo colours, enlarged, at the
// matching image's size (one pixel per feature sub-cell, BGR).
cv::Mat PhotoMatchingImage(std::mt19937& random, const std::vector<cv::Vec3d>& centres) {
  cv::Mat coarse(12, 12, CV_8UC3);
  for (int y = 0; y < coarse.rows; ++y)
    for (int x = 0; x < coarse.cols; ++x) {
      const cv::Vec3d rgb = PhotoColour(random, centres);
      coarse.at<cv::Vec3b>(y, x) = cv::Vec3b(Clamp(rgb[2]), Clamp(rgb[1]), Clamp(rgb[0]));
    }
  cv::Mat image;
  cv::resize(coarse, image, cv::Size(kDivX * kMx, kDivY * kMy), 0, 0, cv::INTER_CUBIC);
  return image;
}

struct Setup {
  std::unique_ptr<TileMatcher> automatic, tree;
  cv::Mat matching;
};

const Setup& GetSetup(int tiles) {
  static std::map<int, Setup> setups;
  auto found = setups.find(tiles);
  if (found != setups.end()) return found->second;
  Setup& setup = setups[tiles];
  std::mt19937 random(static_cast<unsigned>(tiles));
  const std::vector<cv::Vec3d> centres = ClusterCentres(random, 40);
  const std::vector<ColourFeature> features = PhotoFeatures(random, centres, tiles);
  setup.automatic = std::make_unique<TileMatcher>(features, kDim);
  setup.tree = std::make_unique<TileMatcher>(features, kDim, TileMatcher::Method::kTree);
  setup.matching = PhotoMatchingImage(random, centres);
  return setup;
}

void RunMatchCells(benchmark::State& state, bool tree) {
  const Setup& setup = GetSetup(static_cast<int>(state.range(0)));
  const TileMatcher& matcher = tree ? *setup.tree : *setup.automatic;
  const int k = static_cast<int>(state.range(1));
  for (auto _ : state) {
    const CellCandidates c = matcher.MatchCells(setup.matching, kDivX, kDivY, kMx, kMy, k);
    benchmark::DoNotOptimize(c.tiles.data());
  }
  // Both paths must agree exactly, or the comparison means nothing.
  if (!tree && matcher.MatchCells(setup.matching, kDivX, kDivY, kMx, kMy, k).tiles !=
                   setup.tree->MatchCells(setup.matching, kDivX, kDivY, kMx, kMy, k).tiles)
    state.SkipWithError("the sorted scan and the tree disagree");
  state.counters["per_cell"] = benchmark::Counter(
      kDivX * kDivY, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_MatchCellsAuto(benchmark::State& state) { RunMatchCells(state, false); }
void BM_MatchCellsTree(benchmark::State& state) { RunMatchCells(state, true); }
BENCHMARK(BM_MatchCellsTree)
    ->ArgsProduct({{10000, 50000}, {2, 10}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_MatchCellsAuto)
    ->ArgsProduct({{10000, 50000}, {2, 10}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
