#include "match/steady_assignment.h"

#include <algorithm>
#include <cmath>

#include "library/feature.h"

namespace tessaline {
namespace {

double Clamped(double steadiness) {
  return std::isnan(steadiness) ? 0.0 : std::clamp(steadiness, 0.0, 1.0);
}

long long SquaredDistance(const std::vector<int>& query, const unsigned char* tile) {
  long long sum = 0;
  for (std::size_t i = 0; i < query.size(); ++i) {
    const long long d = query[i] - tile[i];
    sum += d * d;
  }
  return sum;
}

// The nearest of a cell's candidates that is not the target; -1 for none.
int NearestFresh(const int* candidates, int count, int target_tile) {
  for (int i = 0; i < count; ++i)
    if (candidates[i] != target_tile) return candidates[i];
  return -1;
}

}  // namespace

bool IsCut(const cv::Mat& before, const cv::Mat& now, int div_x, int div_y, int mx, int my) {
  if (before.size() != now.size() || before.type() != now.type()) return true;
  const int cells = div_x * div_y;
  if (cells <= 0) return false;
  const double limit = kCutLevels * kCutLevels * mx * my * 3;
  std::vector<int> a, b;
  int changed = 0;
  for (int cy = 0; cy < div_y; ++cy)
    for (int cx = 0; cx < div_x; ++cx) {
      CellFeature(before, cx, cy, mx, my, a);
      CellFeature(now, cx, cy, mx, my, b);
      long long sum = 0;
      for (std::size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
      changed += static_cast<double>(sum) > limit;
    }
  return changed > kCutShare * cells;
}

bool Replaces(long long fresh, long long kept, double steadiness) {
  const double keep = 1.0 - Clamped(steadiness);
  return static_cast<double>(fresh) < keep * keep * static_cast<double>(kept);
}

int KeptCost(int cost, double steadiness) {
  return static_cast<int>(std::lround(cost * (1.0 - Clamped(steadiness))));
}

int KeepableTile(const SteadyCells& in, int cell) {
  if (!in.matcher || !in.previous || cell < 0 ||
      static_cast<std::size_t>(cell) >= in.previous->size())
    return -1;
  const int tile = (*in.previous)[static_cast<std::size_t>(cell)];
  return tile != in.target_tile && in.matcher->FeatureOf(tile) ? tile : -1;
}

namespace {

// ReplacesInCell with the caller's buffer for the cell's feature.
bool ReplacesInCell(const SteadyCells& in, int cell, int fresh, int kept, std::vector<int>& query) {
  const unsigned char* fresh_feature = in.matcher ? in.matcher->FeatureOf(fresh) : nullptr;
  const unsigned char* kept_feature = in.matcher ? in.matcher->FeatureOf(kept) : nullptr;
  if (!fresh_feature || !in.matching || in.div_x < 1) return false;
  if (!kept_feature) return true;
  CellFeature(*in.matching, cell % in.div_x, cell / in.div_x, in.mx, in.my, query);
  return Replaces(SquaredDistance(query, fresh_feature), SquaredDistance(query, kept_feature),
                  in.steadiness);
}

}  // namespace

bool ReplacesInCell(const SteadyCells& in, int cell, int fresh, int kept) {
  std::vector<int> query;
  return ReplacesInCell(in, cell, fresh, kept, query);
}

std::vector<int> KeptTiles(const SteadyCells& in, const CellCandidates& fresh) {
  const int cells = std::max(in.div_x, 0) * std::max(in.div_y, 0);
  std::vector<int> kept(static_cast<std::size_t>(cells), -1);
  if (fresh.div_x != in.div_x || fresh.div_y != in.div_y) return kept;
  std::vector<int> query;
  for (int cell = 0; cell < cells; ++cell) {
    const int before = KeepableTile(in, cell);
    if (before < 0) continue;
    const int nearest =
        NearestFresh(fresh.Of(cell % in.div_x, cell / in.div_x), fresh.per_cell, in.target_tile);
    if (!ReplacesInCell(in, cell, nearest, before, query))
      kept[static_cast<std::size_t>(cell)] = before;
  }
  return kept;
}

}  // namespace tessaline
