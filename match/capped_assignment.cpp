#include "match/capped_assignment.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>

#include "library/feature.h"
#include "match/exchange_flow.h"
#include "match/slot_flow.h"
#include "match/steady_assignment.h"

namespace tessaline {
namespace {

constexpr double kCostScale = 16.0;  // cost units per byte step of distance
constexpr int kReachEdges = 2;       // lists a tile should be in for the every-photo rule
constexpr int kReachCells = 4;       // nearest cells given an edge to a tile in fewer
constexpr int kExtendBy = 8;         // tiles with room added to a cell that reaches none
constexpr int kRepairRounds = 24;
constexpr int kReachRounds = 4;  // widenings of the nearest cells of unused photos
constexpr int kRoomEdges = 4;    // photos at no price a cell is shown at a time
constexpr double kTightLoad = 0.95;  // cells per slot from which every photo gets edges
// The most edges a list grows to: when nearly every slot is needed, lists
// must reach far for every cell to find one.
constexpr std::size_t kMaxWidened = 128;
constexpr std::size_t kMaxWidenedCrowded = 512;  // from kCrowdedLoad cells per slot
constexpr double kCrowdedLoad = 0.85;
constexpr std::size_t kMaxWidenedTight = kMaxCappedEdges;
// Work bounds: where nearly every slot is needed, the auction's prices
// climb in small steps and lists grow one search at a time; past these the
// cells still unplaced take the nearest tile with room, and the outcome
// says the assignment is not optimal.
constexpr int kWideningsPerCell = 2;
constexpr int kBidsPerCell = 64;
constexpr std::int64_t kLeastBids = std::int64_t{1} << 21;
constexpr std::int64_t kEverything = std::numeric_limits<std::int64_t>::max() / 4;

int EdgeCost(const std::vector<int>& query, const unsigned char* tile) {
  std::int64_t sum = 0;
  for (std::size_t j = 0; j < query.size(); ++j) {
    const std::int64_t d = query[j] - tile[j];
    sum += d * d;
  }
  return static_cast<int>(std::lround(std::sqrt(static_cast<double>(sum)) * kCostScale));
}

// The tile cell `cell` keeps from the frame before, -1 for none.
int KeptTileOf(const CappedInput& in, int cell) {
  if (!in.kept || in.kept->size() != static_cast<std::size_t>(in.div_x) * in.div_y) return -1;
  const int t = (*in.kept)[static_cast<std::size_t>(cell)];
  return t != in.target_tile && in.matcher->FeatureOf(t) ? t : -1;
}

// A draw reduced to [0, 1].
double DrawUnit(const RandomSource& random) {
  constexpr int kSteps = 4096;
  const long long r = random();
  return static_cast<double>((r < 0 ? -(r + 1) : r) % kSteps) / (kSteps - 1);
}

// Whether cells `a` and `b` lie within the repeat distance of each other.
bool WithinRepeat(const CappedInput& in, int a, int b) {
  const int r = in.rules.repeat_distance;
  return std::abs(a % in.div_x - b % in.div_x) <= r && std::abs(a / in.div_x - b / in.div_x) <= r;
}

struct CapPlan {
  int cap = 0;  // 0: none
  bool raised = false;
  bool every_tile = false;
  int flow_cap = 1;  // slots per tile in the flow
};

CapPlan PlanCaps(const CapRules& rules, int cells, int photos) {
  CapPlan plan;
  plan.cap = rules.max_uses > 0 ? rules.max_uses : 0;
  if (rules.use_all && cells < photos) plan.cap = 1;
  plan.every_tile = rules.use_all && cells >= photos;
  const long long fits = (static_cast<long long>(cells) + photos - 1) / std::max(photos, 1);
  if (plan.cap > 0 && static_cast<long long>(plan.cap) * photos < cells) {
    plan.cap = static_cast<int>(fits);
    plan.raised = true;
  }
  plan.flow_cap = plan.cap > 0 ? plan.cap : std::max(cells, 1);
  return plan;
}

class CappedAssigner {
 public:
  CappedAssigner(const CappedInput& in, const RandomSource& random)
      : in_(in),
        matcher_(*in.matcher),
        random_(random),
        cells_(in.div_x * in.div_y),
        tiles_(in.matcher->tile_span()),
        photos_(matcher_.candidate_count() - (matcher_.FeatureOf(in.target_tile) ? 1 : 0)),
        plan_(PlanCaps(in.rules, cells_, std::max(photos_, 1))),
        max_cost_(static_cast<int>(std::ceil(std::sqrt(in.mx * in.my * 3.0) * 255 * kCostScale)) +
                  1),
        edges_(static_cast<std::size_t>(cells_)),
        reach_(static_cast<std::size_t>(cells_), 0),
        room_round_(static_cast<std::size_t>(cells_), -1),
        mark_(static_cast<std::size_t>(tiles_), 0) {}

  CappedOutcome Run(std::vector<int>& tiles) {
    BuildEdges();
    // When nearly every slot is needed, so is every photo.
    if (plan_.every_tile || Load() > kTightLoad) ReachEveryTile();
    flow_.emplace(edges_, reach_, tiles_, plan_.flow_cap, plan_.every_tile, max_cost_);
    flow_->LimitBids(std::max(kLeastBids, kBidsPerCell * static_cast<std::int64_t>(cells_)));
    for (int t = 0; t < tiles_; ++t)
      if (t == in_.target_tile || !matcher_.FeatureOf(t)) flow_->Exclude(t);
    std::vector<int> all(static_cast<std::size_t>(cells_));
    std::iota(all.begin(), all.end(), 0);
    std::vector<int> stuck = Place(all, true);
    if (plan_.every_tile) ReachUnused(stuck);
    if (in_.rules.repeat_distance > 0) RepairRepeats(stuck);
    PlaceStuck(stuck);
    for (int cell : stuck) PlaceDirectly(cell);
    tiles.resize(static_cast<std::size_t>(cells_));
    for (int cell = 0; cell < cells_; ++cell)
      tiles[static_cast<std::size_t>(cell)] = flow_->TileOf(cell);
    return Outcome();
  }

 private:
  std::vector<int> Place(const std::vector<int>& cells, bool scale) {
    return flow_->Place(cells, scale, [this](int cell, std::int64_t value, std::int64_t dear) {
      return Widen(cell, value, dear);
    });
  }

  // Small mosaics may search as they need; a search passes every photo.
  std::int64_t WideningsAllowed() const {
    return std::max<std::int64_t>(kWideningsPerCell * static_cast<std::int64_t>(cells_),
                                  kLeastBids / std::max(photos_, 1));
  }

  // Cells per slot.
  double Load() const {
    return static_cast<double>(cells_) /
           (static_cast<double>(std::max(photos_, 1)) * plan_.flow_cap);
  }

  const std::vector<int>& Query(int cell) {
    CellFeature(*in_.matching, cell % in_.div_x, cell / in_.div_x, in_.mx, in_.my, query_);
    return query_;
  }

  // The matcher pass: each cell's nearest tiles without the target, their
  // k nearest at drawn costs.
  void BuildEdges() {
    const double load = Load();
    const int per_cell = CappedCandidatesPerCell(in_.k, in_.target_tile, in_.rules, load);
    const CellCandidates first =
        matcher_.MatchCells(*in_.matching, in_.div_x, in_.div_y, in_.mx, in_.my, per_cell);
    for (int cell = 0; cell < cells_ && first.per_cell > 0; ++cell) {
      const int* nearest = first.Of(cell % in_.div_x, cell / in_.div_x);
      const std::vector<int>& query = Query(cell);
      std::vector<SlotEdge>& list = edges_[static_cast<std::size_t>(cell)];
      list.reserve(static_cast<std::size_t>(first.per_cell));
      for (int i = 0; i < first.per_cell; ++i)
        if (nearest[i] != in_.target_tile)
          list.push_back({nearest[i], EdgeCost(query, matcher_.FeatureOf(nearest[i]))});
      reach_[static_cast<std::size_t>(cell)] =
          first.per_cell < per_cell
              ? kEverything
              : EdgeCost(query, matcher_.FeatureOf(nearest[first.per_cell - 1]));
      if (in_.k > 1) DrawCosts(list);
      KeepTile(cell, list);
    }
  }

  // The cell's tile of the frame before, at its lowered cost.
  void KeepTile(int cell, std::vector<SlotEdge>& list) {
    const int kept = KeptTileOf(in_, cell);
    if (kept < 0) return;
    const int cost = KeptCost(EdgeCost(Query(cell), matcher_.FeatureOf(kept)), in_.steadiness);
    for (SlotEdge& e : list)
      if (e.tile == kept) {
        e.cost = cost;
        return;
      }
    list.push_back({kept, cost});
  }

  void DrawCosts(std::vector<SlotEdge>& list) {
    const std::size_t drawn = std::min(list.size(), static_cast<std::size_t>(in_.k));
    if (drawn < 2) return;
    const int low = list[0].cost, high = list[drawn - 1].cost;
    for (std::size_t i = 0; i < drawn; ++i)
      list[i].cost = low + static_cast<int>(std::lround(DrawUnit(random_) * (high - low)));
  }

  // Tiles in few lists get edges from their nearest cells.
  void ReachEveryTile() {
    std::vector<int> lists(static_cast<std::size_t>(tiles_), 0);
    for (const auto& list : edges_)
      for (const SlotEdge& e : list) ++lists[static_cast<std::size_t>(e.tile)];
    std::vector<ColourFeature> cell_features(static_cast<std::size_t>(cells_));
    for (int cell = 0; cell < cells_; ++cell) {
      const std::vector<int>& q = Query(cell);
      cell_features[static_cast<std::size_t>(cell)].assign(q.begin(), q.end());
    }
    const int dim = in_.mx * in_.my * 3;
    cell_matcher_ = TileMatcher(cell_features, dim);
    for (int t = 0; t < tiles_; ++t) {
      const unsigned char* feature = matcher_.FeatureOf(t);
      if (t == in_.target_tile || !feature || lists[static_cast<std::size_t>(t)] >= kReachEdges)
        continue;
      const ColourFeature tile(feature, feature + dim);
      for (int cell : cell_matcher_.Nearest(tile, kReachCells)) AddEdge(cell, t);
    }
  }

  void AddEdge(int cell, int tile) {
    std::vector<SlotEdge>& list = edges_[static_cast<std::size_t>(cell)];
    if (std::any_of(list.begin(), list.end(), [&](const SlotEdge& e) { return e.tile == tile; }))
      return;
    list.push_back({tile, EdgeCost(Query(cell), matcher_.FeatureOf(tile))});
  }

  void MarkListed(int cell) {
    ++serial_;
    for (const SlotEdge& e : edges_[static_cast<std::size_t>(cell)])
      mark_[static_cast<std::size_t>(e.tile)] = serial_;
  }

  std::vector<int> Nearest(int cell, int count, const TileMatcher::TileFilter& allowed) {
    const std::vector<int>& q = Query(cell);
    return matcher_.NearestAllowed(ColourFeature(q.begin(), q.end()), count, allowed);
  }

  bool Widen(int cell, std::int64_t value, std::int64_t dear);
  bool ShowRoom(int cell, std::int64_t value);
  void IndexRoom();
  bool WidenList(int cell, std::size_t limit);
  void PlaceStuck(std::vector<int>& stuck);
  void ReachUnused(std::vector<int>& stuck);
  void RepairRepeats(std::vector<int>& stuck);
  std::vector<int> FreeRepeats();
  bool Within(int a, int b) const;
  void Ban(int cell, int tile);
  void BanWindow(int cell);
  void MarkWindow(int cell);
  void PlaceDirectly(int cell);
  CappedOutcome Outcome() const;

  const CappedInput& in_;
  const TileMatcher& matcher_;
  const RandomSource& random_;
  const int cells_;
  const int tiles_;
  const int photos_;
  const CapPlan plan_;
  const int max_cost_;
  SlotEdges edges_;
  // Per cell: every tile nearer than this is in its list.
  std::vector<std::int64_t> reach_;
  // Per cell: the flow's round when it was last shown photos at no price.
  std::vector<int> room_round_;
  std::optional<SlotFlow> flow_;
  TileMatcher cell_matcher_;  // over the cells' features, for the every-photo rule
  TileMatcher room_matcher_;  // over the photos that cost nothing
  int room_matcher_round_ = -1;
  std::vector<int> query_;
  std::vector<unsigned> mark_;  // serial_ on the tiles marked for the current cell
  unsigned serial_ = 0;
  bool repeat_broken_ = false;
  std::int64_t widenings_ = 0;
};

// A cell whose slot costs more than a tile beyond its list might sees
// first the nearest photos that cost nothing, then, when even a priced
// photo beyond its list might be cheaper, more of the library, as far as
// its list may grow.
bool CappedAssigner::Widen(int cell, std::int64_t value, std::int64_t dear) {
  const std::size_t i = static_cast<std::size_t>(cell);
  // When nearly every slot is needed, a cell must see far enough for all
  // to fit, whatever the prices.
  const bool tight = Load() > kTightLoad;
  if (!tight && room_round_[i] != flow_->Round() && ShowRoom(cell, value)) return true;
  const std::size_t limit = tight                    ? kMaxWidenedTight
                            : Load() > kCrowdedLoad ? kMaxWidenedCrowded
                                                    : kMaxWidened;
  if (value <= reach_[i] + (tight ? 0 : dear) || reach_[i] >= kEverything ||
      edges_[i].size() >= limit)
    return false;
  return WidenList(cell, limit);
}

// Adds the nearest photos beyond the list of `cell` that cost nothing and
// less than `value`; true when it added any.
bool CappedAssigner::ShowRoom(int cell, std::int64_t value) {
  const std::size_t i = static_cast<std::size_t>(cell);
  room_round_[i] = flow_->Round();
  if (room_matcher_round_ != flow_->Round()) IndexRoom();
  MarkListed(cell);
  const std::vector<int>& q = Query(cell);
  bool added = false;
  for (int t : room_matcher_.Nearest(ColourFeature(q.begin(), q.end()), 2 * kRoomEdges)) {
    // Prices have risen since the index was made: some no longer cost nothing.
    if (mark_[static_cast<std::size_t>(t)] == serial_ || !flow_->CostsNothing(t)) continue;
    const int cost = EdgeCost(q, matcher_.FeatureOf(t));
    if (cost >= value) break;
    edges_[i].push_back({t, cost});
    added = true;
  }
  return added;
}

// Indexes the photos that cost nothing as the round began.
void CappedAssigner::IndexRoom() {
  room_matcher_round_ = flow_->Round();
  std::vector<ColourFeature> room(static_cast<std::size_t>(tiles_));
  const int dim = in_.mx * in_.my * 3;
  for (int t = 0; t < tiles_; ++t) {
    const unsigned char* feature = matcher_.FeatureOf(t);
    if (t != in_.target_tile && feature && flow_->CostsNothing(t))
      room[static_cast<std::size_t>(t)].assign(feature, feature + dim);
  }
  room_matcher_ = TileMatcher(room, dim);
}

// Doubles the list of `cell` with its nearest tiles, up to `limit` of them;
// false when no tile was added.
bool CappedAssigner::WidenList(int cell, std::size_t limit) {
  // When nearly every slot is needed, lists would grow one search at a time
  // for seconds: past a bound of work the cells they leave out are placed
  // directly.
  if (++widenings_ > WideningsAllowed()) return false;
  const std::size_t i = static_cast<std::size_t>(cell);
  const int want = static_cast<int>(std::min(edges_[i].size() * 2 + 2, limit));
  const std::vector<int>& q = Query(cell);
  const std::vector<int> nearest = matcher_.Nearest(ColourFeature(q.begin(), q.end()), want);
  MarkListed(cell);
  const std::size_t before = edges_[i].size();
  for (int t : nearest)
    if (t != in_.target_tile && mark_[static_cast<std::size_t>(t)] != serial_)
      edges_[i].push_back({t, EdgeCost(q, matcher_.FeatureOf(t))});
  reach_[i] = static_cast<int>(nearest.size()) < want
                  ? kEverything
                  : EdgeCost(q, matcher_.FeatureOf(nearest.back()));
  return edges_[i].size() > before;
}

// Photos still unused under the every-photo rule get edges from more of
// their nearest cells, which bid again.
void CappedAssigner::ReachUnused(std::vector<int>& stuck) {
  const int dim = in_.mx * in_.my * 3;
  for (int round = 1; round <= kReachRounds; ++round) {
    std::vector<int> again = stuck;
    for (int t = 0; t < tiles_; ++t) {
      const unsigned char* feature = matcher_.FeatureOf(t);
      if (t == in_.target_tile || !feature || flow_->Uses(t) > 0) continue;
      const ColourFeature tile(feature, feature + dim);
      for (int cell : cell_matcher_.Nearest(tile, kReachCells << (2 * round))) {
        AddEdge(cell, t);
        again.push_back(cell);
      }
    }
    if (again.size() == stuck.size()) return;
    std::sort(again.begin(), again.end());
    again.erase(std::unique(again.begin(), again.end()), again.end());
    for (int cell : again) flow_->Free(cell);
    stuck = Place(again, false);
  }
}

// Cells that found no room get the nearest tiles with room and bid again.
void CappedAssigner::PlaceStuck(std::vector<int>& stuck) {
  if (stuck.empty()) return;
  for (int cell : stuck) {
    MarkListed(cell);
    const std::vector<int> more = Nearest(cell, kExtendBy, [this](int t) {
      return t != in_.target_tile && mark_[static_cast<std::size_t>(t)] != serial_ &&
             flow_->HasRoom(t);
    });
    for (int t : more) AddEdge(cell, t);
  }
  stuck = Place(stuck, false);
}

void CappedAssigner::RepairRepeats(std::vector<int>& stuck) {
  for (int round = 0; round < kRepairRounds; ++round) {
    const std::vector<int> freed = FreeRepeats();
    if (freed.empty()) return;
    stuck = Place(freed, false);
  }
  // Whatever still clashes takes the nearest tile that breaks no rule.
  const std::vector<int> freed = FreeRepeats();
  stuck.insert(stuck.end(), freed.begin(), freed.end());
}

// Of the cells sharing a tile within R, the best fitting keeps it; the
// others are banned from it and freed.
std::vector<int> CappedAssigner::FreeRepeats() {
  std::vector<int> freed, kept;
  for (int t = 0; t < tiles_; ++t) {
    if (flow_->Uses(t) < 2) continue;
    std::vector<int> users = flow_->UsersOf(t);
    std::sort(users.begin(), users.end(), [this](int a, int b) {
      return std::make_pair(flow_->CostOf(a), a) < std::make_pair(flow_->CostOf(b), b);
    });
    kept.clear();
    for (int cell : users) {
      if (std::none_of(kept.begin(), kept.end(), [&](int k) { return Within(cell, k); })) {
        kept.push_back(cell);
        continue;
      }
      Ban(cell, t);
      BanWindow(cell);
      freed.push_back(cell);
    }
  }
  for (int cell : freed) flow_->Free(cell);
  return freed;
}

bool CappedAssigner::Within(int a, int b) const { return WithinRepeat(in_, a, b); }

void CappedAssigner::Ban(int cell, int tile) {
  for (SlotEdge& e : edges_[static_cast<std::size_t>(cell)])
    if (e.tile == tile) e.cost = kBannedEdge;
}

// A freed cell would clash again with any tile used within R of it: it is
// banned from them all, which may cost a little optimality but ends the
// repair in a few rounds.
void CappedAssigner::BanWindow(int cell) {
  MarkWindow(cell);
  for (SlotEdge& e : edges_[static_cast<std::size_t>(cell)])
    if (mark_[static_cast<std::size_t>(e.tile)] == serial_) e.cost = kBannedEdge;
}

// Marks the tiles of the cells within R of `cell`.
void CappedAssigner::MarkWindow(int cell) {
  ++serial_;
  const int r = in_.rules.repeat_distance, cx = cell % in_.div_x, cy = cell / in_.div_x;
  for (int y = std::max(cy - r, 0); y <= std::min(cy + r, in_.div_y - 1); ++y)
    for (int x = std::max(cx - r, 0); x <= std::min(cx + r, in_.div_x - 1); ++x) {
      const int t = flow_->TileOf(x + y * in_.div_x);
      if (t >= 0) mark_[static_cast<std::size_t>(t)] = serial_;
    }
}

// The nearest tile with room and away from its repeats; failing that, away
// from its repeats over the cap; failing that, the nearest.
void CappedAssigner::PlaceDirectly(int cell) {
  if (flow_->TileOf(cell) >= 0) return;
  MarkWindow(cell);
  auto away = [this](int t) {
    return t != in_.target_tile && mark_[static_cast<std::size_t>(t)] != serial_;
  };
  std::vector<int> pick = Nearest(cell, 1, [&](int t) { return away(t) && flow_->HasRoom(t); });
  if (pick.empty()) pick = Nearest(cell, 1, away);
  if (pick.empty()) {
    pick = Nearest(cell, 1, [this](int t) { return t != in_.target_tile; });
    repeat_broken_ = repeat_broken_ || in_.rules.repeat_distance > 0;
  }
  if (pick.empty()) pick = Nearest(cell, 1, [](int) { return true; });
  if (!pick.empty()) flow_->Force(cell, pick[0]);
}

CappedOutcome CappedAssigner::Outcome() const {
  CappedOutcome outcome;
  outcome.cap = plan_.cap;
  outcome.cap_raised = plan_.raised;
  outcome.repeat_kept = !repeat_broken_;
  outcome.optimal = !flow_->OutOfBids() && widenings_ <= WideningsAllowed();
  for (int t = 0; t < tiles_; ++t) {
    const int uses = flow_->Uses(t);
    if (plan_.cap > 0 && uses > plan_.cap) outcome.cap_kept = false;
    if (plan_.every_tile && uses == 0 && t != in_.target_tile && matcher_.FeatureOf(t))
      ++outcome.left_out;
  }
  return outcome;
}


// Libraries of at most kMaxDensePhotos photos: the exact optimum over every
// cell × photo cost (ExchangeFlow); the repeat distance is kept by the same
// repair as below, each round solved exactly again.
class DenseAssigner {
 public:
  DenseAssigner(const CappedInput& in, const RandomSource& random, int photos)
      : in_(in),
        cells_(in.div_x * in.div_y),
        plan_(PlanCaps(in.rules, cells_, std::max(photos, 1))) {
    for (int t = 0; t < in.matcher->tile_span(); ++t)
      if (t != in.target_tile && in.matcher->FeatureOf(t)) tile_of_.push_back(t);
    flow_.emplace(Costs(random), cells_, static_cast<int>(tile_of_.size()), plan_.flow_cap,
                  plan_.every_tile);
  }

  CappedOutcome Run(std::vector<int>& tiles) {
    flow_->Solve();
    if (in_.rules.repeat_distance > 0) {
      for (int round = 0; round < kRepairRounds && FreeRepeats() > 0; ++round) flow_->Solve();
      FreeRepeats();
    }
    for (int cell = 0; cell < cells_; ++cell)
      if (flow_->PhotoOf(cell) < 0) PlaceDirectly(cell);
    tiles.resize(static_cast<std::size_t>(cells_));
    for (int cell = 0; cell < cells_; ++cell)
      tiles[static_cast<std::size_t>(cell)] = tile_of_[static_cast<std::size_t>(flow_->PhotoOf(cell))];
    return Outcome();
  }

 private:
  // Every cell's cost to every photo, row-major; a cell's k nearest at
  // drawn costs, cells in row-major order.
  std::vector<int> Costs(const RandomSource& random) const {
    const int photos = static_cast<int>(tile_of_.size());
    std::vector<int> costs(static_cast<std::size_t>(cells_) * photos);
    std::vector<int> query, order(static_cast<std::size_t>(photos));
    for (int cell = 0; cell < cells_; ++cell) {
      CellFeature(*in_.matching, cell % in_.div_x, cell / in_.div_x, in_.mx, in_.my, query);
      int* row = &costs[static_cast<std::size_t>(cell) * photos];
      for (int p = 0; p < photos; ++p)
        row[p] = EdgeCost(query, in_.matcher->FeatureOf(tile_of_[static_cast<std::size_t>(p)]));
      const int k = std::min(in_.k, photos);
      if (k >= 2) DrawNearest(row, k, order, random);
      KeepPhoto(cell, query, row);
    }
    return costs;
  }

  static void DrawNearest(int* row, int k, std::vector<int>& order, const RandomSource& random) {
    std::iota(order.begin(), order.end(), 0);
    const auto nearer = [row](int a, int b) {
      return std::make_pair(row[a], a) < std::make_pair(row[b], b);
    };
    std::partial_sort(order.begin(), order.begin() + k, order.end(), nearer);
    const int low = row[order[0]], high = row[order[static_cast<std::size_t>(k) - 1]];
    for (int i = 0; i < k; ++i)
      row[order[static_cast<std::size_t>(i)]] =
          low + static_cast<int>(std::lround(DrawUnit(random) * (high - low)));
  }

  // The cell's photo of the frame before, at its lowered cost.
  void KeepPhoto(int cell, const std::vector<int>& query, int* row) const {
    const int kept = KeptTileOf(in_, cell);
    if (kept < 0) return;
    const auto at = std::lower_bound(tile_of_.begin(), tile_of_.end(), kept);
    row[at - tile_of_.begin()] =
        KeptCost(EdgeCost(query, in_.matcher->FeatureOf(kept)), in_.steadiness);
  }

  bool Within(int a, int b) const { return WithinRepeat(in_, a, b); }

  // Of the cells sharing a photo within R, the best fitting keeps it; the
  // others are banned from it and freed. Gives how many were freed.
  int FreeRepeats() {
    int freed = 0;
    std::vector<int> users, kept;
    for (int p = 0; p < static_cast<int>(tile_of_.size()); ++p) {
      if (flow_->Uses(p) < 2) continue;
      users = flow_->CellsOn(p);
      std::sort(users.begin(), users.end(), [&](int a, int b) {
        return std::make_pair(flow_->Cost(a, p), a) < std::make_pair(flow_->Cost(b, p), b);
      });
      kept.clear();
      for (int cell : users) {
        if (std::none_of(kept.begin(), kept.end(), [&](int k) { return Within(cell, k); })) {
          kept.push_back(cell);
          continue;
        }
        flow_->Ban(cell, p);
        BanWindow(cell);
        ++freed;
      }
    }
    return freed;
  }

  // A freed cell would clash again with any photo used within R of it: it
  // is banned from them all, which may cost a little optimality but ends
  // the repair in a few rounds.
  void BanWindow(int cell) {
    const int r = in_.rules.repeat_distance, cx = cell % in_.div_x, cy = cell / in_.div_x;
    for (int y = std::max(cy - r, 0); y <= std::min(cy + r, in_.div_y - 1); ++y)
      for (int x = std::max(cx - r, 0); x <= std::min(cx + r, in_.div_x - 1); ++x) {
        const int p = flow_->PhotoOf(x + y * in_.div_x);
        if (p >= 0) flow_->Ban(cell, p);
      }
  }

  // The nearest photo with room and away from the cell's repeats; failing
  // that, away from its repeats over the cap; failing that, the nearest.
  void PlaceDirectly(int cell) {
    const int photos = static_cast<int>(tile_of_.size());
    std::vector<char> near(static_cast<std::size_t>(photos), 0);
    const int r = in_.rules.repeat_distance, cx = cell % in_.div_x, cy = cell / in_.div_x;
    for (int y = std::max(cy - r, 0); y <= std::min(cy + r, in_.div_y - 1) && r > 0; ++y)
      for (int x = std::max(cx - r, 0); x <= std::min(cx + r, in_.div_x - 1); ++x) {
        const int p = flow_->PhotoOf(x + y * in_.div_x);
        if (p >= 0) near[static_cast<std::size_t>(p)] = 1;
      }
    int best[3] = {-1, -1, -1};
    std::vector<int> query;
    CellFeature(*in_.matching, cx, cy, in_.mx, in_.my, query);
    std::vector<int> cost(static_cast<std::size_t>(photos));
    for (int p = 0; p < photos; ++p)
      cost[static_cast<std::size_t>(p)] =
          EdgeCost(query, in_.matcher->FeatureOf(tile_of_[static_cast<std::size_t>(p)]));
    for (int p = 0; p < photos; ++p) {
      const std::size_t i = static_cast<std::size_t>(p);
      const int kind = near[i] ? 2 : flow_->HasRoom(p) ? 0 : 1;
      for (int k = kind; k < 3; ++k)
        if (best[k] < 0 || cost[i] < cost[static_cast<std::size_t>(best[k])]) best[k] = p;
    }
    const int pick = best[0] >= 0 ? best[0] : best[1] >= 0 ? best[1] : best[2];
    repeat_broken_ = repeat_broken_ || (best[0] < 0 && best[1] < 0 && r > 0);
    flow_->Force(cell, pick);
  }

  CappedOutcome Outcome() const {
    CappedOutcome outcome;
    outcome.cap = plan_.cap;
    outcome.cap_raised = plan_.raised;
    outcome.repeat_kept = !repeat_broken_;
    for (int p = 0; p < static_cast<int>(tile_of_.size()); ++p) {
      if (plan_.cap > 0 && flow_->Uses(p) > plan_.cap) outcome.cap_kept = false;
      if (plan_.every_tile && flow_->Uses(p) == 0) ++outcome.left_out;
    }
    return outcome;
  }

  const CappedInput& in_;
  const int cells_;
  const CapPlan plan_;
  std::vector<int> tile_of_;  // the tile of each photo of the flow
  std::optional<ExchangeFlow> flow_;
  bool repeat_broken_ = false;
};

}  // namespace

int CappedCandidatesPerCell(int k, int target_tile, const CapRules& rules, double load) {
  // The tighter the slots, the farther the optimum reaches down a list.
  int spare = load <= 0.5 ? 16 : load <= 0.85 ? 64 : 48;
  if (rules.repeat_distance > 0) spare += 16;
  return CandidatesToRequest(k, target_tile) + std::min(spare, kMaxCappedSpare);
}

CappedOutcome AssignWithCaps(const CappedInput& input, std::vector<int>& tiles,
                             const RandomSource& random) {
  const int cells = std::max(input.div_x, 0) * std::max(input.div_y, 0);
  if (input.matcher == nullptr || input.matcher->candidate_count() == 0 || cells == 0 ||
      input.matching == nullptr) {
    tiles.assign(static_cast<std::size_t>(cells), 0);
    return CappedOutcome();
  }
  const int photos =
      input.matcher->candidate_count() - (input.matcher->FeatureOf(input.target_tile) ? 1 : 0);
  // Without a cap the flow is each cell's nearest tile; the repeat repair
  // alone is quicker over lists.
  if (photos <= input.max_dense_photos && HasCaps(input.rules)) {
    if (photos == 0) {
      tiles.assign(static_cast<std::size_t>(cells), input.target_tile >= 0 ? input.target_tile : 0);
      return CappedOutcome();
    }
    DenseAssigner assigner(input, random, photos);
    return assigner.Run(tiles);
  }
  CappedAssigner assigner(input, random);
  return assigner.Run(tiles);
}

std::string CapRaisedMessage(int asked, int cap) {
  return "the library is too small for each photo to be used at most " + std::to_string(asked) +
         " times; each is used at most " + std::to_string(cap) + " times";
}

std::string CutShortMessage() {
  return "the caps leave little room in this library: the last cells took the nearest photo "
         "with room";
}

std::string PhotosLeftOutMessage(int left_out) {
  return std::to_string(left_out) + " photos could not be placed; not every photo is used";
}

}  // namespace tessaline
