#include "match/flat_scan.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#define TESSALINE_FLAT_X86 1
#include <immintrin.h>
#endif

namespace tessaline {
namespace {

constexpr int kLanes = 2 * kFlatGroup;  // 16-bit values per row of a group

int FindGroupBelowPlain(const FlatTiles& tiles, const std::int32_t* query, int from, int end,
                        std::int32_t limit, std::int32_t* distances) {
  for (int g = from; g < end; ++g) {
    const std::int16_t* row = tiles.Group(g);
    std::int32_t acc[kFlatGroup] = {};
    for (int p = 0; p < tiles.pairs; ++p, row += kLanes) {
      const auto q0 = static_cast<std::int16_t>(query[p] & 0xFFFF);
      const auto q1 = static_cast<std::int16_t>(query[p] >> 16);
      for (int t = 0; t < kFlatGroup; ++t) {
        const std::int32_t d0 = row[2 * t] - q0;
        const std::int32_t d1 = row[2 * t + 1] - q1;
        acc[t] += d0 * d0 + d1 * d1;
      }
    }
    bool below = false;
    for (int t = 0; t < kFlatGroup; ++t) below |= acc[t] < limit;
    if (below) {
      for (int t = 0; t < kFlatGroup; ++t) distances[t] = acc[t];
      return g;
    }
  }
  return end;
}

#if defined(TESSALINE_FLAT_X86)

// Every x86-64 processor has SSE2: the group as two halves of four tiles.
int FindGroupBelowSse2(const FlatTiles& tiles, const std::int32_t* query, int from, int end,
                       std::int32_t limit, std::int32_t* distances) {
  const __m128i bound = _mm_set1_epi32(limit);
  for (int g = from; g < end; ++g) {
    const std::int16_t* row = tiles.Group(g);
    __m128i low = _mm_setzero_si128();
    __m128i high = _mm_setzero_si128();
    for (int p = 0; p < tiles.pairs; ++p, row += kLanes) {
      const __m128i q = _mm_set1_epi32(query[p]);
      const __m128i d0 = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)), q);
      const __m128i d1 =
          _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 8)), q);
      low = _mm_add_epi32(low, _mm_madd_epi16(d0, d0));
      high = _mm_add_epi32(high, _mm_madd_epi16(d1, d1));
    }
    const __m128i hits = _mm_or_si128(_mm_cmpgt_epi32(bound, low), _mm_cmpgt_epi32(bound, high));
    if (_mm_movemask_epi8(hits) != 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(distances), low);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(distances + 4), high);
      return g;
    }
  }
  return end;
}

// The whole group in one register. The usual 2 × 2 grid (six pairs) gets
// its own unrolled copy, with the query held in registers.
template <int kPairs>
__attribute__((target("avx2"))) int FindGroupBelowAvx2(const FlatTiles& tiles,
                                                       const std::int32_t* query, int from, int end,
                                                       std::int32_t limit,
                                                       std::int32_t* distances) {
  const int pairs = kPairs > 0 ? kPairs : tiles.pairs;
  const __m256i bound = _mm256_set1_epi32(limit);
  for (int g = from; g < end; ++g) {
    const std::int16_t* row = tiles.Group(g);
    __m256i acc = _mm256_setzero_si256();
    for (int p = 0; p < pairs; ++p, row += kLanes) {
      const __m256i d = _mm256_sub_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row)),
                                         _mm256_set1_epi32(query[p]));
      acc = _mm256_add_epi32(acc, _mm256_madd_epi16(d, d));
    }
    if (_mm256_movemask_epi8(_mm256_cmpgt_epi32(bound, acc)) != 0) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(distances), acc);
      return g;
    }
  }
  return end;
}

bool HasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}

#endif

}  // namespace

FlatTiles MakeFlatTiles(const unsigned char* rows, int count, int dim) {
  FlatTiles tiles;
  if (count <= 0 || dim <= 0) return tiles;
  tiles.dim = dim;
  tiles.pairs = (dim + 1) / 2;
  tiles.groups = (count + kFlatGroup - 1) / kFlatGroup;
  tiles.lanes.assign(static_cast<std::size_t>(tiles.groups) * tiles.pairs * kLanes, 0);
  for (int i = 0; i < count; ++i) {
    std::int16_t* row = tiles.lanes.data() +
                        static_cast<std::size_t>(i / kFlatGroup) * tiles.pairs * kLanes +
                        2 * (i % kFlatGroup);
    const unsigned char* feature = rows + static_cast<std::size_t>(i) * dim;
    for (int j = 0; j < dim; ++j) row[j / 2 * kLanes + j % 2] = feature[j];
  }
  return tiles;
}

void FlatQuery(const unsigned char* query, int dim, std::vector<std::int32_t>& words) {
  words.assign((dim + 1) / 2, 0);
  for (int j = 0; j < dim; ++j)
    words[j / 2] |= static_cast<std::int32_t>(query[j]) << (16 * (j % 2));
}

int FindGroupBelowWith(int level, const FlatTiles& tiles, const std::int32_t* query, int from,
                       int end, std::int32_t limit, std::int32_t* distances) {
  end = std::min(end, tiles.groups);
  if (from >= end) return end;
#if defined(TESSALINE_FLAT_X86)
  if (level >= 2 && HasAvx2()) {
    if (tiles.pairs == 6) return FindGroupBelowAvx2<6>(tiles, query, from, end, limit, distances);
    return FindGroupBelowAvx2<0>(tiles, query, from, end, limit, distances);
  }
  if (level >= 1) return FindGroupBelowSse2(tiles, query, from, end, limit, distances);
#endif
  (void)level;
  return FindGroupBelowPlain(tiles, query, from, end, limit, distances);
}

int FindGroupBelow(const FlatTiles& tiles, const std::int32_t* query, int from, std::int32_t limit,
                   std::int32_t* distances) {
  return FindGroupBelowWith(2, tiles, query, from, tiles.groups, limit, distances);
}

int FindGroupBelowIn(const FlatTiles& tiles, const std::int32_t* query, int from, int end,
                     std::int32_t limit, std::int32_t* distances) {
  return FindGroupBelowWith(2, tiles, query, from, end, limit, distances);
}

}  // namespace tessaline
