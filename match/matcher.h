#pragma once
// Exact nearest-tile search fast enough to match every cell of a mosaic.
//
// The feature index (FeatureIndex, a k-d tree of the ANN library) is the
// reference the tests and benchmarks check this matcher against; the
// program itself builds none. One of its queries costs 13-18 µs on a
// library of 10,000 tiles and its search cannot run on two threads at once.
// TileMatcher answers the same question exactly, from the same tile
// features, for all cells of a matching image at once:
// - identical cell features (flat areas of a picture) are searched once;
// - tiles are ordered by a k-d tree of their own (split on the dimension of
//   widest spread) whose leaves are blocks of 32 tiles; every node keeps the
//   bounding box of its tiles, and no tile is nearer to a query than the
//   box, so a search visits leaves best-first by that bound and stops when
//   the next bound passes the k-th best distance found;
// - a search starts from the tiles found for the cell before it (next cells
//   are alike), so its k-th best distance is tight from the start;
// - each leaf is scanned with 16-bit arithmetic over tile-major columns,
//   which the compiler vectorises;
// - the distinct cell features are split over two threads;
// - a library of up to 8,192 tiles skips the tree and compares the query
//   with every tile, eight at a time (flat_scan.h): on a few thousand
//   photographs, whose features crowd together, the tree opens most leaves
//   anyway, and its walk costs more than the distances it saves;
// - a larger library is scanned the same way, its tiles sorted into slabs
//   by the sum of their feature bytes (brightness) and within each slab by
//   their tint (red minus blue bytes). Both are projections on orthogonal
//   directions, so a tile's squared distance is at least
//   Δsum² / |sum direction|² + Δtint² / |tint direction|²: only slabs whose
//   sums come near the query's, and in them only tiles whose tints do, can
//   hold one of the k nearest. The search starts at the query's slab and
//   goes outwards; the seeds make the windows narrow from the start.
//   Photographs crowd along the grey axis and spread along warm-cool, the
//   two directions used. The tree is kept for the filtered search
//   (NearestAllowed).
//
// Results are the k nearest tiles by squared Euclidean distance, nearest
// first, ties broken by the lower tile index: exactly BruteForceNearest's
// answer. ANN may order tiles at equal distance differently, so comparisons
// with the index are by distance.
//
// Threads: a built matcher is never changed, so any number of threads may
// search it at once.

#include <cstdint>
#include <functional>
#include <opencv2/core.hpp>
#include <vector>

#include "library/feature.h"
#include "match/flat_scan.h"

namespace tessaline {

class FeatureIndex;

// The nearest tiles of every cell of a DivX × DivY grid: cell (cx, cy) holds
// per_cell tile indices, nearest first, at tiles[(cx + cy × div_x) × per_cell].
// Every cell has the same number: min(k asked for, tiles that can match).
struct CellCandidates {
  int div_x = 0;
  int div_y = 0;
  int per_cell = 0;
  std::vector<int> tiles;

  const int* Of(int cx, int cy) const {
    return tiles.data() +
           (static_cast<std::size_t>(cx) + static_cast<std::size_t>(cy) * div_x) * per_cell;
  }
};

class TileMatcher {
 public:
  // Threads MatchCells uses unless told otherwise.
  static constexpr int kDefaultWorkers = 2;

  // How Nearest and MatchCells search: kAuto as described above; kTree
  // always through the tree (the benchmarks compare the two).
  enum class Method { kAuto, kTree };

  // An empty matcher: every search gives no tiles.
  TileMatcher() = default;
  // Takes a copy of the tile features; feature i is tile i. Features whose
  // length is not `dim` are never found (as in BruteForceNearest). A dim
  // below 1 gives an empty matcher.
  TileMatcher(const std::vector<ColourFeature>& features, int dim, Method method = Method::kAuto);

  int dim() const { return dim_; }
  // Tiles that can be found (those with features of length dim()).
  int candidate_count() const { return static_cast<int>(ids_.size()); }
  // One more than the highest tile index (the length of the feature list
  // the matcher was made from).
  int tile_span() const { return static_cast<int>(position_of_.size()); }
  // The dim() feature bytes of tile `tile`; nullptr for a tile that cannot
  // be found.
  const unsigned char* FeatureOf(int tile) const {
    if (tile < 0 || static_cast<std::size_t>(tile) >= position_of_.size()) return nullptr;
    const int pos = position_of_[static_cast<std::size_t>(tile)];
    return pos < 0 ? nullptr : &rows_[static_cast<std::size_t>(pos) * dim_];
  }

  // The min(k, candidate_count()) tiles nearest to `query` (dim() bytes),
  // nearest first, ties by the lower index. k below 1 is taken as 1. A query
  // of another length gives no tiles.
  std::vector<int> Nearest(const ColourFeature& query, int k) const;

  // Nearest, among only the tiles `allowed` accepts: the search passes over
  // the others as if they were not there, so a query whose nearest tiles are
  // all refused costs about what a plain one does. `allowed` is called at
  // most once per tile it is asked about, on the calling thread.
  using TileFilter = std::function<bool(int tile)>;
  std::vector<int> NearestAllowed(const ColourFeature& query, int k,
                                  const TileFilter& allowed) const;

  // Searches every cell of a div_x × div_y grid of `matching` (the matching
  // image, CV_8UC3) with an mx × my feature grid, reading each cell's
  // feature as CellFeature does. k below 1 is taken as 1. When mx × my × 3
  // differs from dim(), or the grid is empty, no cell has candidates.
  CellCandidates MatchCells(const cv::Mat& matching, int div_x, int div_y, int mx, int my, int k,
                            int workers = kDefaultWorkers) const;

 private:
  struct Scratch;

  // Builds the subtree over sorted positions [begin, end) as node
  // nodes_.size() and returns its number.
  int BuildNode(const std::vector<ColourFeature>& features, int begin, int end);
  // Writes the min(k, candidate_count()) nearest tiles of `query` (dim()
  // bytes) to `out`, taking the `seeds` (indices of candidate tiles) as a
  // first guess.
  // Starts the search's best list (k long) with the `seeds` tiles.
  void SeedBest(const unsigned char* query, int k, const int* seeds, int seed_count,
                Scratch& scratch) const;
  void Search(const unsigned char* query, int k, const int* seeds, int seed_count, Scratch& scratch,
              int* out) const;
  // Goes down from `node` to the leaf of least bound, queueing the other
  // children that may still hold better tiles; -1 when none may.
  // The tree search for scratch.query into scratch.best, already seeded.
  void SearchTree(Scratch& scratch) const;
  int DescendToLeaf(int node, Scratch& scratch) const;
  // Offers the tiles of a leaf to the search's best list.
  void ScanLeaf(int node, Scratch& scratch) const;
  // The same over the flat layout, tile by tile in index order; cheaper
  // than the tree on small libraries.
  void SearchFlat(const unsigned char* query, int k, Scratch& scratch, int* out) const;
  // A feature's sum of bytes and its tint (red minus blue bytes).
  struct Projection {
    long long sum = 0;
    long long tint = 0;
  };
  Projection Project(const unsigned char* feature) const;
  // Orders flat_ids_ in slabs of ascending sums, each by ascending tint, and
  // fills group_tint_ and the slab bounds.
  void SortIntoSlabs(const std::vector<ColourFeature>& features);
  // The same over the slabs: outwards from the query's slab, each within the
  // window of tints the k-th best allows.
  void SearchSorted(const unsigned char* query, int k, const int* seeds, int seed_count,
                    Scratch& scratch, int* out) const;
  // Offers the tiles of one slab that may improve the best list; false when
  // its sums alone put all of them beyond the k-th best.
  bool ScanSlab(int slab, const Projection& query, Scratch& scratch) const;
  // The same by scanning every tile; cheaper when k is a large share of them.
  void SearchAll(const std::int16_t* query, int k, int* out) const;
  // Squared distances of the kBlock tiles from sorted position `begin` on,
  // and the least of them.
  std::int32_t ScanBlock(int begin, const std::int16_t* query, std::int32_t* distances) const;
  // No tile under `node` lies nearer to `query` than this squared distance.
  // `query` is padded to box_width_ lanes.
  std::int32_t BoxBound(int node, const std::int16_t* query) const;

  // A k-d tree node; its left child is the next node, so only the right one
  // is stored. Leaves have no children and hold one block of tiles.
  struct Node {
    int right = -1;  // -1 for a leaf
    int begin = 0;   // first sorted position under the node
  };

  int dim_ = 0;
  int padded_ = 0;                   // tiles rounded up to whole blocks
  std::vector<std::int16_t> lanes_;  // per block: dim_ rows of kBlock tile values
  std::vector<int> ids_;             // tile index of each sorted position
  std::vector<int> position_of_;     // sorted position of each tile index, or -1
  std::vector<unsigned char> rows_;  // dim_ feature bytes per sorted position
  std::vector<Node> nodes_;          // the tree, root first, in preorder
  int box_width_ = 0;                // dim_ rounded up to whole box chunks
  std::vector<std::int16_t> boxes_;  // per node: box_width_ minima, then as many maxima
  FlatTiles flat_;                   // every tile: in index order, or by sum when sorted_
  std::vector<int> flat_ids_;        // tile index of each flat position
  bool sorted_ = false;              // flat_ is in slabs (SortIntoSlabs)
  long long tint_norm_ = 1;          // squared length of the tint's direction
  std::vector<std::int32_t> group_tint_;  // sorted_: tint of each flat group's first tile
  std::vector<long long> slab_low_;  // sorted_: least sum in each slab
  std::vector<long long> slab_high_;  // sorted_: greatest sum in each slab
};

// The reference path through the ANN index: CellFeature and
// FeatureIndex::Query for every cell, on the calling thread, with the
// index's own k. Gives what the index gives (min(k, points) tiles per cell).
CellCandidates MatchCellsWithIndex(FeatureIndex& index, const cv::Mat& matching, int div_x,
                                   int div_y, int mx, int my);

}  // namespace tessaline
