#!/usr/bin/env bash
# Installs what is missing, builds a Release tree in build/, starts an emulated camera fleet on
# loopback and then the program against it. Ctrl-C stops everything.
#
# The fleet: 12 cameras of every model from 127.0.10.10 (the first 3 share that address, as
# cameras fresh from the factory do) and one camera in a foreign subnet that answers the search but
# cannot be reached. Its state (what you write to the cameras) is kept in build/demo-state.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$root/build
state=$build/demo-state
jobs=${VANTREL_JOBS:-2}
discovery_port=34569

# Nothing here may leave the machine: the library refuses every destination outside 127.0.0.0/8,
# and searches go to the loopback broadcast address on the demo's own discovery port.
export VANTREL_LOOPBACK_ONLY=1
export VANTREL_BROADCAST=127.255.255.255
export VANTREL_DISCOVERY_PORT=$discovery_port

bash scripts/setup-deps.sh

echo "== building $build (Release)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTREL_BUILD_TESTS=OFF \
    -DVANTREL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$jobs"

camsim=$build/camsim/vantrel-camsim
probe=$build/bench/vantrel-probe
program=$build/bin/vantrel
[[ -x "$program" ]] || program=""

# The program reads its network settings from the Config.ini the build places beside it
# (resources/Config.ini): loopback only, broadcast 127.255.255.255, discovery port 34569. The fleet
# listens on that port.

mkdir -p "$state"
fleet_pid=""
stop_fleet() {
    trap - INT TERM EXIT
    if [[ -n "$fleet_pid" ]] && kill -0 "$fleet_pid" 2>/dev/null; then
        echo
        echo "== stopping the fleet (pid $fleet_pid)"
        kill -TERM "$fleet_pid" 2>/dev/null || true
        wait "$fleet_pid" 2>/dev/null || true
    fi
}
trap stop_fleet EXIT
trap 'exit 130' INT TERM

echo "== starting the fleet (discovery port $discovery_port, state in $state)"
"$camsim" --count 12 --first-address 127.0.10.10 --same-address 3 --foreign 1 --models all \
    --state-dir "$state" --discovery-port "$discovery_port" --fleet-id 13 \
    >"$state/camsim.out" 2>"$state/camsim.log" &
fleet_pid=$!

# The emulator prints one "ready" line once every camera listens.
for _ in $(seq 1 300); do
    if grep -q '^ready ' "$state/camsim.out" 2>/dev/null || ! kill -0 "$fleet_pid" 2>/dev/null; then
        break
    fi
    sleep 0.1
done
ready=$(grep -m 1 '^ready ' "$state/camsim.out" || true)
if [[ -z "$ready" ]]; then
    echo "the emulator did not become ready; its log ($state/camsim.log):" >&2
    tail -n 20 "$state/camsim.log" >&2 || true
    exit 1
fi
echo "$ready"
echo "camera addresses:"
addresses=${ready##*addresses=}
tr ',' '\n' <<<"${addresses%% *}" | sed 's/^/  /'

echo
echo "== one search through the device library"
"$probe" --discovery-port "$discovery_port" --wait 1500 || echo "(the probe reported a failure: $?)"

echo
if [[ -n "$program" && ( -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ) ]]; then
    echo "== starting $program (close it to stop the fleet)"
    "$program" || true
else
    [[ -n "$program" ]] && echo "(no display: the program is not started)"
    echo "The fleet keeps running. Press Ctrl-C to stop it."
    wait "$fleet_pid" || true
fi
