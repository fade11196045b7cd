#!/usr/bin/env bash
# Synthesises the volume test's sound, Sound/sound.wav: a chime of three notes and half a second
# of silence, 8 kHz mono G.711 A-law in a WAV file, as a camera's speaker plays it. The same
# input always gives the same bytes.
#
#   scripts/make-sound.sh <output.wav>
set -euo pipefail

out="${1:?usage: $0 <output.wav>}"
command -v sox >/dev/null || { echo "make-sound: SoX is missing (scripts/setup-deps.sh)" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

notes=()
for hz in 660 880 990; do
    sox -V1 -R -D -n -r 8000 -c 1 -b 16 "$work/$hz.wav" synth 0.4 sine "$hz" fade q 0.02 0.4 0.02 gain -6
    notes+=("$work/$hz.wav")
done
sox -V1 -R -D -n -r 8000 -c 1 -b 16 "$work/rest.wav" trim 0 0.5
sox -V1 -R -D "${notes[@]}" "$work/rest.wav" -e a-law -b 8 "$work/sound.wav"
mv "$work/sound.wav" "$out"
