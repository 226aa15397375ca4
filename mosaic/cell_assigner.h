#pragma once
// CellAssigner: gives every cell of a mosaic a tile. It keeps the matcher
// over the library's features, matches a matching image (one pixel per
// feature sub-cell) against it and draws each cell's tile among its
// search_num nearest, never the target tile, or under the repeat distance
// when one is set; with a cap per photo or the every-photo rule each mosaic
// (the neighbours of a zoom each on their own) is assigned at the least
// total distance that keeps them (match/capped_assignment.h). The frames
// of a movie or a camera keep their tiles from one frame to the next where
// they still fit (AssignFrame). The result is written into the cell table
// the GPU pass reads and, for the mosaic on show, kept as the assignment
// that clicks and the auto pilot pick cells of. GUI thread, except
// IndexLibrary, which runs on the load worker inside a library load.

#include <opencv2/core.hpp>

#include <string>
#include <vector>

#include "library/tile_library.h"
#include "match/assignment.h"
#include "match/capped_assignment.h"
#include "match/matcher.h"
#include "match/steady_assignment.h"
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
  void ForgetLibrary() {
    matcher_ = TileMatcher();
    ForgetFrames();
  }

  // Assigns every cell of `matching` a tile, writing the cell table; with
  // `store` the assignment is kept too (and a sequence of frames ends).
  void Assign(const cv::Mat& matching, int target_tile, bool store);
  // Assigns the next frame of a movie or a camera, as Assign with `store`,
  // except that each cell keeps its tile of the frame before unless a
  // fresh one is nearer by the steadiness margin (config steadiness,
  // match/steady_assignment.h); the first frame, a frame after anything
  // else was kept, and a cut are matched afresh. Steadiness 0 gives what
  // Assign gives.
  void AssignFrame(const cv::Mat& matching, int target_tile);
  // The next frame starts a new sequence (a new live source).
  void ForgetFrames() { last_frame_.release(); }
  // A zeroed assignment and table for the grid as it is now.
  void ResetCells();
  // Nothing of the last assignment reaches the screen: no cell of it may
  // be picked.
  void DropAssignment() {
    assignment_.clear();
    ForgetFrames();
  }
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
  // `previous`: the tiles of the frame before, to be kept where the
  // steadiness margin holds; null for a fresh match.
  void AssignTiles(const cv::Mat& matching, int target_tile, bool store,
                   const std::vector<int>* previous);
  void AssignNearest(const cv::Mat& matching, int target_tile, bool store,
                     const std::vector<int>* previous);
  void AssignKeepingDistance(const cv::Mat& matching, int target_tile, bool store,
                             const std::vector<int>* previous);
  void AssignWithinCaps(const cv::Mat& matching, int target_tile, bool store,
                        const std::vector<int>* previous);
  // The steady rule's view of `matching` against `previous`.
  SteadyCells Steady(const cv::Mat& matching, int target_tile,
                     const std::vector<int>& previous) const;
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
  // The matching image of the last frame when the kept assignment is that
  // frame's; empty otherwise.
  cv::Mat last_frame_;
};

}  // namespace tessaline
