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
}

void CellAssigner::Assign(const cv::Mat& matching, int target_tile, bool store) {
  if (store) {
    stats_matching_ = matching.clone();
    stats_target_ = target_tile;
  }
  if (HasCaps(CapRules{config_.max_uses, config_.use_all, config_.repeat_distance})) {
    AssignWithinCaps(matching, target_tile, store);
    return;
  }
  if (config_.repeat_distance > 0) {
    AssignKeepingDistance(matching, target_tile, store);
    return;
  }
  const GridGeometry& grid = geometry_.Grid();
  const CellCandidates candidates =
      matcher_.MatchCells(matching, grid.div_x, grid.div_y, config_.matching_x, config_.matching_y,
                          CandidatesToRequest(config_.search_num, target_tile));
  ComputeAssignment(candidates, config_.search_num, target_tile, store, assignment_, table_, draw_);
}

// Logs, once until rearmed, when the library cannot keep the distance.
void CellAssigner::AssignKeepingDistance(const cv::Mat& matching, int target_tile, bool store) {
  const GridGeometry& grid = geometry_.Grid();
  const int mx = config_.matching_x, my = config_.matching_y;
  const CellCandidates first = matcher_.MatchCells(
      matching, grid.div_x, grid.div_y, mx, my,
      RepeatCandidatesToRequest(config_.search_num, target_tile, config_.repeat_distance));
  RepeatInput input;
  input.first = &first;
  input.nearest = CellQueryOf(matcher_, matching, mx, my);
  input.library_size = matcher_.candidate_count();
  input.k = config_.search_num;
  input.target_tile = target_tile;
  input.repeat_distance = config_.repeat_distance;
  std::vector<int> tiles;
  const bool kept = AssignWithRepeatDistance(input, tiles, draw_);
  StoreAssignment(tiles, store, assignment_, table_);
  if (kept || repeat_warned_) return;
  engine_log() << RepeatTooCloseMessage(config_.repeat_distance) << std::endl;
  repeat_warned_ = true;
}

void CellAssigner::AssignWithinCaps(const cv::Mat& matching, int target_tile, bool store) {
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
}

bool CellAssigner::HasAssignment() const {
  const GridGeometry& grid = geometry_.Grid();
  return assignment_.size() == static_cast<std::size_t>(grid.div_x) * grid.div_y;
}

}  // namespace tessaline
