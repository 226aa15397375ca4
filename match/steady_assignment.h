#pragma once
// Steady frames: the rule that keeps a live mosaic calm. Consecutive frames
// of a movie or a camera differ by noise and slow motion, and a cell whose
// colour lies between two tiles would otherwise flip between them every
// frame. With steadiness S (0 to 1), a cell keeps the tile it had in the
// frame before unless a fresh candidate lies nearer than (1 − S) times the
// kept tile's distance to the cell's feature (Euclidean over the feature
// bytes). The margin is a share of the cell's own distance, so a dark cell
// and a bright one, or a cell of a well-matched colour and one the library
// matches poorly, are held alike. Put as a cost, the kept tile costs
// (1 − S) × its distance: the assignment under caps lowers it so
// (CappedInput::kept); the others keep it where the nearest tile the cell
// may take does not replace it (KeptTiles; under a repeat distance,
// RepeatInput::steady).
//
// A cut (a new scene, a camera turned away) is no time for keeping: when
// more than kCutShare of the cells' features moved by more than kCutLevels
// (root mean square over the feature bytes) since the frame before, every
// cell is matched afresh.
//
// Pure; any thread.

#include <opencv2/core.hpp>

#include <vector>

#include "match/matcher.h"

namespace tessaline {

// A cell has changed when its feature moved by more than this many levels
// (0-255, root mean square over its bytes): well above what sensor noise
// and compression leave after the averaging into feature sub-cells, and
// below a change of scene.
constexpr double kCutLevels = 24.0;
// A frame is a cut when more than this share of its cells changed.
constexpr double kCutShare = 0.5;

// Whether `now` starts a new scene after `before`: both matching images of
// a div_x × div_y grid with mx × my feature sub-cells. Images of different
// sizes are a cut.
bool IsCut(const cv::Mat& before, const cv::Mat& now, int div_x, int div_y, int mx, int my);

// Whether a fresh candidate at squared distance `fresh` replaces a kept
// tile at squared distance `kept` under steadiness `steadiness` (clamped
// to 0..1): fresh < (1 − S)² × kept. At S = 0 any nearer tile replaces it;
// at S = 1 none does.
bool Replaces(long long fresh, long long kept, double steadiness);

// The kept tile's cost in the assignment under caps: `cost` × (1 − S),
// rounded.
int KeptCost(int cost, double steadiness);

struct SteadyCells {
  const TileMatcher* matcher = nullptr;
  const cv::Mat* matching = nullptr;  // the new frame's matching image, CV_8UC3
  int div_x = 0;
  int div_y = 0;
  int mx = 1;
  int my = 1;
  int target_tile = -1;  // never kept
  double steadiness = 0.0;
  // The tiles of the frame before, row-major, one per cell.
  const std::vector<int>* previous = nullptr;
};

// The tile cell `cell` (row-major) had in the frame before when it may
// keep it (the matcher finds it and it is not the target tile), else −1.
int KeepableTile(const SteadyCells& cells, int cell);

// Whether tile `fresh` replaces tile `kept` in cell `cell`: Replaces of
// their squared distances to the cell's feature. A tile the matcher cannot
// find replaces nothing.
bool ReplacesInCell(const SteadyCells& cells, int cell, int fresh, int kept);

// Per cell (row-major), its keepable tile when the nearest of `fresh` (its
// candidates from the matcher, nearest first; the target tile passed over)
// does not replace it, otherwise −1. The kept tile's distance is measured
// directly, so it counts whether or not it is among the candidates.
std::vector<int> KeptTiles(const SteadyCells& cells, const CellCandidates& fresh);

}  // namespace tessaline
