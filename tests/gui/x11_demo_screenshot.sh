#!/usr/bin/env bash
# The toolkit's X11 back end as a user meets it: the demo window under Xvfb,
# driven with xdotool (a knob drag, a button click, a pop-up menu choice) and
# screenshotted with ImageMagick's import after each step; pixels are checked
# at known points of the window (which Xvfb, with no window manager, puts at
# the screen's top-left corner).
#   x11_demo_screenshot.sh DEMO_PROGRAM OUT_DIR
set -euo pipefail
demo="$1"
out="$2"
if [ -z "${MORVANE_IN_XVFB:-}" ]; then
    exec env MORVANE_IN_XVFB=1 xvfb-run -a -s "-screen 0 800x600x24" "$0" "$@"
fi
mkdir -p "$out"
failures=0

# "r,g,b" of pixel x,y of a picture.
pixel() {
    convert "$1" -format "%[fx:round(255*p{$2,$3}.r)],%[fx:round(255*p{$2,$3}.g)],%[fx:round(255*p{$2,$3}.b)]" info:
}
# expect SHOT X Y R G B [TOLERANCE] WHAT
expect() {
    local shot="$1" x="$2" y="$3" r="$4" g="$5" b="$6" tol="$7" what="$8" got
    got="$(pixel "$shot" "$x" "$y")"
    IFS=, read -r gr gg gb <<<"$got"
    if (( ${gr#-} - r > tol || r - gr > tol || gg - g > tol || g - gg > tol || gb - b > tol || b - gb > tol )); then
        echo "FAIL $(basename "$shot") ($x,$y) $what: got $got, expected $r,$g,$b" >&2
        failures=$((failures + 1))
    else
        echo "ok   $(basename "$shot") ($x,$y) $what: $got"
    fi
}
shot() {
    sleep 0.4
    import -window root "$out/$1.png"
}
start_demo() { # NAME ARGS...
    local name="$1"
    shift
    "$demo" --seconds 30 "$@" &
    demo_pid=$!
    timeout 10 xdotool search --sync --name "^$name\$" >/dev/null
}
stop_demo() {
    kill "$demo_pid" 2>/dev/null || true
    wait "$demo_pid" 2>/dev/null || true
}
trap stop_demo EXIT

start_demo "Morvane toolkit demo"
shot 1-opened
expect "$out/1-opened.png" 26 71 0 255 255 60 "knob arc lit up to 0.5"
expect "$out/1-opened.png" 66 61 77 84 97 30 "knob track unlit past 0.5"
expect "$out/1-opened.png" 118 68 38 43 51 6 "button face off"

# Drag the knob up 40 px (to 0.7), click the button on.
xdotool mousemove 50 80 mousedown 1 mousemove 50 60 mousemove 50 40 mouseup 1
xdotool mousemove 130 80 click 1
shot 2-changed
expect "$out/2-changed.png" 66 61 0 255 255 60 "knob arc lit up to 0.7"
expect "$out/2-changed.png" 118 68 51 61 69 6 "button face on"

# Open the target menu: the list pops up with the current entry under the mouse, highlighted.
xdotool mousemove 295 78 click 1
shot 3-menu
expect "$out/3-menu.png" 300 75 0 150 160 6 "current entry under the mouse, highlighted"
expect "$out/3-menu.png" 300 114 28 31 38 6 "the list's panel"

# Choose the third entry: the list closes and the menu's well shows again.
xdotool mousemove 330 114 click 1
shot 4-chosen
expect "$out/4-chosen.png" 300 75 12 14 17 6 "menu well after the list closed"
stop_demo

# The same window at scale 2, with the pictures drawn for it.
start_demo "Morvane toolkit demo" --scale 2
shot 5-scale2
expect "$out/5-scale2.png" 53 142 0 255 255 60 "knob arc at scale 2"
expect "$out/5-scale2.png" 236 136 38 43 51 6 "button face off at scale 2"
stop_demo

# Embedded in a host's window, 20 px in: drawn there and clicked there.
start_demo "Morvane toolkit demo host" --embed
shot 6-embedded
expect "$out/6-embedded.png" 10 10 80 88 96 6 "the host's window around the editor"
expect "$out/6-embedded.png" 138 88 38 43 51 6 "button face off, moved by 20, 20"
xdotool mousemove 150 100 click 1
shot 7-embedded-clicked
expect "$out/7-embedded-clicked.png" 138 88 51 61 69 6 "button face on after a click in the embedded window"
stop_demo

[ "$failures" -eq 0 ] || { echo "$failures pixel checks failed; screenshots in $out" >&2; exit 1; }
echo "screenshots in $out"
