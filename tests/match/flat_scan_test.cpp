#include "match/flat_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

namespace tessaline {
namespace {

std::int32_t Distance(const unsigned char* a, const unsigned char* b, int dim) {
  std::int32_t sum = 0;
  for (int j = 0; j < dim; ++j) sum += (a[j] - b[j]) * (a[j] - b[j]);
  return sum;
}

// Every instruction set gives every tile's exact distance, group by group,
// and stops exactly at the first tile strictly below the limit: odd
// dimensions, ragged last groups and the extreme bytes included.
TEST(FlatScan, EveryInstructionSetFindsTheFirstGroupBelowTheLimit) {
  struct Case {
    int count, dim;
  };
  std::mt19937 random(9);
  for (const Case c : {Case{1, 1}, Case{8, 12}, Case{13, 3}, Case{37, 27}, Case{100, 48},
                       Case{9, 2}, Case{64, 12}}) {
    std::vector<unsigned char> rows(static_cast<std::size_t>(c.count) * c.dim);
    for (unsigned char& b : rows)
      b = static_cast<unsigned char>(random() % 4 == 0 ? 255 : random());
    const FlatTiles tiles = MakeFlatTiles(rows.data(), c.count, c.dim);
    for (int q = 0; q < 6; ++q) {
      std::vector<unsigned char> query(c.dim, q == 0 ? 0 : 255);
      if (q > 1)
        for (unsigned char& b : query) b = static_cast<unsigned char>(random());
      std::vector<std::int32_t> words;
      FlatQuery(query.data(), c.dim, words);
      std::vector<std::int32_t> expected;
      for (int i = 0; i < c.count; ++i)
        expected.push_back(
            Distance(&rows[static_cast<std::size_t>(i) * c.dim], query.data(), c.dim));
      // The last group's missing tiles are all zero, and found like tiles.
      const std::vector<unsigned char> zero(c.dim, 0);
      while (expected.size() % kFlatGroup != 0)
        expected.push_back(Distance(zero.data(), query.data(), c.dim));
      const std::int32_t least = *std::min_element(expected.begin(), expected.end());
      const int first_least =
          static_cast<int>(std::find(expected.begin(), expected.end(), least) - expected.begin());
      for (int level = 0; level <= 2; ++level) {
        SCOPED_TRACE(testing::Message() << c.count << " tiles, dim " << c.dim << ", query " << q
                                        << ", level " << level);
        std::int32_t distances[kFlatGroup];
        for (int g = 0; g < tiles.groups; ++g) {
          ASSERT_EQ(
              FindGroupBelowWith(level, tiles, words.data(), g, tiles.groups, INT32_MAX, distances),
              g);
          for (int t = 0; t < kFlatGroup; ++t)
            ASSERT_EQ(distances[t], expected[g * kFlatGroup + t]) << "tile " << g * kFlatGroup + t;
        }
        EXPECT_EQ(
            FindGroupBelowWith(level, tiles, words.data(), 0, tiles.groups, least + 1, distances),
            first_least / kFlatGroup);
        EXPECT_EQ(FindGroupBelowWith(level, tiles, words.data(), 0, tiles.groups, least, distances),
                  tiles.groups);
        // A range that ends before the group of the least stops at its end.
        EXPECT_EQ(FindGroupBelowWith(level, tiles, words.data(), 0, first_least / kFlatGroup,
                                     least + 1, distances),
                  first_least / kFlatGroup);
      }
    }
  }
}

}  // namespace
}  // namespace tessaline
