#pragma once
// Assignment under a cap on the uses of each photo, the every-photo rule and
// the repeat distance, at the least total distance between cells and tiles.
//
// Each cell's nearest tiles (one matcher pass; more when the caps are
// tight) form the edges of a sparse min-cost flow (SlotFlow) whose tiles
// have `cap` slots each; with the every-photo rule each tile's first use
// outweighs any distance, and tiles that appear in few cells' lists get
// edges from their own nearest cells, so that every tile can be reached.
// The cost of an edge is the Euclidean distance of the cell's and the
// tile's features (in 1/16 of a byte step). Without a repeat distance the
// result lies within one cost unit per cell of the optimum over those
// lists; a list grows while its cell pays more than a photo beyond it
// might cost (photos at no price are found through an index of their own).
//
// The repeat distance R (no tile twice within R cells, Chebyshev) is no
// flow constraint. It is kept by repair: among the cells that share a tile
// within R of one another, the one that fits the tile best keeps it, the
// others are banned from it and placed again by the flow; rounds go on
// until no pair is left (or a round limit, after which the remaining cells
// take the nearest tile that breaks no rule). R stays a hard rule: only
// when no tile at all is left that keeps it does a cell repeat closer.
//
// A draw set k > 1 (search_num) keeps its meaning of "any of the k nearest
// tiles, at random": the costs of each cell's k nearest tiles are replaced
// by values drawn uniformly between the nearest's and the k-th's, so the
// optimum takes, where the caps let it, a random one of them; tiles beyond
// the k-th keep their true costs. Draws come from the caller's
// RandomSource, cells in row-major order, so a seeded source repeats the
// mosaic.
//
// When the cells outnumber what the cap allows (photos × cap), the cap in
// force is raised to the least that fits, ceil(cells / photos), and the
// outcome says so. The target tile is never used and never counts as a
// photo.

#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "match/assignment.h"
#include "match/matcher.h"

namespace tessaline {

struct CapRules {
  int max_uses = 0;         // uses of one photo per mosaic; 0: no cap
  bool use_all = false;     // every photo once (no photo twice when cells are fewer)
  int repeat_distance = 0;  // R; 0: none
};

// Whether `rules` need this solver (otherwise the plain draw or the repeat
// fill make the mosaic).
inline bool HasCaps(const CapRules& rules) { return rules.max_uses > 0 || rules.use_all; }

// The most candidates a cell keeps beyond its draw set in the first pass,
// and the most its list may grow to when the optimum may lie beyond it
// (for the memory limits).
constexpr int kMaxCappedSpare = 64;
constexpr int kMaxCappedEdges = 1024;
// Libraries up to this many photos are solved exactly over every cell ×
// photo cost, in no more memory than lists of kMaxCappedEdges.
constexpr int kMaxDensePhotos = 2 * kMaxCappedEdges;
struct CappedInput {
  const TileMatcher* matcher = nullptr;
  const cv::Mat* matching = nullptr;  // the matching image, CV_8UC3
  int div_x = 0;
  int div_y = 0;
  int mx = 1;  // feature grid of a cell
  int my = 1;
  int k = 1;  // draw set (search_num)
  int target_tile = -1;
  CapRules rules;
  // Libraries up to this many photos are solved over every cell × photo
  // cost; larger ones over candidate lists.
  int max_dense_photos = kMaxDensePhotos;
  // The tiles of the frame before (row-major, one per cell) and the
  // steadiness: each cell's own tile there costs KeptCost of its distance
  // (match/steady_assignment.h), whether or not it is among its nearest.
  // Null: no frame before.
  const std::vector<int>* kept = nullptr;
  double steadiness = 0.0;
};

struct CappedOutcome {
  int cap = 0;              // uses per photo in force; 0: none
  bool cap_raised = false;  // the cap asked for could not hold for this many cells
  bool cap_kept = true;     // no photo went over `cap`
  bool repeat_kept = true;  // no tile repeats within R
  int left_out = 0;         // photos the every-photo rule could not place
  // Within the solver's bounds of work (false: the last cells were placed
  // nearest-first, CutShortMessage).
  bool optimal = true;
};

int CappedCandidatesPerCell(int k, int target_tile, const CapRules& rules, double load);

// Chooses every cell's tile into `tiles` (div_x × div_y, row-major). Cells
// without candidates (an empty matcher) get tile 0.
CappedOutcome AssignWithCaps(const CappedInput& input, std::vector<int>& tiles,
                             const RandomSource& random = CRandom);

// The log lines of a mosaic whose rules could not all hold.
std::string CapRaisedMessage(int asked, int cap);
std::string PhotosLeftOutMessage(int left_out);
std::string CutShortMessage();

}  // namespace tessaline
