#include "library/feature_index.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <utility>

#include "settings/log_stream.h"

namespace tessaline {
namespace {

// Copies `values` into an ANN point of `dim` reals; missing values are 0.
template <typename Values>
void CopyToPoint(const Values& values, int dim, ANNpoint point) {
  const std::size_t n = std::min(values.size(), static_cast<std::size_t>(dim));
  for (std::size_t j = 0; j < n; ++j) point[j] = static_cast<ANNcoord>(values[j]);
  for (std::size_t j = n; j < static_cast<std::size_t>(dim); ++j) point[j] = 0.0;
}

std::int64_t SquaredDistance(const ColourFeature& feature, const std::vector<int>& query) {
  std::int64_t sum = 0;
  for (std::size_t j = 0; j < query.size(); ++j) {
    const std::int64_t d = static_cast<std::int64_t>(feature[j]) - query[j];
    sum += d * d;
  }
  return sum;
}

}  // namespace

FeatureIndex::FeatureIndex(int dim, int k, int capacity)
    : k_(std::max(k, 1)), dim_(std::max(dim, 1)), capacity_(std::max(capacity, 0)) {
  // ANN sizes its point block with an int; a block that large is refused
  // like one the allocator refuses.
  const std::int64_t reals = static_cast<std::int64_t>(capacity_) * dim_;
  try {
    query_point_ = annAllocPt(dim_);
    if (reals > INT_MAX) throw std::bad_alloc();
    if (capacity_ > 0) points_ = annAllocPts(capacity_, dim_);
  } catch (const std::bad_alloc&) {
    engine_log() << "cannot allocate the index : " << capacity_ << " points of " << dim_
                 << " values" << std::endl;
    capacity_ = 0;
  }
  // More neighbours than the index can ever hold cannot be returned.
  k_ = std::min(k_, std::max(capacity_, 1));
  result_indices_.resize(k_);
  result_distances_.resize(k_);
}

FeatureIndex::~FeatureIndex() {
  tree_.reset();
  ReleasePoints();
}

void FeatureIndex::ReleasePoints() {
  // annDeallocPts frees the block through its first row, so it is only
  // called on a block that was really allocated.
  if (points_ != nullptr) annDeallocPts(points_);
  if (query_point_ != nullptr) annDeallocPt(query_point_);
  points_ = nullptr;
  query_point_ = nullptr;
}

bool FeatureIndex::AddPoint(const ColourFeature& feature) {
  if (count_ >= capacity_) return false;
  CopyToPoint(feature, dim_, points_[count_]);
  ++count_;
  return true;
}

void FeatureIndex::Build() {
  tree_.reset();
  tree_count_ = count_;
  if (count_ == 0) return;
  tree_ = std::make_unique<ANNkd_tree>(points_, count_, dim_, 1, ANN_KD_SUGGEST);
}

std::vector<int> FeatureIndex::Query(const std::vector<int>& query) {
  if (!tree_ || query_point_ == nullptr) return {};
  CopyToPoint(query, dim_, query_point_);
  const int k = std::min(k_, tree_count_);
  tree_->annkSearch(query_point_, k, result_indices_.data(), result_distances_.data(), kEps);
  return std::vector<int>(result_indices_.begin(), result_indices_.begin() + k);
}

bool BuildFeatureIndex(FeatureIndex& index, const std::vector<ColourFeature>& features) {
  bool complete = true;
  std::size_t wrong_length = 0;
  for (const ColourFeature& feature : features) {
    if (feature.size() != static_cast<std::size_t>(index.dim())) ++wrong_length;
    if (!index.AddPoint(feature)) {
      engine_log() << "too many tiles : " << features.size() << " (the index holds at most "
                   << index.capacity() << "); the rest are not matched" << std::endl;
      complete = false;
      break;
    }
  }
  if (wrong_length > 0) {
    engine_log() << "features of the wrong length : " << wrong_length << " (the index expects "
                 << index.dim() << " bytes)" << std::endl;
    complete = false;
  }
  index.Build();
  return complete;
}

std::vector<int> BruteForceNearest(const std::vector<ColourFeature>& features,
                                   const std::vector<int>& query, int k) {
  // (distance, index) pairs order by distance, then by the lower index.
  std::vector<std::pair<std::int64_t, int>> candidates;
  candidates.reserve(features.size());
  for (std::size_t i = 0; i < features.size(); ++i) {
    if (features[i].size() != query.size()) continue;
    candidates.emplace_back(SquaredDistance(features[i], query), static_cast<int>(i));
  }
  const std::size_t n = std::min(candidates.size(), static_cast<std::size_t>(std::max(k, 1)));
  std::partial_sort(candidates.begin(), candidates.begin() + n, candidates.end());
  std::vector<int> nearest(n);
  for (std::size_t i = 0; i < n; ++i) nearest[i] = candidates[i].second;
  return nearest;
}

}  // namespace tessaline
