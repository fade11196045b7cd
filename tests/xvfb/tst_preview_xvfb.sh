#!/usr/bin/env bash
# Screenshot test of the live preview on a real X server (run under xvfb-run): the device library
# draws the emulator's test picture into the preview window, so the screen shows its magenta
# area, and two screenshots 500 ms apart differ where the frame counter and time are.
#
#   tst_preview_xvfb.sh <previewwindow> <output dir>
set -uo pipefail

helper="$1"
out="$2"
mkdir -p "$out"
export QT_QPA_PLATFORM=xcb

coproc PREVIEW { "$helper" 2>"$out/previewwindow.log"; }
fail() {
    echo "FAIL: $*"
    exec {PREVIEW[1]}>&- 2>/dev/null
    wait "$PREVIEW_PID" 2>/dev/null
    cat "$out/previewwindow.log"
    exit 1
}

line=""
read -r -t 60 line <&"${PREVIEW[0]}" || fail "the preview window did not report ready"
[[ "$line" =~ ^ready\ colour=([0-9]+),([0-9]+),([0-9]+),([0-9]+)\ text=([0-9]+),([0-9]+),([0-9]+),([0-9]+)$ ]] ||
    fail "unexpected line: $line"
colour="${BASH_REMATCH[3]}x${BASH_REMATCH[4]}+${BASH_REMATCH[1]}+${BASH_REMATCH[2]}"
text="${BASH_REMATCH[7]}x${BASH_REMATCH[8]}+${BASH_REMATCH[5]}+${BASH_REMATCH[6]}"

import -window root "$out/first.png" || fail "screenshot"
sleep 0.5 # the interval the test is about, not a wait for an event
import -window root "$out/second.png" || fail "screenshot"
exec {PREVIEW[1]}>&-
wait "$PREVIEW_PID" || fail "the preview window did not end cleanly"

# The colour area: magenta (255, 0, 255) after encoding, decoding and scaling.
mean=$(convert "$out/first.png" -crop "$colour" +repage -resize '1x1!' -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:)
read -r r g b <<<"$mean"
echo "colour area $colour: mean $r $g $b"
((r > 200 && g < 60 && b > 200)) || fail "the colour area is not magenta ($mean)"

# The text block changes from one screenshot to the next (frame counter, milliseconds) ...
for shot in first second; do
    convert "$out/$shot.png" -crop "$text" +repage "$out/$shot-text.png"
    convert "$out/$shot.png" -crop "$colour" +repage "$out/$shot-colour.png"
done
changed=$(compare -metric AE "$out/first-text.png" "$out/second-text.png" null: 2>&1)
echo "text block $text: $changed pixels changed"
((${changed%.*} > 20)) || fail "the text block did not change ($changed pixels)"
# ... while the colour area stays as it is.
same=$(compare -metric AE -fuzz 15% "$out/first-colour.png" "$out/second-colour.png" null: 2>&1)
echo "colour area: $same pixels changed"
((${same%.*} == 0)) || fail "the colour area changed ($same pixels)"
echo "PASS"
