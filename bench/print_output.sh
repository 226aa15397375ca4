#!/usr/bin/env bash
# Times a whole print-resolution run of tessaline-batch: a 120 x 120 cell
# mosaic (the default 3840 x 2160 working size, 32 x 18 tiles) at 256 pixels
# per tile, a 30,720 x 17,280 picture drawn from the original photos of a
# library of 10,000 camera-sized (1600 x 1200) JPEGs, and reports the wall
# time and the peak memory (RSS) of the run. Targets: under 60 s, under 1 GB.
#
#   bench/print_output.sh [BUILD_DIR]
#
# PHOTOS (default /tmp/tessaline-print-photos) is filled once by
# make_print_photos, which takes a few minutes; COUNT (10000) photos, OUT
# (a .tif in the system's temporary folder) the picture written, then
# removed; TILEPX (256); DEEPZOOM=1 times the deep-zoom export instead.
set -euo pipefail
BUILD_DIR=$(cd "${1:-build}" && pwd)
BATCH="$BUILD_DIR/batch/tessaline-batch"
MAKER="$BUILD_DIR/bench/make_print_photos"
PHOTOS=${PHOTOS:-/tmp/tessaline-print-photos}
COUNT=${COUNT:-10000}
TILEPX=${TILEPX:-256}
WORK=$(mktemp -d)
OUT=${OUT:-$WORK/print.tif}
trap 'rm -rf "$WORK"' EXIT

mkdir -p "$PHOTOS"
have=$(find "$PHOTOS" -maxdepth 1 -name 'photo*.jpg' | wc -l)
if [ "$have" -lt "$COUNT" ]; then
  echo "making $((COUNT - have)) photographs in $PHOTOS ..."
  "$MAKER" "$PHOTOS" "$((COUNT - have))" "$have"
fi

# The library's first load (its cache) is not part of the print run.
cd "$WORK"
"$BATCH" --tiles "$PHOTOS" >/dev/null

if [ "${DEEPZOOM:-0}" = 1 ]; then
  output=(--deepzoom "$WORK/zoom" --print "$TILEPX")
else
  output=(--print "$TILEPX" --out "$OUT")
fi
/usr/bin/time -v "$BATCH" --tiles "$PHOTOS" --target "$PHOTOS/photo00000.jpg" --seed 1 \
  "${output[@]}" >run.log 2>time.txt || { cat time.txt >&2; exit 1; }
wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' time.txt)
rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' time.txt)
cpu=$(sed -n 's/.*Percent of CPU this job got: //p' time.txt)
if [ "${DEEPZOOM:-0}" = 1 ]; then
  size="deep zoom, $(find "$WORK/zoom/mosaic_files" -name '*.jpg' | wc -l) tiles"
else
  size="$(sed -n 's/^print picture : \(.*\) written to .*/\1/p' run.log), $(du -m "$OUT" | cut -f1) MB"
fi
echo "print output ($size) from $COUNT photos: wall $wall, peak RSS $((rss / 1024)) MB, CPU $cpu"
