#!/usr/bin/env bash
# How calm mosaic movies are: tessaline-batch --movie on two movies made
# here from one sample photograph, at steadiness 0 (every frame matched
# afresh) and at each value of STEADY:
#   still  the photograph, still, with sensor-like noise (ffmpeg
#          noise=alls=6:allf=t)
#   pan    the photograph panned slowly, 4 pixels a frame to the right and
#          2 down
# both 1920 x 1080 at 25 fps, LENGTH seconds (default 4). The runs use
# --size 1920x1080 --tile 60x60 (32 x 18 cells) --seed 1 over the
# photographs of scripts/photo_library.py (some five hundred). For each
# steadiness it prints the cells swapping tile per frame (%), the mean CIE76
# colour difference between each mosaic frame and its source frame at
# 4 x 4 pixels per cell (bench/steady_measure.cpp), that difference against
# steadiness 0, the movie pipeline's frames per second and the mosaic
# stage's time per frame (from the batch's own summary lines). The mosaic
# movies are Motion JPEG, whose noise stays far below a swapped tile's
# change; its encoder, not the mosaic, limits the pipeline's rate.
#
#   bench/steady_movie.sh [BUILD_DIR]
#
# BUILD_DIR holds batch/tessaline-batch(-movie) and bench/steady_measure
# (default: build under the source folder). Environment: STEADY (default
# "0.2 0.3 0.4"), LENGTH, RUNS (runs of each steadiness, default 3; the
# rate and time are the best of them, as the machine may be shared), PHOTO
# (the photograph, by its name in the library; default a castle of
# gcompris), PHOTOS (a folder of the library's photographs already made,
# copied instead of running photo_library.py). Everything is made once
# under ${TMPDIR:-/tmp}/tessaline_steady and reused; the library's first
# load (which writes its cache) is not measured.
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=$(cd "${1:-$SOURCE_DIR/build}" && pwd)
BATCH="$BUILD_DIR/batch/tessaline-batch"
MEASURE="$BUILD_DIR/bench/steady_measure"
WORK="${TMPDIR:-/tmp}/tessaline_steady"
STEADY=${STEADY:-0.2 0.3 0.4}
LENGTH=${LENGTH:-4}
RUNS=${RUNS:-3}
PHOTO=${PHOTO:-gcompris-EilanDonanCastle_background.jpg}
TILE=60x60

for tool in "$BATCH" "$BUILD_DIR/batch/tessaline-batch-movie" "$MEASURE"; do
  [ -x "$tool" ] || { echo "no $tool : build tessaline-batch, tessaline-batch-movie and steady_measure first" >&2; exit 2; }
done
mkdir -p "$WORK/run"

make_photos() {
  [ -f "$WORK/photos.complete" ] && return
  rm -rf "$WORK/photos"
  if [ -n "${PHOTOS:-}" ]; then
    mkdir -p "$WORK/photos" && cp "$PHOTOS"/*.jpg "$WORK/photos/"
  else
    python3 "$SOURCE_DIR/scripts/photo_library.py" "$WORK/photos"
  fi
  (cd "$WORK/run" && "$BATCH" --tiles "$WORK/photos" --tile "$TILE" >/dev/null)
  touch "$WORK/photos.complete"
}

# The movies are named after the photograph and their length.
movie_path() { echo "$WORK/$1-${PHOTO%.*}-$LENGTH.mp4"; }

make_movies() {
  local photo="$WORK/photos/$PHOTO"
  [ -f "$photo" ] || { echo "no photograph $photo" >&2; exit 2; }
  [ -f "$(movie_path still)" ] ||
    ffmpeg -v error -loop 1 -i "$photo" -t "$LENGTH" -r 25 \
      -vf "scale=1920:1080,noise=alls=6:allf=t" -c:v libx264 -crf 18 -pix_fmt yuv420p \
      "$(movie_path still)"
  [ -f "$(movie_path pan)" ] ||
    ffmpeg -v error -loop 1 -i "$photo" -t "$LENGTH" -r 25 \
      -vf "scale=2400:1350,crop=1920:1080:'t*100':'t*50'" -c:v libx264 -crf 18 -pix_fmt yuv420p \
      "$(movie_path pan)"
}

# One run: movie $1 at steadiness $2, written to $WORK/out.avi; prints the
# pipeline's "fps mosaic_ms".
run_once() {
  : >"$WORK/run/tessaline.log"
  (cd "$WORK/run" && "$BATCH" --tiles "$WORK/photos" --tile "$TILE" --size 1920x1080 --seed 1 \
    --steady "$2" --movie "$(movie_path "$1")" --out "$WORK/out.avi" >/dev/null 2>"$WORK/err.txt") ||
    { cat "$WORK/err.txt" >&2; echo "$1 at $2: the run failed" >&2; exit 1; }
  # "movie : N frames at R fps in T s (F frames per second)" and the
  # stages' busy shares: the mosaic stage's time per frame.
  awk '
    /^movie : .* frames per second\)$/ { frames = $3; wall = $9; fps = substr($11, 2) }
    /^movie stages/ { for (i = 1; i <= NF; ++i) if ($i == "mosaic") share = $(i + 1) }
    END { print fps, 1000 * share / 100 * wall / frames }
  ' "$WORK/run/tessaline.log"
}

# RUNS runs of movie $1 at steadiness $2 (the same mosaics: --seed); prints
# "swaps delta_e fps mosaic_ms", the rate and time the best of the runs.
run_movie() {
  local measured times="" i
  for ((i = 0; i < RUNS; ++i)); do times+="$(run_once "$1" "$2")"$'\n'; done
  measured=$("$MEASURE" "$(movie_path "$1")" "$WORK/out.avi" "$TILE")
  printf '%s' "$times" | awk -v m="$measured" '
    NF == 2 && ($1 > fps) { fps = $1 }
    NF == 2 && (ms == "" || $2 < ms) { ms = $2 }
    END { split(m, w, " "); print w[4], w[6], fps, ms }'
}

make_photos
make_movies
echo "tessaline-batch --movie, 1920x1080, $TILE tiles (32 x 18), $(ls "$WORK/photos" | grep -c '\.jpg$') photographs, $PHOTO, $LENGTH s at 25 fps, $(nproc) cores"
printf '%-6s %-10s %12s %10s %14s %8s %10s\n' movie steadiness "swaps/frame" "delta E" "vs steady 0" \
  fps "mosaic ms"
for movie in still pan; do
  base=""
  for s in 0 $STEADY; do
    read -r swaps delta fps ms < <(run_movie "$movie" "$s")
    [ -n "$base" ] || base=$delta
    awk -v m="$movie" -v s="$s" -v w="$swaps" -v d="$delta" -v b="$base" -v f="$fps" -v t="$ms" \
      'BEGIN { printf "%-6s %-10s %11.2f%% %10.3f %+13.2f%% %8.1f %10.1f\n", m, s, w, d, 100 * (d - b) / b, f, t }'
  done
done
