#!/usr/bin/env bash
# Configures and builds the programs in build/ (Release, as the test script
# does, warnings as errors), without the tests and benchmarks: the run
# command needs only the programs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DTESSALINE_WERROR=ON \
  -DTESSALINE_TESTS=OFF -DTESSALINE_BENCH=OFF >/dev/null
cmake --build "$root/build" -j"$(nproc)"
