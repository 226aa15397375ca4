#pragma once
// The nearest-neighbour index over tile colour features, and an exact
// brute-force search over the same features.
//
// Point identifiers are tile indices: point i is the feature of library
// entry i, so a query result names tiles directly. Features are bytes
// everywhere else and become reals (0.0 to 255.0) only inside the index.

#include <ANN/ANN.h>

#include <memory>
#include <vector>

#include "library/feature.h"

namespace tessaline {

// A k-d tree of the ANN library over up to `capacity` features of `dim`
// bytes, answering "which k tiles are nearest to this cell" in Euclidean
// distance. Fill it with AddPoint, then Build; Query gives tile indices,
// nearest first.
//
// Limits are handled here rather than left to ANN:
// - points past `capacity` are refused (AddPoint returns false);
// - k is at least 1 and at most the capacity and, per query, at most the
//   number of points in the tree, so a tree of n < k points gives n indices;
// - a query before Build, or of an index with no points, gives no indices;
// - a feature or query of the wrong length is read with the missing values
//   as 0 and the extra ones ignored (point identifiers stay tile indices).
//
// Threads: ANN's search works through process-wide variables, so no two
// threads may query (or build) any FeatureIndex at the same time. The engine
// builds on the load thread and queries on the GUI thread, never together.
// ANN's annClose is never called: it frees state that every live tree
// shares; what it would free is a few bytes reclaimed at exit.
class FeatureIndex {
 public:
  static constexpr int kDefaultCapacity = 50000;
  // Error bound of every search; this small it makes the search exact.
  static constexpr double kEps = 1e-10;

  // dim and k below 1 are taken as 1, a negative capacity as 0. The point
  // array is allocated here at full capacity; if that fails, one line is
  // logged and the capacity becomes 0.
  FeatureIndex(int dim, int k, int capacity = kDefaultCapacity);
  ~FeatureIndex();
  FeatureIndex(const FeatureIndex&) = delete;
  FeatureIndex& operator=(const FeatureIndex&) = delete;

  // Appends a feature as point count(); false (and nothing changes) when the
  // index is full. Points added after Build take part from the next Build.
  bool AddPoint(const ColourFeature& feature);

  // (Re)builds the tree over all points added so far: bucket size 1, split
  // rule ANN_KD_SUGGEST. With no points there is no tree.
  void Build();

  // The min(k, points in the tree) tile indices nearest to `query`, nearest
  // first; among equal distances the order is ANN's. Reuses the index's query
  // point and result arrays: not const, not reentrant.
  std::vector<int> Query(const std::vector<int>& query);

  int k() const { return k_; }
  int dim() const { return dim_; }
  int capacity() const { return capacity_; }
  int count() const { return count_; }
  bool built() const { return tree_ != nullptr; }

 private:
  void ReleasePoints();

  int k_;
  int dim_;
  int capacity_;
  int count_ = 0;
  int tree_count_ = 0;              // points the tree was built over
  ANNpointArray points_ = nullptr;  // capacity_ × dim_ reals, owned
  ANNpoint query_point_ = nullptr;  // dim_ reals, owned
  std::vector<ANNidx> result_indices_;
  std::vector<ANNdist> result_distances_;
  std::unique_ptr<ANNkd_tree> tree_;  // refers to points_, so it goes first
};

// Adds every feature in order (feature i becomes point i) and builds.
// When the features outnumber the capacity, logs one engine line
// "too many tiles : N (the index holds at most C); the rest are not matched"
// and returns false; features of a length other than dim() are logged once
// too. Returns true when every feature was taken as it is.
bool BuildFeatureIndex(FeatureIndex& index, const std::vector<ColourFeature>& features);

// The exact k nearest features to `query` by squared Euclidean distance,
// nearest first, ties broken by the lower index. k below 1 is taken as 1.
// Features whose length differs from the query's are not candidates, and
// with fewer than k candidates all of them are returned. The oracle the index
// is tested against.
std::vector<int> BruteForceNearest(const std::vector<ColourFeature>& features,
                                   const std::vector<int>& query, int k);

}  // namespace tessaline
