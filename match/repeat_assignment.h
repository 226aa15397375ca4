#pragma once
// Assignment with a minimum repeat distance R: no tile appears twice within
// R cells of itself (Chebyshev distance: |dx| <= R and |dy| <= R).
//
// Cells are taken greedily in a random order drawn from the caller's
// RandomSource (so a seeded source repeats the mosaic). Each takes one of
// the k nearest tiles that are neither the target tile nor used by a cell
// already taken within R, drawn uniformly among them (no draw when only one
// is left). Only when the library holds no such tile does the cell take the
// nearest tile overall (other than the target tile when there is another);
// the result then says the rule could not be kept everywhere.
//
// The first candidates come from one matcher pass over all cells; a cell
// whose candidates are used up around it searches again, passing over the
// tiles it may not take.

#include <functional>
#include <string>
#include <vector>

#include "match/assignment.h"
#include "match/matcher.h"
#include "match/steady_assignment.h"

namespace tessaline {

// The `count` tiles nearest to cell (cx, cy) among those `allowed` accepts,
// nearest first, into `out` (fewer when fewer are allowed). The engine
// answers it with TileMatcher::NearestAllowed on the cell's feature.
using NearestAllowedOfCell = std::function<void(
    int cx, int cy, int count, const TileMatcher::TileFilter& allowed, std::vector<int>& out)>;

// NearestAllowedOfCell answered by `matcher` from the cells' features in the
// matching image `matching` (mx × my feature grid per cell), which must
// outlive the function.
NearestAllowedOfCell CellQueryOf(const TileMatcher& matcher, const cv::Mat& matching, int mx,
                                 int my);

// How many nearest tiles the first matcher pass should fetch per cell for a
// draw set of k at repeat distance R: enough that most cells never need a
// second query.
int RepeatCandidatesToRequest(int k, int target_tile, int repeat_distance);

struct RepeatInput {
  const CellCandidates* first = nullptr;  // from the matcher pass, nearest first
  NearestAllowedOfCell nearest;           // for cells that need more than `first`
  int library_size = 0;                   // tiles the matcher can find
  int k = 1;                              // draw set (search_num)
  int target_tile = -1;
  int repeat_distance = 1;  // R, at least 1
  // The frame before, for a steady frame (match/steady_assignment.h); null
  // for a fresh match. Every cell first holds its tile of the frame before
  // (in the random order, unless a cell held already has it within R);
  // then, as each is taken, it keeps that tile unless the nearest tile it
  // may take, beside the tiles the others hold or took, replaces it.
  const SteadyCells* steady = nullptr;
};

// Chooses every cell's tile as described above into `tiles` (DivX × DivY,
// row-major). Returns false when some cell had to repeat a tile within R.
// Cells without candidates get tile 0.
bool AssignWithRepeatDistance(const RepeatInput& input, std::vector<int>& tiles,
                              const RandomSource& random = CRandom);

// Writes `tiles` into the cell table (4 bytes per cell) and, with `store`,
// into `assignment`, as ComputeAssignment does.
void StoreAssignment(const std::vector<int>& tiles, bool store, std::vector<int>& assignment,
                     std::vector<unsigned char>& cell_table);

// The log line of a mosaic whose library could not keep R.
std::string RepeatTooCloseMessage(int repeat_distance);

}  // namespace tessaline
