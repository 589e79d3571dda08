#!/usr/bin/env bash
# Morvane's cost per sample frame beside Debian's LV2 delays, measured side by
# side in one run:
#   bench/compare-peers.sh [BUILD_DIR] [ROUNDS]
# BUILD_DIR is a Release build (default build/release; built here when its LV2
# bundle is missing), ROUNDS the number of alternating rounds (default 5).
#
# 1. lv2bench: every peer and both Morvane plug-ins at their default control
#    values, 48 kHz, 512-frame blocks, one after the other in each round. The
#    figure is the process's CPU time (user + system) for a long run minus a
#    1-second run, per frame: the plug-in's own work, without the host's
#    start-up and without the other programs this shared machine runs
#    (lv2bench's own figure is wall-clock time; its best round is shown too).
# 2. lv2file: 60 seconds of 48 kHz pink noise, stereo for the stereo plug-ins
#    and mono for the mono ones, through every peer, Morvane's factory preset 0
#    and a trivial plug-in (lv2-examples' amp) for the host's own cost, which is
#    subtracted. For the stereo file lv2file runs one amp per channel.
# On a shared machine other work only ever adds time, so each figure is the
# smallest of the rounds (the medians are printed beside them). Ratios are
# against Calf Vintage Delay.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath -m "${1:-$here/build/release}")"
rounds="${2:-5}"
rate=48000
block=512
long_frames=$((rate * 200))
short_frames=$rate

install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "== installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
install_packages calf-plugins lsp-plugins-lv2 mda-lv2 swh-lv2 lv2-examples lv2file lilv-utils sox

if [ ! -f "$build/lv2/morvane.lv2/manifest.ttl" ]; then
    echo "== building Morvane (Release) in $build"
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMORVANE_TESTS=OFF -DMORVANE_BENCH=OFF >/dev/null
    cmake --build "$build" -j "$(nproc)" --target morvane_lv2_bundle >/dev/null
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Name, channels and the pattern lv2ls finds its URI by.
plugins=(
    "Calf Vintage Delay|2|calf.sourceforge.net/plugins/VintageDelay$"
    "LSP Artistic Delay|2|lsp-plug.in/plugins/lv2/art_delay_stereo$"
    "LSP Slap-back Delay|2|lsp-plug.in/plugins/lv2/slap_delay_stereo$"
    "SWH fadDelay|1|swh-plugins/fadDelay$"
    "mda DubDelay|2|mda/DubDelay$"
    "Morvane stereo|2|^urn:morvane:lv2:stereo$"
    "Morvane mono|1|^urn:morvane:lv2:mono$"
)
trivial="lv2plug.in/plugins/eg-amp$"

# Only the bundles measured are on the path, so every start-up reads the same
# little Turtle.
export LV2_PATH="/usr/lib/lv2:/usr/local/lib/lv2:$build/lv2"
uri_of() { lv2ls | grep -E "$1" | head -n 1; }
mkdir -p "$work/lv2"
declare -A uri channels
for entry in "${plugins[@]}" "amp|1|$trivial"; do
    IFS='|' read -r name ch pattern <<<"$entry"
    u="$(uri_of "$pattern")"
    [ -n "$u" ] || { echo "no LV2 plug-in matches $pattern" >&2; exit 1; }
    uri[$name]="$u"
    channels[$name]="$ch"
    bundle="$(lv2info "$u" | sed -n 's|^[[:space:]]*Bundle:[[:space:]]*file://||p' | head -n 1)"
    ln -sfn "${bundle%/}" "$work/lv2/$(basename "${bundle%/}")"
done
export LV2_PATH="$work/lv2"

# CPU seconds (user + system) the command takes; "fail" when it fails.
cpu_seconds() {
    local t
    t=$({ TIMEFORMAT='%3U %3S'; time { "$@" >/dev/null 2>&1 || echo fail; }; } 2>&1 | tail -n 2 | tr '\n' ' ')
    case "$t" in *fail*) echo fail ;; *) awk -v t="$t" 'BEGIN {split(t, p, " "); printf "%.4f", p[1] + p[2]}' ;; esac
}
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
minimum() { sort -g | head -n 1; }

echo "== test files: 60 s of pink noise at $rate Hz"
sox -n -r "$rate" -c 2 -b 16 "$work/stereo.wav" synth 60 pinknoise vol 0.3
sox -n -r "$rate" -c 1 -b 16 "$work/mono.wav" synth 60 pinknoise vol 0.3
file_frames=$((rate * 60))

echo "== $rounds rounds (load average: $(cut -d ' ' -f 1-3 /proc/loadavg))"
declare -A bench_net bench_wall file_cpu
for ((r = 1; r <= rounds; r++)); do
    for entry in "${plugins[@]}"; do
        name="${entry%%|*}"
        u="${uri[$name]}"
        long=$(cpu_seconds lv2bench -n "$long_frames" -b "$block" "$u")
        short=$(cpu_seconds lv2bench -n "$short_frames" -b "$block" "$u")
        bench_net[$name]+="$(awk -v l="$long" -v s="$short" -v n=$((long_frames - short_frames)) \
            'BEGIN {printf "%.3f", (l - s) / n * 1e9}') "
        wall=$(lv2bench -n "$long_frames" -b "$block" "$u" 2>/dev/null | awk '{print $1}')
        bench_wall[$name]+="$(awk -v w="$wall" -v n="$long_frames" 'BEGIN {printf "%.3f", w / n * 1e9}') "
    done
    for entry in "amp|2|" "${plugins[@]}" "amp|1|"; do
        IFS='|' read -r name ch _ <<<"$entry"
        input="$work/stereo.wav"
        [ "$ch" = 1 ] && input="$work/mono.wav"
        preset=()
        case "$name" in Morvane*) preset=(-P "Welcome To Morvane") ;; esac
        key="$name"
        [ "$name" = amp ] && key="amp$ch"
        file_cpu[$key]+="$(cpu_seconds lv2file --ignore-clipping "${preset[@]}" -i "$input" -o "$work/out.wav" \
            "${uri[$name]}") "
    done
    echo "   round $r done"
done

stat_of() { tr ' ' '\n' <<<"$1" | grep -v '^$' | "$2"; }
declare -A bench_ns bench_median file_ns
for entry in "${plugins[@]}"; do
    name="${entry%%|*}"
    bench_ns[$name]=$(stat_of "${bench_net[$name]}" minimum)
    bench_median[$name]=$(stat_of "${bench_net[$name]}" median)
    host="amp${channels[$name]}"
    if [[ "${file_cpu[$name]}" == *fail* ]]; then
        file_ns[$name]="failed" # lv2file cannot run it
    else
        file_ns[$name]=$(awk -v t="$(stat_of "${file_cpu[$name]}" minimum)" \
            -v h="$(stat_of "${file_cpu[$host]}" minimum)" -v n="$file_frames" 'BEGIN {printf "%.2f", (t - h) / n * 1e9}')
    fi
done
ref="Calf Vintage Delay"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (a + 0 == a && b + 0 == b && b != 0) printf "%.2f", a / b; else print "-"}'; }

echo
printf '%-22s %3s | %10s %6s %8s %10s | %10s %6s\n' "" "" "lv2bench" "" "" "own clock" "lv2file" ""
printf '%-22s %3s | %10s %6s %8s %10s | %10s %6s\n' "plug-in" "ch" "ns/frame" "ratio" "median" "best" \
    "ns/frame" "ratio"
for entry in "${plugins[@]}"; do
    name="${entry%%|*}"
    printf '%-22s %3s | %10.2f %6s %8.2f %10.2f | %10s %6s\n' "$name" "${channels[$name]}" "${bench_ns[$name]}" \
        "$(ratio "${bench_ns[$name]}" "${bench_ns[$ref]}")" "${bench_median[$name]}" \
        "$(stat_of "${bench_wall[$name]}" minimum)" "${file_ns[$name]}" "$(ratio "${file_ns[$name]}" "${file_ns[$ref]}")"
done
printf 'host cost (amp), lv2file: stereo file %.2f, mono file %.2f ns/frame\n' \
    "$(awk -v t="$(stat_of "${file_cpu[amp2]}" minimum)" -v n="$file_frames" 'BEGIN {print t / n * 1e9}')" \
    "$(awk -v t="$(stat_of "${file_cpu[amp1]}" minimum)" -v n="$file_frames" 'BEGIN {print t / n * 1e9}')"

echo
verdict() { awk -v v="$1" -v g="$2" 'BEGIN {print (v <= g) ? "met" : "NOT met"}'; }
s=$(ratio "${bench_ns[Morvane stereo]}" "${bench_ns[$ref]}")
echo "Morvane stereo / Calf, lv2bench:        $s (goal <= 0.75: $(verdict "$s" 0.75))"
f=$(ratio "${file_ns[Morvane stereo]}" "${file_ns[$ref]}")
echo "Morvane preset 0 / Calf, lv2file:       $f (goal <= 0.75: $(verdict "$f" 0.75))"
m=$(ratio "${bench_ns[Morvane mono]}" "${bench_ns[Morvane stereo]}")
echo "Morvane mono / stereo, lv2bench:        $m (goal <= 0.6: $(verdict "$m" 0.6))"
