#!/usr/bin/env bash
# Installs what is missing, builds the Debug tree and runs every test:
#   1. configure + build build-test/ (Debug, Ninja, warnings as errors)
#   2. scripts/fuzz.sh 20        every fuzzer for 20 s (seven of them: 140 s in all)
#   3. scripts/sanitize.sh       ASan + UBSan build in build-asan/, the whole suite
#   4. scripts/format-check.sh   every .cpp and .h laid out as .clang-format says
#   5. scripts/test-ratio.sh     the suite's weight against the code (printed, never fails)
#   6. ctest in build-test/      last, so that its summary ends the output
# Exits non-zero when any step fails. All traffic stays on loopback.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
jobs=${VANTREL_JOBS:-2}
build=$root/build-test
started=$SECONDS

export VANTREL_LOOPBACK_ONLY=1
export VANTREL_BROADCAST=127.255.255.255

step() {
    local t=$((SECONDS - started))
    printf '\n=== %s  [%dm%02ds]\n' "$*" $((t / 60)) $((t % 60))
}

# A private PulseAudio server with a null sink gives the audio tests a real output device. Without
# it they still run: playback then fails cleanly, which they also cover.
pulse_dir=""
stop_pulse() {
    [[ -n "$pulse_dir" ]] || return 0
    local pid
    pid=$(cat "$pulse_dir/pulse/pid" 2>/dev/null || true)
    if [[ -n "$pid" ]] && kill "$pid" 2>/dev/null; then
        # The daemon is not our child: poll (bounded) until it has left its runtime directory.
        for _ in $(seq 1 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
    fi
    rm -rf "$pulse_dir"
    pulse_dir=""
}
start_pulse() {
    command -v pulseaudio >/dev/null || return 0
    pulse_dir=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-pulse.XXXXXX")
    chmod 700 "$pulse_dir"
    if XDG_RUNTIME_DIR=$pulse_dir pulseaudio --daemonize=yes -n --exit-idle-time=-1 \
        --load=module-native-protocol-unix --load="module-null-sink sink_name=nullsink" 2>/dev/null; then
        export XDG_RUNTIME_DIR=$pulse_dir
        echo "audio: null sink on $pulse_dir/pulse/native"
    else
        echo "audio: no sound server; audio tests run without an output device"
        stop_pulse
    fi
}
trap stop_pulse EXIT

step "dependencies"
bash scripts/setup-deps.sh || exit 1

step "configure + build $build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTREL_WERROR=ON || exit 1
cmake --build "$build" -j "$jobs" || exit 1

start_pulse
failed=()

step "fuzzers (20 s each)"
if [[ -f scripts/fuzz.sh ]]; then
    bash scripts/fuzz.sh 20 || failed+=("fuzzers")
else
    echo "scripts/fuzz.sh is missing" >&2
    failed+=("fuzzers (script missing)")
fi

step "sanitizers (build-asan)"
bash scripts/sanitize.sh || failed+=("sanitizers")

step "layout (clang-format)"
bash scripts/format-check.sh || failed+=("layout")

step "test weight"
bash scripts/test-ratio.sh

step "tests (build-test)"
if [[ ${#failed[@]} -gt 0 ]]; then
    printf 'FAILED before the test run: %s\n' "${failed[*]}"
fi
ctest --test-dir "$build" --output-on-failure -j "$jobs"
rc=$?
if [[ $rc -ne 0 || ${#failed[@]} -gt 0 ]]; then
    exit 1
fi
exit 0
