#!/usr/bin/env bash
# Times how long tessaline-batch takes to start and end: `--help`, which
# loads every shared library the program links and runs their start-up
# code, and nothing else. The aim is under 20 ms on a 2-core machine; the
# libraries are listed with their count, since each costs loading time.
#
#   bench/startup.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR holds batch/tessaline-batch (default: build under the source
# folder); RUNS is the number of timed runs (default 50). Uses hyperfine
# (Debian package hyperfine) when there, else the shell's clock.
set -euo pipefail
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=$(cd "${1:-$SOURCE_DIR/build}" && pwd)
RUNS=${2:-50}
BATCH="$BUILD_DIR/batch/tessaline-batch"
[ -x "$BATCH" ] || { echo "no $BATCH : build the target tessaline-batch first" >&2; exit 2; }

echo "shared libraries loaded: $(ldd "$BATCH" | wc -l)"
if command -v hyperfine >/dev/null; then
  times=$(mktemp)
  trap 'rm -f "$times"' EXIT
  hyperfine -N --warmup 5 --runs "$RUNS" --export-csv "$times" "$BATCH --help" >/dev/null
  awk -F, 'NR == 2 { printf "tessaline-batch --help : %.1f ms median, %.1f ms mean (target: under 20)\n", $4 * 1000, $2 * 1000 }' "$times"
else
  "$BATCH" --help >/dev/null  # warm-up
  start=$(date +%s%N)
  for _ in $(seq 1 "$RUNS"); do "$BATCH" --help >/dev/null; done
  end=$(date +%s%N)
  echo "tessaline-batch --help : $(((end - start) / RUNS / 1000000)) ms mean (target: under 20)"
fi
