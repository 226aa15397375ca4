#!/usr/bin/env bash
# Configures and builds tessaline in build/ (Release, as the test script does,
# warnings as errors).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DTESSALINE_WERROR=ON >/dev/null
cmake --build "$root/build" -j"$(nproc)"
