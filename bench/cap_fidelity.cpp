// How close mosaics under a cap per photo and a repeat distance come to
// their targets when their cells are filled greedily and when they are
// assigned at the least total distance (match/capped_assignment.h), for
// bench/cap_fidelity.sh:
//
//   cap_fidelity TILES_DIR TARGET...
//
// The mosaic is the program's default: a 3840 x 2160 working size of
// 32 x 18 tiles (120 x 120 cells) matched on a 2 x 2 grid, a draw set of 1,
// a picture target (no target tile). The library's features come from the
// cache the batch program writes in TILES_DIR; each target's matching image
// is read as the batch program reads it. Each assignment is measured with
// MeasureAssignment: the mean CIE76 distance between each cell's and its
// tile's sub-cell colours at the matching grid.
//
// Cases, each a greedy fill against the optimal assignment:
//   cap N        cells in a random order (std::mt19937, seed 1), each taking
//                its nearest photo with uses left, against AssignWithCaps
//                with the same cap;
//   R=4          the program's repeat fill (AssignWithRepeatDistance)
//                against AssignWithCaps with the repeat distance alone;
//   cap 2 + R=4  the random-order fill, each cell taking its nearest photo
//                with uses left and none within 4 cells, against
//                AssignWithCaps with both.
// A cap smaller than the cells need (cells > photos x cap) is raised to
// ceil(cells / photos) for both fills, as AssignWithCaps raises it.
// Each is set against the plain assignment (no cap, no repeat distance).
// Beside dE each is given the mean Euclidean distance between the cells'
// and their tiles' features, the distance the optimal assignment minimises.
// Prints one line per target and case, then the means over the targets.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "library/feature.h"
#include "library/tile_library.h"
#include "match/assignment.h"
#include "match/assignment_stats.h"
#include "match/capped_assignment.h"
#include "match/matcher.h"
#include "match/repeat_assignment.h"
#include "mosaic/photo_mosaic.h"

namespace tessaline {
namespace {

const cv::Size kWorking(3840, 2160);
constexpr int kTileW = 32;
constexpr int kTileH = 18;
constexpr int kGridX = 2;  // matching grid of a cell
constexpr int kGridY = 2;
constexpr int kDivX = 3840 / kTileW;
constexpr int kDivY = 2160 / kTileH;
constexpr int kCells = kDivX * kDivY;
constexpr int kRepeat = 4;
constexpr unsigned kSeed = 1;

// The matcher over the library's features, as the engine builds it after a
// load; an empty one, with the load's lines on stderr, when none loads.
TileMatcher LoadMatcher(const std::string& dir) {
  TileLibraryParams params;
  params.matching_x = kGridX;
  params.matching_y = kGridY;
  params.sub_width = kTileW;
  params.sub_height = kTileH;
  TileLibrary library(params);
  library.SetTouchedTileFiles(false);
  std::ostringstream lines;
  library.SetLogStreams(&lines, &lines);
  if (!library.LoadSubImages(dir)) {
    std::fprintf(stderr, "no tiles loaded from %s :\n%s", dir.c_str(), lines.str().c_str());
    return TileMatcher();
  }
  std::vector<ColourFeature> features;
  for (const SubImageInfo& info : library.Entries()) features.push_back(info.feature);
  return TileMatcher(features, kGridX * kGridY * 3);
}

// The target's matching image as a batch run reads it; empty when the
// picture cannot be read.
cv::Mat ReadMatching(const std::string& path) {
  const cv::Size matching(kDivX * kGridX, kDivY * kGridY);
  const DecodedPicture picture = ReadTargetPicture(path, MatchingReadSize(matching, kWorking));
  if (picture.pixels.empty()) return cv::Mat();
  return MatchingImageOfTarget(picture.pixels, matching, kWorking);
}

RandomSource SeededSource(std::mt19937& engine) {
  return [&engine] { return static_cast<int>(engine() >> 1); };
}

std::vector<int> PlainTiles(const TileMatcher& matcher, const cv::Mat& matching) {
  const CellCandidates candidates =
      matcher.MatchCells(matching, kDivX, kDivY, kGridX, kGridY, CandidatesToRequest(1, -1));
  std::vector<int> tiles;
  std::vector<unsigned char> table;
  ComputeAssignment(candidates, 1, -1, true, tiles, table);
  return tiles;
}

// Marks in `banned` (by the stamp `cell`) the tiles of the cells already
// filled within kRepeat of cell (cx, cy).
void BanNeighbours(const std::vector<int>& tiles, int cx, int cy, int cell,
                   std::vector<int>& banned) {
  for (int y = std::max(cy - kRepeat, 0); y <= std::min(cy + kRepeat, kDivY - 1); ++y)
    for (int x = std::max(cx - kRepeat, 0); x <= std::min(cx + kRepeat, kDivX - 1); ++x) {
      const int tile = tiles[static_cast<std::size_t>(x + y * kDivX)];
      if (tile >= 0) banned[static_cast<std::size_t>(tile)] = cell;
    }
}

// Cells in a seeded random order, each taking its nearest tile with uses
// left under `cap` and, with `repeat`, none within kRepeat cells; a cell
// left without any takes its nearest tile with uses left.
std::vector<int> GreedyFill(const TileMatcher& matcher, const cv::Mat& matching, int cap,
                            bool repeat) {
  std::vector<int> order(kCells);
  std::iota(order.begin(), order.end(), 0);
  std::mt19937 engine(kSeed);
  std::shuffle(order.begin(), order.end(), engine);
  const std::size_t span = static_cast<std::size_t>(matcher.tile_span());
  std::vector<int> tiles(kCells, -1), uses(span, 0), banned(span, -1), found;
  NearestAllowedOfCell nearest = CellQueryOf(matcher, matching, kGridX, kGridY);
  for (const int cell : order) {
    const int cx = cell % kDivX, cy = cell / kDivX;
    if (repeat) BanNeighbours(tiles, cx, cy, cell, banned);
    const auto has_uses = [&](int tile) { return uses[static_cast<std::size_t>(tile)] < cap; };
    const auto free_here = [&](int tile) {
      return has_uses(tile) && banned[static_cast<std::size_t>(tile)] != cell;
    };
    nearest(cx, cy, 1, free_here, found);
    if (found.empty()) nearest(cx, cy, 1, has_uses, found);
    tiles[static_cast<std::size_t>(cell)] = found.empty() ? 0 : found[0];
    ++uses[static_cast<std::size_t>(tiles[static_cast<std::size_t>(cell)])];
  }
  return tiles;
}

// The program's repeat fill at kRepeat, as the engine calls it.
std::vector<int> RepeatFill(const TileMatcher& matcher, const cv::Mat& matching) {
  const CellCandidates first = matcher.MatchCells(matching, kDivX, kDivY, kGridX, kGridY,
                                                  RepeatCandidatesToRequest(1, -1, kRepeat));
  RepeatInput input;
  input.first = &first;
  input.nearest = CellQueryOf(matcher, matching, kGridX, kGridY);
  input.library_size = matcher.candidate_count();
  input.repeat_distance = kRepeat;
  std::mt19937 engine(kSeed);
  std::vector<int> tiles;
  if (!AssignWithRepeatDistance(input, tiles, SeededSource(engine)))
    std::fprintf(stderr, "the repeat fill broke the repeat distance\n");
  return tiles;
}

// AssignWithCaps under `rules`; `ms` gets the time it took.
std::vector<int> Optimal(const TileMatcher& matcher, const cv::Mat& matching, const CapRules& rules,
                         double& ms) {
  CappedInput input;
  input.matcher = &matcher;
  input.matching = &matching;
  input.div_x = kDivX;
  input.div_y = kDivY;
  input.mx = kGridX;
  input.my = kGridY;
  input.rules = rules;
  std::mt19937 engine(kSeed);
  std::vector<int> tiles;
  const auto start = std::chrono::steady_clock::now();
  const CappedOutcome outcome = AssignWithCaps(input, tiles, SeededSource(engine));
  ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (!outcome.cap_kept || !outcome.repeat_kept)
    std::fprintf(stderr, "the optimal assignment broke a rule (cap %d, R %d)\n", rules.max_uses,
                 rules.repeat_distance);
  return tiles;
}

struct Case {
  const char* key;  // for the CASES variable
  const char* name;
  int cap;  // asked for; 0: none
  bool repeat;
  double greedy = 0.0;  // sums over the targets
  double optimal = 0.0;
  double greedy_distance = 0.0;
  double optimal_distance = 0.0;
  double ms = 0.0;
  int most_uses = 0;  // the most uses of one photo, greedy or optimal, over all targets
};

// The cap in force: `asked`, raised to what the cells need.
int CapInForce(int asked, int photos) {
  if (asked == 0) return 0;
  return std::max(asked, (kCells + photos - 1) / photos);
}

struct Figures {
  double delta_e = 0.0;   // MeasureAssignment's mean dE
  double distance = 0.0;  // mean Euclidean distance of cell and tile features (byte steps)
};

// The mean Euclidean distance between each cell's feature and its tile's:
// what the optimal assignment minimises (in its own units).
double MeanFeatureDistance(const std::vector<int>& tiles, const TileMatcher& matcher,
                           const cv::Mat& matching) {
  std::vector<int> query;
  double sum = 0.0;
  for (int cell = 0; cell < kCells; ++cell) {
    CellFeature(matching, cell % kDivX, cell / kDivX, kGridX, kGridY, query);
    const unsigned char* feature = matcher.FeatureOf(tiles[static_cast<std::size_t>(cell)]);
    double squares = 0.0;
    for (std::size_t i = 0; i < query.size(); ++i) {
      const double d = query[i] - feature[i];
      squares += d * d;
    }
    sum += std::sqrt(squares);
  }
  return sum / kCells;
}

Figures Measure(const std::vector<int>& tiles, const TileMatcher& matcher, const cv::Mat& matching,
                int& most_uses) {
  const AssignmentStats stats =
      MeasureAssignment(tiles, matcher, matching, kDivX, kDivY, kGridX, kGridY, -1);
  most_uses = std::max(most_uses, stats.most_uses);
  return {stats.mean_delta_e, MeanFeatureDistance(tiles, matcher, matching)};
}

// Adds one target's figures to `cases` and prints them.
void MeasureTarget(const std::string& name, const TileMatcher& matcher, const cv::Mat& matching,
                   double plain, std::vector<Case>& cases) {
  for (Case& c : cases) {
    const int cap = CapInForce(c.cap, matcher.candidate_count());
    const CapRules rules{cap, false, c.repeat ? kRepeat : 0};
    const std::vector<int> greedy =
        cap == 0 ? RepeatFill(matcher, matching) : GreedyFill(matcher, matching, cap, c.repeat);
    double ms = 0.0;
    const std::vector<int> optimal = Optimal(matcher, matching, rules, ms);
    const Figures g = Measure(greedy, matcher, matching, c.most_uses);
    const Figures o = Measure(optimal, matcher, matching, c.most_uses);
    std::printf(
        "%-40s %-12s dE greedy %6.3f optimal %6.3f no cap %6.3f  distance greedy %6.2f "
        "optimal %6.2f  %7.1f ms\n",
        name.c_str(), c.name, g.delta_e, o.delta_e, plain, g.distance, o.distance, ms);
    c.greedy += g.delta_e;
    c.optimal += o.delta_e;
    c.greedy_distance += g.distance;
    c.optimal_distance += o.distance;
    c.ms += ms;
  }
}

// The cases named in the variable CASES (comma-separated keys), all by
// default.
std::vector<Case> ChosenCases() {
  const std::vector<Case> all = {{"cap1", "cap 1", 1, false},
                                 {"cap2", "cap 2", 2, false},
                                 {"r4", "R=4", 0, true},
                                 {"cap2r4", "cap 2 + R=4", 2, true}};
  const char* chosen = std::getenv("CASES");
  if (chosen == nullptr) return all;
  const std::string list = std::string(",") + chosen + ",";
  std::vector<Case> cases;
  for (const Case& c : all)
    if (list.find(std::string(",") + c.key + ",") != std::string::npos) cases.push_back(c);
  return cases;
}

void PrintMeans(const std::vector<Case>& cases, double plain, int targets, int photos) {
  std::printf("\nmeans over %d targets, %d photos, %d cells (%d x %d), matching grid %d x %d\n",
              targets, photos, kCells, kDivX, kDivY, kGridX, kGridY);
  std::printf(
      "| case | cap in force | greedy dE | optimal dE | no cap dE | greedy loss | "
      "optimal loss | loss recovered | distance greedy / optimal | optimal ms |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
  for (const Case& c : cases) {
    const double g = c.greedy / targets, o = c.optimal / targets;
    const int cap = CapInForce(c.cap, photos);
    std::printf(
        "| %s | %s | %.2f | %.2f | %.2f | %+.1f %% | %+.1f %% | %.0f %% | %.2f / %.2f | %.0f |\n",
        c.name, cap > 0 ? std::to_string(cap).c_str() : "-", g, o, plain,
        100.0 * (g - plain) / plain, 100.0 * (o - plain) / plain, 100.0 * (g - o) / (g - plain),
        c.greedy_distance / targets, c.optimal_distance / targets, c.ms / targets);
    if (cap > 0 && c.most_uses > cap)
      std::printf("  (%s: a photo was used %d times, over the cap)\n", c.name, c.most_uses);
  }
}

}  // namespace
}  // namespace tessaline

int main(int argc, char** argv) {
  using namespace tessaline;
  if (argc < 3) {
    std::fprintf(stderr, "usage: cap_fidelity TILES_DIR TARGET...\n");
    return 2;
  }
  // One line at a time, also into a file: a run takes minutes.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const TileMatcher matcher = LoadMatcher(argv[1]);
  if (matcher.candidate_count() == 0) return 1;
  std::vector<Case> cases = ChosenCases();
  if (cases.empty()) {
    std::fprintf(stderr, "no case chosen : CASES takes cap1, cap2, r4, cap2r4\n");
    return 2;
  }
  double plain = 0.0;
  for (int i = 2; i < argc; ++i) {
    const cv::Mat matching = ReadMatching(argv[i]);
    if (matching.empty()) {
      std::fprintf(stderr, "cannot read the target picture %s\n", argv[i]);
      return 1;
    }
    int most_uses = 0;
    const double target_plain =
        Measure(PlainTiles(matcher, matching), matcher, matching, most_uses).delta_e;
    std::string name = argv[i];
    name = name.substr(name.find_last_of('/') + 1);
    MeasureTarget(name, matcher, matching, target_plain, cases);
    plain += target_plain;
  }
  PrintMeans(cases, plain / (argc - 2), argc - 2, matcher.candidate_count());
  return 0;
}
