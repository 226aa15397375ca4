#pragma once
// The pure side of mosaic assignment: choosing a tile among a cell's nearest
// candidates, packing tile indices into the cell table, assigning every cell
// of a mosaic, and the random picks of the "Random" target and of the auto
// pilot.
//
// Cells are addressed by column cx and row cy (y down); the cell assignment
// and the cell table are row-major: cell (cx, cy) is entry cx + cy × DivX.
//
// Random numbers come from a RandomSource: the engine passes its own seeded
// one, so the order in which draws are made is part of the behaviour: it is
// stated for each operation. The default, the C library's rand(), is for
// tests and benchmarks. Everything here runs on the GUI thread.

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

#include "library/sub_image.h"
#include "match/matcher.h"

namespace tessaline {

// Gives a non-negative random integer, as rand() does.
using RandomSource = std::function<int()>;

// The C library's rand().
int CRandom();

// How many nearest tiles to ask the matcher for when `k` are offered to the
// draw: one more while a target tile is set, so that ChooseTile still has a
// tile other than the target when the target is among the k nearest.
int CandidatesToRequest(int k, int target_tile);

// Chooses a cell's tile. `candidates` holds `count` distinct tile indices,
// nearest first; the first min(k, count) of them are drawn from.
// - With no candidates or k below 1: tile 0.
// - When the draw set holds a tile other than `target_tile`: draw
//   r = random() and take candidates[r mod draw size], again until the tile
//   differs from target_tile (one draw when target_tile is −1), so the choice
//   is uniform among the draw set without the target. A source that keeps
//   returning the target's position ends in the rule below after 64 draws
//   per candidate (rand() never gets there).
// - Otherwise (the draw set is only the target, as with k = 1): no draw; the
//   nearest candidate that is not the target, and the target itself only
//   when there is none (a library of that tile alone).
int ChooseTile(const int* candidates, int count, int k, int target_tile,
               const RandomSource& random = CRandom);

// Cell table texel of a tile: red = t mod 256, green = (t div 256) mod 256,
// blue = (t div 65536) mod 256, alpha = 255. A negative index is written as
// tile 0; indices from 2^24 on wrap (the table cannot hold them).
void PackTileIndex(int tile, unsigned char* texel);
// The tile index a texel holds: red + 256 × green + 65536 × blue.
int UnpackTileIndex(const unsigned char* texel);

// Chooses every cell's tile from its candidates, column by column (cx outer,
// cy inner: this fixes the order of the random draws), with ChooseTile and
// the draw set k. Writes each tile into `cell_table` (4 bytes per cell,
// resized to DivX × DivY × 4) and, when `store` is set, into `assignment`
// (resized to DivX × DivY); without `store` the assignment is left as it is.
void ComputeAssignment(const CellCandidates& candidates, int k, int target_tile, bool store,
                       std::vector<int>& assignment, std::vector<unsigned char>& cell_table,
                       const RandomSource& random = CRandom);

// The "Random" target: draws r = random() up to N + 1 times (N tiles),
// stopping at the first draw whose tile r mod N is not a thumbnail; gives
// r mod N of the last draw. −1 for an empty library.
int RandomTileIndex(const std::vector<SubImageInfo>& library, const RandomSource& random = CRandom);

struct CellPick {
  int cx = 0;
  int cy = 0;
  int tile = 0;  // the tile assigned to the cell: the next target tile
};

// The auto pilot's next cell. Attempt a = 1, 2, …: cx = random() mod
// (DivX − 2) + 1, then cy = random() mod (DivY − 2) + 1 (interior cells only);
// u = its tile. From attempt DivX × DivY + 1 on the cell is accepted as it
// is; before that it is rejected when u is the target tile, a thumbnail
// (or outside the library), or when the mean colours of u and of the target
// tile lie less than 50 apart (Euclidean, in 0..255 units per channel). With
// no valid target tile (−1) the colour test is skipped. Nothing when DivX or
// DivY is below 3 or the assignment does not cover the grid.
std::optional<CellPick> PickRandomCell(const std::vector<int>& assignment, int div_x, int div_y,
                                       const std::vector<SubImageInfo>& library, int target_tile,
                                       const RandomSource& random = CRandom);

struct CellOffset {
  int dx;
  int dy;
};

// The eight neighbours of a zoomed cell in the order their mosaics are made
// (column offset outer, row offset inner).
constexpr std::array<CellOffset, 8> kNeighbourOffsets = {
    {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1}, {1, -1}, {1, 0}, {1, 1}}};

// True for a cell that has all eight neighbours inside the grid; only these
// can be zoomed into.
bool IsInteriorCell(int cx, int cy, int div_x, int div_y);

// The tiles of the eight neighbours of interior cell (cx, cy), in the order
// of kNeighbourOffsets. Nothing when the cell is not interior or the
// assignment does not cover the grid.
std::optional<std::array<int, 8>> NeighbourTiles(const std::vector<int>& assignment, int div_x,
                                                 int div_y, int cx, int cy);

}  // namespace tessaline
