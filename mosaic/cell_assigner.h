#pragma once
// CellAssigner: gives every cell of a mosaic a tile. It keeps the matcher
// over the library's features, matches a matching image (one pixel per
// feature sub-cell) against it and draws each cell's tile among its
// search_num nearest, never the target tile, or under the repeat distance
// when one is set; with a cap per photo or the every-photo rule each mosaic
// (the neighbours of a zoom each on their own) is assigned at the least
// total distance that keeps them (match/capped_assignment.h). The result is written into the cell
// table the GPU pass reads and, for the mosaic on show, kept as the assignment that clicks and the
// auto pilot pick cells of. GUI thread, except IndexLibrary, which runs on the load worker inside a
// library load.

#include <opencv2/core.hpp>

#include <string>
#include <vector>

#include "library/tile_library.h"
#include "match/assignment.h"
#include "match/capped_assignment.h"
#include "match/matcher.h"
#include "mosaic/mosaic_config.h"
#include "mosaic/mosaic_geometry.h"

namespace tessaline {

class CellAssigner {
 public:
  // Reads the three, which outlive it, at every assignment.
  CellAssigner(const MosaicConfig& config, const MosaicGeometry& geometry, const RandomSource& draw)
      : config_(config), geometry_(geometry), draw_(draw) {}

  // The matcher over `library`'s features as they are now.
  void IndexLibrary(const TileLibrary& library);
  // The features no longer compare (another length, another library).
  void ForgetLibrary() { matcher_ = TileMatcher(); }

  // Assigns every cell of `matching` a tile, writing the cell table; with
  // `store` the assignment is kept too.
  void Assign(const cv::Mat& matching, int target_tile, bool store);
  // A zeroed assignment and table for the grid as it is now.
  void ResetCells();
  // Nothing of the last assignment reaches the screen: no cell of it may
  // be picked.
  void DropAssignment() { assignment_.clear(); }
  // The too-small-library line may be logged again: once per generation,
  // zoom or live source.
  void RearmRepeatWarning() { repeat_warned_ = caps_warned_ = false; }

  // The statement of the last kept assignment (match/assignment_stats.h).
  std::string StatsLine() const;

  // Whether the kept assignment covers the grid.
  bool HasAssignment() const;
  // Row-major, cell (cx, cy) at cx + cy × div_x.
  const std::vector<int>& Assignment() const { return assignment_; }
  // Four bytes a cell (PackTileIndex).
  const std::vector<unsigned char>& Table() const { return table_; }

 private:
  void AssignKeepingDistance(const cv::Mat& matching, int target_tile, bool store);
  void AssignWithinCaps(const cv::Mat& matching, int target_tile, bool store);
  // Logs the lines of the rules a capped mosaic could not keep.
  void WarnCaps(const CappedOutcome& outcome);

  const MosaicConfig& config_;
  const MosaicGeometry& geometry_;
  const RandomSource& draw_;
  TileMatcher matcher_;
  std::vector<int> assignment_;
  std::vector<unsigned char> table_;
  bool repeat_warned_ = false;  // the too-small-library line was logged
  bool caps_warned_ = false;    // the same for the cap and every-photo lines
  cv::Mat stats_matching_;      // the matching image of the kept assignment
  int stats_target_ = -1;
};

}  // namespace tessaline
