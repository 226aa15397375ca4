// Cost of assigning tiles to the cells of one mosaic and of composing its
// picture on the CPU, at the default working size: 3840 × 2160 pixels, tiles
// of 32 × 18 (120 × 120 = 14,400 cells), a 2 × 2 feature grid (12 bytes).
// Libraries of 1,000 and 10,000 tiles (argument 0) are made in code: each
// tile a base colour with a gentle slope and a little noise, its feature
// computed from its thumbnail as the library load does; the target is a
// smooth random gradient.
//
// - Assign/Index: every cell through the ANN index (the reference path), k = 1.
// - Assign/Fast: every cell through TileMatcher, k = argument 1, with a
//   target tile set (so k + 1 tiles are searched), random choice included.
// - MatchingImage: the area-mean resize of the working image to 240 × 240.
// - Compose: the whole 3840 × 2160 picture from the thumbnails.
// - ZoomWithNeighbours: the nine assignments of a zoom with "Around
//   photomosaics": the zoomed tile's (from the working image) and eight
//   neighbours' (from their thumbnails), each with its matching image; also
//   at 50,000 tiles.
// TESSALINE_BENCH_TREE=1 makes the matcher search through its k-d tree
// alone, the search used above 8,192 tiles before the sorted scan.
// - AssignRepeat: every cell with a minimum repeat distance R (argument 1,
//   k = 1), from the matcher pass to the cell table, as the engine does it.
//   Its "distinct" counter is the number of different tiles used; R = 0
//   gives the plain assignment's for comparison.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>
#include <memory>
#include <opencv2/imgproc.hpp>
#include <random>
#include <vector>

#include "bench/synthetic_tiles.h"
#include "library/feature_index.h"
#include "match/assignment.h"
#include "match/matcher.h"
#include "match/repeat_assignment.h"
#include "mosaic/compose.h"

namespace tessaline {
namespace {

constexpr int kImageW = 3840, kImageH = 2160;
constexpr int kSubW = 32, kSubH = 18;
constexpr int kDivX = kImageW / kSubW, kDivY = kImageH / kSubH;
constexpr int kMx = 2, kMy = 2, kDim = kMx * kMy * 3;

struct Library {
  SubImageStore thumbs;
  std::vector<SubImageInfo> infos;
  std::vector<ColourFeature> features;
  std::unique_ptr<FeatureIndex> index;
  std::unique_ptr<TileMatcher> matcher;
  cv::Mat working_image;  // the target, kImageW × kImageH
};

cv::Mat SmoothGradient(std::mt19937& random) {
  cv::Mat coarse(5, 7, CV_8UC3);
  for (int y = 0; y < coarse.rows; ++y)
    for (int x = 0; x < coarse.cols; ++x)
      coarse.at<cv::Vec3b>(y, x) = cv::Vec3b(random() % 256, random() % 256, random() % 256);
  cv::Mat image;
  cv::resize(coarse, image, cv::Size(kImageW, kImageH), 0, 0, cv::INTER_CUBIC);
  return image;
}

const Library& GetLibrary(int tiles) {
  static std::map<int, Library> libraries;
  auto found = libraries.find(tiles);
  if (found != libraries.end()) return found->second;
  Library& lib = libraries[tiles];
  std::mt19937 random(static_cast<unsigned>(tiles));
  lib.thumbs.Reset(kSubW, kSubH);
  for (int i = 0; i < tiles; ++i) {
    const cv::Mat thumb = MakeSyntheticThumbnail(random, kSubW, kSubH);
    lib.thumbs.Add(thumb);
    SubImageInfo info;
    info.feature = ComputeTileFeature(thumb, kMx, kMy);
    const ColourFeature mean = ComputeTileFeature(thumb, 1, 1);
    info.mean_r = mean[0], info.mean_g = mean[1], info.mean_b = mean[2];
    lib.features.push_back(info.feature);
    lib.infos.push_back(info);
  }
  lib.index = std::make_unique<FeatureIndex>(kDim, 1);
  BuildFeatureIndex(*lib.index, lib.features);
  lib.matcher = std::make_unique<TileMatcher>(lib.features, kDim,
                                              std::getenv("TESSALINE_BENCH_TREE")
                                                  ? TileMatcher::Method::kTree
                                                  : TileMatcher::Method::kAuto);
  lib.working_image = SmoothGradient(random);
  return lib;
}

cv::Mat Matching(const cv::Mat& picture) {
  return MakeMatchingImage(picture, cv::Size(kDivX * kMx, kDivY * kMy));
}

void SetCellCounter(benchmark::State& state, int mosaics) {
  state.counters["per_cell"] =
      benchmark::Counter(kDivX * kDivY * mosaics, benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}

void BM_AssignIndex(benchmark::State& state) {
  const Library& lib = GetLibrary(static_cast<int>(state.range(0)));
  const cv::Mat matching = Matching(lib.working_image);
  std::vector<int> assignment;
  std::vector<unsigned char> table;
  for (auto _ : state) {
    const CellCandidates c = MatchCellsWithIndex(*lib.index, matching, kDivX, kDivY, kMx, kMy);
    ComputeAssignment(c, 1, -1, true, assignment, table);
    benchmark::DoNotOptimize(table.data());
  }
  SetCellCounter(state, 1);
}
BENCHMARK(BM_AssignIndex)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_AssignFast(benchmark::State& state) {
  const Library& lib = GetLibrary(static_cast<int>(state.range(0)));
  const int k = static_cast<int>(state.range(1));
  const int target_tile = 7;
  const cv::Mat matching = Matching(lib.working_image);
  std::vector<int> assignment;
  std::vector<unsigned char> table;
  for (auto _ : state) {
    const CellCandidates c = lib.matcher->MatchCells(matching, kDivX, kDivY, kMx, kMy,
                                                     CandidatesToRequest(k, target_tile));
    ComputeAssignment(c, k, target_tile, true, assignment, table);
    benchmark::DoNotOptimize(table.data());
  }
  SetCellCounter(state, 1);
}
BENCHMARK(BM_AssignFast)->ArgsProduct({{1000, 10000}, {1, 3, 10}})->Unit(benchmark::kMillisecond);

void BM_MatchingImage(benchmark::State& state) {
  const Library& lib = GetLibrary(1000);
  for (auto _ : state) benchmark::DoNotOptimize(Matching(lib.working_image).data);
}
BENCHMARK(BM_MatchingImage)->Unit(benchmark::kMillisecond);

void BM_Compose(benchmark::State& state) {
  const Library& lib = GetLibrary(static_cast<int>(state.range(0)));
  const CellCandidates c =
      lib.matcher->MatchCells(Matching(lib.working_image), kDivX, kDivY, kMx, kMy, 3);
  std::vector<int> assignment;
  std::vector<unsigned char> table;
  ComputeAssignment(c, 3, -1, true, assignment, table);
  for (auto _ : state) {
    const cv::Mat out = ComposeMosaic(lib.thumbs, assignment, kDivX, kDivY, kImageW, kImageH,
                                      static_cast<int>(state.range(1)));
    benchmark::DoNotOptimize(out.data);
  }
}
BENCHMARK(BM_Compose)->ArgsProduct({{1000, 10000}, {1, 2}})->Unit(benchmark::kMillisecond);

void BM_ZoomWithNeighbours(benchmark::State& state) {
  const Library& lib = GetLibrary(static_cast<int>(state.range(0)));
  std::vector<int> assignment(kDivX * kDivY, 0);
  for (std::size_t i = 0; i < assignment.size(); ++i)
    assignment[i] = static_cast<int>(i * 7919 % lib.infos.size());
  const int cx = 60, cy = 60;
  const std::array<int, 8> neighbours = *NeighbourTiles(assignment, kDivX, kDivY, cx, cy);
  std::vector<int> stored;
  std::vector<unsigned char> table;
  for (auto _ : state) {
    int target_tile = assignment[cx + cy * kDivX];
    CellCandidates c = lib.matcher->MatchCells(Matching(lib.working_image), kDivX, kDivY, kMx, kMy,
                                               CandidatesToRequest(1, target_tile));
    ComputeAssignment(c, 1, target_tile, true, stored, table);
    for (int u : neighbours) {
      target_tile = u;
      c = lib.matcher->MatchCells(Matching(lib.thumbs.At(u)), kDivX, kDivY, kMx, kMy,
                                  CandidatesToRequest(1, target_tile));
      ComputeAssignment(c, 1, target_tile, false, stored, table);
    }
    benchmark::DoNotOptimize(table.data());
  }
  SetCellCounter(state, 9);
}
BENCHMARK(BM_ZoomWithNeighbours)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

// The engine's path: one matcher pass, then more tiles for crowded cells.
std::vector<int> AssignRepeat(const Library& lib, const cv::Mat& matching, int k, int r,
                              std::mt19937& random) {
  const RandomSource draw = [&random] { return static_cast<int>(random() >> 1); };
  std::vector<int> tiles, assignment;
  std::vector<unsigned char> table;
  if (r == 0) {
    const CellCandidates c = lib.matcher->MatchCells(matching, kDivX, kDivY, kMx, kMy, k);
    ComputeAssignment(c, k, -1, true, assignment, table, draw);
    return assignment;
  }
  const CellCandidates first = lib.matcher->MatchCells(matching, kDivX, kDivY, kMx, kMy,
                                                       RepeatCandidatesToRequest(k, -1, r));
  RepeatInput input;
  input.first = &first;
  input.nearest = CellQueryOf(*lib.matcher, matching, kMx, kMy);
  input.library_size = lib.matcher->candidate_count();
  input.k = k;
  input.repeat_distance = r;
  AssignWithRepeatDistance(input, tiles, draw);
  StoreAssignment(tiles, true, assignment, table);
  return assignment;
}

void BM_AssignRepeat(benchmark::State& state) {
  const Library& lib = GetLibrary(static_cast<int>(state.range(0)));
  const int r = static_cast<int>(state.range(1));
  const cv::Mat matching = Matching(lib.working_image);
  std::mt19937 random(1);
  std::vector<int> assignment;
  for (auto _ : state) {
    assignment = AssignRepeat(lib, matching, 1, r, random);
    benchmark::DoNotOptimize(assignment.data());
  }
  std::sort(assignment.begin(), assignment.end());
  state.counters["distinct"] =
      static_cast<double>(std::unique(assignment.begin(), assignment.end()) - assignment.begin());
  SetCellCounter(state, 1);
}
BENCHMARK(BM_AssignRepeat)
    ->ArgsProduct({{1000, 10000}, {0, 1, 4, 8, 30}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaline

BENCHMARK_MAIN();
