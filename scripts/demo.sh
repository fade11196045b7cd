#!/usr/bin/env bash
# Installs what is missing, builds a Release tree in build/, starts an emulated camera fleet on
# loopback and then the program against it. Ctrl-C stops everything.
#
# The fleet: 12 cameras of every model from 127.0.10.10 (the first 3 share that address, as
# cameras fresh from the factory do) and one camera in a foreign subnet that answers the search but
# cannot be reached. Its state (what you write to the cameras) is kept in build/demo-state.
# Upgrade packages for the Upgrade button, one per model and one that fits none, are written once
# into build/demo-packages.
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
# The default target builds everything the demo runs: the program, the emulator, the probe and
# the package maker.
cmake --build "$build" -j "$jobs"

camsim=$build/camsim/vantrel-camsim
probe=$build/bench/vantrel-probe
mkupgrade=$build/tools/mkupgrade/mkupgrade
packages=$build/demo-packages
program=$build/bin/vantrel
[[ -x "$program" ]] || program=""

# One package per model with a version newer than the model's (versions compare byte-wise), and one
# for a hardware no camera has, which every camera refuses. Made only when missing.
make_packages() {
    local name hardware version file
    mkdir -p "$packages"
    while read -r name hardware version; do
        # Named .bin like the firmware files the Browse dialog lists first; the contents are a zip.
        file=$packages/$name.bin
        [[ -s "$file" ]] && continue
        "$mkupgrade" --hardware "$hardware" --version "$version" "$file.part" >/dev/null
        mv "$file.part" "$file"
    done <<'LIST'
IPC-A VTH-1080A V2.70.R01.00000120.10001
IPC-B VTH-3MDOME-B V2.70.R01
IPC-C VTH-4MTUR-C V3.20.R01.0002B000
NVR-8 VTH-NVR8-K3 V4.10.R01.A7000
HVR-4 VTH-HVR4-L V2.50.R01
IPC-X VTH-X720 V2.70.R01
foreign-hardware VTH-OTHER V9.99.R99
LIST
}
make_packages

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
echo "upgrade packages for the Upgrade button: $packages"
if [[ -n "$program" && ( -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ) ]]; then
    echo "== starting $program (close it to stop the fleet)"
    "$program" || true
else
    [[ -n "$program" ]] && echo "(no display: the program is not started)"
    echo "The fleet keeps running. Press Ctrl-C to stop it."
    wait "$fleet_pid" || true
fi
