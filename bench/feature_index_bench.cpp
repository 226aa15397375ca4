// Cost of matching one mosaic: 14,400 cell queries (3840 × 2160 working image,
// 32 × 18 cells) against a library of 10,000 tiles with 2 × 2 × 3 byte
// features, through the k-d tree and through the exact brute-force search.
// The "per_query" counter is the time of one query.

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "library/feature_index.h"

namespace tessaline {
namespace {

constexpr int kTiles = 10000;
constexpr int kCells = 14400;
constexpr int kDim = 12;

// Uniform bytes (argument 0) are the hardest case for a k-d tree; features of
// real photographs are correlated (argument 1): one colour per picture with
// sub-cells that differ from it by a little.
std::vector<ColourFeature> RandomFeatures(unsigned seed, int n, bool correlated) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(0, 255), offset(-16, 16);
  std::vector<ColourFeature> features(n, ColourFeature(kDim));
  for (ColourFeature& f : features) {
    const int base[3] = {byte(random), byte(random), byte(random)};
    for (int j = 0; j < kDim; ++j) {
      const int v = correlated ? base[j % 3] + offset(random) : byte(random);
      f[j] = static_cast<unsigned char>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
  }
  return features;
}

std::vector<std::vector<int>> RandomQueries(unsigned seed, int n, bool correlated) {
  std::vector<std::vector<int>> queries;
  for (const ColourFeature& f : RandomFeatures(seed, n, correlated))
    queries.emplace_back(f.begin(), f.end());
  return queries;
}

void SetPerQueryCounter(benchmark::State& state) {
  state.counters["per_query"] = benchmark::Counter(
      kCells, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_IndexBuild(benchmark::State& state) {
  const std::vector<ColourFeature> features = RandomFeatures(1, kTiles, state.range(0) != 0);
  for (auto _ : state) {
    FeatureIndex index(kDim, 1);
    BuildFeatureIndex(index, features);
    benchmark::DoNotOptimize(index.built());
  }
}
BENCHMARK(BM_IndexBuild)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_IndexQueries(benchmark::State& state) {
  FeatureIndex index(kDim, 1);
  BuildFeatureIndex(index, RandomFeatures(1, kTiles, state.range(0) != 0));
  const std::vector<std::vector<int>> queries = RandomQueries(2, kCells, state.range(0) != 0);
  for (auto _ : state)
    for (const std::vector<int>& q : queries) benchmark::DoNotOptimize(index.Query(q));
  SetPerQueryCounter(state);
}
BENCHMARK(BM_IndexQueries)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_BruteForceQueries(benchmark::State& state) {
  const std::vector<ColourFeature> features = RandomFeatures(1, kTiles, state.range(0) != 0);
  const std::vector<std::vector<int>> queries = RandomQueries(2, kCells, state.range(0) != 0);
  for (auto _ : state)
    for (const std::vector<int>& q : queries)
      benchmark::DoNotOptimize(BruteForceNearest(features, q, 1));
  SetPerQueryCounter(state);
}
BENCHMARK(BM_BruteForceQueries)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
