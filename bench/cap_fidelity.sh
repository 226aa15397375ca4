#!/usr/bin/env bash
# Greedy fills against the optimal assignment under a cap per photo and the
# repeat distance (bench/cap_fidelity.cpp says what is measured), on the
# photographs, targets and libraries of bench/fidelity_compare.sh: for each
# library a table of mean dE over the targets.
#
#   bench/cap_fidelity.sh [BUILD_DIR]
#
# BUILD_DIR holds batch/tessaline-batch and bench/cap_fidelity (default:
# build under the source folder). Environment: TARGETS (default 8) and
# SECTIONS_LIST, the libraries to measure (default "0 3": the whole
# photographs, then with their 3 x 3 sections as well, ten times as many
# tiles), and CASES, the cases to measure (comma-separated among cap1,
# cap2, r4, cap2r4; default all). Each library is measured in turn, at the
# lowest priority.
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=$(cd "${1:-$SOURCE_DIR/build}" && pwd)
BATCH="$BUILD_DIR/batch/tessaline-batch"
MEASURE="$BUILD_DIR/bench/cap_fidelity"
WORK="${TMPDIR:-/tmp}/tessaline_fidelity"
# The program's default mosaic, which cap_fidelity measures.
MOSAIC_SIZE=3840x2160
TILE_SIZE=32x18
TARGETS=${TARGETS:-8}
SECTIONS_LIST=${SECTIONS_LIST:-0 3}

for tool in "$BATCH" "$MEASURE"; do
  [ -x "$tool" ] || { echo "no $tool : build the targets tessaline-batch and cap_fidelity first" >&2; exit 2; }
done

source "$SOURCE_DIR/bench/fidelity_photos.sh"

mkdir -p "$WORK/run"
make_photos
choose_targets
for SECTIONS in $SECTIONS_LIST; do
  TILES="$WORK/tiles-s$SECTIONS"
  make_tiles
  # The batch program writes the library's cache, which cap_fidelity reads.
  (cd "$WORK/run" && "$BATCH" --tiles "$TILES" --tile "$TILE_SIZE" >/dev/null)
  echo "library $TILES"
  nice -n 19 "$MEASURE" "$TILES" "$WORK"/targets/*.png
  echo
done
