#!/usr/bin/env bash
# "morvane gui" as a user meets it, under Xvfb on the silent clock: the
# window opens the size of the editor and looks like "morvane snapshot" of
# the same preset; a knob dragged with the mouse changes the effect, Ctrl+S
# saves that into the session file, Page Down selects the next preset (the
# title says which), and Ctrl+Q closes the window; the pads drift on the
# silent clock; the saved session opens again with --state. Skips (77) without Xvfb,
# xdotool or ImageMagick.
#   standalone_window.sh MORVANE_PROGRAM OUT_DIR
set -euo pipefail
morvane="$1"
out="$2"
for tool in xvfb-run xdotool import compare convert; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
if [ -z "${MORVANE_IN_XVFB:-}" ]; then
    exec env MORVANE_IN_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
rm -rf "$out"
mkdir -p "$out"
session="$out/session.aupreset"
failures=0
fail() {
    echo "FAIL $*" >&2
    failures=$((failures + 1))
}

# (Under LeakSanitizer: Cairo's shared-memory uploads to an X11 window leave a
# few bytes behind when the window's connection closes.)
printf 'leak:libcairo.so\n' >"$out/lsan.supp"
LSAN_OPTIONS="suppressions=$out/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
    "$morvane" gui --no-jack --preset 0 --state "$session" >"$out/gui.log" 2>&1 &
gui=$!
trap 'kill "$gui" 2>/dev/null || true' EXIT
window="$(timeout 20 xdotool search --sync --name '^Morvane - ' | head -1)"
sleep 1
import -window "$window" "$out/window.png"
size="$(identify -format '%wx%h' "$out/window.png")"
[ "$size" = "727x440" ] || fail "window size $size, expected the editor's 727x440"

# The same picture as the snapshot, but for what moves (the pads drift and
# drive their targets): a small root-mean-square difference.
"$morvane" -q snapshot "$out/snapshot.png" --preset 0
# (compare answers 1 when the pictures differ at all.)
difference="$(compare -metric RMSE "$out/window.png" "$out/snapshot.png" null: 2>&1 || true)"
difference="$(sed -n 's/.*(\(.*\)).*/\1/p' <<<"$difference")"
awk -v d="$difference" 'BEGIN { exit !(d < 0.08) }' || fail "window differs from the snapshot by $difference"
echo "window against snapshot: RMSE $difference"

# The silent clock renders: preset 0's pads drift across the pad (254,50 to
# 474,270) between two pictures half a second apart.
sleep 0.5
import -window "$window" "$out/window-later.png"
for f in window window-later; do convert "$out/$f.png" -crop 220x220+254+50 +repage "$out/$f-pad.png"; done
moved="$(compare -metric AE "$out/window-pad.png" "$out/window-later-pad.png" null: 2>&1 || true)"
moved="${moved%% *}"
[ "${moved:-0}" -gt 50 ] 2>/dev/null || fail "the pads did not move on the silent clock ($moved pixels changed)"
echo "pixels of the pad changed in half a second: $moved"

# Wet/Dry Mix (the knob at 611,119-661,179) dragged up 40 px, then saved.
xdotool mousemove 636 149 mousedown 1 mousemove 636 134 mousemove 636 119 mousemove 636 109 mouseup 1
sleep 0.3
xdotool mousemove 360 20 key ctrl+s
for _ in $(seq 30); do [ -s "$session" ] && break; sleep 0.1; done
[ -s "$session" ] || fail "Ctrl+S wrote no session file"
mix="$("$morvane" state show "$session" | awk '$2 == "Wet/Dry" { print $4 }')"
awk -v m="$mix" 'BEGIN { exit !(m > 60) }' || fail "Wet/Dry Mix in the saved session is $mix, expected above 60"
echo "saved Wet/Dry Mix: $mix"

xdotool key Next
sleep 0.5
title="$(xdotool getwindowname "$window")"
case "$title" in
"Morvane - Freeky Deeky - session.aupreset - 120 BPM") echo "title after Page Down: $title" ;;
*) fail "title after Page Down: $title" ;;
esac
grep -q '^Preset 1 ' "$out/gui.log" || fail "Page Down did not select preset 1"
import -window "$window" "$out/preset1.png"

xdotool key ctrl+q
for _ in $(seq 50); do kill -0 "$gui" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$gui" 2>/dev/null; then
    fail "Ctrl+Q did not close the window"
else
    wait "$gui" || fail "morvane gui exited with $?"
fi
trap - EXIT
cat "$out/gui.log"

# The saved session opens again: the window shows its settings, as the
# snapshot of the same state file draws them.
LSAN_OPTIONS="suppressions=$out/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
    "$morvane" gui --no-jack --state "$session" >"$out/gui-reopened.log" 2>&1 &
gui=$!
trap 'kill "$gui" 2>/dev/null || true' EXIT
window="$(timeout 20 xdotool search --sync --name '^Morvane - ' | head -1)"
sleep 1
import -window "$window" "$out/reopened.png"
"$morvane" -q snapshot "$out/session.png" --state "$session"
mixKnob() { convert "$1" -crop 50x60+611+119 +repage "$2"; }
mixKnob "$out/reopened.png" "$out/reopened-mix.png"
mixKnob "$out/session.png" "$out/session-mix.png"
mixKnob "$out/snapshot.png" "$out/preset0-mix.png"
d="$(compare -metric RMSE "$out/reopened-mix.png" "$out/session-mix.png" null: 2>&1 || true)"
d="$(sed -n 's/.*(\(.*\)).*/\1/p' <<<"$d")"
was="$(compare -metric RMSE "$out/reopened-mix.png" "$out/preset0-mix.png" null: 2>&1 || true)"
was="$(sed -n 's/.*(\(.*\)).*/\1/p' <<<"$was")"
awk -v d="$d" -v w="$was" 'BEGIN { exit !(d < 0.02 && w > d) }' ||
    fail "the reopened session's Mix knob does not show the saved value (RMSE $d to it, $was to preset 0's)"
echo "reopened session's Mix knob against its snapshot: RMSE $d (against preset 0's: $was)"
grep -q "^Opened $session" "$out/gui-reopened.log" || fail "the session file was not opened"
kill -INT "$gui"
wait "$gui" || fail "morvane gui exited with $? on an interrupt"
trap - EXIT
[ "$failures" -eq 0 ] || { echo "$failures checks failed; pictures in $out" >&2; exit 1; }
echo "pictures in $out"
