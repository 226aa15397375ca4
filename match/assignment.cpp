#include "match/assignment.h"

#include <algorithm>
#include <cstdlib>

namespace tessaline {
namespace {

// Draws per draw-set entry before ChooseTile stops drawing; see its comment.
constexpr int kDrawsPerCandidate = 64;

// A draw reduced to 0 .. n − 1 (n > 0). rand() is never negative; a test
// source that is counts from zero again.
long long DrawBelow(const RandomSource& random, long long n) {
  const long long r = random();
  return (r < 0 ? -(r + 1) : r) % n;
}

// The nearest candidate that is not the target; the target when all are.
int NearestOtherThan(const int* candidates, int count, int target_tile) {
  for (int i = 0; i < count; ++i)
    if (candidates[i] != target_tile) return candidates[i];
  return candidates[0];
}

bool ValidTile(const std::vector<SubImageInfo>& library, int tile) {
  return tile >= 0 && static_cast<std::size_t>(tile) < library.size();
}

// Squared Euclidean distance of two tiles' mean colours.
int MeanColourDistance2(const SubImageInfo& a, const SubImageInfo& b) {
  const int dr = a.mean_r - b.mean_r;
  const int dg = a.mean_g - b.mean_g;
  const int db = a.mean_b - b.mean_b;
  return dr * dr + dg * dg + db * db;
}

// Whether the auto pilot may take tile u while tile `target_tile` is shown.
bool AcceptablePick(const std::vector<SubImageInfo>& library, int u, int target_tile) {
  if (u == target_tile || !ValidTile(library, u) || library[u].is_thumb) return false;
  if (!ValidTile(library, target_tile)) return true;
  constexpr int kMinDistance = 50;  // too similar a tile makes a dull zoom
  return MeanColourDistance2(library[u], library[target_tile]) >= kMinDistance * kMinDistance;
}

bool CoversGrid(const std::vector<int>& assignment, int div_x, int div_y) {
  return div_x > 0 && div_y > 0 &&
         assignment.size() >= static_cast<std::size_t>(div_x) * static_cast<std::size_t>(div_y);
}

}  // namespace

int CRandom() { return std::rand(); }

int CandidatesToRequest(int k, int target_tile) { return target_tile >= 0 ? k + 1 : k; }

int ChooseTile(const int* candidates, int count, int k, int target_tile,
               const RandomSource& random) {
  if (candidates == nullptr || count <= 0 || k <= 0) return 0;
  const int draw_size = std::min(k, count);
  const bool other_in_draw_set =
      std::any_of(candidates, candidates + draw_size, [&](int t) { return t != target_tile; });
  if (other_in_draw_set) {
    for (int draw = 0; draw < kDrawsPerCandidate * draw_size; ++draw) {
      const int t = candidates[DrawBelow(random, draw_size)];
      if (t != target_tile) return t;
    }
  }
  return NearestOtherThan(candidates, count, target_tile);
}

void PackTileIndex(int tile, unsigned char* texel) {
  const unsigned value = tile < 0 ? 0u : static_cast<unsigned>(tile);
  texel[0] = static_cast<unsigned char>(value % 256);
  texel[1] = static_cast<unsigned char>(value / 256 % 256);
  texel[2] = static_cast<unsigned char>(value / 65536 % 256);
  texel[3] = 255;
}

int UnpackTileIndex(const unsigned char* texel) {
  return texel[0] + 256 * texel[1] + 65536 * texel[2];
}

void ComputeAssignment(const CellCandidates& candidates, int k, int target_tile, bool store,
                       std::vector<int>& assignment, std::vector<unsigned char>& cell_table,
                       const RandomSource& random) {
  const int div_x = std::max(candidates.div_x, 0);
  const int div_y = std::max(candidates.div_y, 0);
  const std::size_t cells = static_cast<std::size_t>(div_x) * static_cast<std::size_t>(div_y);
  const bool have_tiles =
      candidates.per_cell > 0 && candidates.tiles.size() >= cells * candidates.per_cell;
  cell_table.resize(cells * 4);
  if (store) assignment.resize(cells);
  for (int cx = 0; cx < div_x; ++cx) {
    for (int cy = 0; cy < div_y; ++cy) {
      const int t = have_tiles ? ChooseTile(candidates.Of(cx, cy), candidates.per_cell, k,
                                            target_tile, random)
                               : 0;
      const std::size_t cell = static_cast<std::size_t>(cx) + static_cast<std::size_t>(cy) * div_x;
      if (store) assignment[cell] = t;
      PackTileIndex(t, &cell_table[cell * 4]);
    }
  }
}

int RandomTileIndex(const std::vector<SubImageInfo>& library, const RandomSource& random) {
  const long long n = static_cast<long long>(library.size());
  if (n == 0) return -1;
  int tile = 0;
  for (long long draw = 0; draw <= n; ++draw) {
    tile = static_cast<int>(DrawBelow(random, n));
    if (!library[tile].is_thumb) break;
  }
  return tile;
}

std::optional<CellPick> PickRandomCell(const std::vector<int>& assignment, int div_x, int div_y,
                                       const std::vector<SubImageInfo>& library, int target_tile,
                                       const RandomSource& random) {
  if (div_x < 3 || div_y < 3 || !CoversGrid(assignment, div_x, div_y)) return std::nullopt;
  const long long accept_after = static_cast<long long>(div_x) * div_y;
  for (long long attempt = 1;; ++attempt) {
    CellPick pick;
    pick.cx = static_cast<int>(DrawBelow(random, div_x - 2)) + 1;
    pick.cy = static_cast<int>(DrawBelow(random, div_y - 2)) + 1;
    pick.tile =
        assignment[static_cast<std::size_t>(pick.cx) + static_cast<std::size_t>(pick.cy) * div_x];
    if (attempt > accept_after || AcceptablePick(library, pick.tile, target_tile)) return pick;
  }
}

bool IsInteriorCell(int cx, int cy, int div_x, int div_y) {
  return cx >= 1 && cx < div_x - 1 && cy >= 1 && cy < div_y - 1;
}

std::optional<std::array<int, 8>> NeighbourTiles(const std::vector<int>& assignment, int div_x,
                                                 int div_y, int cx, int cy) {
  if (!IsInteriorCell(cx, cy, div_x, div_y) || !CoversGrid(assignment, div_x, div_y))
    return std::nullopt;
  std::array<int, 8> tiles{};
  for (std::size_t n = 0; n < kNeighbourOffsets.size(); ++n) {
    const int x = cx + kNeighbourOffsets[n].dx;
    const int y = cy + kNeighbourOffsets[n].dy;
    tiles[n] = assignment[static_cast<std::size_t>(x) + static_cast<std::size_t>(y) * div_x];
  }
  return tiles;
}

}  // namespace tessaline
