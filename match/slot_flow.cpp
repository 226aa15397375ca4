#include "match/slot_flow.h"

#include <algorithm>
#include <cassert>
#include <limits>

namespace tessaline {

SlotFlow::SlotFlow(const SlotEdges& edges, int tiles, int cap, bool every_tile, int max_cost)
    : edges_(edges), every_tile_(every_tile), max_cost_(max_cost) {
  assert(cap >= 1 && "a tile needs at least one use");
  const std::size_t cells = edges.size();
  columns_.resize(static_cast<std::size_t>(std::max(tiles, 0)) * (every_tile ? 2 : 1));
  // Any augmenting path changes the cost by less than this: it passes each
  // cell at most once.
  const std::int64_t further =
      (static_cast<std::int64_t>(max_cost) + 1) * (static_cast<std::int64_t>(cells) + 1);
  // No price in a placement the lists allow climbs past a few paths' worth.
  give_up_ = (every_tile ? further : 0) + 4 * (static_cast<std::int64_t>(max_cost) + 1);
  for (int t = 0; t < tiles; ++t) {
    Column* c = &columns_[static_cast<std::size_t>(Column0(t))];
    if (!every_tile) {
      c->cap = cap;
      continue;
    }
    c[0].cap = 1;
    c[1].cap = cap - 1;
    c[1].extra = further;
  }
  column_of_.assign(cells, -1);
  cost_of_.assign(cells, 0);
  seen_.assign(columns_.size(), 0);
  done_.assign(columns_.size(), 0);
  dist_.assign(columns_.size(), 0);
  pred_row_.assign(columns_.size(), -1);
  pred_cost_.assign(columns_.size(), 0);
}

void SlotFlow::Exclude(int tile) {
  if (!every_tile_ || tile < 0 || Column0(tile) >= static_cast<int>(columns_.size())) return;
  Column* c = &columns_[static_cast<std::size_t>(Column0(tile))];
  c[1].cap += c[0].cap;
  c[1].extra = 0;
  c[0].cap = 0;
}

void SlotFlow::Auction(const std::vector<int>& cells, std::int64_t epsilon) {
  std::vector<Slots> slots(columns_.size());
  std::vector<int> queue(cells.rbegin(), cells.rend());
  while (!queue.empty()) {
    const int cell = queue.back();
    queue.pop_back();
    int outbid = -1;
    if (Bid(cell, slots, epsilon, outbid) && outbid >= 0) queue.push_back(outbid);
  }
  // A full column costs what its cheapest slot does; one with room nothing.
  for (std::size_t j = 0; j < columns_.size(); ++j) {
    Column& c = columns_[j];
    for (const auto& slot : slots[j]) c.owners.push_back(slot.second);
    c.price = static_cast<int>(slots[j].size()) < c.cap || slots[j].empty() ? 0 : slots[j][0].first;
  }
}

// The price of a column's rank-th cheapest slot (0 or 1); free slots cost
// nothing, and a column of one slot has no second.
std::int64_t SlotFlow::SlotPrice(const Slots& slots, int cap, int rank) const {
  const int taken = static_cast<int>(slots.size());
  if (taken + rank < cap) return 0;
  if (rank == 0) return slots[0].first;
  if (cap < 2) return std::numeric_limits<std::int64_t>::max() / 4;
  if (taken < cap) return slots[0].first;
  std::int64_t second = slots[1].first;
  if (slots.size() > 2) second = std::min(second, slots[2].first);
  return second;
}

bool SlotFlow::Bid(int cell, std::vector<Slots>& slots, std::int64_t epsilon, int& outbid) {
  constexpr std::int64_t kNone = std::numeric_limits<std::int64_t>::max() / 4;
  std::int64_t best = kNone, second = kNone, best_cost = 0;
  int best_column = -1;
  for (const SlotEdge& e : edges_[static_cast<std::size_t>(cell)]) {
    if (e.cost < 0) continue;
    const int first = Column0(e.tile);
    for (int j = first; j < first + ColumnsOf(e.tile); ++j) {
      const Column& c = columns_[static_cast<std::size_t>(j)];
      if (c.cap == 0) continue;
      const std::int64_t cost = e.cost + c.extra;
      const std::int64_t value = cost + SlotPrice(slots[static_cast<std::size_t>(j)], c.cap, 0);
      if (value < best) {
        second = best;
        best = value;
        best_column = j;
        best_cost = cost;
      } else if (value < second) {
        second = value;
      }
    }
  }
  if (best_column < 0 || best > give_up_) return false;
  const std::size_t j = static_cast<std::size_t>(best_column);
  const int cap = columns_[j].cap;
  second = std::min(second, best_cost + SlotPrice(slots[j], cap, 1));
  // With one slot to go to, a cell bids all it may: rivals give up soon.
  if (second >= kNone) second = best + max_cost_ + 1;
  const std::int64_t price = best - best_cost + (second - best) + epsilon;
  Slots& heap = slots[j];
  const auto later = std::greater<std::pair<std::int64_t, int>>();
  if (static_cast<int>(heap.size()) == cap) {
    std::pop_heap(heap.begin(), heap.end(), later);
    outbid = heap.back().second;
    column_of_[static_cast<std::size_t>(outbid)] = -1;
    heap.pop_back();
  }
  heap.emplace_back(price, cell);
  std::push_heap(heap.begin(), heap.end(), later);
  column_of_[static_cast<std::size_t>(cell)] = best_column;
  cost_of_[static_cast<std::size_t>(cell)] = best_cost;
  return true;
}

bool SlotFlow::Place(int cell) {
  const int end = Search(cell);
  if (end < 0) return false;
  // Jonker–Volgenant: every column settled before the end gets dearer by
  // its lead over the end, which keeps all reduced costs non-negative and
  // makes the path just found cost nothing more than its own edges.
  const std::int64_t d_end = dist_[static_cast<std::size_t>(end)];
  for (int j : finished_) columns_[static_cast<std::size_t>(j)].price += d_end - dist_[j];
  Augment(cell, end);
  return true;
}

// Dijkstra from free `cell` over the columns; gives the first column with a
// free slot that it settles, or −1.
int SlotFlow::Search(int cell) {
  ++serial_;
  finished_.clear();
  heap_ = {};
  RelaxRow(cell, 0);
  while (!heap_.empty()) {
    const auto [d, j] = heap_.top();
    heap_.pop();
    const std::size_t col = static_cast<std::size_t>(j);
    if (done_[col] == serial_ || d != dist_[col]) continue;
    done_[col] = serial_;
    const Column& c = columns_[col];
    if (static_cast<int>(c.owners.size()) < c.cap) return j;
    finished_.push_back(j);
    // The owners sit on the column at reduced cost 0: they are as far as it.
    for (int row : c.owners) RelaxRow(row, d - cost_of_[static_cast<std::size_t>(row)] - c.price);
  }
  return -1;
}

void SlotFlow::RelaxRow(int row, std::int64_t base) {
  const int own = column_of_[static_cast<std::size_t>(row)];
  for (const SlotEdge& e : edges_[static_cast<std::size_t>(row)]) {
    if (e.cost < 0) continue;
    const int first = Column0(e.tile);
    for (int j = first; j < first + ColumnsOf(e.tile); ++j) {
      const Column& c = columns_[static_cast<std::size_t>(j)];
      if (c.cap == 0 || j == own) continue;
      Relax(j, base + e.cost + c.extra + c.price, row, e.cost + c.extra);
    }
  }
}

void SlotFlow::Relax(int column, std::int64_t d, int row, std::int64_t cost) {
  const std::size_t j = static_cast<std::size_t>(column);
  if (seen_[j] == serial_ && (done_[j] == serial_ || d >= dist_[j])) return;
  seen_[j] = serial_;
  dist_[j] = d;
  pred_row_[j] = row;
  pred_cost_[j] = cost;
  heap_.push({d, column});
}

// Moves every row of the path one column on, from the end back to `cell`.
void SlotFlow::Augment(int cell, int end) {
  for (int j = end;;) {
    const int row = pred_row_[static_cast<std::size_t>(j)];
    const int before = column_of_[static_cast<std::size_t>(row)];
    if (before >= 0) Free(row);
    Take(row, j, pred_cost_[static_cast<std::size_t>(j)]);
    if (row == cell) return;
    j = before;
  }
}

void SlotFlow::Take(int cell, int column, std::int64_t cost) {
  columns_[static_cast<std::size_t>(column)].owners.push_back(cell);
  column_of_[static_cast<std::size_t>(cell)] = column;
  cost_of_[static_cast<std::size_t>(cell)] = cost;
}

void SlotFlow::Free(int cell) {
  const int j = column_of_[static_cast<std::size_t>(cell)];
  if (j < 0) return;
  std::vector<int>& owners = columns_[static_cast<std::size_t>(j)].owners;
  const auto at = std::find(owners.begin(), owners.end(), cell);
  *at = owners.back();
  owners.pop_back();
  column_of_[static_cast<std::size_t>(cell)] = -1;
}

void SlotFlow::Force(int cell, int tile) {
  const int first = Column0(tile);
  int column = first + ColumnsOf(tile) - 1;
  for (int j = first; j < first + ColumnsOf(tile); ++j) {
    const Column& c = columns_[static_cast<std::size_t>(j)];
    if (static_cast<int>(c.owners.size()) < c.cap) {
      column = j;
      break;
    }
  }
  Take(cell, column, 0);
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

std::int64_t SlotFlow::Paid(int cell) const {
  const int j = column_of_[static_cast<std::size_t>(cell)];
  if (j < 0) return 0;
  return cost_of_[static_cast<std::size_t>(cell)] + columns_[static_cast<std::size_t>(j)].price;
}

std::int64_t SlotFlow::LeastPrice() const {
  std::int64_t least = std::numeric_limits<std::int64_t>::max();
  for (const Column& c : columns_)
    if (c.cap > 0) least = std::min(least, c.extra + c.price);
  return least;
}

bool SlotFlow::HasRoom(int tile) const {
  const int first = Column0(tile);
  for (int j = first; j < first + ColumnsOf(tile); ++j) {
    const Column& c = columns_[static_cast<std::size_t>(j)];
    if (static_cast<int>(c.owners.size()) < c.cap) return true;
  }
  return false;
}

int SlotFlow::Uses(int tile) const {
  int uses = 0;
  const int first = Column0(tile);
  for (int j = first; j < first + ColumnsOf(tile); ++j)
    uses += static_cast<int>(columns_[static_cast<std::size_t>(j)].owners.size());
  return uses;
}

std::vector<int> SlotFlow::UsersOf(int tile) const {
  std::vector<int> users;
  const int first = Column0(tile);
  for (int j = first; j < first + ColumnsOf(tile); ++j) {
    const std::vector<int>& owners = columns_[static_cast<std::size_t>(j)].owners;
    users.insert(users.end(), owners.begin(), owners.end());
  }
  return users;
}

}  // namespace tessaline
