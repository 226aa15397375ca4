#include "match/repeat_assignment.h"

#include <algorithm>
#include <numeric>

#include "library/feature.h"

namespace tessaline {
namespace {

// Candidates beyond the draw set in the first matcher pass.
constexpr int kFirstSpare = 16;

// A draw reduced to 0 .. n − 1 (n > 0), as the other assignment draws are.
std::size_t DrawBelow(const RandomSource& random, std::size_t n) {
  const long long r = random();
  return static_cast<std::size_t>(r < 0 ? -(r + 1) : r) % n;
}

class RepeatAssigner {
 public:
  RepeatAssigner(const RepeatInput& input, std::vector<int>& tiles)
      : in_(input),
        first_(*input.first),
        tiles_(tiles),
        reach_x_(std::min(input.repeat_distance, std::max(first_.div_x - 1, 0))),
        reach_y_(std::min(input.repeat_distance, std::max(first_.div_y - 1, 0))),
        stamp_(static_cast<std::size_t>(std::max(input.library_size, 0)), 0) {}

  // In a steady frame, holds cell number `cell` at its tile of the frame
  // before unless a cell held already has that tile within R.
  void Hold(int cell) {
    const int kept = KeepableTile(*in_.steady, cell);
    if (kept < 0) return;
    MarkWindow(cell % first_.div_x, cell / first_.div_x);
    if (!Allowed(kept)) return;
    tiles_[static_cast<std::size_t>(cell)] = kept;
    Remember(kept);
  }

  // Takes cell number `cell`; false when it had to repeat within R. A cell
  // held keeps its tile unless the nearest tile it may take, with every
  // other cell's tile as it is now, replaces it.
  bool Take(int cell, const RandomSource& random) {
    const int cx = cell % first_.div_x;
    const int cy = cell / first_.div_x;
    const int held = tiles_[static_cast<std::size_t>(cell)];
    tiles_[static_cast<std::size_t>(cell)] = -1;
    MarkWindow(cx, cy);
    allowed_.clear();
    const int* nearest = first_.Of(cx, cy);
    Collect(nearest, first_.per_cell);
    if (static_cast<int>(allowed_.size()) < in_.k) AskForMore(cx, cy);
    if (held >= 0 && Allowed(held) &&
        (allowed_.empty() || !ReplacesInCell(*in_.steady, cell, allowed_[0], held))) {
      tiles_[static_cast<std::size_t>(cell)] = held;
      return true;
    }
    if (allowed_.empty()) {
      tiles_[static_cast<std::size_t>(cell)] = NearestOverall(nearest);
      Remember(tiles_[static_cast<std::size_t>(cell)]);
      return false;
    }
    const std::size_t pick = allowed_.size() == 1 ? 0 : DrawBelow(random, allowed_.size());
    tiles_[static_cast<std::size_t>(cell)] = allowed_[pick];
    Remember(allowed_[pick]);
    return true;
  }

 private:
  // Stamps the tiles of the cells already taken within R of (cx, cy).
  void MarkWindow(int cx, int cy) {
    ++serial_;
    const int x0 = std::max(cx - reach_x_, 0), x1 = std::min(cx + reach_x_, first_.div_x - 1);
    const int y0 = std::max(cy - reach_y_, 0), y1 = std::min(cy + reach_y_, first_.div_y - 1);
    for (int y = y0; y <= y1; ++y) {
      const int* row = tiles_.data() + static_cast<std::size_t>(y) * first_.div_x;
      for (int x = x0; x <= x1; ++x) {
        const int t = row[x];
        if (t >= 0) stamp_[static_cast<std::size_t>(t)] = serial_;
      }
    }
  }

  bool Allowed(int t) const {
    if (t == in_.target_tile || t < 0) return false;
    return static_cast<std::size_t>(t) >= stamp_.size() ||
           stamp_[static_cast<std::size_t>(t)] != serial_;
  }

  void Collect(const int* nearest, int count) {
    for (int i = 0; i < count && static_cast<int>(allowed_.size()) < in_.k; ++i)
      if (Allowed(nearest[i])) allowed_.push_back(nearest[i]);
  }

  void AskForMore(int cx, int cy) {
    if (first_.per_cell >= in_.library_size) return;  // the first list held every tile
    in_.nearest(cx, cy, in_.k, allowed_filter_, allowed_);
  }

  int NearestOverall(const int* nearest) const {
    for (int i = 0; i < first_.per_cell; ++i)
      if (nearest[i] != in_.target_tile) return nearest[i];
    return nearest[0];
  }

  // Tile indices may pass the number of tiles the matcher can find (tiles
  // without a usable feature keep their index); later windows must see them.
  void Remember(int t) {
    if (t >= 0 && static_cast<std::size_t>(t) >= stamp_.size())
      stamp_.resize(static_cast<std::size_t>(t) + 1, 0);
  }

  const RepeatInput& in_;
  const CellCandidates& first_;
  std::vector<int>& tiles_;
  const int reach_x_;
  const int reach_y_;
  std::vector<unsigned> stamp_;  // serial_ for the tiles used in the current window
  unsigned serial_ = 0;
  std::vector<int> allowed_;
  const TileMatcher::TileFilter allowed_filter_ = [this](int t) { return Allowed(t); };
};

// The cells in a random order: a Fisher–Yates shuffle, one draw per cell.
std::vector<int> ShuffledCells(int cells, const RandomSource& random) {
  std::vector<int> order(static_cast<std::size_t>(cells));
  std::iota(order.begin(), order.end(), 0);
  for (std::size_t i = order.size(); i > 1; --i)
    std::swap(order[i - 1], order[DrawBelow(random, i)]);
  return order;
}

}  // namespace

NearestAllowedOfCell CellQueryOf(const TileMatcher& matcher, const cv::Mat& matching, int mx,
                                 int my) {
  return [&matcher, &matching, mx, my, feature = std::vector<int>(), query = ColourFeature()](
             int cx, int cy, int count, const TileMatcher::TileFilter& allowed,
             std::vector<int>& out) mutable {
    CellFeature(matching, cx, cy, mx, my, feature);
    query.assign(feature.begin(), feature.end());
    out = matcher.NearestAllowed(query, count, allowed);
  };
}

int RepeatCandidatesToRequest(int k, int target_tile, int repeat_distance) {
  // Early cells find their tile among the first few; later ones search
  // again anyway, so a long first list costs more than it saves.
  const int spare = repeat_distance > 0 ? kFirstSpare : 0;
  return CandidatesToRequest(k, target_tile) + spare;
}

bool AssignWithRepeatDistance(const RepeatInput& input, std::vector<int>& tiles,
                              const RandomSource& random) {
  const CellCandidates& first = *input.first;
  const int div_x = std::max(first.div_x, 0), div_y = std::max(first.div_y, 0);
  const int cells = div_x * div_y;
  const bool have_tiles = first.per_cell > 0 &&
                          first.tiles.size() >= static_cast<std::size_t>(cells) * first.per_cell &&
                          input.k > 0;
  if (!have_tiles) {
    tiles.assign(static_cast<std::size_t>(cells), 0);
    return true;
  }
  tiles.assign(static_cast<std::size_t>(cells), -1);
  RepeatAssigner assigner(input, tiles);
  const std::vector<int> order = ShuffledCells(cells, random);
  if (input.steady)
    for (int cell : order) assigner.Hold(cell);
  bool kept = true;
  for (int cell : order) kept = assigner.Take(cell, random) && kept;
  return kept;
}

void StoreAssignment(const std::vector<int>& tiles, bool store, std::vector<int>& assignment,
                     std::vector<unsigned char>& cell_table) {
  cell_table.resize(tiles.size() * 4);
  for (std::size_t cell = 0; cell < tiles.size(); ++cell)
    PackTileIndex(tiles[cell], &cell_table[cell * 4]);
  if (store) assignment = tiles;
}

std::string RepeatTooCloseMessage(int repeat_distance) {
  return "the library is too small to keep photos " + std::to_string(repeat_distance) +
         " cells apart; some repeat closer";
}

}  // namespace tessaline
