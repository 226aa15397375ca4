#!/usr/bin/env bash
# Times one whole photomosaic run of tessaline-batch against metapixel (the
# Debian package) making the same mosaic: the same target, the same tiles,
# the same tile size and mosaic size, JPEG output, and prints the ratio for
# each library size.
#
#   bench/metapixel_compare.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR holds batch/tessaline-batch (default: build under the source
# folder); RUNS is the number of timed runs of each (default 5). The tiles
# (plasma fractals: smooth, photograph-like colour fields, or with PLASMA=0
# photographs from the Debian wallpaper packages), the target and both
# prepared libraries are made once under ${TMPDIR:-/tmp}/tessaline_metapixel_compare
# and reused; preparing a library is not timed: metapixel-prepare for
# metapixel, a first tessaline-batch --tiles load (which writes the cache)
# for tessaline.
#
# Environment: MOSAIC_SIZE (default 3840x2160, tessaline's working size),
# TILE_SIZE (default 32x18), TILE_COUNTS (the library sizes compared;
# default "1600 5000"), TARGETS (the target's file types, each timed on its
# own: default "jpg png", the same picture as a JPEG and as a PNG), and
# TILES, what the tiles are:
#   plasma   (default) plasma fractals: smooth, photograph-like colour fields
#   photos   the photographs of scripts/photo_library.py (some five hundred
#            from Debian packages, fetched once) with their 3 x 3 sections,
#            about 5,200 tiles; the first photograph, held out, is the target
#   wallpapers  the wallpapers of scripts/sample-photos.sh and their
#            sections (PHOTOS of them, default 30, ten tiles each); the
#            library sizes are then whatever that gives (PLASMA=0, the
#            former name, still selects them)
# metapixel compares every tile with every cell, so
# its time grows with the library; tessaline's hardly does, so the ratio is
# set by tessaline's fixed costs (start-up, cache read, JPEG out) at the
# small size.
# Measured here (2 cores, quiet): 1,600 tiles 6.7 times faster (0.23 s
# against 1.51 s; 4.4 before the batch program shed OpenCV's codec and movie
# modules), 5,000 tiles 8.5 times (0.41 s against 3.46 s; 6.7 before).
# Since then a mosaic run checks no touched-tile files, encodes its JPEG as
# two bands at once and asks for huge pages for its big pictures: 0.130 s
# a run against the former 0.182 s at 1,600 tiles, side by side on a
# nearly quiet machine (about 11 times metapixel's 1.49 s); with other work
# on the machine 8.6 times (0.173 s against 1.494 s) at 1,600 tiles and
# 10.2 times (0.341 s against 3.485 s) at 5,000. Most of a run was then the
# matching itself (the tile search for 14,400 cells, about 50 ms), then the
# target's decode, which the library load no longer hides.
# Since then libraries of up to 8,192 tiles are matched by a flat scan (a
# few ms), the JPEG's two bands go to the disk unjoined and the mosaic's
# memory is faulted in while the target decodes: 0.080 s a run at 1,600
# tiles (18.6 times metapixel's 1.491 s) and 0.109 s at 5,000 (31.4 times
# 3.420 s), load average about 1.7 from other work; run in turn with the
# former build, 79 ms against 131 ms at 1,600 tiles and 111 ms against
# 224 ms at 5,000. A run is now the target's decode (about 30 ms, beside
# the library load), the JPEG encode (about 35 ms on both cores) and the
# write (about 8 ms), with the matching at about 10 ms.
# Since then the target is read only as far as its matching image needs (a
# 4K JPEG at 1/2) and a PNG through libdeflate: with another program on one
# core, 1,600 photographs 0.080 s against 1.30 s from a JPEG (16 times) and
# 0.128 s against 1.38 s from a PNG (11 times, 0.22-0.31 s before); 5,000
# photographs 0.124 s against 2.6-2.7 s (21-22 times) from either.
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=$(cd "${1:-$SOURCE_DIR/build}" && pwd)
RUNS=${2:-5}
BATCH="$BUILD_DIR/batch/tessaline-batch"
WORK="${TMPDIR:-/tmp}/tessaline_metapixel_compare"
MOSAIC_SIZE=${MOSAIC_SIZE:-3840x2160}
TILE_SIZE=${TILE_SIZE:-32x18}
PHOTOS=${PHOTOS:-30}
TILES=${TILES:-plasma}
[ "${PLASMA:-1}" -eq 0 ] && TILES=wallpapers
TILE_COUNTS=${TILE_COUNTS:-1600 5000}
TARGETS=${TARGETS:-jpg png}
case "$TILES" in
  plasma) ;;
  photos) WORK="$WORK-photos" ;;
  wallpapers) WORK="$WORK-wallpapers$PHOTOS" ;;
  *) echo "TILES must be plasma, photos or wallpapers" >&2; exit 2 ;;
esac
TILE_W=${TILE_SIZE%x*}
TILE_H=${TILE_SIZE#*x}

[ -x "$BATCH" ] || { echo "no $BATCH : build the target tessaline-batch first" >&2; exit 2; }

source "$SOURCE_DIR/bench/metapixel.sh"

# The largest library's pictures, made once: TILE_COUNTS' largest number of
# plasma fractals, a hundred to an ImageMagick run (one run each would take
# longer than the benchmark), or the photographs.
# The pool's marker holds the number of fractals made, so that a larger
# TILE_COUNTS makes the pool again.
make_pool() {
  local largest=0 count
  for count in $TILE_COUNTS; do [ "$count" -gt "$largest" ] && largest=$count; done
  [ "$TILES" = plasma ] || largest=0
  if [ -f "$WORK/pool.complete" ] && [ "$(cat "$WORK/pool.complete")" -ge "$largest" ] 2>/dev/null; then
    return
  fi
  rm -rf "$WORK/pool" "$WORK"/tiles-* "$WORK"/target.* && mkdir -p "$WORK/pool"
  case "$TILES" in
    wallpapers) bash "$SOURCE_DIR/scripts/sample-photos.sh" "$WORK/pool" "$PHOTOS" >/dev/null ;;
    photos) make_photo_pool ;;
    plasma) make_plasma_pool "$largest" ;;
  esac
  echo "$largest" >"$WORK/pool.complete"
}

make_plasma_pool() {
  local largest=$1 first seeds i
  for ((first = 1; first <= largest; first += 100)); do
    seeds=()
    for ((i = first; i < first + 100 && i <= largest; ++i)); do seeds+=(-seed "$i" plasma:); done
    convert -size 320x240 "${seeds[@]}" -quality 90 +adjoin "$WORK/pool/plasma$first-%d.jpg"
  done
}

# The photographs and their 3 x 3 sections, but for the first photograph:
# that one is the target.
make_photo_pool() {
  [ -f "$WORK/photos.complete" ] ||
    { python3 "$SOURCE_DIR/scripts/photo_library.py" "$WORK/photos" && touch "$WORK/photos.complete"; }
  local photo first=""
  while IFS= read -r photo; do
    if [ -z "$first" ]; then
      first=$photo
      cp "$photo" "$WORK/target-photo.jpg"
      continue
    fi
    cp -l "$photo" "$WORK/pool/"
    convert "$photo" -crop 3x3@ +repage -quality 90 "$WORK/pool/$(basename "$photo" .jpg)_part%d.jpg"
  done < <(find "$WORK/photos" -name '*.jpg' | sort)
}

# The first COUNT pool pictures as a library folder of their own (hard
# links: no copies), so each size keeps its own cache.
make_tiles() {
  local count=$1 dir="$WORK/tiles-$1"
  [ -f "$dir.complete" ] && return
  rm -rf "$dir" && mkdir -p "$dir"
  find "$WORK/pool" -name '*.jpg' | sort | awk -v n="$count" 'NR <= n' | xargs -r cp -l -t "$dir"
  touch "$dir.complete"
}

# The target at the mosaic size, as each of TARGETS: a plasma fractal, or
# the held-out photograph.
make_target() {
  local type source
  source=$(find "$WORK/pool" -name '*.jpg' | sort | awk 'NR == 1')
  [ "$TILES" = photos ] && source="$WORK/target-photo.jpg"
  for type in $TARGETS; do
    [ -f "$WORK/target.$type" ] && continue
    convert "$source" -resize "${MOSAIC_SIZE}!" -quality 92 "$WORK/target.$type"
  done
}

# Both libraries of folder `tiles` at the tile size, once.
prepare_libraries() {
  local tiles=$1 library="$1-metapixel-$TILE_SIZE"
  if [ ! -f "$library.complete" ]; then
    rm -rf "$library" && mkdir -p "$library"
    metapixel-prepare --width "$TILE_W" --height "$TILE_H" "$tiles" "$library" >/dev/null
    touch "$library.complete"
  fi
  (cd "$WORK/run" && "$BATCH" --tiles "$tiles" --tile "$TILE_SIZE" >/dev/null)
}

# Seconds of each command over RUNS runs, one per line: the median (a
# shared machine gives the odd slow run), or the mean without hyperfine.
time_with_hyperfine() {
  hyperfine -N --warmup 1 --runs "$RUNS" --export-csv "$WORK/times.csv" "$@" >&2
  awk -F, 'NR > 1 { print $4 }' "$WORK/times.csv"
}

time_with_date() {
  local command start end total
  for command in "$@"; do
    $command >/dev/null 2>&1  # warm-up
    total=0
    for _ in $(seq 1 "$RUNS"); do
      start=$(date +%s.%N)
      $command >/dev/null 2>&1
      end=$(date +%s.%N)
      total=$(echo "$total + $end - $start" | bc -l)
    done
    echo "$total / $RUNS" | bc -l
  done
}

# Times both on the library in folder `tiles` from the target of type
# `type` and prints the figures.
compare() {
  local tiles=$1 type=$2 count
  count=$(find "$tiles" -name '*.jpg' | wc -l)
  local target="$WORK/target.$type"
  local tessaline_run="$BATCH --tiles $tiles --tile $TILE_SIZE --size $MOSAIC_SIZE --target $target --out $WORK/run/tessaline.jpg"
  local metapixel_run="metapixel -l $tiles-metapixel-$TILE_SIZE -w $TILE_W -h $TILE_H --metapixel $target $WORK/run/metapixel.jpg"
  echo "mosaic $MOSAIC_SIZE of $TILE_SIZE tiles ($TILES) from $count tiles, $type target, $RUNS runs each"
  local means
  if command -v hyperfine >/dev/null; then
    mapfile -t means < <(time_with_hyperfine "$tessaline_run" "$metapixel_run")
  else
    mapfile -t means < <(time_with_date "$tessaline_run" "$metapixel_run")
  fi
  local picture
  for picture in tessaline.jpg metapixel.jpg; do
    echo "$picture : $(identify -format '%m %wx%h' "$WORK/run/$picture")"
  done
  awk -v t="${means[0]}" -v m="${means[1]}" -v n="$count" -v type="$type" 'BEGIN {
    printf "tessaline-batch : %.3f s a run\nmetapixel       : %.3f s a run\n", t, m
    printf "%d tiles, %s target: tessaline-batch is %.1f times faster\n", n, type, m / t
  }'
}

# Both libraries of folder `tiles`, then each target type.
compare_targets() {
  local tiles=$1 type
  prepare_libraries "$tiles"
  for type in $TARGETS; do compare "$tiles" "$type"; done
}

install_metapixel
mkdir -p "$WORK/run"
make_pool
make_target
cd "$WORK/run"
if [ "$TILES" = wallpapers ]; then
  compare_targets "$WORK/pool"
else
  for count in $TILE_COUNTS; do
    make_tiles "$count"
    compare_targets "$WORK/tiles-$count"
  done
fi
