#include "match/slot_flow.h"

#include <algorithm>
#include <cassert>
#include <functional>
#include <limits>

namespace tessaline {
namespace {

constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max() / 4;
constexpr std::int64_t kScaleStep = 8;     // ε shrinks so much per phase
constexpr std::int64_t kFinalEpsilon = 1;  // in cost units
constexpr std::int64_t kUnpaid = -kNone;    // what a free cell pays

}  // namespace

struct SlotFlow::Bidding {
  std::int64_t best = kNone;    // cost plus price of the cheapest slot
  std::int64_t second = kNone;  // of the next cheapest slot, in any column
  std::int64_t cost = 0;        // edge cost plus extra of the cheapest
  int column = -1;
};

SlotFlow::SlotFlow(const SlotEdges& edges, const std::vector<std::int64_t>& reach, int tiles,
                   int cap, bool every_tile, int max_cost)
    : edges_(edges), reach_(reach), every_tile_(every_tile), max_cost_(max_cost) {
  assert(cap >= 1 && "a tile needs at least one use");
  const std::size_t cells = edges.size();
  columns_.resize(static_cast<std::size_t>(std::max(tiles, 0)) * (every_tile ? 2 : 1));
  // Any augmenting path changes the cost by less than this: it passes each
  // cell at most once.
  const std::int64_t further =
      (static_cast<std::int64_t>(max_cost) + 1) * (static_cast<std::int64_t>(cells) + 1);
  further_extra_ = every_tile ? further : 0;
  range_ = further_extra_ + max_cost + 1;
  give_up_ = (every_tile ? further : 0) + 4 * (static_cast<std::int64_t>(max_cost) + 1);
  for (int t = 0; t < tiles; ++t) {
    Column* c = &columns_[static_cast<std::size_t>(Column0(t))];
    if (!every_tile) {
      c->cap = c->untouched = cap;
      continue;
    }
    c[0].cap = c[0].untouched = 1;
    c[1].cap = c[1].untouched = cap - 1;
    c[1].extra = further;
  }
  column_of_.assign(cells, -1);
  cost_of_.assign(cells, 0);
  pay_.assign(cells, kUnpaid);
  forced_.assign(cells, 0);
}

void SlotFlow::Exclude(int tile) {
  if (!every_tile_ || tile < 0 || Column0(tile) >= static_cast<int>(columns_.size())) return;
  Column* c = &columns_[static_cast<std::size_t>(Column0(tile))];
  c[1].cap += c[0].cap;
  c[1].untouched += c[0].untouched;
  c[1].extra = 0;
  c[0].cap = c[0].untouched = 0;
}

std::vector<int> SlotFlow::Place(const std::vector<int>& cells, bool scale, const Widen& widen) {
  std::int64_t epsilon = scale ? std::max(kFinalEpsilon, range_ / kScaleStep) : kFinalEpsilon;
  if (scale)
    for (int cell : cells) Free(cell);
  for (;;) {
    Auction(cells, epsilon, widen);
    Settle(epsilon);
    if (epsilon <= kFinalEpsilon || bids_left_ <= 0) break;
    epsilon = std::max(kFinalEpsilon, epsilon / kScaleStep);
    Unsettle(cells, epsilon);
  }
  std::vector<int> free;
  for (std::size_t cell = 0; cell < column_of_.size(); ++cell)
    if (column_of_[cell] < 0) free.push_back(static_cast<int>(cell));
  return free;
}

void SlotFlow::Auction(const std::vector<int>& cells, std::int64_t epsilon, const Widen& widen) {
  UpdateLeast();
  std::vector<int> queue;
  for (auto it = cells.rbegin(); it != cells.rend(); ++it)
    if (column_of_[static_cast<std::size_t>(*it)] < 0) queue.push_back(*it);
  while (!queue.empty() && bids_left_ > 0) {
    const int cell = queue.back();
    queue.pop_back();
    if (column_of_[static_cast<std::size_t>(cell)] >= 0) continue;  // listed twice
    --bids_left_;
    const int outbid = Bid(cell, epsilon, widen);
    if (outbid >= 0) queue.push_back(outbid);
  }
}

// Frees the cells of `cells` that pay more than `epsilon` over their
// cheapest slot; the others keep their places into the next phase.
void SlotFlow::Unsettle(const std::vector<int>& cells, std::int64_t epsilon) {
  Bidding b;
  for (int cell : cells) {
    const std::size_t i = static_cast<std::size_t>(cell);
    if (column_of_[i] >= 0 && !forced_[i] && Best(cell, b) &&
        pay_[i] - b.best > epsilon)
      Free(cell);
  }
}

// The least and the second least price of a column's slots; kNone where
// it has no such slot.
void SlotFlow::Lowest(const Column& c, std::int64_t& first, std::int64_t& second) const {
  first = second = kNone;
  const std::vector<Slot>& s = c.slots;
  if (c.untouched >= 2) {
    first = second = 0;
  } else if (c.untouched == 1) {
    first = 0;
    if (!s.empty()) second = s[0].price;
  } else if (!s.empty()) {
    first = s[0].price;
    if (s.size() > 1) second = s[1].price;
    if (s.size() > 2) second = std::min(second, s[2].price);
  }
}

// The cheapest slot of `cell` and what the next cheapest costs it; false
// when its list reaches none.
bool SlotFlow::Best(int cell, Bidding& b) const {
  b = Bidding();
  std::int64_t best_second = kNone;
  for (const SlotEdge& e : edges_[static_cast<std::size_t>(cell)]) {
    if (e.cost < 0) continue;
    const int first = Column0(e.tile);
    for (int j = first; j < first + ColumnsOf(e.tile); ++j) {
      const Column& c = columns_[static_cast<std::size_t>(j)];
      if (c.cap == 0) continue;
      std::int64_t low, low2;
      Lowest(c, low, low2);
      const std::int64_t cost = e.cost + c.extra, value = cost + low;
      if (value < b.best) {
        b.second = b.best;
        b = Bidding{value, b.second, cost, j};
        best_second = low2;
      } else if (value < b.second) {
        b.second = value;
      }
    }
  }
  if (b.column < 0) return false;
  if (best_second < kNone) b.second = std::min(b.second, b.cost + best_second);
  return true;
}

// One bid of free `cell`; gives the cell it outbid, or −1.
int SlotFlow::Bid(int cell, std::int64_t epsilon, const Widen& widen) {
  Bidding b;
  for (;;) {
    if (!Best(cell, b)) return -1;
    // A first slot is worth its extra to every cell: its price bounds what
    // a cell of a first slot could find, a cell of a further slot looks to
    // further slots.
    const bool further = every_tile_ && b.column % 2 == 1;
    const std::int64_t near = reach_[static_cast<std::size_t>(cell)] + epsilon +
                              (further ? least_further_ : least_);
    if (b.best <= near) break;
    // Prices only rise while cells bid: a fresh least may clear the cell,
    // and is worth its scan once every few bids.
    if (bids_since_least_ > columns_.size() / 16) {
      UpdateLeast();
      if (b.best <= reach_[static_cast<std::size_t>(cell)] + epsilon +
                         (further ? least_further_ : least_))
        break;
    }
    const std::int64_t base = further ? further_extra_ : 0;
    if (!widen(cell, b.best - base - epsilon, (further ? dear_further_ : dear_) - base)) break;
  }
  ++bids_since_least_;
  // With one slot to go to, a cell bids all it may: rivals give up soon.
  if (b.second >= kNone) b.second = b.best + max_cost_ + 1;
  const std::int64_t price = b.second - b.cost + epsilon;
  if (price > give_up_ + 16 * epsilon) return -1;
  return TakeSlot(b.column, price, cell, b.cost);
}

// `cell` takes the cheapest slot of `column` at `price`; gives its owner.
int SlotFlow::TakeSlot(int column, std::int64_t price, int cell, std::int64_t cost) {
  Column& c = columns_[static_cast<std::size_t>(column)];
  const auto later = std::greater<Slot>();
  int outbid = -1;
  if (c.untouched > 0) {
    --c.untouched;
    c.slots.push_back({price, cell});
  } else {
    std::pop_heap(c.slots.begin(), c.slots.end(), later);
    outbid = c.slots.back().owner;
    c.slots.back() = {price, cell};
  }
  std::push_heap(c.slots.begin(), c.slots.end(), later);
  if (outbid >= 0) {
    column_of_[static_cast<std::size_t>(outbid)] = -1;
    pay_[static_cast<std::size_t>(outbid)] = kUnpaid;
  }
  else {
    ++c.used;
  }
  column_of_[static_cast<std::size_t>(cell)] = column;
  cost_of_[static_cast<std::size_t>(cell)] = cost;
  pay_[static_cast<std::size_t>(cell)] = cost + price;
  return outbid;
}

// The least a slot costs beyond its edge (extra plus price), of all slots
// and of further slots. A first slot no cell has bid for yet is left out:
// it belongs to a photo few cells list, which the every-tile rule gives
// edges of its own.
void SlotFlow::UpdateLeast() {
  least_ = least_further_ = dear_ = dear_further_ = kNone;
  for (std::size_t j = 0; j < columns_.size(); ++j) {
    const Column& c = columns_[j];
    const bool first = every_tile_ && j % 2 == 0;
    if (c.cap == 0 || (first && c.untouched > 0)) continue;
    std::int64_t low, low2;
    Lowest(c, low, low2);
    if (low >= kNone) continue;
    least_ = std::min(least_, c.extra + low);
    if (!first) least_further_ = std::min(least_further_, c.extra + low);
    if (low == 0) continue;
    dear_ = std::min(dear_, c.extra + low);
    if (!first) dear_further_ = std::min(dear_further_, c.extra + low);
  }
  bids_since_least_ = 0;
}

// Brings every free slot down to the least price a placed cell pays, by
// reverse bids, then lowers all prices by that much.
void SlotFlow::Settle(std::int64_t epsilon) {
  std::int64_t floor = kNone;
  for (const Column& c : columns_)
    for (const Slot& s : c.slots)
      if (s.owner >= 0) floor = std::min(floor, s.price);
  if (floor >= kNone) return;
  std::vector<int> again;
  for (std::size_t j = 0; j < columns_.size(); ++j)
    for (const Slot& s : columns_[j].slots)
      if (s.owner < 0 && s.price > floor) {
        again.push_back(static_cast<int>(j));
        break;
      }
  if (!again.empty()) BuildUsers();
  // Reverse bids count against the same bound as bids: past it, free slots
  // keep their prices (the outcome is no longer optimal either way).
  while (!again.empty() && bids_left_ > 0) {
    const int column = again.back();
    again.pop_back();
    while (bids_left_ > 0 && LowerFree(column, floor, epsilon, again)) --bids_left_;
  }
  Lower(floor);
  ++round_;
}

void SlotFlow::BuildUsers() {
  const int tiles = static_cast<int>(columns_.size()) / (every_tile_ ? 2 : 1);
  users_begin_.assign(static_cast<std::size_t>(tiles) + 1, 0);
  for (const auto& list : edges_)
    for (const SlotEdge& e : list) ++users_begin_[static_cast<std::size_t>(e.tile) + 1];
  for (int t = 0; t < tiles; ++t) users_begin_[t + 1] += users_begin_[t];
  users_.resize(static_cast<std::size_t>(users_begin_.back()));
  std::vector<int> at(users_begin_.begin(), users_begin_.end() - 1);
  for (std::size_t cell = 0; cell < edges_.size(); ++cell)
    for (std::size_t i = 0; i < edges_[cell].size(); ++i)
      users_[static_cast<std::size_t>(at[edges_[cell][i].tile]++)] = {static_cast<int>(cell),
                                                                       edges_[cell][i].cost};
}

// One reverse bid of a free slot of `column` priced over `floor`: the
// placed cell that gains most by moving there moves, at the price that
// keeps the runner-up where it is; with no cell gaining more than ε, the
// slot costs `floor`. False when no such slot is left.
bool SlotFlow::LowerFree(int column, std::int64_t floor, std::int64_t epsilon,
                         std::vector<int>& again) {
  Column& c = columns_[static_cast<std::size_t>(column)];
  const auto slot = std::find_if(c.slots.begin(), c.slots.end(),
                                 [&](const Slot& s) { return s.owner < 0 && s.price > floor; });
  if (slot == c.slots.end()) return false;
  const int tile = every_tile_ ? column / 2 : column;
  std::int64_t best = -kNone, second = -kNone, best_cost = 0;
  int best_cell = -1;
  for (int u = users_begin_[static_cast<std::size_t>(tile)];
       u < users_begin_[static_cast<std::size_t>(tile) + 1]; ++u) {
    const auto [cell, cost] = users_[static_cast<std::size_t>(u)];
    if (cost < 0) continue;
    // The most the slot may cost and still be the cell's better place
    // (nothing for a free cell).
    const std::int64_t gain = pay_[static_cast<std::size_t>(cell)] - cost - c.extra;
    if (gain > best) {
      second = best;
      best = gain;
      best_cell = cell;
      best_cost = cost + c.extra;
    } else if (gain > second) {
      second = gain;
    }
  }
  const std::size_t s = static_cast<std::size_t>(slot - c.slots.begin());
  if (best_cell < 0 || best - epsilon <= floor) {
    c.slots[s].price = floor;
  } else {
    const int from = column_of_[static_cast<std::size_t>(best_cell)];
    const std::int64_t left = pay_[static_cast<std::size_t>(best_cell)] -
                              cost_of_[static_cast<std::size_t>(best_cell)];
    Free(best_cell);
    const std::int64_t price = std::max(floor, second - epsilon);
    c.slots[s] = {price, best_cell};
    ++c.used;
    column_of_[static_cast<std::size_t>(best_cell)] = column;
    cost_of_[static_cast<std::size_t>(best_cell)] = best_cost;
    pay_[static_cast<std::size_t>(best_cell)] = best_cost + price;
    if (left > floor) again.push_back(from);
  }
  std::make_heap(c.slots.begin(), c.slots.end(), std::greater<Slot>());
  return true;
}

void SlotFlow::Lower(std::int64_t by) {
  for (Column& c : columns_)
    for (Slot& s : c.slots) s.price = std::max<std::int64_t>(s.price - by, 0);
  for (std::size_t cell = 0; cell < column_of_.size(); ++cell)
    if (pay_[cell] > kUnpaid) pay_[cell] -= by;
}

void SlotFlow::Free(int cell) {
  const std::size_t i = static_cast<std::size_t>(cell);
  const int j = column_of_[i];
  if (j < 0) return;
  Column& c = columns_[static_cast<std::size_t>(j)];
  column_of_[i] = -1;
  pay_[i] = kUnpaid;
  if (forced_[i]) {
    forced_[i] = 0;
    c.forced.erase(std::find(c.forced.begin(), c.forced.end(), cell));
    return;
  }
  for (Slot& s : c.slots)
    if (s.owner == cell) s.owner = -1;
  --c.used;
}

void SlotFlow::Force(int cell, int tile) {
  const std::size_t i = static_cast<std::size_t>(cell);
  const int first = Column0(tile);
  for (int j = first; j < first + ColumnsOf(tile); ++j) {
    Column& c = columns_[static_cast<std::size_t>(j)];
    if (c.cap == 0 || (c.untouched == 0 && c.used == static_cast<int>(c.slots.size()))) continue;
    if (c.untouched > 0) {
      TakeSlot(j, 0, cell, c.extra);
    } else {
      std::find_if(c.slots.begin(), c.slots.end(), [](const Slot& s) { return s.owner < 0; })
          ->owner = cell;
      ++c.used;
      column_of_[i] = j;
      cost_of_[i] = c.extra;
    }
    return;
  }
  const int last = first + ColumnsOf(tile) - 1;
  Column& c = columns_[static_cast<std::size_t>(last)];
  c.forced.push_back(cell);
  forced_[i] = 1;
  column_of_[i] = last;
  cost_of_[i] = c.extra;
}

int SlotFlow::TileOf(int cell) const {
  const int j = column_of_[static_cast<std::size_t>(cell)];
  if (j < 0) return -1;
  return every_tile_ ? j / 2 : j;
}

int SlotFlow::CostOf(int cell) const {
  const int j = column_of_[static_cast<std::size_t>(cell)];
  if (j < 0) return 0;
  return static_cast<int>(cost_of_[static_cast<std::size_t>(cell)] -
                          columns_[static_cast<std::size_t>(j)].extra);
}

bool SlotFlow::CostsNothing(int tile) const {
  const int first = Column0(tile);
  for (int j = first; j < first + ColumnsOf(tile); ++j) {
    const Column& c = columns_[static_cast<std::size_t>(j)];
    std::int64_t low, low2;
    Lowest(c, low, low2);
    if (c.cap > 0 && low == 0) return true;
  }
  return false;
}

bool SlotFlow::HasRoom(int tile) const {
  const int first = Column0(tile);
  for (int j = first; j < first + ColumnsOf(tile); ++j) {
    const Column& c = columns_[static_cast<std::size_t>(j)];
    if (c.cap > 0 && (c.untouched > 0 || c.used < static_cast<int>(c.slots.size()))) return true;
  }
  return false;
}

int SlotFlow::Uses(int tile) const {
  int uses = 0;
  const int first = Column0(tile);
  for (int j = first; j < first + ColumnsOf(tile); ++j) {
    const Column& c = columns_[static_cast<std::size_t>(j)];
    uses += c.used + static_cast<int>(c.forced.size());
  }
  return uses;
}

std::vector<int> SlotFlow::UsersOf(int tile) const {
  std::vector<int> users;
  const int first = Column0(tile);
  for (int j = first; j < first + ColumnsOf(tile); ++j) {
    const Column& c = columns_[static_cast<std::size_t>(j)];
    for (const Slot& s : c.slots)
      if (s.owner >= 0) users.push_back(s.owner);
    users.insert(users.end(), c.forced.begin(), c.forced.end());
  }
  return users;
}

}  // namespace tessaline
