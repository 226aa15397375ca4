#pragma once
// Squared distances from one query to every tile of a small library, eight
// tiles at a time.
//
// Below a few thousand tiles a k-d tree saves little: most leaves must be
// opened anyway, and the walk between them costs more than the distances.
// Here the features are laid out so that one multiply-add instruction
// (pmaddwd) squares and sums two dimensions of eight tiles at once: tile t of
// a group holds its dimensions 2p and 2p + 1 in 16-bit lanes 2t and 2t + 1 of
// row p. With differences of at most 255 every sum is exact in 32 bits.
//
// The scan stops at the first group holding a tile nearer than a limit, so a
// k-nearest search sees only the groups that may change its answer.

#include <cstdint>
#include <vector>

namespace tessaline {

constexpr int kFlatGroup = 8;  // tiles scanned together

// The tile features in the layout above: `pairs` rows of 16 values per
// group, dimensions padded with a zero to an even count, missing tiles of
// the last group all zero (the scan finds them like tiles: callers skip
// them).
struct FlatTiles {
  int dim = 0;
  int pairs = 0;
  int groups = 0;
  std::vector<std::int16_t> lanes;

  const std::int16_t* Group(int g) const {
    return lanes.data() + static_cast<std::size_t>(g) * pairs * 2 * kFlatGroup;
  }
};

// Tile i of `rows` (dim bytes each, count of them) becomes lane i.
FlatTiles MakeFlatTiles(const unsigned char* rows, int count, int dim);

// The query (dim bytes) as one 32-bit word per pair of dimensions, which
// the scan broadcasts to every tile's pair of lanes.
void FlatQuery(const unsigned char* query, int dim, std::vector<std::int32_t>& words);

// The first group from `from` on with a tile whose squared distance to
// `query` (FlatQuery) is below `limit`, with the distances of its eight
// tiles in `distances`; tiles.groups when there is none. Uses AVX2 when the
// processor has it.
int FindGroupBelow(const FlatTiles& tiles, const std::int32_t* query, int from, std::int32_t limit,
                   std::int32_t* distances);

// The same among groups [from, end) only; `end` when there is none.
int FindGroupBelowIn(const FlatTiles& tiles, const std::int32_t* query, int from, int end,
                     std::int32_t limit, std::int32_t* distances);

// FindGroupBelowIn on a chosen instruction set, so that each can be checked
// on a processor that has both: 0 plain C++, 1 SSE2, 2 AVX2. A set the
// processor (or the build) lacks falls back to the next lower one.
int FindGroupBelowWith(int level, const FlatTiles& tiles, const std::int32_t* query, int from,
                       int end, std::int32_t limit, std::int32_t* distances);

}  // namespace tessaline
