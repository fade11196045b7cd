#!/usr/bin/env bash
# Builds the parsers of network bytes with libFuzzer (clang) and fuzzes each one for a while.
#
#   scripts/fuzz.sh [seconds=30] [builddir=build-fuzz]
#
# The build directory is taken relative to the repository unless it is absolute. Each target works
# on a copy of its seed corpus inside the build directory (tests/fuzz/corpus is never written),
# and crash inputs land in <builddir>/fuzz-artifacts/<target>/. Exits non-zero if any target failed.
set -u

seconds="${1:-30}"
builddir="${2:-build-fuzz}"
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
case "$builddir" in
    /*) ;;
    *) builddir="$repo/$builddir" ;;
esac
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "usage: $0 [seconds>=1] [builddir]" >&2
    exit 2
fi

export VANTREL_LOOPBACK_ONLY=1
# Undefined behaviour is a finding, not a warning to scroll past.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

targets=(fuzz_frame fuzz_search_answer fuzz_json_body fuzz_config_bodies fuzz_camsim_package fuzz_media_frame
    fuzz_soap_answer)
# Inputs a little beyond each parser's interesting limits, without making every run slow.
declare -A maxlen=([fuzz_frame]=8192 [fuzz_search_answer]=8192 [fuzz_json_body]=70000 [fuzz_config_bodies]=8192
    [fuzz_camsim_package]=16384 [fuzz_media_frame]=8192 [fuzz_soap_answer]=16384)

mkdir -p "$builddir"
cmake -S "$repo" -B "$builddir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DVANTREL_BUILD_FUZZERS=ON \
    -DVANTREL_BUILD_TESTS=OFF -DVANTREL_BUILD_BENCH=OFF >"$builddir/configure.log" 2>&1 \
    || { cat "$builddir/configure.log" >&2; echo "fuzz: configure failed" >&2; exit 1; }
cmake --build "$builddir" -j2 --target "${targets[@]}" || { echo "fuzz: build failed" >&2; exit 1; }

status=0
summary=()
for t in "${targets[@]}"; do
    work="$builddir/fuzz-corpus/$t"
    artifacts="$builddir/fuzz-artifacts/$t/"
    log="$builddir/fuzz-logs/$t.log"
    mkdir -p "$work" "$artifacts" "$(dirname "$log")"
    cp -n "$repo/tests/fuzz/corpus/$t/"* "$work/" 2>/dev/null || true

    "$builddir/tests/fuzz/$t" "$work" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -max_len="${maxlen[$t]}" -artifact_prefix="$artifacts" -print_final_stats=1 >"$log" 2>&1
    rc=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    files=$(find "$work" -type f | wc -l)
    if [ "$rc" -eq 0 ]; then
        summary+=("$t: ok, ${runs:-?} runs in ${seconds}s, corpus $files files")
    else
        status=1
        crash=$(grep -o 'Test unit written to .*' "$log" | tail -1)
        summary+=("$t: FAILED (exit $rc) ${crash:-see $log}")
    fi
done

printf '%s\n' "${summary[@]}"
exit "$status"
