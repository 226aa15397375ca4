#!/usr/bin/env bash
# How close the mosaics come to their targets: tessaline-batch against
# metapixel (the Debian package), making mosaics of the same real
# photographs from the same library of real photographs, at the same tile
# size and mosaic size. For each target it prints the mean CIE76 colour
# difference (Euclidean distance in CIELAB) between the target and the
# mosaic, both area-averaged to 4 x 4 pixels per cell, and the number of
# different tiles used, for five rows:
#   tessaline c=0      no colour correction, no repeat limit
#   tessaline c=0.3    tiles blended 30 % toward their cell's mean colour
#   tessaline R=4      no photo twice within 4 cells
#   metapixel          its defaults (no image twice within 5 cells)
#   metapixel d=0      no repeat limit, as tessaline's c=0 row
# then the means over all targets against the aims: c=0 no worse than
# metapixel, c=0.3 at least 30 % below metapixel, R=4 at least three times
# the tiles of c=0.
#
#   bench/fidelity_compare.sh [BUILD_DIR]
#
# BUILD_DIR holds batch/tessaline-batch and bench/fidelity_measure (default:
# build under the source folder). The photographs are those of
# scripts/photo_library.py (some five hundred, from Debian packages; the
# first fill downloads them once). TARGETS of them (default 8), evenly
# spread over the sorted names of the photographs that fill their frame
# (not the cut-out objects flattened onto white, "stamp-*"), are kept out
# of the library and made the targets, centre-cropped to the mosaic's
# aspect; the rest are the tiles.
# Everything is made once under ${TMPDIR:-/tmp}/tessaline_fidelity and
# reused.
#
# Environment: MOSAIC_SIZE (default 3840x2160, tessaline's working size),
# TILE_SIZE (default 32x18), TARGETS, SEED (default 1, the batch runs'
# --seed), GRID (a matching grid MXxMY for tessaline's runs; default: its
# configured 2x2), SECTIONS (default 0: whole photographs only; N: each
# library photograph also gives its N x N sections as tiles, a library
# ten times as large with SECTIONS=3).
#
# A batch program without --color or --repeat says "option not available"
# for that row; the c=0.3 row is then estimated by blending the c=0
# mosaic's cells here, with the program's own colour-correction rule.
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=$(cd "${1:-$SOURCE_DIR/build}" && pwd)
BATCH="$BUILD_DIR/batch/tessaline-batch"
MEASURE="$BUILD_DIR/bench/fidelity_measure"
WORK="${TMPDIR:-/tmp}/tessaline_fidelity"
MOSAIC_SIZE=${MOSAIC_SIZE:-3840x2160}
TILE_SIZE=${TILE_SIZE:-32x18}
TARGETS=${TARGETS:-8}
SEED=${SEED:-1}
GRID=${GRID:-}
SECTIONS=${SECTIONS:-0}
TILES="$WORK/tiles-s$SECTIONS"
METAPIXEL_LIBRARY="$WORK/metapixel-s$SECTIONS-$TILE_SIZE"
TILE_W=${TILE_SIZE%x*}
TILE_H=${TILE_SIZE#*x}
COLOR=0.3
REPEAT=4

for tool in "$BATCH" "$MEASURE"; do
  [ -x "$tool" ] || { echo "no $tool : build the targets tessaline-batch and fidelity_measure first" >&2; exit 2; }
done

metapixel_mosaic() {
  local target=$1 out=$2
  shift 2
  metapixel -l "$METAPIXEL_LIBRARY" -w "$TILE_W" -h "$TILE_H" "$@" \
    --metapixel "$target" "$out" >/dev/null 2>&1 || { echo "metapixel failed on $target" >&2; exit 1; }
}

source "$SOURCE_DIR/bench/metapixel.sh"
source "$SOURCE_DIR/bench/fidelity_photos.sh"

prepare_libraries() {
  local library="$METAPIXEL_LIBRARY"
  if [ ! -f "$library.complete" ]; then
    rm -rf "$library" && mkdir -p "$library"
    metapixel-prepare --width "$TILE_W" --height "$TILE_H" "$TILES" "$library" >/dev/null
    touch "$library.complete"
  fi
  (cd "$WORK/run" && "$BATCH" --tiles "$TILES" --tile "$TILE_SIZE" ${GRID:+--grid "$GRID"} >/dev/null)
}

# One tessaline mosaic with the extra options given; false when the batch
# program does not know one of them, and the end of the run on any other
# failure.
tessaline_mosaic() {
  local target=$1 out=$2
  shift 2
  "$BATCH" --tiles "$TILES" --tile "$TILE_SIZE" --size "$MOSAIC_SIZE" --seed "$SEED" \
    ${GRID:+--grid "$GRID"} --target "$target" --out "$out" "$@" >"$WORK/run/log" 2>&1 && return
  grep -q "unknown option" "$WORK/run/log" && return 1
  echo "tessaline-batch failed on $target $* :" >&2
  tail -n 3 "$WORK/run/log" >&2
  exit 1
}

# "dE N" of a measured line, or "option not available".
row() {
  local made=$1 line=$2 with_tiles=$3
  if [ "$made" != yes ]; then echo "option not available"; return; fi
  if [ "$with_tiles" = yes ]; then
    awk '{ printf "dE %6.2f  %5d tiles", $2, $4 }' <<<"$line"
  else
    awk '{ printf "dE %6.2f", $2 }' <<<"$line"
  fi
}

measure_target() {
  local target=$1 name run="$WORK/run"
  name=$(basename "$target" .png)
  tessaline_mosaic "$target" "$run/$name-c0.png"
  local plain corrected="" repeated="" corrected_made=no repeated_made=no meta
  plain=$("$MEASURE" "$target" "$run/$name-c0.png" "$TILE_SIZE" "$COLOR")
  if tessaline_mosaic "$target" "$run/$name-c$COLOR.png" --color "$COLOR"; then
    corrected=$("$MEASURE" "$target" "$run/$name-c$COLOR.png" "$TILE_SIZE")
    corrected_made=yes
  fi
  if tessaline_mosaic "$target" "$run/$name-r$REPEAT.png" --repeat "$REPEAT"; then
    repeated=$("$MEASURE" "$target" "$run/$name-r$REPEAT.png" "$TILE_SIZE")
    repeated_made=yes
  fi
  local meta_d0
  metapixel_mosaic "$target" "$run/$name-metapixel.png"
  meta=$("$MEASURE" "$target" "$run/$name-metapixel.png" "$TILE_SIZE")
  metapixel_mosaic "$target" "$run/$name-metapixel-d0.png" --distance=0
  meta_d0=$("$MEASURE" "$target" "$run/$name-metapixel-d0.png" "$TILE_SIZE")
  echo "$name"
  echo "  tessaline c=0      $(row yes "$plain" yes)"
  echo "  tessaline c=$COLOR    $(row "$corrected_made" "$corrected" no)$(
    awk '{ printf "  (the c=0 mosaic corrected here : dE %.2f)", $6 }' <<<"$plain")"
  echo "  tessaline R=$REPEAT      $(row "$repeated_made" "$repeated" yes)"
  echo "  metapixel          $(row yes "$meta" yes)"
  echo "  metapixel d=0      $(row yes "$meta_d0" yes)"
  # One line for the summary: c=0 dE, tiles, estimated c=0.3 dE, c=0.3 dE
  # (or -), R=4 tiles (or -), metapixel dE, tiles, the same with d=0.
  echo "$plain|$corrected|$repeated|$meta|$meta_d0" >>"$run/figures"
}

summary() {
  local library
  library=$(find "$TILES" -name '*.jpg' | wc -l)
  awk -F'|' -v color="$COLOR" -v repeat="$REPEAT" -v library="$library" '
    function field(text, n,   f) { split(text, f, " "); return f[n] }
    {
      n++
      c0 += field($1, 2); tiles0 += field($1, 4); estimate += field($1, 6)
      if ($2 != "") { cc += field($2, 2); ncc++ }
      if ($3 != "") { repeated += field($3, 2); tilesr += field($3, 4); nr++ }
      meta += field($4, 2); tilesm += field($4, 4)
      meta0 += field($5, 2); tilesm0 += field($5, 4)
    }
    END {
      c0 /= n; tiles0 /= n; estimate /= n; meta /= n; tilesm /= n; meta0 /= n; tilesm0 /= n
      printf "\nmeans over %d targets\n", n
      printf "  tessaline c=0      dE %6.2f  %7.1f tiles\n", c0, tiles0
      if (ncc == n) printf "  tessaline c=%s    dE %6.2f\n", color, cc / n
      else printf "  tessaline c=%s    option not available (estimated dE %.2f)\n", color, estimate
      if (nr == n) printf "  tessaline R=%d      dE %6.2f  %7.1f tiles\n", repeat, repeated / n, tilesr / n
      else printf "  tessaline R=%d      option not available\n", repeat
      printf "  metapixel          dE %6.2f  %7.1f tiles\n", meta, tilesm
      printf "  metapixel d=0      dE %6.2f  %7.1f tiles\n", meta0, tilesm0
      printf "\naims\n"
      printf "  c=0 no worse than metapixel        : %.2f against %.2f : %s\n", c0, meta,
             (c0 <= meta ? "met" : "NOT met")
      corrected = (ncc == n) ? cc / n : estimate
      printf "  c=%s at least 30%% below metapixel : %.1f%% below%s : %s\n", color,
             100 * (1 - corrected / meta), (ncc == n ? "" : " (estimated)"),
             (corrected <= 0.7 * meta ? "met" : "NOT met")
      printf "  (c=0 against metapixel d=0, both without a repeat limit : %.2f against %.2f)\n",
             c0, meta0
      if (nr == n)
        printf "  R=%d at least 3 times the tiles     : %.2f times : %s\n", repeat,
               tilesr / n / tiles0, (tilesr / n >= 3 * tiles0 ? "met" : "NOT met")
      else printf "  R=%d at least 3 times the tiles     : option not available\n", repeat
      # Three times the tiles of c=0 may be more than the library holds.
      if (3 * tiles0 > library)
        printf "  (3 x %.0f tiles is more than the library'"'"'s %d : out of reach)\n", tiles0, library
    }' "$WORK/run/figures"
}

install_metapixel
mkdir -p "$WORK/run"
make_photos
choose_targets
make_tiles
prepare_libraries
rm -f "$WORK/run/figures"
echo "mosaics $MOSAIC_SIZE of $TILE_SIZE tiles from $(find "$TILES" -name '*.jpg' | wc -l)" \
  "photographs, tessaline's matching grid ${GRID:-as configured}; dE: mean CIE76 at 4 x 4" \
  "pixels per cell"
for target in "$WORK"/targets/*.png; do
  measure_target "$target"
done
summary
