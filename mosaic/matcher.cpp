#include "mosaic/matcher.h"

#include <algorithm>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "mosaic/feature_index.h"
#include "mosaic/work_split.h"

namespace tessaline {
namespace {

// Tiles scanned together: 32 lanes of 16 bits fill whole vector registers
// and keep the walk's stopping test fine-grained.
constexpr int kBlock = 32;

// A found tile: squared distance, then tile index, so that the natural order
// is the result order (nearest first, ties by the lower index).
using Found = std::pair<std::int32_t, int>;

std::int32_t ByteSum(const unsigned char* feature, int dim) {
  std::int32_t sum = 0;
  for (int j = 0; j < dim; ++j) sum += feature[j];
  return sum;
}

// Keeps the k best of the tiles offered, in result order.
class BestList {
 public:
  explicit BestList(int k) : k_(k) { best_.reserve(static_cast<std::size_t>(k) + 1); }

  bool Full() const { return static_cast<int>(best_.size()) == k_; }
  std::int32_t Worst() const { return best_.back().first; }

  void Offer(std::int32_t distance, int id) {
    if (Full() && Found(distance, id) >= best_.back()) return;
    const Found item(distance, id);
    best_.insert(std::upper_bound(best_.begin(), best_.end(), item), item);
    if (static_cast<int>(best_.size()) > k_) best_.pop_back();
  }

  void WriteTo(int* out) const {
    for (const Found& f : best_) *out++ = f.second;
  }

 private:
  int k_;
  std::vector<Found> best_;
};

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
// values) to `query`. Built for AVX2 as well as for the baseline, chosen at
// load time by the processor, since this loop is where matching spends its
// time.
__attribute__((target_clones("avx2", "default"))) void ScanLanes(const std::int16_t* lanes, int dim,
                                                                 const std::int16_t* query,
                                                                 std::int32_t* distances) {
  std::int32_t acc[kBlock] = {};
  for (int j = 0; j < dim; ++j, lanes += kBlock) {
    const std::int16_t q = query[j];
    // |difference| <= 255, so its square fits 16 unsigned bits exactly.
    for (int l = 0; l < kBlock; ++l) {
      const std::int16_t d = static_cast<std::int16_t>(lanes[l] - q);
      acc[l] += static_cast<std::uint16_t>(d * d);
    }
  }
  std::copy(acc, acc + kBlock, distances);
}

std::int32_t BlockMinimum(const std::int32_t* distances) {
  std::int32_t m = distances[0];
  for (int l = 1; l < kBlock; ++l) m = std::min(m, distances[l]);
  return m;
}

}  // namespace

TileMatcher::TileMatcher(const std::vector<ColourFeature>& features, int dim) {
  if (dim < 1) return;
  dim_ = dim;
  for (std::size_t i = 0; i < features.size(); ++i)
    if (features[i].size() == static_cast<std::size_t>(dim)) ids_.push_back(static_cast<int>(i));
  // Ascending byte sums; equal sums keep the tile order.
  std::vector<std::int32_t> sum_of(features.size(), 0);
  for (int id : ids_) sum_of[id] = ByteSum(features[id].data(), dim);
  std::stable_sort(ids_.begin(), ids_.end(), [&](int a, int b) { return sum_of[a] < sum_of[b]; });
  const int n = static_cast<int>(ids_.size());
  padded_ = (n + kBlock - 1) / kBlock * kBlock;
  lanes_.assign(static_cast<std::size_t>(padded_) * dim, 0);
  sums_.resize(n);
  for (int pos = 0; pos < n; ++pos) {
    const ColourFeature& f = features[ids_[pos]];
    sums_[pos] = sum_of[ids_[pos]];
    const std::size_t base = static_cast<std::size_t>(pos / kBlock) * dim * kBlock + pos % kBlock;
    for (int j = 0; j < dim; ++j) lanes_[base + static_cast<std::size_t>(j) * kBlock] = f[j];
  }
}

void TileMatcher::ScanBlock(int begin, const std::int16_t* query, std::int32_t* distances) const {
  ScanLanes(lanes_.data() + static_cast<std::size_t>(begin) * dim_, dim_, query, distances);
}

void TileMatcher::Search(const unsigned char* query, int k, int* out) const {
  const int n = candidate_count();
  k = std::min(std::max(k, 1), n);
  if (k == 0) return;
  const std::vector<std::int16_t> q16(query, query + dim_);
  const std::int32_t sum = ByteSum(query, dim_);
  const int blocks = padded_ / kBlock;
  std::int32_t distances[kBlock];
  if (static_cast<long long>(k) * 4 >= n) {
    SearchAll(q16.data(), k, out);
    return;
  }
  BestList best(k);
  const auto scan = [&](int block) {
    const int begin = block * kBlock;
    ScanBlock(begin, q16.data(), distances);
    // Most blocks hold nothing better than the k-th best: one vector minimum
    // (padding lanes included, which can only keep a block) settles them.
    if (best.Full() && BlockMinimum(distances) > best.Worst()) return;
    const int end = std::min(begin + kBlock, n);
    for (int pos = begin; pos < end; ++pos) best.Offer(distances[pos - begin], ids_[pos]);
  };
  const int start =
      static_cast<int>(std::lower_bound(sums_.begin(), sums_.end(), sum) - sums_.begin());
  const int first = std::min(start / kBlock, blocks - 1);
  scan(first);
  // Blocks left of `first` hold sums below the query's, blocks right of it
  // sums at or above; take the side whose next block comes closer.
  int left = first - 1;
  int right = first + 1;
  const std::int64_t none = std::numeric_limits<std::int64_t>::max();
  while (left >= 0 || right < blocks) {
    const std::int64_t gap_left = left >= 0 ? sum - sums_[left * kBlock + kBlock - 1] : none;
    const std::int64_t gap_right = right < blocks ? sums_[right * kBlock] - sum : none;
    const std::int64_t gap = std::min(gap_left, gap_right);
    // Every tile beyond lies farther than gap² / D: strictly worse than the
    // k-th best, so not even a tie with a lower index is possible.
    if (best.Full() && gap * gap > static_cast<std::int64_t>(dim_) * best.Worst()) break;
    scan(gap_left <= gap_right ? left-- : right++);
  }
  best.WriteTo(out);
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

std::vector<int> TileMatcher::Nearest(const ColourFeature& query, int k) const {
  if (dim_ < 1 || query.size() != static_cast<std::size_t>(dim_)) return {};
  std::vector<int> nearest(std::min(std::max(k, 1), candidate_count()));
  Search(query.data(), k, nearest.data());
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
    for (int d = begin; d < end; ++d)
      Search(&features[distinct_to_cell[d] * dim], result.per_cell, &distinct_tiles[d * per_cell]);
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
