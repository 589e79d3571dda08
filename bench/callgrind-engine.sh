#!/usr/bin/env bash
# Instructions per sample frame of every whole-chain benchmark case, counted by
# callgrind inside BenchInstance::render only (set-up and parameter changes
# between blocks are not counted). The counts repeat exactly from run to run,
# however busy the machine, so they judge a change where timings cannot.
#   bench/callgrind-engine.sh [BUILD_DIR] [BLOCKS] [FILTER]
# BUILD_DIR is a Release build with the benchmarks (default build/release);
# BLOCKS the number of 512-frame blocks per case (default 400, 4.3 s at 48 kHz);
# FILTER an extended regular expression choosing cases (default all).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build/release}"
blocks="${2:-400}"
filter="${3:-.}"
bench="$build/bench/bench_engine"
[ -x "$bench" ] || { echo "no $bench: build the bench_engine target first" >&2; exit 1; }
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
frames=$((blocks * 512))

declare -A count
cases=$("$bench" --benchmark_list_tests | grep -E "$filter")
printf '%-28s %14s\n' "case" "instr/frame"
for c in $cases; do
    out="$work/cg.out"
    MORVANE_BENCH_BLOCKS="$blocks" valgrind --tool=callgrind --callgrind-out-file="$out" \
        --collect-atstart=no --toggle-collect='*BenchInstance::render()' \
        "$bench" --benchmark_filter="^${c}(/iterations:[0-9]+)?\$" >/dev/null 2>&1
    total=$(awk '/^totals:/ {print $2}' "$out")
    count[$c]=$(awk -v t="$total" -v f="$frames" 'BEGIN {printf "%.1f", t / f}')
    printf '%-28s %14s\n' "$c" "${count[$c]}"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
a="${count[BM_WelcomeDrifting]:-}"
if [ -n "$a" ]; then
    [ -n "${count[BM_WorstCase/channels:2]:-}" ] &&
        echo "worst case / preset 0:   $(ratio "${count[BM_WorstCase/channels:2]}" "$a") (goal <= 2)"
    [ -n "${count[BM_WelcomeMono]:-}" ] &&
        echo "mono / stereo (preset 0): $(ratio "${count[BM_WelcomeMono]}" "$a") (goal <= 0.6)"
fi
