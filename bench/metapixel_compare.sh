#!/usr/bin/env bash
# Times one whole photomosaic run of tessaline-batch against metapixel (the
# Debian package) making the same mosaic: the same target, the same tiles,
# the same tile size and mosaic size, JPEG output, and prints the ratio.
#
#   bench/metapixel_compare.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR holds app/tessaline-batch (default: build under the source
# folder); RUNS is the number of timed runs of each (default 5). The tiles
# (a few hundred photographs from the Debian wallpaper packages, or plasma
# pictures when those are missing), the target and both prepared libraries
# are made once under ${TMPDIR:-/tmp}/tessaline_metapixel_compare and reused;
# preparing a library is not timed: metapixel-prepare for metapixel, a first
# tessaline-batch --tiles load (which writes the cache) for tessaline.
#
# Environment: MOSAIC_SIZE (default 3840x2160, tessaline's working size),
# TILE_SIZE (default 32x18), PLASMA (the number of plasma pictures used as
# tiles; default 5000, a collection of the size the program is made for),
# PHOTOS (with PLASMA=0: wallpaper photographs to take instead, each giving
# ten tiles; default 30). metapixel compares every tile with every cell, so
# its time grows with the library; tessaline's hardly does, but it pays a
# fixed start-up of about 0.1 s (OpenCV's codec module and what it loads).
# Measured here: 5,000 tiles 10.3 times faster, 300 photograph tiles 3.8.
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=$(cd "${1:-$SOURCE_DIR/build}" && pwd)
RUNS=${2:-5}
BATCH="$BUILD_DIR/app/tessaline-batch"
WORK="${TMPDIR:-/tmp}/tessaline_metapixel_compare"
MOSAIC_SIZE=${MOSAIC_SIZE:-3840x2160}
TILE_SIZE=${TILE_SIZE:-32x18}
PHOTOS=${PHOTOS:-30}
PLASMA=${PLASMA:-5000}
[ "$PLASMA" -eq 0 ] || WORK="$WORK-plasma$PLASMA"
TILE_W=${TILE_SIZE%x*}
TILE_H=${TILE_SIZE#*x}

[ -x "$BATCH" ] || { echo "no $BATCH : build the target tessaline-batch first" >&2; exit 2; }

install_metapixel() {
  command -v metapixel >/dev/null && command -v metapixel-prepare >/dev/null && return
  echo "installing metapixel from Debian"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q metapixel >/dev/null
}

# The tiles: photographs when the wallpaper packages are there, otherwise
# plasma fractals (smooth, photograph-like colour fields).
make_tiles() {
  [ -f "$WORK/tiles.complete" ] && return
  rm -rf "$WORK/tiles"
  local plasma=$PLASMA
  if [ "$plasma" -eq 0 ]; then
    bash "$SOURCE_DIR/scripts/sample-photos.sh" "$WORK/tiles" "$PHOTOS" >/dev/null
    [ "$(find "$WORK/tiles" -name '*.jpg' | wc -l)" -ge 100 ] || plasma=300
  fi
  mkdir -p "$WORK/tiles"
  for i in $(seq 1 "$plasma"); do
    convert -seed "$i" -size 320x240 plasma: -quality 90 "$WORK/tiles/plasma$i.jpg"
  done
  touch "$WORK/tiles.complete"
}

make_target() {
  [ -f "$WORK/target.jpg" ] && return
  local photo
  photo=$(find "$WORK/tiles" -name '*.jpg' | sort | awk 'NR == 1')
  convert "$photo" -resize "${MOSAIC_SIZE}!" -quality 92 "$WORK/target.jpg"
}

# Both libraries at the tile size, once.
prepare_libraries() {
  local library="$WORK/metapixel-$TILE_SIZE"
  if [ ! -f "$library.complete" ]; then
    rm -rf "$library" && mkdir -p "$library"
    metapixel-prepare --width "$TILE_W" --height "$TILE_H" "$WORK/tiles" "$library" >/dev/null
    touch "$library.complete"
  fi
  mkdir -p "$WORK/run"
  (cd "$WORK/run" && "$BATCH" --tiles "$WORK/tiles" --tile "$TILE_SIZE" >/dev/null)
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

install_metapixel
mkdir -p "$WORK"
make_tiles
make_target
prepare_libraries
cd "$WORK/run"
tiles=$(find "$WORK/tiles" -name '*.jpg' | wc -l)
tessaline_run="$BATCH --tiles $WORK/tiles --tile $TILE_SIZE --size $MOSAIC_SIZE --target $WORK/target.jpg --out $WORK/run/tessaline.jpg"
metapixel_run="metapixel -l $WORK/metapixel-$TILE_SIZE -w $TILE_W -h $TILE_H --metapixel $WORK/target.jpg $WORK/run/metapixel.jpg"

echo "mosaic $MOSAIC_SIZE of $TILE_SIZE tiles from $tiles tiles, $RUNS runs each"
if command -v hyperfine >/dev/null; then
  mapfile -t means < <(time_with_hyperfine "$tessaline_run" "$metapixel_run")
else
  mapfile -t means < <(time_with_date "$tessaline_run" "$metapixel_run")
fi
for picture in tessaline.jpg metapixel.jpg; do
  echo "$picture : $(identify -format '%m %wx%h' "$WORK/run/$picture")"
done
awk -v t="${means[0]}" -v m="${means[1]}" 'BEGIN {
  printf "tessaline-batch : %.3f s a run\nmetapixel       : %.3f s a run\n", t, m
  printf "tessaline-batch is %.1f times faster (target: at least 10)\n", m / t
}'
