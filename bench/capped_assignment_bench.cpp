// Cost of assigning the 14,400 cells of one mosaic (120 × 120 cells, 2 × 2
// feature grid) under a cap per photo, the every-photo rule and the repeat
// distance, including the matcher pass, on clustered photo-like features;
// beside it the plain draw (no cap) as the engine makes it today. Arguments:
// photos, cap (0: none), use_all, R.
//
// BM_OptimalityGap measures, once, how far the capped assignment's total
// distance lies above the exact optimum (a dense Hungarian solve) on 1,000
// cells and 1,000 photos at cap 1 and on 1,000 cells over 500 photos at
// cap 2: the counter gap_percent.

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "bench/exact_assignment.h"
#include "bench/photo_features.h"
#include "match/assignment.h"
#include "match/capped_assignment.h"
#include "match/matcher.h"

namespace tessaline {
namespace {

constexpr int kTargetTile = 0;

struct Library {
  std::vector<ColourFeature> features;
  std::unique_ptr<TileMatcher> matcher;
  cv::Mat matching;
};

const Library& LibraryOf(int photos) {
  static std::map<int, Library> libraries;
  auto found = libraries.find(photos);
  if (found != libraries.end()) return found->second;
  Library& library = libraries[photos];
  std::mt19937 random(static_cast<unsigned>(photos));
  const std::vector<cv::Vec3d> centres = ClusterCentres(random, 40);
  library.features = PhotoFeatures(random, centres, photos);
  library.matcher = std::make_unique<TileMatcher>(library.features, kDim);
  library.matching = PhotoMatchingImage(random, centres);
  return library;
}

CappedOutcome AssignCapped(const Library& library, int div_x, int div_y, const CapRules& rules,
                           std::vector<int>& tiles) {
  CappedInput in;
  in.matcher = library.matcher.get();
  in.matching = &library.matching;
  in.div_x = div_x;
  in.div_y = div_y;
  in.mx = kMx;
  in.my = kMy;
  in.target_tile = kTargetTile;
  in.rules = rules;
  return AssignWithCaps(in, tiles);
}

double Distance(const Library& library, int cell, int div_x, int tile) {
  std::vector<int> query;
  CellFeature(library.matching, cell % div_x, cell / div_x, kMx, kMy, query);
  double sum = 0;
  for (int j = 0; j < kDim; ++j) sum += std::pow(query[j] - library.features[tile][j], 2);
  return std::sqrt(sum);
}

void BM_CappedAssignment(benchmark::State& state) {
  const Library& library = LibraryOf(static_cast<int>(state.range(0)));
  const CapRules rules{static_cast<int>(state.range(1)), state.range(2) != 0,
                       static_cast<int>(state.range(3))};
  std::vector<int> tiles;
  CappedOutcome outcome;
  for (auto _ : state) outcome = AssignCapped(library, kDivX, kDivY, rules, tiles);
  std::vector<int> uses(library.features.size(), 0);
  for (int t : tiles) ++uses[static_cast<std::size_t>(t)];
  double total = 0;
  for (int cell = 0; cell < kDivX * kDivY; ++cell) total += Distance(library, cell, kDivX, tiles[cell]);
  state.counters["mean_distance"] = total / (kDivX * kDivY);
  state.counters["cap_in_force"] = outcome.cap;
  state.counters["most_uses"] = *std::max_element(uses.begin(), uses.end());
  state.counters["optimal"] = outcome.optimal;
  if (!outcome.cap_kept || !outcome.repeat_kept || outcome.left_out > 0)
    state.SkipWithError("the rules were not all kept");
}
BENCHMARK(BM_CappedAssignment)
    ->Args({10000, 1, 0, 0})
    ->Args({16000, 1, 0, 0})
    ->Args({10000, 2, 0, 4})
    ->Args({500, 30, 1, 0})
    ->Args({2000, 1, 0, 0})
    ->Args({5000, 3, 0, 0})
    ->Args({1000, 2, 0, 4})
    ->Args({10000, 0, 0, 4})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Today's plain draw: the matcher pass and one draw per cell.
void BM_UncappedAssignment(benchmark::State& state) {
  const Library& library = LibraryOf(static_cast<int>(state.range(0)));
  std::vector<int> assignment;
  std::vector<unsigned char> table;
  for (auto _ : state) {
    const CellCandidates c = library.matcher->MatchCells(library.matching, kDivX, kDivY, kMx, kMy,
                                                         CandidatesToRequest(1, kTargetTile));
    ComputeAssignment(c, 1, kTargetTile, true, assignment, table);
  }
}
BENCHMARK(BM_UncappedAssignment)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OptimalityGap(benchmark::State& state) {
  const int photos = static_cast<int>(state.range(0)), cap = static_cast<int>(state.range(1));
  const int div_x = 40, div_y = 25, cells = div_x * div_y;
  const Library& library = LibraryOf(photos);
  std::vector<int> tiles;
  for (auto _ : state) AssignCapped(library, div_x, div_y, CapRules{cap, false, 0}, tiles);
  // The target tile takes part in neither: its columns are left out.
  std::vector<std::vector<double>> dense(cells);
  double total = 0;
  for (int cell = 0; cell < cells; ++cell) {
    total += Distance(library, cell, div_x, tiles[cell]);
    for (int use = 0; use < cap; ++use)
      for (int t = 1; t < photos; ++t) dense[cell].push_back(Distance(library, cell, div_x, t));
  }
  const double optimum = ExactOptimum(dense);
  state.counters["gap_percent"] = 100 * (total / optimum - 1);
}
BENCHMARK(BM_OptimalityGap)
    ->Args({1001, 1})
    ->Args({501, 2})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
