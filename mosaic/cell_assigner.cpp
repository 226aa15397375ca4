#include "mosaic/cell_assigner.h"

#include "match/assignment_stats.h"
#include "match/capped_assignment.h"
#include "match/repeat_assignment.h"
#include "settings/log_stream.h"

namespace tessaline {

void CellAssigner::IndexLibrary(const TileLibrary& library) {
  std::vector<ColourFeature> features;
  features.reserve(library.Size());
  for (const SubImageInfo& info : library.Entries()) features.push_back(info.feature);
  matcher_ = TileMatcher(features, config_.matching_x * config_.matching_y * 3);
  ForgetFrames();
}

void CellAssigner::Assign(const cv::Mat& matching, int target_tile, bool store) {
  if (store) ForgetFrames();
  AssignTiles(matching, target_tile, store, nullptr);
}

void CellAssigner::AssignFrame(const cv::Mat& matching, int target_tile) {
  const GridGeometry& grid = geometry_.Grid();
  // The tiles on show are the last frame's only while last_frame_ is set.
  const bool steady =
      config_.steadiness > 0.0 && !last_frame_.empty() && HasAssignment() &&
      !IsCut(last_frame_, matching, grid.div_x, grid.div_y, config_.matching_x, config_.matching_y);
  const std::vector<int> previous = steady ? assignment_ : std::vector<int>();
  AssignTiles(matching, target_tile, true, steady ? &previous : nullptr);
  last_frame_ = matching.clone();
}

void CellAssigner::AssignTiles(const cv::Mat& matching, int target_tile, bool store,
                               const std::vector<int>* previous) {
  if (store) {
    stats_matching_ = matching.clone();
    stats_target_ = target_tile;
  }
  if (HasCaps(CapRules{config_.max_uses, config_.use_all, config_.repeat_distance}))
    AssignWithinCaps(matching, target_tile, store, previous);
  else if (config_.repeat_distance > 0)
    AssignKeepingDistance(matching, target_tile, store, previous);
  else
    AssignNearest(matching, target_tile, store, previous);
}

SteadyCells CellAssigner::Steady(const cv::Mat& matching, int target_tile,
                                 const std::vector<int>& previous) const {
  const GridGeometry& grid = geometry_.Grid();
  SteadyCells cells;
  cells.matcher = &matcher_;
  cells.matching = &matching;
  cells.div_x = grid.div_x;
  cells.div_y = grid.div_y;
  cells.mx = config_.matching_x;
  cells.my = config_.matching_y;
  cells.target_tile = target_tile;
  cells.steadiness = config_.steadiness;
  cells.previous = &previous;
  return cells;
}

// Kept tiles replace the drawn ones after the draw, so that the draws are
// made as for a fresh match.
void CellAssigner::AssignNearest(const cv::Mat& matching, int target_tile, bool store,
                                 const std::vector<int>* previous) {
  const GridGeometry& grid = geometry_.Grid();
  const CellCandidates candidates =
      matcher_.MatchCells(matching, grid.div_x, grid.div_y, config_.matching_x, config_.matching_y,
                          CandidatesToRequest(config_.search_num, target_tile));
  ComputeAssignment(candidates, config_.search_num, target_tile, store, assignment_, table_, draw_);
  if (!previous) return;
  const std::vector<int> kept = KeptTiles(Steady(matching, target_tile, *previous), candidates);
  for (std::size_t cell = 0; cell < kept.size() && cell < assignment_.size(); ++cell) {
    if (kept[cell] < 0) continue;
    assignment_[cell] = kept[cell];
    PackTileIndex(kept[cell], &table_[cell * 4]);
  }
}

// Logs, once until rearmed, when the library cannot keep the distance.
void CellAssigner::AssignKeepingDistance(const cv::Mat& matching, int target_tile, bool store,
                                         const std::vector<int>* previous) {
  const GridGeometry& grid = geometry_.Grid();
  const int mx = config_.matching_x, my = config_.matching_y;
  const CellCandidates first = matcher_.MatchCells(
      matching, grid.div_x, grid.div_y, mx, my,
      RepeatCandidatesToRequest(config_.search_num, target_tile, config_.repeat_distance));
  const SteadyCells steady = previous ? Steady(matching, target_tile, *previous) : SteadyCells();
  RepeatInput input;
  input.first = &first;
  input.nearest = CellQueryOf(matcher_, matching, mx, my);
  input.library_size = matcher_.candidate_count();
  input.k = config_.search_num;
  input.target_tile = target_tile;
  input.repeat_distance = config_.repeat_distance;
  input.steady = previous ? &steady : nullptr;
  std::vector<int> tiles;
  const bool kept = AssignWithRepeatDistance(input, tiles, draw_);
  StoreAssignment(tiles, store, assignment_, table_);
  if (kept || repeat_warned_) return;
  engine_log() << RepeatTooCloseMessage(config_.repeat_distance) << std::endl;
  repeat_warned_ = true;
}

void CellAssigner::AssignWithinCaps(const cv::Mat& matching, int target_tile, bool store,
                                    const std::vector<int>* previous) {
  const GridGeometry& grid = geometry_.Grid();
  CappedInput input;
  input.matcher = &matcher_;
  input.matching = &matching;
  input.div_x = grid.div_x;
  input.div_y = grid.div_y;
  input.mx = config_.matching_x;
  input.my = config_.matching_y;
  input.k = config_.search_num;
  input.target_tile = target_tile;
  input.rules = CapRules{config_.max_uses, config_.use_all, config_.repeat_distance};
  input.kept = previous;
  input.steadiness = config_.steadiness;
  std::vector<int> tiles;
  const CappedOutcome outcome = AssignWithCaps(input, tiles, draw_);
  StoreAssignment(tiles, store, assignment_, table_);
  WarnCaps(outcome);
}

void CellAssigner::WarnCaps(const CappedOutcome& outcome) {
  if (!outcome.repeat_kept && !repeat_warned_) {
    engine_log() << RepeatTooCloseMessage(config_.repeat_distance) << std::endl;
    repeat_warned_ = true;
  }
  if (caps_warned_) return;
  if (outcome.cap_raised)
    engine_log() << CapRaisedMessage(config_.max_uses, outcome.cap) << std::endl;
  if (outcome.left_out > 0) engine_log() << PhotosLeftOutMessage(outcome.left_out) << std::endl;
  if (!outcome.optimal) engine_log() << CutShortMessage() << std::endl;
  caps_warned_ = outcome.cap_raised || outcome.left_out > 0 || !outcome.optimal;
}

std::string CellAssigner::StatsLine() const {
  const GridGeometry& grid = geometry_.Grid();
  return tessaline::StatsLine(MeasureAssignment(assignment_, matcher_, stats_matching_, grid.div_x,
                                                grid.div_y, config_.matching_x, config_.matching_y,
                                                stats_target_));
}

void CellAssigner::ResetCells() {
  const GridGeometry& grid = geometry_.Grid();
  const std::size_t cells = static_cast<std::size_t>(grid.div_x) * grid.div_y;
  assignment_.assign(cells, 0);
  table_.assign(cells * 4, 0);
  ForgetFrames();
}

bool CellAssigner::HasAssignment() const {
  const GridGeometry& grid = geometry_.Grid();
  return assignment_.size() == static_cast<std::size_t>(grid.div_x) * grid.div_y;
}

}  // namespace tessaline
