#!/usr/bin/env bash
# Builds everything with AddressSanitizer + UndefinedBehaviorSanitizer (gcc) in build-asan/ and runs
# the whole test suite there. Any sanitizer report aborts the test that hit it, so CTest fails.
#
#   scripts/sanitize.sh [ctest arguments...]      e.g. scripts/sanitize.sh -L unit
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VANTREL_ASAN_DIR:-$root/build-asan}
jobs=${VANTREL_JOBS:-2}

export VANTREL_LOOPBACK_ONLY=1
export VANTREL_BROADCAST=127.255.255.255

echo "== sanitize: configure $build"
cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=g++ \
    -DVANTREL_SANITIZE=ON \
    -DVANTREL_WERROR=ON \
    -DVANTREL_BUILD_BENCH=OFF \
    -DVANTREL_BUILD_FUZZERS=OFF

echo "== sanitize: build"
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Leaks inside Qt's and the system's libraries (plugin loaders, fontconfig, one-time caches) are
# not ours; the suppressions name only those libraries.
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0

echo "== sanitize: ctest"
ctest --test-dir "$build" --output-on-failure -j "$jobs" "$@"
