#!/usr/bin/env bash
# Whole-run benchmark of the mosaic movie: tessaline-batch --movie, decode
# and encode included, on a 1080p movie made here from FFmpeg's test source,
# with a working size of 1920 x 1080, 32 x 18 tiles (3,600 cells) and a
# library of 10,000 cached tiles; once composed on the CPU and once, under a
# display with GLX (Xvfb is started when DISPLAY is unset), by the GLSL pass
# of the live path in a hidden GL context.
#
#   bench/movie_bench.sh [BUILD_DIR] [SECONDS]
#
# SECONDS is the length of the generated movie (default 10, 250 frames at
# 25 fps). Tiles, their cache and the movie are made once under
# ${TMPDIR:-/tmp}/tessaline_movie_bench and reused; the library's first load
# (which writes the cache) is not timed. Prints, for each run, the frames per
# second of the whole process (start-up and the cached library load
# included) and of the movie pipeline, and each stage's busy share of the
# pipeline's time: the stages overlap on their own threads, so the largest
# share is the stage that limits the rate.
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=$(cd "${1:-$SOURCE_DIR/build}" && pwd)
LENGTH=${2:-10}
BATCH="$BUILD_DIR/batch/tessaline-batch"
WORK="${TMPDIR:-/tmp}/tessaline_movie_bench"
TILES=10000
[ -x "$BATCH" ] || { echo "no $BATCH : build the target tessaline-batch first" >&2; exit 2; }
mkdir -p "$WORK/run"

# 10,000 small pictures of slowly turning colour gradients, hue shifted from
# one to the next so that the library spans the colours.
make_tiles() {
  [ -f "$WORK/tiles.complete" ] && return
  rm -rf "$WORK/tiles" && mkdir -p "$WORK/tiles"
  ffmpeg -v error -f lavfi -i "gradients=s=64x36:n=3:speed=0.02:seed=7:r=25,hue=h=t*77:s=1+0.5*sin(t)" \
    -frames:v "$TILES" "$WORK/tiles/g%05d.png"
  (cd "$WORK/run" && "$BATCH" --tiles "$WORK/tiles" --tile 32x18 >/dev/null)
  touch "$WORK/tiles.complete"
}

make_movie() {
  [ -f "$WORK/in-$LENGTH.mp4" ] && return
  ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$LENGTH" \
    -c:v mpeg4 -q:v 4 "$WORK/in-$LENGTH.mp4"
}

# One timed run; $1 names it, the rest are extra options.
run_movie() {
  local name=$1
  shift
  : >"$WORK/run/tessaline.log"
  local start end
  start=$(date +%s.%N)
  (cd "$WORK/run" && "$BATCH" --tiles "$WORK/tiles" --tile 32x18 --size 1920x1080 --k 3 \
    --movie "$WORK/in-$LENGTH.mp4" --out "$WORK/out.mp4" "$@" >/dev/null 2>"$WORK/err.txt") ||
    { cat "$WORK/err.txt" >&2; echo "$name: the run failed" >&2; return 1; }
  end=$(date +%s.%N)
  local frames
  frames=$(ffprobe -v error -select_streams v:0 -count_packets -show_entries stream=nb_read_packets \
    -of csv=p=0 "$WORK/out.mp4")
  awk -v n="$name" -v f="$frames" -v s="$start" -v e="$end" \
    'BEGIN { printf "%-5s whole run : %d frames in %.2f s = %.1f frames per second\n", n, f, e - s, f / (e - s) }'
  grep '^movie' "$WORK/run/tessaline.log" | sed "s/^/$name /"
}

make_tiles
make_movie
echo "tessaline-batch --movie, 1920x1080, 32x18 tiles, $TILES tiles, $(nproc) cores"
run_movie cpu
if [ -z "${DISPLAY:-}" ]; then
  source "$SOURCE_DIR/scripts/xvfb.sh"
  start_xvfb
  trap 'kill "$XVFB_PID" 2>/dev/null || true' EXIT
fi
run_movie gpu --gpu
