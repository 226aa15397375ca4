#include "library/feature_index.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "settings/log_stream.h"

namespace tessaline {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

std::int64_t SquaredDistance(const ColourFeature& feature, const std::vector<int>& query) {
  std::int64_t sum = 0;
  for (std::size_t j = 0; j < feature.size(); ++j) {
    const std::int64_t d = static_cast<std::int64_t>(feature[j]) - query[j];
    sum += d * d;
  }
  return sum;
}

std::vector<std::int64_t> Distances(const std::vector<ColourFeature>& features,
                                    const std::vector<int>& indices,
                                    const std::vector<int>& query) {
  std::vector<std::int64_t> distances;
  for (int i : indices) distances.push_back(SquaredDistance(features.at(i), query));
  return distances;
}

std::vector<ColourFeature> RandomFeatures(std::mt19937& random, int n, int dim) {
  std::vector<ColourFeature> features(n, ColourFeature(dim));
  for (ColourFeature& f : features)
    for (unsigned char& b : f) b = static_cast<unsigned char>(random() % 256);
  return features;
}

std::vector<int> AsQuery(const ColourFeature& feature) {
  return std::vector<int>(feature.begin(), feature.end());
}

bool HistoryContains(const std::string& text) {
  for (const std::string& line : LogHistory())
    if (line.find(text) != std::string::npos) return true;
  return false;
}

TEST(BruteForceNearest, OrdersByDistanceThenByLowerIndex) {
  const std::vector<ColourFeature> features = {{10, 0}, {0, 0}, {3, 4}, {0, 5}, {1, 1}};
  // Squared distances to (0, 0): 100, 0, 25, 25, 2.
  EXPECT_THAT(BruteForceNearest(features, {0, 0}, 5), ElementsAre(1, 4, 2, 3, 0));
  EXPECT_THAT(BruteForceNearest(features, {0, 0}, 3), ElementsAre(1, 4, 2));
  EXPECT_THAT(BruteForceNearest(features, {0, 0}, 0), ElementsAre(1));
  EXPECT_THAT(BruteForceNearest(features, {0, 0}, 9), ElementsAre(1, 4, 2, 3, 0));
}

TEST(BruteForceNearest, SkipsFeaturesOfAnotherLength) {
  const std::vector<ColourFeature> features = {{0, 0, 0}, {9, 9}, {}};
  EXPECT_THAT(BruteForceNearest(features, {9, 9}, 3), ElementsAre(1));
  EXPECT_TRUE(BruteForceNearest({}, {1, 2, 3}, 1).empty());
}

TEST(FeatureIndex, AgreesWithBruteForceOnRandomFeatures) {
  struct Case {
    int dim, k;
  };
  std::mt19937 random(2024);
  for (const Case c : {Case{3, 1}, Case{12, 1}, Case{12, 5}, Case{27, 10}}) {
    const std::vector<ColourFeature> features = RandomFeatures(random, 200, c.dim);
    FeatureIndex index(c.dim, c.k);
    ASSERT_TRUE(BuildFeatureIndex(index, features));
    for (const ColourFeature& q : RandomFeatures(random, 100, c.dim)) {
      const std::vector<int> query = AsQuery(q);
      const std::vector<int> found = index.Query(query);
      ASSERT_EQ(found.size(), static_cast<std::size_t>(c.k));
      // Equal distances may come in another order, so compare distances.
      EXPECT_EQ(Distances(features, found, query),
                Distances(features, BruteForceNearest(features, query, c.k), query))
          << "dim " << c.dim << ", k " << c.k;
    }
  }
}

TEST(FeatureIndex, ClampsKToThePointsInTheTree) {
  const std::vector<ColourFeature> features = {{0, 0, 0}, {10, 0, 0}, {30, 0, 0}};
  FeatureIndex many(3, 10);
  ASSERT_TRUE(BuildFeatureIndex(many, features));
  EXPECT_THAT(many.Query({1, 0, 0}), ElementsAre(0, 1, 2));
  FeatureIndex none(3, 0);
  EXPECT_EQ(none.k(), 1);
  ASSERT_TRUE(BuildFeatureIndex(none, features));
  EXPECT_THAT(none.Query({29, 0, 0}), ElementsAre(2));
}

TEST(FeatureIndex, EmptyOrUnbuiltIndexFindsNothing) {
  FeatureIndex index(3, 2);
  EXPECT_TRUE(index.Query({1, 2, 3}).empty());
  index.Build();
  EXPECT_FALSE(index.built());
  EXPECT_TRUE(index.Query({1, 2, 3}).empty());
  ASSERT_TRUE(index.AddPoint({1, 2, 3}));
  EXPECT_TRUE(index.Query({1, 2, 3}).empty()) << "a point counts only after Build";
  index.Build();
  EXPECT_THAT(index.Query({1, 2, 3}), ElementsAre(0));
  ASSERT_TRUE(index.AddPoint({200, 2, 3}));
  EXPECT_THAT(index.Query({190, 2, 3}), ElementsAre(0)) << "the old tree until the next Build";
  index.Build();
  EXPECT_THAT(index.Query({190, 2, 3}), ElementsAre(1, 0));
}

TEST(FeatureIndex, RefusesPointsPastItsCapacity) {
  FeatureIndex index(3, 5, 3);
  for (unsigned char v : {0, 40, 80}) EXPECT_TRUE(index.AddPoint({v, v, v}));
  EXPECT_FALSE(index.AddPoint({255, 255, 255}));
  EXPECT_EQ(index.count(), 3);
  index.Build();
  EXPECT_THAT(index.Query({255, 255, 255}), ElementsAre(2, 1, 0));
}

TEST(FeatureIndex, BuildingFromTooManyFeaturesLogsAndKeepsTheFirst) {
  const std::vector<ColourFeature> features = {{0}, {50}, {100}, {150}, {200}};
  FeatureIndex index(1, 1, 3);
  EXPECT_FALSE(BuildFeatureIndex(index, features));
  EXPECT_TRUE(
      HistoryContains("too many tiles : 5 (the index holds at most 3); the rest are not matched"));
  EXPECT_EQ(index.count(), 3);
  EXPECT_THAT(index.Query({200}), ElementsAre(2));
}

TEST(FeatureIndex, IdenticalFeaturesAreBothCandidates) {
  const std::vector<ColourFeature> features = {{9, 9, 9}, {200, 10, 10}, {200, 10, 10}, {0, 0, 0}};
  FeatureIndex index(3, 2);
  ASSERT_TRUE(BuildFeatureIndex(index, features));
  EXPECT_THAT(index.Query({190, 10, 10}), UnorderedElementsAre(1, 2));
}

TEST(FeatureIndex, ManyIdenticalFeaturesAreAllReturned) {
  const std::vector<ColourFeature> features(64, ColourFeature{7, 7, 7});
  FeatureIndex index(3, 64);
  ASSERT_TRUE(BuildFeatureIndex(index, features));
  std::vector<int> found = index.Query({0, 0, 0});
  std::sort(found.begin(), found.end());
  std::vector<int> all(64);
  for (int i = 0; i < 64; ++i) all[i] = i;
  EXPECT_EQ(found, all);
}

TEST(FeatureIndex, ShortFeaturesAndQueriesReadMissingValuesAsZero) {
  const std::vector<ColourFeature> features = {{50, 50, 50}, {60}, {0, 0, 0, 90}};
  FeatureIndex index(3, 1);
  EXPECT_FALSE(BuildFeatureIndex(index, features));
  EXPECT_TRUE(HistoryContains("features of the wrong length : 2 (the index expects 3 bytes)"));
  EXPECT_EQ(index.count(), 3) << "every feature keeps its tile index";
  EXPECT_THAT(index.Query({60, 0, 0}), ElementsAre(1));
  EXPECT_THAT(index.Query({1}), ElementsAre(2));  // (1, 0, 0) is nearest to (0, 0, 0)
}

}  // namespace
}  // namespace tessaline
