#!/usr/bin/env bash
# Live mosaics shown per second: tessaline under a private Xvfb (Mesa's
# llvmpipe, so every GL pass runs in software) with a GStreamer test source
# listed in cameras.txt as its camera, 640 x 360 at 25 frames per second,
# matched into the default working size (3840 x 2160, 32 x 18 tiles) against
# a library of the sample photographs' sections. The stream lasts SECONDS
# seconds; when it ends the program logs its "live rate" line: the mosaics
# made (each is drawn before the next is pulled) and the frames the camera
# delivered meanwhile. Also printed: the program's CPU time per mosaic (all
# its threads), which other work on the machine changes far less than the
# rate.
#
#   bench/live_rate.sh [BUILD_DIR] [SECONDS] [PHOTOS]
#
# BUILD_DIR holds app/tessaline (default: build under the source folder);
# SECONDS defaults to 20; PHOTOS (default 20) sample photographs give ten
# tiles each. Set TESSALINE_KEEP_WORK=1 to keep the run's folder, and
# STEADINESS to run at that steadiness instead of the default.
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=$(cd "${1:-$SOURCE_DIR/build}" && pwd)
LENGTH=${2:-20}
PHOTOS=${3:-20}
[ -x "$BUILD_DIR/app/tessaline" ] || {
  echo "no $BUILD_DIR/app/tessaline : build the target tessaline first" >&2
  exit 2
}
source "$SOURCE_DIR/tests/e2e/lib.sh" "$BUILD_DIR" "$SOURCE_DIR"
source "$SOURCE_DIR/tests/e2e/live_lib.sh"

prepare_tiles "$PHOTOS"
write_test_camera 640 360 25 $((25 * LENGTH))
[ -z "${STEADINESS:-}" ] || printf '[mosaic]\nsteadiness=%s\n' "$STEADINESS" >tessaline.cfg
start_app
click_at 52 318
wait_for_line "status : photomosaic have been generated." 300 console.txt
before=$(cpu_ticks)
open_test_camera
wait_for_line "^live rate : " $((LENGTH + 60))
used=$(($(cpu_ticks) - before))
mosaics=$(rate_line | sed 's/.* : \([0-9]*\) mosaics of .*/\1/')
echo "$(rate_line) (tiles: $(ls images | wc -l))"
awk -v t="$used" -v hz="$(getconf CLK_TCK)" -v m="$mosaics" \
  'BEGIN { printf "CPU time per mosaic : %.1f ms\n", 1000 * t / hz / m }'
press Escape
wait_app
