#!/usr/bin/env bash
# Live mosaics shown per second: tessaline under a private Xvfb (Mesa's
# llvmpipe, so every GL pass runs in software) with a GStreamer test source
# listed in cameras.txt as its camera, 640 x 360 at 25 frames per second,
# matched into the default working size (3840 x 2160, 32 x 18 tiles) against
# a library of the sample photographs' sections. The camera streams for
# SECONDS seconds; the program's own "live rate" line, written when the
# camera closes, gives the mosaics made (each is drawn before the next is
# pulled) and the frames the camera delivered meanwhile.
#
#   bench/live_rate.sh [BUILD_DIR] [SECONDS] [PHOTOS]
#
# BUILD_DIR holds app/tessaline (default: build under the source folder);
# SECONDS defaults to 20; PHOTOS (default 20) sample photographs give ten
# tiles each. Set TESSALINE_KEEP_WORK=1 to keep the run's folder.
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
write_test_camera 640 360 25
start_app
click_at 52 318
wait_for_line "status : photomosaic have been generated." 300 console.txt
open_test_camera
start=$SECONDS
# The measuring window: the program is left alone meanwhile.
sleep "$LENGTH"
close_live_input
echo "$(rate_line) ($((SECONDS - start)) s streamed, tiles: $(ls images | wc -l) photographs)"
press Escape
wait_app
