#pragma once
// SlotFlow: the least-cost assignment of cells to tiles over sparse
// candidate lists, when every tile has a limited number of uses ("slots")
// and, optionally, every tile must be used once before any is used twice.
//
// It is a min-cost flow (source → cell → tile → sink, one unit per cell,
// `cap` units per tile) solved by successive shortest paths: each cell in
// turn is placed along the cheapest augmenting path from it to a tile with a
// free slot, found by Dijkstra's search over reduced costs, with tile prices
// (the dual values) updated as Jonker and Volgenant do for the assignment
// problem. Prices only rise, and only on tiles whose slots were all taken
// when they rose; tiles keep all their uses once full, so the result is the
// exact optimum over the candidate lists given. No cells × tiles matrix is
// made: memory is the candidate lists plus a few values per tile.
//
// The every-tile rule is a lower bound of one use per tile: each tile has a
// "first" slot (one use) and "further" slots (cap − 1 uses), and a further
// slot costs more than any path of first slots could save, so as many tiles
// as the lists can reach are used at least once, and among those
// assignments the cheapest is taken.
//
// Costs are non-negative integers; a banned edge (kBannedEdge) is passed
// over. Edges may be banned, and cells freed and placed again, between
// placements (the repeat repair does so): the result is then no longer
// proven optimal, but every rule the flow holds (caps, one tile per cell)
// still holds. Single-threaded.

#include <cstdint>
#include <queue>
#include <utility>
#include <vector>

namespace tessaline {

struct SlotEdge {
  int tile = 0;
  int cost = 0;  // kBannedEdge: never taken
};

constexpr int kBannedEdge = -1;

// One candidate list per cell; SlotFlow reads them at every placement, so
// edges may be appended or banned between placements.
using SlotEdges = std::vector<std::vector<SlotEdge>>;

class SlotFlow {
 public:
  // `tiles` tiles (indices 0 .. tiles − 1) of `cap` uses each (at least 1);
  // with `every_tile` the first use of each is preferred as above.
  // `max_cost` bounds every edge's cost. `edges` outlives the flow.
  SlotFlow(const SlotEdges& edges, int tiles, int cap, bool every_tile, int max_cost);

  // A tile that must not count for the every-tile rule (the target tile, or
  // one no cell can take): its first slot is dropped. Before any Place.
  void Exclude(int tile);

  // Places every cell of `cells` (all free) by a forward auction: each
  // unplaced cell bids for the slot that is cheapest to it (cost plus
  // price), raising the slot's price by its margin over the next best
  // slot plus `epsilon`, and a cell outbid takes its turn again. The
  // result is within cells × epsilon of the optimum over the lists (every
  // slot never bid for keeps price 0), and far faster than one shortest
  // path per cell where many cells want the same tiles. Slot prices then
  // become the tiles' prices for Place. Cells with no edge, and cells that
  // were priced out of every slot they can reach (more cells than slots in
  // their lists), stay free.
  void Auction(const std::vector<int>& cells, std::int64_t epsilon);
  // Places free cell `cell` along the cheapest augmenting path; false when
  // no tile with a free slot can be reached from it (nothing changes then).
  bool Place(int cell);
  // Takes `cell` out of its tile (prices are kept).
  void Free(int cell);
  // Puts free `cell` on `tile` directly, outside the optimisation: a slot
  // of the tile when one is free, else over the cap.
  void Force(int cell, int tile);

  int TileOf(int cell) const;  // −1 for a free cell
  // The cost of the edge `cell` sits on.
  int CostOf(int cell) const;
  // What `cell` pays where it sits: its edge's cost plus the slot's extra
  // and price (the cell's dual value); meaningless for a free cell.
  std::int64_t Paid(int cell) const;
  // The least extra and price of any slot: no edge into a slot costs less
  // than its own cost plus this.
  std::int64_t LeastPrice() const;
  bool HasRoom(int tile) const;
  int Uses(int tile) const;
  // The cells on `tile` (both of its slot kinds), in no particular order.
  std::vector<int> UsersOf(int tile) const;

 private:
  struct Column {
    int cap = 0;
    std::int64_t extra = 0;  // added to every edge into it
    std::int64_t price = 0;
    std::vector<int> owners;
  };

  // A column's slots in an auction: (price, owner), a min-heap.
  using Slots = std::vector<std::pair<std::int64_t, int>>;
  std::int64_t SlotPrice(const Slots& slots, int cap, int rank) const;
  bool Bid(int cell, std::vector<Slots>& slots, std::int64_t epsilon, int& outbid);
  int ColumnsOf(int tile) const { return every_tile_ ? 2 : 1; }
  int Column0(int tile) const { return every_tile_ ? 2 * tile : tile; }
  void RelaxRow(int row, std::int64_t base);
  void Relax(int column, std::int64_t d, int row, std::int64_t cost);
  int Search(int cell);
  void Augment(int cell, int end);
  void Take(int cell, int column, std::int64_t cost);

  const SlotEdges& edges_;
  bool every_tile_;
  std::int64_t max_cost_;
  std::int64_t give_up_;  // a cell whose cheapest slot costs more stops bidding
  std::vector<Column> columns_;
  std::vector<int> column_of_;         // per cell, −1 when free
  std::vector<std::int64_t> cost_of_;  // per cell: edge cost + the column's extra

  // Search state, valid where seen_ holds the current serial.
  unsigned serial_ = 0;
  std::vector<unsigned> seen_;
  std::vector<unsigned> done_;
  std::vector<std::int64_t> dist_;
  std::vector<int> pred_row_;
  std::vector<std::int64_t> pred_cost_;
  std::vector<int> finished_;
  using Entry = std::pair<std::int64_t, int>;
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> heap_;
};

}  // namespace tessaline
