#include "match/exchange_flow.h"

#include <algorithm>
#include <cassert>

namespace tessaline {
namespace {

constexpr std::int64_t kFar = std::numeric_limits<std::int64_t>::max() / 4;

}  // namespace

ExchangeFlow::ExchangeFlow(std::vector<int> costs, int cells, int photos, int cap,
                           bool every_photo)
    : costs_(std::move(costs)),
      cells_(cells),
      photos_(photos),
      cap_(std::max(cap, 1)),
      fixed_(every_photo ? 1 : 0),
      photo_of_(static_cast<std::size_t>(cells), -1),
      slot_(static_cast<std::size_t>(cells), -1),
      members_(static_cast<std::size_t>(photos)),
      further_(static_cast<std::size_t>(photos), 0),
      exchange_(static_cast<std::size_t>(photos) * photos, kNoEdge),
      mover_(static_cast<std::size_t>(photos) * photos, -1),
      potential_(static_cast<std::size_t>(photos) + 1, 0),
      key_(static_cast<std::size_t>(photos) + 1),
      dist_(static_cast<std::size_t>(photos) + 1),
      from_(static_cast<std::size_t>(photos) + 1),
      done_(static_cast<std::size_t>(photos) + 1) {
  assert(costs_.size() == static_cast<std::size_t>(cells) * photos);
  std::vector<int> seat(static_cast<std::size_t>(cells_), -1);
  std::vector<std::int64_t> price = StartPrices(seat);
  PlaceAtPrices(price, seat);
  LowerUnfilled(price);
  for (int cell = 0; cell < cells_; ++cell)
    if (PhotoOf(cell) >= 0) AddToRow(cell);
  for (int p = 0; p < photos_; ++p) {
    const std::size_t i = static_cast<std::size_t>(p);
    potential_[i] = price[i];
    further_[i] = price[i] > 0 ? cap_ - fixed_ : std::clamp(Uses(p) - fixed_, 0, cap_ - fixed_);
    further_total_ += further_[i];
  }
  std::reverse(free_.begin(), free_.end());
}

// Every cell on its cheapest photo at the start prices (of equally cheap
// ones, the auction's): all reduced costs are non-negative, so the paths
// start from an optimum of their own. A photo with a price counts as full;
// when it holds fewer cells, it is a deficit that paths fill or give up (at
// its price).
void ExchangeFlow::PlaceAtPrices(const std::vector<std::int64_t>& price,
                                 const std::vector<int>& seat) {
  for (int cell = 0; cell < cells_; ++cell) {
    const int* row = &costs_[static_cast<std::size_t>(cell) * photos_];
    auto value = [&](int p) { return row[p] + price[static_cast<std::size_t>(p)]; };
    int best = -1;
    for (int p = 0; p < photos_; ++p)
      if (row[p] < kNoEdge && (best < 0 || value(p) < value(best))) best = p;
    const int held = seat[static_cast<std::size_t>(cell)];
    if (best >= 0 && held >= 0 && value(held) == value(best)) best = held;
    if (best < 0) {
      free_.push_back(cell);
      continue;
    }
    Join(cell, best);
  }
}

// A photo left with room keeps its price only as far as some cell elsewhere
// is no better off where it is: lower, that cell would rather move.
void ExchangeFlow::LowerUnfilled(std::vector<std::int64_t>& price) const {
  std::vector<std::int64_t> value(static_cast<std::size_t>(cells_), kFar);
  for (int cell = 0; cell < cells_; ++cell)
    if (PhotoOf(cell) >= 0)
      value[static_cast<std::size_t>(cell)] = Cost(cell, PhotoOf(cell)) + price[static_cast<std::size_t>(PhotoOf(cell))];
  for (int a = 0; a < photos_; ++a) {
    std::int64_t& p = price[static_cast<std::size_t>(a)];
    if (p == 0 || Uses(a) >= cap_) continue;
    std::int64_t floor = 0;
    for (int cell = 0; cell < cells_; ++cell) {
      const int c = Cost(cell, a);
      if (c < kNoEdge && PhotoOf(cell) != a && value[static_cast<std::size_t>(cell)] < kFar)
        floor = std::max(floor, value[static_cast<std::size_t>(cell)] - c);
    }
    p = std::min(p, floor);
  }
}

// Prices from a short auction (a bounded number of bids at one fixed
// increment): each unplaced cell bids for the photo cheapest to it, at the
// price that makes it as dear as its next best plus the increment, and
// takes the cheapest seat of a full photo from its holder. The prices
// need not be right, only near: the paths correct them exactly.
std::vector<std::int64_t> ExchangeFlow::StartPrices(std::vector<int>& seat) const {
  std::vector<std::int64_t> price(static_cast<std::size_t>(photos_), 0);
  if (photos_ < 2) return price;
  // Per photo, its seats' prices and holders, a min-heap.
  std::vector<std::vector<std::pair<std::int64_t, int>>> seats(static_cast<std::size_t>(photos_));
  const auto later = std::greater<std::pair<std::int64_t, int>>();
  std::int64_t high = 0;
  for (int c : costs_)
    if (c < kNoEdge) high = std::max<std::int64_t>(high, c);
  // ε-scaling: large increments first, each phase placing every cell
  // again from the prices the last one left.
  for (std::int64_t step = std::max<std::int64_t>(1, high / 8);; step = std::max<std::int64_t>(1, step / 4)) {
    for (auto& heap : seats) heap.clear();
    std::vector<int> queue(static_cast<std::size_t>(cells_));
    for (int cell = 0; cell < cells_; ++cell) queue[static_cast<std::size_t>(cells_ - 1 - cell)] = cell;
    for (std::int64_t bids = 8 * static_cast<std::int64_t>(cells_); bids > 0 && !queue.empty(); --bids) {
      const int cell = queue.back();
      queue.pop_back();
      const int* row = &costs_[static_cast<std::size_t>(cell) * photos_];
      std::int64_t first = kFar, second = kFar;
      int to = -1;
      for (int p = 0; p < photos_; ++p) {
        if (row[p] >= kNoEdge) continue;
        const std::int64_t v = row[p] + price[static_cast<std::size_t>(p)];
        if (v < first) {
          second = first;
          first = v;
          to = p;
        } else if (v < second) {
          second = v;
        }
      }
      if (to < 0) continue;
      auto& heap = seats[static_cast<std::size_t>(to)];
      const std::int64_t bid =
          (second < kFar ? second - row[to] : price[static_cast<std::size_t>(to)]) + step;
      if (static_cast<int>(heap.size()) == cap_) {
        std::pop_heap(heap.begin(), heap.end(), later);
        queue.push_back(heap.back().second);
        heap.pop_back();
      }
      heap.push_back({bid, cell});
      std::push_heap(heap.begin(), heap.end(), later);
      if (static_cast<int>(heap.size()) == cap_) price[static_cast<std::size_t>(to)] = heap.front().first;
    }
    if (step == 1) break;
  }
  for (int p = 0; p < photos_; ++p)
    for (const auto& held : seats[static_cast<std::size_t>(p)]) seat[static_cast<std::size_t>(held.second)] = p;
  return price;
}

int ExchangeFlow::Balance(int node) const {
  if (node == T())
    return static_cast<int>(further_total_ - (cells_ - static_cast<std::int64_t>(fixed_) * photos_));
  return Uses(node) - fixed_ - further_[static_cast<std::size_t>(node)];
}

void ExchangeFlow::Join(int cell, int photo) {
  std::vector<int>& m = members_[static_cast<std::size_t>(photo)];
  slot_[static_cast<std::size_t>(cell)] = static_cast<int>(m.size());
  m.push_back(cell);
  photo_of_[static_cast<std::size_t>(cell)] = photo;
}

void ExchangeFlow::Leave(int cell) {
  const int photo = PhotoOf(cell);
  std::vector<int>& m = members_[static_cast<std::size_t>(photo)];
  const int at = slot_[static_cast<std::size_t>(cell)];
  m[static_cast<std::size_t>(at)] = m.back();
  slot_[static_cast<std::size_t>(m.back())] = at;
  m.pop_back();
  photo_of_[static_cast<std::size_t>(cell)] = -1;
}

// The moves `cell` (on its photo) offers to every other photo.
void ExchangeFlow::AddToRow(int cell) {
  const int a = PhotoOf(cell);
  const int* row = &costs_[static_cast<std::size_t>(cell) * photos_];
  const int here = row[a];
  int* exchange = &Exchange(a, 0);
  int* mover = &Mover(a, 0);
  for (int b = 0; b < photos_; ++b) {
    if (row[b] >= kNoEdge || b == a) continue;
    const int w = row[b] - here;
    if (w < exchange[b] || (w == exchange[b] && cell < mover[b])) {
      exchange[b] = w;
      mover[b] = cell;
    }
  }
}

// Recomputes the moves from `photo` that `gone` made.
void ExchangeFlow::RefreshRow(int photo, int gone) {
  int* exchange = &Exchange(photo, 0);
  int* mover = &Mover(photo, 0);
  const std::vector<int>& m = members_[static_cast<std::size_t>(photo)];
  for (int b = 0; b < photos_; ++b) {
    if (mover[b] != gone) continue;
    exchange[b] = kNoEdge;
    mover[b] = -1;
    for (int cell : m) {
      const int* row = &costs_[static_cast<std::size_t>(cell) * photos_];
      if (row[b] >= kNoEdge) continue;
      const int w = row[b] - row[photo];
      if (w < exchange[b] || (w == exchange[b] && cell < mover[b])) {
        exchange[b] = w;
        mover[b] = cell;
      }
    }
  }
}

void ExchangeFlow::Ban(int cell, int photo) {
  costs_[static_cast<std::size_t>(cell) * photos_ + photo] = kNoEdge;
  const int on = PhotoOf(cell);
  if (on < 0) return;
  if (on == photo) {
    Leave(cell);
    free_.push_back(cell);
  }
  RefreshRow(on, cell);
}

void ExchangeFlow::Force(int cell, int photo) {
  Join(cell, photo);
  AddToRow(cell);
}

void ExchangeFlow::Solve() {
  for (;;) {
    if (!free_.empty()) {
      const int cell = free_.back();
      free_.pop_back();
      if (PhotoOf(cell) < 0) PlaceFree(cell);  // failing, it stays free
      continue;
    }
    if (!Phase()) return;
  }
}

// Dijkstra over the reduced costs from the distances in key_ (−1: none),
// until the first deficit is settled; then lowers every potential by its
// distance (settled) or the deficit's (the others), which keeps every
// reduced cost non-negative and puts the shortest paths to that deficit at
// none. Gives the deficit, or −1 when none is reached.
int ExchangeFlow::Shortest(int source) {
  std::fill(done_.begin(), done_.end(), 0);
  const std::size_t nodes = key_.size();
  int sink = -1;
  for (;;) {
    int u = -1;
    std::int64_t best = kFar;
    for (std::size_t v = 0; v < nodes; ++v)
      if (key_[v] >= 0 && key_[v] < best) {
        best = key_[v];
        u = static_cast<int>(v);
      }
    if (u < 0) return -1;
    const std::size_t i = static_cast<std::size_t>(u);
    dist_[i] = best;
    key_[i] = -1;
    done_[i] = 1;
    if (u != source && Balance(u) < 0) {
      sink = u;
      break;
    }
    Relax(u, best);
  }
  const std::int64_t reached = dist_[static_cast<std::size_t>(sink)];
  for (std::size_t v = 0; v < nodes; ++v) potential_[v] -= done_[v] ? dist_[v] : reached;
  return sink;
}

// Offers the nodes next to settled `u` at distance `du`. A settled node is
// never offered less than its distance, as no reduced cost is negative.
void ExchangeFlow::Relax(int u, std::int64_t du) {
  const std::int64_t base = du - potential_[static_cast<std::size_t>(u)];
  const std::int64_t* potential = potential_.data();
  std::int64_t* key = key_.data();
  int* from = from_.data();
  if (u == T()) {
    for (int b = 0; b < photos_; ++b) {
      const std::int64_t d = base + potential[b];
      if (further_[static_cast<std::size_t>(b)] > 0 && key[b] >= 0 && d < key[b]) {
        key[b] = d;
        from[b] = u;
      }
    }
    return;
  }
  const int* exchange = &Exchange(u, 0);
  for (int b = 0; b < photos_; ++b) {
    const std::int64_t d = base + exchange[b] + potential[b];
    // key −1 (settled) is never bettered; kFar (unreached) always is.
    const bool better = exchange[b] < kNoEdge && key[b] >= 0 && d < key[b];
    key[b] = better ? d : key[b];
    from[b] = better ? u : from[b];
  }
  const int t = T();
  if (further_[static_cast<std::size_t>(u)] < cap_ - fixed_ && key[t] >= 0 && base + potential[t] < key[t]) {
    key[t] = base + potential[t];
    from[t] = u;
  }
}

// Places free `cell` at the least cost, moving others as the shortest path
// to a deficit asks; false when it reaches none.
bool ExchangeFlow::PlaceFree(int cell) {
  const int* row = &costs_[static_cast<std::size_t>(cell) * photos_];
  std::int64_t own = kFar;  // the cell's potential: its cheapest arc, reduced
  for (int q = 0; q < photos_; ++q)
    if (row[q] < kNoEdge) own = std::min(own, row[q] + potential_[static_cast<std::size_t>(q)]);
  std::fill(key_.begin(), key_.end(), kFar);
  for (int q = 0; q < photos_; ++q)
    if (row[q] < kNoEdge) {
      key_[static_cast<std::size_t>(q)] = row[q] + potential_[static_cast<std::size_t>(q)] - own;
      from_[static_cast<std::size_t>(q)] = -1;
    }
  const int sink = Shortest(-1);
  if (sink < 0) return false;
  ApplyPath(sink, -1, cell);
  return true;
}

// Applies the path recorded in from_ from `source` (a node, or −1 for the
// free `cell`) to `sink`.
void ExchangeFlow::ApplyPath(int sink, int source, int cell) {
  // Moves first take cells off their photos, then put them on the next, so
  // that every row is refreshed once, from the rows the path was found in.
  std::vector<Move>& moves = moves_;
  moves.clear();
  for (int v = sink; v != source;) {
    const int u = from_[static_cast<std::size_t>(v)];
    if (u < 0) {
      moves.push_back({cell, -1, v});
      break;
    }
    if (u == T()) {
      --further_[static_cast<std::size_t>(v)];
      --further_total_;
    } else if (v == T()) {
      ++further_[static_cast<std::size_t>(u)];
      ++further_total_;
    } else {
      moves.push_back({Mover(u, v), u, v});
    }
    v = u;
  }
  for (const Move& m : moves)
    if (m.from >= 0) Leave(m.cell);
  for (const Move& m : moves) Join(m.cell, m.to);
  for (const Move& m : moves)
    if (m.from >= 0) RefreshRow(m.from, m.cell);
  for (const Move& m : moves) AddToRow(m.cell);
}

// Moves as many units as the arcs at no reduced cost carry from the nodes
// with excess to deficits, after potentials that put every shortest path
// from an excess to its nearest deficit at no reduced cost. False when no
// excess reaches any deficit.
bool ExchangeFlow::Phase() {
  // A node S before the sources, at the least potential of any: its arcs
  // to them cost the difference.
  std::int64_t level = kFar;
  for (int v = 0; v <= photos_; ++v)
    if (Balance(v) > 0) level = std::min(level, potential_[static_cast<std::size_t>(v)]);
  if (level >= kFar) return false;
  std::fill(key_.begin(), key_.end(), kFar);
  for (int v = 0; v <= photos_; ++v)
    if (Balance(v) > 0) key_[static_cast<std::size_t>(v)] = potential_[static_cast<std::size_t>(v)] - level;
  if (Shortest(-1) < 0) return false;
  // The sources still at S's potential start paths at no reduced cost.
  std::fill(done_.begin(), done_.end(), 0);
  for (int s = 0; s <= photos_; ++s)
    while (Balance(s) > 0 && potential_[static_cast<std::size_t>(s)] == level) {
      const int sink = Search(s);
      if (sink < 0) break;
      ApplyPath(sink, s, -1);
    }
  return true;
}

// A path from `source` to a deficit over arcs at no reduced cost, recorded
// in from_; gives its sink, or −1.
int ExchangeFlow::Search(int source) {
  // Nodes a failed search of this round went through lead nowhere (until
  // later paths open arcs back; the next round finds those).
  std::vector<int>& seen = seen_;
  seen.assign(1, source);
  std::vector<int>& stack = stack_;
  stack.assign(1, source);
  done_[static_cast<std::size_t>(source)] = 1;
  int sink = -1;
  while (!stack.empty() && sink < 0) {
    const int u = stack.back();
    stack.pop_back();
    const std::int64_t pu = potential_[static_cast<std::size_t>(u)];
    auto visit = [&](int v, std::int64_t cost) {
      const std::size_t i = static_cast<std::size_t>(v);
      if (sink >= 0 || done_[i] || cost - pu + potential_[i] != 0) return;
      done_[i] = 1;
      from_[i] = u;
      stack.push_back(v);
      seen.push_back(v);
      if (Balance(v) < 0) sink = v;
    };
    if (u == T()) {
      for (int b = 0; b < photos_; ++b)
        if (further_[static_cast<std::size_t>(b)] > 0) visit(b, 0);
      continue;
    }
    const int* exchange = &Exchange(u, 0);
    for (int b = 0; b < photos_; ++b)
      if (exchange[b] < kNoEdge) visit(b, exchange[b]);
    if (further_[static_cast<std::size_t>(u)] < cap_ - fixed_) visit(T(), 0);
  }
  // A found path's nodes may serve again; a failed search's stay marked.
  if (sink >= 0)
    for (int v : seen) done_[static_cast<std::size_t>(v)] = 0;
  return sink;
}

}  // namespace tessaline
