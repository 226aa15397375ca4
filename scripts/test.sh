#!/usr/bin/env bash
# Installs what is missing, builds tessaline twice (Release as users build it,
# and with AddressSanitizer + UndefinedBehaviorSanitizer) and runs every test: the unit
# tests in both builds, the end-to-end tests under Xvfb, and each fuzz target
# for a bounded time. A third, small build with ThreadSanitizer runs the unit
# tests of the code that shares data between threads. Exits non-zero on any failure. Needs no display and no
# standard input.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
fuzz_seconds=${TESSALINE_FUZZ_SECONDS:-30}

bash "$root/scripts/install-deps.sh" --test

# Release, not RelWithDebInfo: -O3 brings warnings -O2 does not, and this is
# the build users make; one optimised build keeps CI within its time.
echo "== build (plain)"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release -DTESSALINE_WERROR=ON \
  -DTESSALINE_TESTS=ON -DTESSALINE_BENCH=ON >/dev/null
cmake --build "$root/build" -j"$jobs"

echo "== build (sanitizers)"
cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DTESSALINE_WERROR=ON \
  -DTESSALINE_SANITIZE=ON -DTESSALINE_BENCH=OFF >/dev/null
cmake --build "$root/build-asan" -j"$jobs"

# Only the test programs that cover the threads (the load worker and the
# view's hand-over of its result, the decode pool, the matcher's workers,
# the log sink, the camera reader): a whole third build would double CI's
# time.
echo "== build (thread sanitizer)"
cmake -S "$root" -B "$root/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DTESSALINE_WERROR=ON \
  -DTESSALINE_TSAN=ON -DTESSALINE_BENCH=OFF >/dev/null
cmake --build "$root/build-tsan" -j"$jobs" --target library_tests match_tests mosaic_tests settings_tests view_tests video_tests

echo "== build (fuzz targets)"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALINE_WERROR=ON -DTESSALINE_FUZZ=ON -DTESSALINE_BENCH=OFF >/dev/null
fuzzers=$(cd "$root/tests/fuzz" && ls *_fuzz.cpp 2>/dev/null | sed 's/\.cpp$//' || true)
for f in $fuzzers; do cmake --build "$root/build-fuzz" --target "$f" -j"$jobs"; done

source "$root/scripts/xvfb.sh"
start_xvfb

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== tests (plain build)"
ctest --test-dir "$root/build" --output-on-failure
echo "== unit tests (sanitizer build)"
ctest --test-dir "$root/build-asan" --output-on-failure -LE e2e

echo "== threaded unit tests (thread sanitizer build)"
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp
for t in library match mosaic; do "$root/build-tsan/tests/${t}_tests" --gtest_brief=1; done
"$root/build-tsan/tests/settings_tests" --gtest_brief=1
"$root/build-tsan/tests/view_tests" --gtest_brief=1
# Only the camera reader's own threads: GStreamer's, in glib that is not
# instrumented, draw reports that are not ours.
"$root/build-tsan/tests/video_tests" --gtest_brief=1 --gtest_filter='CameraReader.*'

for f in $fuzzers; do
  echo "== fuzz $f for ${fuzz_seconds}s"
  corpus=$(mktemp -d)
  "$root/build-fuzz/tests/fuzz/$f" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" 2>&1 | tail -n 3
  rm -rf "$corpus"
done
echo "all tests passed"
