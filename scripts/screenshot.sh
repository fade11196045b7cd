#!/usr/bin/env bash
# Takes docs/screenshot.png: builds the Release tree (build/, or $VANTREL_BUILD_DIR), starts an
# emulated fleet on loopback on the discovery port named by the Config.ini beside the program,
# lets vantrel-screenshot construct the real main window offscreen, press Search and save the
# window once the table is filled, then stops the fleet.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=${VANTREL_BUILD_DIR:-$root/build}
jobs=${VANTREL_JOBS:-2}
out=${1:-$root/docs/screenshot.png}

# Nothing here may leave the machine.
export VANTREL_LOOPBACK_ONLY=1

bash scripts/setup-deps.sh

echo "== building $build (Release)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTREL_BUILD_TESTS=OFF \
    -DVANTREL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "$jobs" --target vantrel vantrel-camsim vantrel-screenshot vantrel_lrelease

camsim=$build/camsim/vantrel-camsim
driver=$build/bin/vantrel-screenshot
ini=$build/bin/Config.ini

discovery_port=$(sed -n 's/^DiscoveryPort=\([0-9]\+\).*/\1/p' "$ini" | tail -n 1)
if [[ -z "$discovery_port" ]] || ! grep -q '^LoopbackOnly=1' "$ini" || ! grep -q '^Broadcast=127.255.255.255' "$ini"; then
    echo "$ini must name a DiscoveryPort, LoopbackOnly=1 and Broadcast=127.255.255.255" >&2
    exit 1
fi

work=$(mktemp -d)
fleet_pid=""
stop_fleet() {
    trap - INT TERM EXIT
    if [[ -n "$fleet_pid" ]] && kill -0 "$fleet_pid" 2>/dev/null; then
        echo "== stopping the fleet (pid $fleet_pid)"
        kill -TERM "$fleet_pid" 2>/dev/null || true
        wait "$fleet_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap stop_fleet EXIT
trap 'exit 130' INT TERM

# The demo's kind of site: cameras of every model, the first three sharing the factory address,
# one in a foreign subnet. State in memory only, so every picture shows the same fleet.
echo "== starting the fleet (discovery port $discovery_port)"
"$camsim" --count 12 --first-address 127.0.12.10 --same-address 3 --foreign 1 --models all \
    --discovery-port "$discovery_port" --fleet-id 14 --control-port 0 \
    >"$work/camsim.out" 2>"$work/camsim.log" &
fleet_pid=$!
for _ in $(seq 1 300); do
    if grep -q '^ready ' "$work/camsim.out" 2>/dev/null || ! kill -0 "$fleet_pid" 2>/dev/null; then
        break
    fi
    sleep 0.1
done
if ! grep -q '^ready ' "$work/camsim.out"; then
    echo "the emulator did not become ready; its log:" >&2
    tail -n 20 "$work/camsim.log" >&2 || true
    exit 1
fi

# Of the 13 cameras, the kinds the table lists (every model but one) give at least 10 rows.
echo "== pressing Search and saving $out"
QT_QPA_PLATFORM=offscreen "$driver" --out "$out" --rows 10 --wait 1500
