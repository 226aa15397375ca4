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

#include "bench/photo_features.h"
#include "match/matcher.h"

namespace tessaline {
namespace {

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
