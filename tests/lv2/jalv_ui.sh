#!/usr/bin/env bash
# The editor in a real host: jalv.gtk3 on a dummy JACK server under Xvfb.
# The editor opens embedded in jalv's window and looks like "morvane snapshot"
# of the same settings; a knob dragged with xdotool changes the plug-in's
# control (jalv's saved state says so); a preset chosen from jalv's menu (a
# change made by the host) moves the controls to the preset's values. Skips
# (77) when one of the programs is missing. (jalv.gtk3 takes no typed "set";
# tests/lv2/test_lv2_ui.cpp sends single host values.)
#   jalv_ui.sh LV2_PATH MORVANE_PROGRAM OUT_DIR
set -euo pipefail
lv2path="$1"
morvane="$2"
out="$3"
for tool in xvfb-run jalv.gtk3 jackd jack_lsp xdotool import compare convert; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
if [ -z "${MORVANE_IN_XVFB:-}" ]; then
    exec env MORVANE_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$0" "$@"
fi
rm -rf "$out"
mkdir -p "$out"
failures=0
fail() {
    echo "FAIL $*" >&2
    failures=$((failures + 1))
}
export LV2_PATH="$lv2path" JACK_NO_AUDIO_RESERVATION=1 JACK_NO_START_SERVER=1
# One fixed name: JACK frees a dead server's registration only when a server
# of the same name starts, and has room for eight.
export JACK_DEFAULT_SERVER="morvane-jalv-ui"
pids=()
cleanup() { # jalv, then the server, each given time to end cleanly
    local p i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        p="${pids[$i]}"
        kill "$p" 2>/dev/null || continue
        for _ in $(seq 50); do kill -0 "$p" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$p" 2>/dev/null || true
    done
}
trap cleanup EXIT
jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 512 >"$out/jackd.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do jack_lsp >/dev/null 2>&1 && break; sleep 0.1; done
jack_lsp >/dev/null 2>&1 || { cat "$out/jackd.log" >&2; echo "FAIL the dummy JACK server did not start" >&2; exit 1; }

jalv.gtk3 --jack-name morvane-ui urn:morvane:lv2:stereo >"$out/jalv.log" 2>&1 &
pids+=($!)
window="$(timeout 30 xdotool search --sync --onlyvisible --name '^Morvane$' | head -1)"
sleep 2
# The editor fills the window below jalv's menu bar.
eval "$(xdotool getwindowgeometry --shell "$window")"
top=$((HEIGHT - 440))
[ "$WIDTH" -eq 727 ] && [ "$top" -ge 0 ] || fail "jalv's window is ${WIDTH}x$HEIGHT, not the editor's 727 wide"
editor() { # SHOT OUT [W H X Y]: the editor's area of a screenshot, or a part of it
    convert "$1" -crop "${3:-727}x${4:-440}+$((X + ${5:-0}))+$((Y + top + ${6:-0}))" +repage "$2"
}
rmse() {
    local d
    d="$(compare -metric RMSE "$1" "$2" null: 2>&1 || true)"
    sed -n 's/.*(\(.*\)).*/\1/p' <<<"$d"
}
below() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

import -window root "$out/1-opened.png"
editor "$out/1-opened.png" "$out/1-editor.png"
"$morvane" -q snapshot "$out/preset0.png" --preset 0
difference="$(rmse "$out/1-editor.png" "$out/preset0.png")"
echo "embedded editor against the snapshot: RMSE $difference"
below "$difference" 0.1 || fail "the embedded editor does not look like the snapshot (RMSE $difference)"

# Wet/Dry Mix (611,119-661,179 in the editor) dragged up 50 px.
mx=$((X + 636)) my=$((Y + top + 149))
xdotool mousemove "$mx" "$my" mousedown 1 mousemove "$mx" $((my - 10)) mousemove "$mx" $((my - 30)) \
    mousemove "$mx" $((my - 50)) mouseup 1
sleep 0.5
import -window root "$out/2-dragged.png"
# jalv's File > Save (Ctrl+S) writes the ports' values with the state.
xdotool key ctrl+s
sleep 1.5
import -window root "$out/2-save-dialog.png"
xdotool mousemove $((X + 300)) $((Y + 25)) click 1
xdotool type --delay 20 "$out/saved"
sleep 0.5 # (the name field's completion settles first)
xdotool key Return
for attempt in $(seq 60); do
    [ -s "$out/saved/state.ttl" ] && break
    [ "$attempt" -eq 20 ] && xdotool key Return
    sleep 0.1
done
mix="$(grep -A1 'lv2:symbol "Mix"' "$out/saved/state.ttl" 2>/dev/null | sed -n 's/.*pset:value \([0-9.]*\).*/\1/p' || true)"
echo "Mix after the drag, as jalv saved it: ${mix:-nothing}"
[ -n "$mix" ] && awk -v m="$mix" 'BEGIN { exit !(m > 60) }' || fail "the drag did not change the plug-in's Mix control"

# A host-side change: the first preset of jalv's Presets menu, below Save
# Preset and Delete Current Preset. jalv lists the presets in no fixed order:
# the preset is recognised by the two pads' panels (bounds and targets, which
# no pad motion moves) against snapshots of every preset.
xdotool mousemove $((X + 68)) $((Y + 12)) click 1
sleep 0.7
xdotool mousemove $((X + 110)) $((Y + 88)) click 1
sleep 1.5
import -window root "$out/3-preset.png"
panels() { # SHOT OUT [X Y]: the left and right pad panels side by side
    convert "$1" \( +clone -crop "236x101+$((${3:-0} + 9))+$((${4:-0} + 222))" \) \
        \( -clone 0 -crop "236x101+$((${3:-0} + 482))+$((${4:-0} + 222))" \) -delete 0 +append +repage "$2"
}
panels "$out/3-preset.png" "$out/3-panels.png" "$X" $((Y + top))
panels "$out/1-opened.png" "$out/1-panels.png" "$X" $((Y + top))
best=-1 bestDifference=1
for n in $(seq 0 32); do
    "$morvane" -q snapshot "$out/p.png" --preset "$n"
    panels "$out/p.png" "$out/p-panels.png"
    d="$(rmse "$out/3-panels.png" "$out/p-panels.png")"
    if below "$d" "$bestDifference"; then best=$n bestDifference=$d; fi
    [ "$n" -eq 0 ] && cp "$out/p-panels.png" "$out/preset0-panels.png"
done
echo "jalv loaded preset $best (its pads' panels match by RMSE $bestDifference)"
below "$bestDifference" 0.02 || fail "the editor shows no preset's bounds and targets after jalv loaded one"
if [ "$best" -ne 0 ]; then
    was="$(rmse "$out/1-panels.png" "$out/3-panels.png")"
    below 0.02 "$was" || fail "the pads' panels did not change with preset $best (RMSE $was)"
else # the panels stay; the Mix knob dragged to 75 goes back to 50
    editor "$out/3-preset.png" "$out/3-mix.png" 50 60 611 119
    convert "$out/preset0.png" -crop 50x60+611+119 +repage "$out/preset0-mix.png"
    d="$(rmse "$out/3-mix.png" "$out/preset0-mix.png")"
    below "$d" 0.02 || fail "the Mix knob did not go back with preset 0 (RMSE $d)"
fi

[ "$failures" -eq 0 ] || { echo "$failures checks failed; screenshots in $out" >&2; exit 1; }
echo "screenshots in $out"
