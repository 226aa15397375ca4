#pragma once
// ExchangeFlow: the least-cost assignment of cells to the photos of a small
// library, each photo taking at most `cap` cells and, with the every-photo
// rule, at least one, over the full table of cell × photo costs.
//
// It is a min-cost flow solved by successive shortest paths on a graph of
// photos only. A short auction gives start prices, and every cell starts on
// its cheapest photo at those prices, which is optimal for the uses it
// makes. A photo over its cap has an excess; a photo left short (the
// every-photo rule's empty ones, those priced but not full) has a deficit;
// a node T stands for the uses beyond the first, so that a path ending at
// T moves a cell to a photo with room and a path leaving T takes a further
// use from a photo that has one. An arc a → b is the move of the cell on a
// that costs least to move to b (its cost difference), kept per pair in a
// photos × photos table that only the photos a move touches need to
// update. Each round (Dijkstra with node potentials) finds the shortest
// paths from the excesses to the nearest deficit and moves as many units
// along them as they carry, so the result is the exact optimum of the
// table (no ε, no candidate lists). A cell freed from a photo (a ban of the
// pair, by the repeat repair) is a source of its own and leaves a deficit
// on its photo, so later solves stay optimal under the bans.
//
// Memory: the cost table (cells × photos) and two photos × photos tables.
// Single-threaded; deterministic for the same input.

#include <cstdint>
#include <limits>
#include <vector>

namespace tessaline {

class ExchangeFlow {
 public:
  static constexpr int kNoEdge = std::numeric_limits<int>::max() / 4;

  // `costs`: cells × photos, row-major, non-negative; kNoEdge where a cell
  // may never take a photo. `cap` ≥ 1 (at least 1 with `every_photo`).
  ExchangeFlow(std::vector<int> costs, int cells, int photos, int cap, bool every_photo);

  // Moves cells until no excess can reach a deficit; cells that can reach
  // no photo stay free.
  void Solve();
  // `cell` may never take `photo`; when on it, the cell is freed.
  void Ban(int cell, int photo);
  // Takes free `cell` onto `photo` over its cap, outside the optimisation.
  void Force(int cell, int photo);

  int PhotoOf(int cell) const { return photo_of_[static_cast<std::size_t>(cell)]; }
  int Uses(int photo) const { return static_cast<int>(members_[static_cast<std::size_t>(photo)].size()); }
  const std::vector<int>& CellsOn(int photo) const { return members_[static_cast<std::size_t>(photo)]; }
  int Cost(int cell, int photo) const {
    return costs_[static_cast<std::size_t>(cell) * photos_ + photo];
  }
  bool HasRoom(int photo) const { return Uses(photo) < cap_; }

 private:
  int T() const { return photos_; }
  int& Exchange(int a, int b) { return exchange_[static_cast<std::size_t>(a) * photos_ + b]; }
  int& Mover(int a, int b) { return mover_[static_cast<std::size_t>(a) * photos_ + b]; }
  std::vector<std::int64_t> StartPrices(std::vector<int>& seat) const;
  void PlaceAtPrices(const std::vector<std::int64_t>& price, const std::vector<int>& seat);
  void LowerUnfilled(std::vector<std::int64_t>& price) const;
  void Join(int cell, int photo);
  void Leave(int cell);
  void AddToRow(int cell);
  void RefreshRow(int photo, int gone);
  int Shortest(int source);
  bool PlaceFree(int cell);
  void ApplyPath(int sink, int source, int cell);
  bool Phase();
  int Search(int source);
  void Relax(int u, std::int64_t du);
  int Balance(int node) const;

  std::vector<int> costs_;
  const int cells_;
  const int photos_;
  const int cap_;
  const int fixed_;  // uses each photo must have (the every-photo rule)
  std::vector<int> photo_of_;
  std::vector<int> slot_;  // position of a cell in its photo's members
  std::vector<std::vector<int>> members_;
  std::vector<int> further_;  // per photo: uses beyond `fixed_` counted as T's
  std::int64_t further_total_ = 0;
  std::vector<int> exchange_;  // photos × photos: cheapest move's cost difference
  std::vector<int> mover_;     // the cell that makes it, −1 when none
  std::vector<std::int64_t> potential_;  // per node (photos, T)
  std::vector<int> free_;
  // Dijkstra's state, per node.
  std::vector<std::int64_t> key_;   // tentative distance; −1 once settled
  std::vector<std::int64_t> dist_;  // settled distance
  std::vector<int> from_;           // the node before, −1 for the free cell
  std::vector<char> done_;
  std::vector<int> stack_;
  std::vector<int> seen_;
  struct Move {
    int cell, from, to;
  };
  std::vector<Move> moves_;
};

}  // namespace tessaline
