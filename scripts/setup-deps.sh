#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Vantrel needs. Idempotent: installs only
# what is missing, and refreshes the package lists only then.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-multimedia-dev
    qt6-translations-l10n
    libjsoncpp-dev libzzip-dev zlib1g-dev
    libavcodec-dev libavutil-dev libavformat-dev libswscale-dev libxcb1-dev libxcb-shm0-dev
    libpugixml-dev libcurl4-openssl-dev libmicrohttpd-dev libonvif-dev libxml2-dev
    libgstrtspserver-1.0-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    xvfb xauth imagemagick sox libsox-fmt-all fonts-wqy-microhei iputils-ping
    clang clang-format libclang-rt-14-dev
    pulseaudio pulseaudio-utils
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]]; then
        missing+=("$p")
    fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "setup-deps: all ${#packages[@]} packages present"
    exit 0
fi

if [[ $(id -u) -eq 0 ]]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
else
    echo "setup-deps: missing packages (${missing[*]}) and neither root nor sudo available" >&2
    exit 1
fi

echo "setup-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
