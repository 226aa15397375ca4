#include "match/matcher.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "library/feature_index.h"
#include "settings/work_split.h"

namespace tessaline {
namespace {

// Tiles scanned together, one leaf of the tree: 32 lanes of 16 bits fill
// whole vector registers, and leaves this small keep boxes tight.
constexpr int kBlock = 32;

// Libraries up to this many tiles are searched by the flat scan
// (flat_scan.h) rather than the tree.
constexpr int kFlatScanTiles = 8192;

// Tiles per slab of the sorted scan of large libraries: whole flat groups.
constexpr int kSlab = 512;
static_assert(kSlab % kFlatGroup == 0);

// Boxes and queries are compared in chunks of 16 lanes of 16 bits (two
// SSE2 registers), dimensions padded with zeros.
constexpr int kBoxChunk = 16;

// A found tile: squared distance, then tile index, so that the natural order
// is the result order (nearest first, ties by the lower index).
using Found = std::pair<std::int32_t, int>;

// Keeps the k best of the tiles offered, in result order. A tile offered
// again (a seed met again in its leaf) is kept once.
class BestList {
 public:
  void Reset(int k) {
    k_ = k;
    full_ = false;
    best_.clear();
    best_.reserve(static_cast<std::size_t>(Lazy() ? 2 * k : k) + 1);
  }

  bool Full() const { return Lazy() ? full_ : static_cast<int>(best_.size()) == k_; }
  // The tiles kept; exact after Finish.
  std::size_t Size() const { return best_.size(); }
  std::int32_t Worst() const { return Lazy() ? worst_.first : best_.back().first; }
  // Whether a subtree with this lower bound may still hold a better tile.
  bool MayImprove(std::int32_t bound) const { return !Full() || bound <= Worst(); }

  void Offer(std::int32_t distance, int id) {
    const Found item(distance, id);
    if (Lazy()) {
      // Long lists gather offers and keep the k best now and then, where
      // sorted insertion would move half the list at every offer.
      if (full_ && item >= worst_) return;
      best_.push_back(item);
      if (static_cast<int>(best_.size()) >= 2 * k_) Keep();
      return;
    }
    if (Full() && item >= best_.back()) return;
    const auto at = std::upper_bound(best_.begin(), best_.end(), item);
    if (at != best_.begin() && *(at - 1) == item) return;
    best_.insert(at, item);
    if (static_cast<int>(best_.size()) > k_) best_.pop_back();
  }

  void Finish() {
    if (Lazy()) Keep();
  }

  void WriteTo(int* out) {
    Finish();
    for (const Found& f : best_) *out++ = f.second;
  }

 private:
  static constexpr int kSortedUpTo = 64;
  bool Lazy() const { return k_ > kSortedUpTo; }
  void Keep() {
    std::sort(best_.begin(), best_.end());
    best_.erase(std::unique(best_.begin(), best_.end()), best_.end());
    if (static_cast<int>(best_.size()) >= k_) {
      best_.resize(static_cast<std::size_t>(k_));
      full_ = true;
      worst_ = best_.back();
    }
  }

  int k_ = 0;
  bool full_ = false;  // lazy lists: k kept, worst_ the k-th
  Found worst_;
  std::vector<Found> best_;
};

std::int32_t SquaredDistance(const unsigned char* a, const unsigned char* b, int dim) {
  std::int32_t sum = 0;
  for (int j = 0; j < dim; ++j) {
    const std::int32_t d = static_cast<std::int32_t>(a[j]) - b[j];
    sum += d * d;
  }
  return sum;
}

// The largest r with r² <= x (x >= 0).
long long FloorSqrt(long long x) {
  auto r = static_cast<long long>(std::sqrt(static_cast<double>(x)));
  while (r > 0 && r * r > x) --r;
  while ((r + 1) * (r + 1) <= x) ++r;
  return r;
}

// The number of `values` (ascending, count of them) at most `value`: a
// binary search without branches to mispredict.
int CountAtMost(const std::int32_t* values, int count, long long value) {
  if (count <= 0) return 0;
  const std::int32_t* base = values;
  for (int n = count; n > 1; n -= n / 2) base = base[n / 2] <= value ? base + n / 2 : base;
  return static_cast<int>(base - values) + (base[0] <= value ? 1 : 0);
}

// Cell (cx, cy)'s feature bytes, read as CellFeature reads them: rows of the
// feature grid outer, red, green, blue; pixels outside the picture are 0.
void ReadCellFeature(const cv::Mat& matching, int cx, int cy, int mx, int my, unsigned char* out) {
  for (int y = 0; y < my; ++y) {
    const long long row = static_cast<long long>(cy) * my + y;
    for (int x = 0; x < mx; ++x, out += 3) {
      const long long col = static_cast<long long>(cx) * mx + x;
      out[0] = out[1] = out[2] = 0;
      if (row >= matching.rows || col >= matching.cols) continue;
      const unsigned char* pixel = matching.ptr(static_cast<int>(row)) + col * 3;
      out[0] = pixel[2];
      out[1] = pixel[1];
      out[2] = pixel[0];
    }
  }
}

// The features of all cells, row-major, `dim` bytes each.
std::vector<unsigned char> ReadAllCellFeatures(const cv::Mat& matching, int div_x, int div_y,
                                               int mx, int my) {
  const std::size_t dim = static_cast<std::size_t>(mx) * my * 3;
  std::vector<unsigned char> features(static_cast<std::size_t>(div_x) * div_y * dim, 0);
  if (matching.type() != CV_8UC3) return features;
  for (int cy = 0; cy < div_y; ++cy)
    for (int cx = 0; cx < div_x; ++cx)
      ReadCellFeature(matching, cx, cy, mx, my,
                      &features[(static_cast<std::size_t>(cy) * div_x + cx) * dim]);
  return features;
}

// Gives every cell the number of its feature among the distinct ones, and
// the cell holding each distinct feature first.
void FindDistinct(const std::vector<unsigned char>& features, std::size_t dim,
                  std::vector<int>& cell_to_distinct, std::vector<int>& distinct_to_cell) {
  const std::size_t cells = dim == 0 ? 0 : features.size() / dim;
  std::unordered_map<std::string_view, int> seen;
  seen.reserve(cells);
  cell_to_distinct.resize(cells);
  const char* bytes = reinterpret_cast<const char*>(features.data());
  for (std::size_t c = 0; c < cells; ++c) {
    const std::string_view key(bytes + c * dim, dim);
    const auto inserted = seen.emplace(key, static_cast<int>(distinct_to_cell.size()));
    if (inserted.second) distinct_to_cell.push_back(static_cast<int>(c));
    cell_to_distinct[c] = inserted.first->second;
  }
}

// Squared distances of one block's kBlock tiles (`lanes`: dim rows of kBlock
// values) to `query`, and the least of them. Built for AVX2 as well as for
// the baseline, chosen at load time by the processor, since this loop is
// where matching spends its time.
// The load-time choice runs before ThreadSanitizer's runtime is up, and its
// instrumented resolver would crash the program there: that build keeps the
// baseline alone.
#if defined(__SANITIZE_THREAD__)
#define TESSALINE_SCAN_CLONES
#else
#define TESSALINE_SCAN_CLONES __attribute__((target_clones("avx2", "default")))
#endif
TESSALINE_SCAN_CLONES std::int32_t ScanLanes(const std::int16_t* lanes, int dim,
                                             const std::int16_t* query, std::int32_t* distances) {
  std::int32_t acc[kBlock] = {};
  for (int j = 0; j < dim; ++j, lanes += kBlock) {
    const std::int16_t q = query[j];
    // |difference| <= 255, so its square fits 16 unsigned bits exactly.
    // Unrolled whole, the accumulators stay in registers.
#pragma GCC unroll 32
    for (int l = 0; l < kBlock; ++l) {
      const std::int16_t d = static_cast<std::int16_t>(lanes[l] - q);
      acc[l] += static_cast<std::uint16_t>(d * d);
    }
  }
  std::copy(acc, acc + kBlock, distances);
  // The least of four lanes at a time first, which vectorises as well.
  std::int32_t least[kBlock / 4];
#pragma GCC unroll 8
  for (int l = 0; l < kBlock / 4; ++l)
    least[l] = std::min(std::min(acc[l], acc[l + kBlock / 4]),
                        std::min(acc[l + kBlock / 2], acc[l + kBlock * 3 / 4]));
  return *std::min_element(least, least + kBlock / 4);
}

// Squared distance from `query` to a box (`box`: `padded` minima, then
// `padded` maxima). Padding lanes are 0 in both, so they add nothing. Run for
// every node a search reaches, so it is written for SSE2 (every x86-64
// processor has it) with a plain loop elsewhere.
inline std::int32_t BoxGap(const std::int16_t* box, const std::int16_t* query, int padded) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  __m128i sum = zero;
  for (int c = 0; c < padded; c += 8) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(box + c));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(box + padded + c));
    const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(query + c));
    const __m128i gap =
        _mm_max_epi16(_mm_max_epi16(_mm_sub_epi16(lo, q), _mm_sub_epi16(q, hi)), zero);
    // Gaps are at most 255, so pairs of squares fit 32 bits.
    sum = _mm_add_epi32(sum, _mm_madd_epi16(gap, gap));
  }
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
  return _mm_cvtsi128_si32(sum);
#else
  std::int32_t sum = 0;
  for (int l = 0; l < padded; ++l) {
    const int gap = std::max({box[l] - query[l], query[l] - box[padded + l], 0});
    sum += gap * gap;
  }
  return sum;
#endif
}

}  // namespace

// Per-thread working memory of searches, kept from one search to the next.
struct TileMatcher::Scratch {
  std::vector<std::int16_t> query;
  std::vector<std::int32_t> flat_query;
  // Subtrees still to visit, by lower bound: a min-heap.
  std::vector<std::pair<std::int32_t, int>> queue;
  BestList best;
  const TileFilter* allowed = nullptr;  // tiles the search may give; all when null
};

TileMatcher::TileMatcher(const std::vector<ColourFeature>& features, int dim, Method method) {
  if (dim < 1) return;
  dim_ = dim;
  for (std::size_t i = 0; i < features.size(); ++i)
    if (features[i].size() == static_cast<std::size_t>(dim)) ids_.push_back(static_cast<int>(i));
  const int n = static_cast<int>(ids_.size());
  if (n == 0) return;
  if (method == Method::kAuto) {
    // ids_ is still in index order here: the tree sorts it next.
    flat_ids_ = ids_;
    sorted_ = n > kFlatScanTiles;
    if (sorted_) SortIntoSlabs(features);
    std::vector<unsigned char> rows(static_cast<std::size_t>(n) * dim);
    for (int i = 0; i < n; ++i)
      std::copy(features[flat_ids_[i]].begin(), features[flat_ids_[i]].end(),
                rows.begin() + static_cast<std::ptrdiff_t>(i) * dim);
    flat_ = MakeFlatTiles(rows.data(), n, dim);
  }
  box_width_ = (dim + kBoxChunk - 1) / kBoxChunk * kBoxChunk;
  BuildNode(features, 0, n);
  // Lay the tiles out in tree order: blocks of lanes for scanning, rows for
  // single distances.
  padded_ = (n + kBlock - 1) / kBlock * kBlock;
  lanes_.assign(static_cast<std::size_t>(padded_) * dim, 0);
  rows_.resize(static_cast<std::size_t>(n) * dim);
  position_of_.assign(features.size(), -1);
  for (int pos = 0; pos < n; ++pos) {
    const ColourFeature& f = features[ids_[pos]];
    position_of_[ids_[pos]] = pos;
    std::copy(f.begin(), f.end(), rows_.begin() + static_cast<std::ptrdiff_t>(pos) * dim);
    const std::size_t base = static_cast<std::size_t>(pos / kBlock) * dim * kBlock + pos % kBlock;
    for (int j = 0; j < dim; ++j) lanes_[base + static_cast<std::size_t>(j) * kBlock] = f[j];
  }
}

int TileMatcher::BuildNode(const std::vector<ColourFeature>& features, int begin, int end) {
  const int node = static_cast<int>(nodes_.size());
  nodes_.push_back(Node{-1, begin});
  const std::size_t box = static_cast<std::size_t>(node) * 2 * box_width_;
  boxes_.resize(box + 2 * box_width_, 0);
  for (int j = 0; j < dim_; ++j) {
    unsigned char lo = 255, hi = 0;
    for (int pos = begin; pos < end; ++pos) {
      lo = std::min(lo, features[ids_[pos]][j]);
      hi = std::max(hi, features[ids_[pos]][j]);
    }
    boxes_[box + j] = lo;
    boxes_[box + box_width_ + j] = hi;
  }
  if (end - begin <= kBlock) return node;
  // Split on the widest dimension (the first of equals, so a box of one
  // point splits on dimension 0), at a block boundary near the median, so
  // that every leaf but the last is one whole block.
  int axis = 0;
  for (int j = 1; j < dim_; ++j)
    if (boxes_[box + box_width_ + j] - boxes_[box + j] >
        boxes_[box + box_width_ + axis] - boxes_[box + axis])
      axis = j;
  const int blocks = (end - begin + kBlock - 1) / kBlock;
  const int middle = begin + (blocks + 1) / 2 * kBlock;
  std::nth_element(
      ids_.begin() + begin, ids_.begin() + middle, ids_.begin() + end, [&](int a, int b) {
        return std::make_pair(features[a][axis], a) < std::make_pair(features[b][axis], b);
      });
  BuildNode(features, begin, middle);
  const int right = BuildNode(features, middle, end);
  nodes_[node].right = right;
  return node;
}

std::int32_t TileMatcher::ScanBlock(int begin, const std::int16_t* query,
                                    std::int32_t* distances) const {
  return ScanLanes(lanes_.data() + static_cast<std::size_t>(begin) * dim_, dim_, query, distances);
}

inline std::int32_t TileMatcher::BoxBound(int node, const std::int16_t* query) const {
  return BoxGap(&boxes_[static_cast<std::size_t>(node) * 2 * box_width_], query, box_width_);
}

void TileMatcher::SeedBest(const unsigned char* query, int k, const int* seeds, int seed_count,
                           Scratch& scratch) const {
  BestList& best = scratch.best;
  best.Reset(k);
  for (int s = 0; s < seed_count; ++s) {
    const int pos = position_of_[seeds[s]];
    best.Offer(SquaredDistance(&rows_[static_cast<std::size_t>(pos) * dim_], query, dim_),
               seeds[s]);
  }
}

void TileMatcher::Search(const unsigned char* query, int k, const int* seeds, int seed_count,
                         Scratch& scratch, int* out) const {
  const int n = candidate_count();
  k = std::min(std::max(k, 1), n);
  if (k == 0) return;
  scratch.query.assign(box_width_, 0);
  std::copy(query, query + dim_, scratch.query.begin());
  if (static_cast<long long>(k) * 4 >= n) {
    SearchAll(scratch.query.data(), k, out);
    return;
  }
  if (sorted_) {
    SearchSorted(query, k, seeds, seed_count, scratch, out);
    return;
  }
  if (flat_.groups > 0) {
    SearchFlat(query, k, scratch, out);
    return;
  }
  SeedBest(query, k, seeds, seed_count, scratch);
  SearchTree(scratch);
  scratch.best.WriteTo(out);
}

// Best-first: the subtree of least bound next. A bound above the k-th best
// means every tile beyond is strictly worse, not even a tie.
void TileMatcher::SearchTree(Scratch& scratch) const {
  auto& queue = scratch.queue;
  queue.assign(1, {BoxBound(0, scratch.query.data()), 0});
  while (!queue.empty() && scratch.best.MayImprove(queue.front().first)) {
    const int node = queue.front().second;
    std::pop_heap(queue.begin(), queue.end(), std::greater<>());
    queue.pop_back();
    const int leaf = DescendToLeaf(node, scratch);
    if (leaf >= 0) ScanLeaf(leaf, scratch);
  }
}

int TileMatcher::DescendToLeaf(int node, Scratch& scratch) const {
  const std::int16_t* query = scratch.query.data();
  while (nodes_[node].right >= 0) {
    std::pair<std::int32_t, int> near(BoxBound(node + 1, query), node + 1);
    std::pair<std::int32_t, int> far(BoxBound(nodes_[node].right, query), nodes_[node].right);
    if (far < near) std::swap(near, far);
    if (scratch.best.MayImprove(far.first)) {
      scratch.queue.push_back(far);
      std::push_heap(scratch.queue.begin(), scratch.queue.end(), std::greater<>());
    }
    if (!scratch.best.MayImprove(near.first)) return -1;
    node = near.second;
  }
  return node;
}

void TileMatcher::ScanLeaf(int node, Scratch& scratch) const {
  const int begin = nodes_[node].begin;
  std::int32_t distances[kBlock];
  // Most leaves hold nothing better than the k-th best: one vector minimum
  // (padding lanes included, which can only keep a leaf) settles them.
  if (!scratch.best.MayImprove(ScanBlock(begin, scratch.query.data(), distances))) return;
  const int end = std::min(begin + kBlock, candidate_count());
  for (int pos = begin; pos < end; ++pos) {
    if (scratch.allowed && !(*scratch.allowed)(ids_[pos])) continue;
    scratch.best.Offer(distances[pos - begin], ids_[pos]);
  }
}

void TileMatcher::SearchFlat(const unsigned char* query, int k, Scratch& scratch, int* out) const {
  FlatQuery(query, dim_, scratch.flat_query);
  const std::int32_t* words = scratch.flat_query.data();
  BestList& best = scratch.best;
  best.Reset(k);
  const int n = candidate_count();
  std::int32_t distances[kFlatGroup];
  // Tiles come in index order, so one at the k-th best distance would lose
  // the tie: only strictly nearer ones can enter a full list.
  std::int32_t limit = INT32_MAX;
  for (int g = FindGroupBelow(flat_, words, 0, limit, distances); g < flat_.groups;
       g = FindGroupBelow(flat_, words, g + 1, limit, distances)) {
    const int first = g * kFlatGroup;
    for (int t = 0; t < kFlatGroup && first + t < n; ++t)
      best.Offer(distances[t], flat_ids_[first + t]);
    if (best.Full()) limit = best.Worst();
  }
  best.WriteTo(out);
}

TileMatcher::Projection TileMatcher::Project(const unsigned char* feature) const {
  Projection p;
  for (int j = 0; j < dim_; ++j) {
    p.sum += feature[j];
    if (tint_norm_ > 1) p.tint += j % 3 == 0 ? feature[j] : (j % 3 == 2 ? -feature[j] : 0);
  }
  return p;
}

void TileMatcher::SortIntoSlabs(const std::vector<ColourFeature>& features) {
  // The tint's direction is orthogonal to the sum's only when reds and blues
  // are as many; otherwise every tint is 0 and bounds nothing.
  tint_norm_ = dim_ % 3 == 0 ? 2LL * (dim_ / 3) : 1;
  std::vector<Projection> projection(features.size());
  for (int id : flat_ids_) projection[id] = Project(features[id].data());
  std::stable_sort(flat_ids_.begin(), flat_ids_.end(),
                   [&](int a, int b) { return projection[a].sum < projection[b].sum; });
  const int n = static_cast<int>(flat_ids_.size());
  for (int begin = 0; begin < n; begin += kSlab) {
    const int end = std::min(begin + kSlab, n);
    slab_low_.push_back(projection[flat_ids_[begin]].sum);
    slab_high_.push_back(projection[flat_ids_[end - 1]].sum);
    std::stable_sort(flat_ids_.begin() + begin, flat_ids_.begin() + end,
                     [&](int a, int b) { return projection[a].tint < projection[b].tint; });
  }
  group_tint_.resize((n + kFlatGroup - 1) / kFlatGroup);
  for (int i = 0; i < n; i += kFlatGroup)
    group_tint_[i / kFlatGroup] = static_cast<std::int32_t>(projection[flat_ids_[i]].tint);
}

void TileMatcher::SearchSorted(const unsigned char* query, int k, const int* seeds, int seed_count,
                               Scratch& scratch, int* out) const {
  FlatQuery(query, dim_, scratch.flat_query);
  SeedBest(query, k, seeds, seed_count, scratch);
  // Slabs farther from the query's sum, either way, are bounded farther.
  const Projection projected = Project(query);
  const int slabs = static_cast<int>(slab_low_.size());
  const int first = std::min(
      static_cast<int>(std::lower_bound(slab_high_.begin(), slab_high_.end(), projected.sum) -
                       slab_high_.begin()),
      slabs - 1);
  for (int s = first; s < slabs && ScanSlab(s, projected, scratch); ++s) {
  }
  for (int s = first - 1; s >= 0 && ScanSlab(s, projected, scratch); --s) {
  }
  scratch.best.WriteTo(out);
}

bool TileMatcher::ScanSlab(int slab, const Projection& query, Scratch& scratch) const {
  BestList& best = scratch.best;
  const long long gap = std::max({slab_low_[slab] - query.sum, query.sum - slab_high_[slab], 0LL});
  // What the tints may add to the sums' share of the bound before it passes
  // the k-th best, all times dim × tint_norm_ to stay in integers.
  auto budget = [&] {
    return (static_cast<long long>(dim_) * best.Worst() - gap * gap) * tint_norm_;
  };
  if (best.Full() && budget() < 0) return false;
  const int begin = slab * kSlab;
  const int end = std::min(begin + kSlab, candidate_count());
  // Groups of the slab hold ascending tints, so their first tiles' tints
  // bound the window in whole groups.
  const int first_group = begin / kFlatGroup;
  const std::int32_t* tints = group_tint_.data() + first_group;
  const int groups = (end + kFlatGroup - 1) / kFlatGroup - first_group;
  int from = first_group;
  int to = first_group + groups;
  std::int32_t narrowed_at = -1;  // the k-th best the window was last narrowed to
  auto narrow = [&](bool from_too) {
    if (!best.Full() || best.Worst() == narrowed_at) return;
    narrowed_at = best.Worst();
    if (budget() < 0) {
      to = from;
      return;
    }
    const long long reach = FloorSqrt(budget() / dim_);
    // Groups starting past the window's top hold no tile in it; the last
    // group starting below its bottom may.
    to = std::min(to, first_group + CountAtMost(tints, groups, query.tint + reach));
    if (!from_too) return;
    const int below = CountAtMost(tints, groups, query.tint - reach - 1);
    from = std::max(from, first_group + std::max(below - 1, 0));
  };
  // Sorted order is not index order, so a tile at the k-th best distance
  // may still win the tie.
  auto limit = [&] { return best.Full() ? best.Worst() + 1 : INT32_MAX; };
  const std::int32_t* words = scratch.flat_query.data();
  std::int32_t distances[kFlatGroup];
  narrow(true);
  for (int g = FindGroupBelowIn(flat_, words, from, to, limit(), distances); g < to;
       g = FindGroupBelowIn(flat_, words, g + 1, to, limit(), distances)) {
    const int first = g * kFlatGroup;
    for (int t = 0; t < kFlatGroup && first + t < end; ++t)
      best.Offer(distances[t], flat_ids_[first + t]);
    narrow(false);
  }
  return true;
}

void TileMatcher::SearchAll(const std::int16_t* query, int k, int* out) const {
  const int n = candidate_count();
  std::vector<Found> all(n);
  std::int32_t distances[kBlock];
  for (int begin = 0; begin < n; begin += kBlock) {
    ScanBlock(begin, query, distances);
    for (int pos = begin; pos < std::min(begin + kBlock, n); ++pos)
      all[pos] = Found(distances[pos - begin], ids_[pos]);
  }
  std::partial_sort(all.begin(), all.begin() + k, all.end());
  for (int i = 0; i < k; ++i) out[i] = all[i].second;
}

std::vector<int> TileMatcher::NearestAllowed(const ColourFeature& query, int k,
                                             const TileFilter& allowed) const {
  if (dim_ < 1 || query.size() != static_cast<std::size_t>(dim_) || candidate_count() == 0)
    return {};
  // The tree search offers only allowed tiles, so it must not take the
  // shortcut over all tiles, which does not ask.
  Scratch scratch;
  scratch.allowed = &allowed;
  scratch.query.assign(box_width_, 0);
  std::copy(query.begin(), query.end(), scratch.query.begin());
  BestList& best = scratch.best;
  best.Reset(std::max(k, 1));
  SearchTree(scratch);
  best.Finish();
  std::vector<int> nearest(best.Size());
  best.WriteTo(nearest.data());
  return nearest;
}

std::vector<int> TileMatcher::Nearest(const ColourFeature& query, int k) const {
  if (dim_ < 1 || query.size() != static_cast<std::size_t>(dim_)) return {};
  std::vector<int> nearest(std::min(std::max(k, 1), candidate_count()));
  Scratch scratch;
  Search(query.data(), k, nullptr, 0, scratch, nearest.data());
  return nearest;
}

CellCandidates TileMatcher::MatchCells(const cv::Mat& matching, int div_x, int div_y, int mx,
                                       int my, int k, int workers) const {
  CellCandidates result;
  result.div_x = std::max(div_x, 0);
  result.div_y = std::max(div_y, 0);
  const bool usable = mx >= 1 && my >= 1 && static_cast<long long>(mx) * my * 3 == dim_;
  if (!usable || result.div_x == 0 || result.div_y == 0 || candidate_count() == 0) return result;
  result.per_cell = std::min(std::max(k, 1), candidate_count());

  // Each distinct feature is searched once, the searches split over workers.
  const std::size_t dim = static_cast<std::size_t>(dim_);
  const std::vector<unsigned char> features = ReadAllCellFeatures(matching, div_x, div_y, mx, my);
  std::vector<int> cell_to_distinct, distinct_to_cell;
  FindDistinct(features, dim, cell_to_distinct, distinct_to_cell);
  const std::size_t per_cell = static_cast<std::size_t>(result.per_cell);
  std::vector<int> distinct_tiles(distinct_to_cell.size() * per_cell);
  SplitWork(static_cast<int>(distinct_to_cell.size()), workers, [&](int begin, int end) {
    Scratch scratch;
    for (int d = begin; d < end; ++d) {
      // The tiles of the search before (mostly the cell to the left) are a
      // close first guess.
      const int seed_count = d > begin ? result.per_cell : 0;
      Search(&features[distinct_to_cell[d] * dim], result.per_cell,
             seed_count ? &distinct_tiles[(d - 1) * per_cell] : nullptr, seed_count, scratch,
             &distinct_tiles[d * per_cell]);
    }
  });

  result.tiles.resize(cell_to_distinct.size() * per_cell);
  for (std::size_t c = 0; c < cell_to_distinct.size(); ++c)
    std::copy_n(&distinct_tiles[cell_to_distinct[c] * per_cell], per_cell,
                &result.tiles[c * per_cell]);
  return result;
}

CellCandidates MatchCellsWithIndex(FeatureIndex& index, const cv::Mat& matching, int div_x,
                                   int div_y, int mx, int my) {
  CellCandidates result;
  result.div_x = std::max(div_x, 0);
  result.div_y = std::max(div_y, 0);
  std::vector<int> query;
  for (int cy = 0; cy < result.div_y; ++cy) {
    for (int cx = 0; cx < result.div_x; ++cx) {
      CellFeature(matching, cx, cy, mx, my, query);
      const std::vector<int> found = index.Query(query);
      // The index gives every query the same number of tiles.
      if (cx == 0 && cy == 0) {
        result.per_cell = static_cast<int>(found.size());
        result.tiles.assign(static_cast<std::size_t>(result.div_x) * result.div_y * found.size(),
                            0);
      }
      const std::size_t n = std::min(found.size(), static_cast<std::size_t>(result.per_cell));
      std::copy_n(found.begin(), n,
                  result.tiles.begin() +
                      (static_cast<std::size_t>(cy) * result.div_x + cx) * result.per_cell);
    }
  }
  return result;
}

}  // namespace tessaline
