#pragma once
// SlotFlow: the least-cost assignment of cells to tiles over sparse
// candidate lists, when every tile has a limited number of uses ("slots")
// and, optionally, every tile must be used once before any is used twice.
//
// It is an auction with ε-scaling (Bertsekas) for an assignment with more
// slots than cells: each unplaced cell bids for the slot cheapest to it
// (cost plus price), raising its price by the margin over its next best
// slot plus ε, and a cell outbid bids again. A phase ends when every cell
// is placed; ε starts at a fraction of the cost range and shrinks eightfold
// per phase, so prices climb in large steps first. At the end of a phase
// the slots left free are brought down to the lowest price any placed cell
// pays (reverse bids: a free slot over that price takes the cell that wants
// it most, at the price of its runner-up), and all prices are lowered by
// that price. Then no cell pays more than ε above its cheapest slot and no
// free slot costs anything, so the total lies within cells × ε of the
// optimum over the lists. No cells × tiles matrix is made: memory is the
// candidate lists plus the slots that have ever been bid for.
//
// A cell's list may be short of the optimum: every tile nearer than its
// `reach` is in it. When, as it bids, its cheapest slot costs more than
// reach + ε above the least price of any slot, a tile
// outside the list might be cheaper, and `widen` may append edges to the
// list (which is then read again). A cell whose slot would cost it more
// than any placement the lists allow gives up (it stays free).
//
// The every-tile rule is a lower bound of one use per tile: each tile has a
// "first" slot (one use) and "further" slots (cap − 1 uses), and a further
// slot costs more than any path of first slots could save, so as many tiles
// as the lists can reach are used at least once, and among those
// assignments the cheapest is taken.
//
// Costs are non-negative integers; a banned edge (kBannedEdge) is passed
// over. Edges may be banned or appended, and cells freed and placed again,
// between placements (the repeat repair does so); every rule the flow holds
// (caps, one tile per cell) still holds. Single-threaded.

#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace tessaline {

struct SlotEdge {
  int tile = 0;
  int cost = 0;  // kBannedEdge: never taken
};

constexpr int kBannedEdge = -1;

// One candidate list per cell; SlotFlow reads them at every bid, so edges
// may be appended or banned between placements.
using SlotEdges = std::vector<std::vector<SlotEdge>>;

class SlotFlow {
 public:
  // Told that `cell` pays `value` (edge cost plus price, less ε and the
  // extra of its kind of slot) and that any tile outside its list costs its
  // edge plus `dear`, unless the tile has a slot that costs nothing
  // (CostsNothing), may append edges to the list (true; the list is read
  // again).
  using Widen = std::function<bool(int cell, std::int64_t value, std::int64_t dear)>;

  // `tiles` tiles (indices 0 .. tiles − 1) of `cap` uses each (at least 1);
  // with `every_tile` the first use of each is preferred as above.
  // `max_cost` bounds every edge's cost. `edges` and `reach` (one per
  // cell) outlive the flow.
  SlotFlow(const SlotEdges& edges, const std::vector<std::int64_t>& reach, int tiles, int cap,
           bool every_tile, int max_cost);

  // A tile that must not count for the every-tile rule (the target tile, or
  // one no cell can take): its first slot is dropped. Before any Place.
  void Exclude(int tile);

  // Places the free cells of `cells`; with `scale` all of `cells` are
  // placed afresh through the ε phases (between phases only the cells that
  // pay more than the next ε over their cheapest slot bid again), otherwise
  // the free ones are placed at the final ε from the prices as they are.
  // Gives every cell left free (no edge, or given up; those outbid
  // included).
  std::vector<int> Place(const std::vector<int>& cells, bool scale, const Widen& widen);
  // Bounds the bids (forward and reverse) of all placements to come: past
  // them, the cells still bidding stay free (the caller places them some
  // other way).
  void LimitBids(std::int64_t bids) { bids_left_ = bids; }
  bool OutOfBids() const { return bids_left_ <= 0; }
  // Takes `cell` out of its tile; the slot keeps its price.
  void Free(int cell);
  // Puts free `cell` on `tile` directly, outside the optimisation: a free
  // slot of the tile when there is one, else over the cap.
  void Force(int cell, int tile);

  int TileOf(int cell) const;  // −1 for a free cell
  // The cost of the edge `cell` sits on.
  int CostOf(int cell) const;
  bool HasRoom(int tile) const;
  // Whether a slot of `tile` is priced at nothing.
  bool CostsNothing(int tile) const;
  // Counts the phases and placements ended: prices may have fallen since.
  int Round() const { return round_; }
  int Uses(int tile) const;
  // The cells on `tile` (all of its slots), in no particular order.
  std::vector<int> UsersOf(int tile) const;

 private:
  struct Slot {
    std::int64_t price = 0;
    int owner = -1;
    bool operator>(const Slot& o) const { return price > o.price; }
  };
  struct Column {
    int cap = 0;
    std::int64_t extra = 0;    // added to every edge into it
    int untouched = 0;         // slots never bid for: price 0, free
    int used = 0;              // owned slots in `slots`
    std::vector<Slot> slots;   // the others, a min-heap by price
    std::vector<int> forced;   // cells put on it over the cap
  };
  struct Bidding;

  int ColumnsOf(int tile) const { return every_tile_ ? 2 : 1; }
  int Column0(int tile) const { return every_tile_ ? 2 * tile : tile; }
  void Lowest(const Column& c, std::int64_t& first, std::int64_t& second) const;
  bool Best(int cell, Bidding& b) const;
  int Bid(int cell, std::int64_t epsilon, const Widen& widen);
  void Auction(const std::vector<int>& cells, std::int64_t epsilon, const Widen& widen);
  void Unsettle(const std::vector<int>& cells, std::int64_t epsilon);
  int TakeSlot(int column, std::int64_t price, int cell, std::int64_t cost);
  void Release(int cell);
  void UpdateLeast();
  void Settle(std::int64_t epsilon);
  void BuildUsers();
  bool LowerFree(int column, std::int64_t floor, std::int64_t epsilon, std::vector<int>& again);
  void Lower(std::int64_t by);

  const SlotEdges& edges_;
  const std::vector<std::int64_t>& reach_;
  bool every_tile_;
  std::int64_t max_cost_;
  std::int64_t range_;  // the spread of edge costs and extras, for the first ε
  // A cell that would pay a slot more than this stops bidding: no
  // placement the lists allow climbs so far.
  std::int64_t give_up_;
  std::vector<Column> columns_;
  std::vector<int> column_of_;         // per cell, −1 when free
  std::vector<std::int64_t> cost_of_;  // per cell: edge cost + the column's extra
  std::vector<std::int64_t> pay_;      // per cell: cost_of_ + its slot's price; kUnpaid
                                        // when free or over the cap
  std::vector<char> forced_;           // per cell: put over the cap
  // The least prices as they were a few bids ago (UpdateLeast).
  std::int64_t least_ = 0;
  std::int64_t least_further_ = 0;
  // The same of the slots that cost something.
  std::int64_t dear_ = 0;
  std::int64_t dear_further_ = 0;
  std::int64_t further_extra_ = 0;
  int round_ = 0;
  std::int64_t bids_left_ = std::numeric_limits<std::int64_t>::max();
  std::size_t bids_since_least_ = 0;
  // Per tile, the (cell, edge cost) pairs listing it, for reverse bids.
  std::vector<int> users_begin_;
  std::vector<std::pair<int, int>> users_;
};

}  // namespace tessaline
