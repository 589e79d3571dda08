#!/usr/bin/env bash
# Runs fuzz targets for a fixed time each, one after another:
#   tests/fuzz/run.sh BUILD_DIR SECONDS [TARGET ...]     (default: every target)
# Each target starts from tests/fuzz/seeds/<target> and keeps what it learns in
# BUILD_DIR/fuzz-corpus/<target> (or $MORVANE_FUZZ_CORPUS/<target>). A finding is saved as
# BUILD_DIR/fuzz-findings/<target>-crash-... and fails the run. The last lines of
# each target's libFuzzer statistics (executions, coverage) are printed.
# MORVANE_FUZZ_SEED and MORVANE_FUZZ_RUNS fix the random seed and cap the number of
# inputs, so that from a fresh corpus runs repeat but for what the targets' own timing
# varies (CI does this, so a finding there can be reproduced here); SECONDS still
# bounds the time.
set -euo pipefail
build="$(realpath "${1:?usage: $0 BUILD_DIR SECONDS [TARGET ...]}")"
seconds="${2:?usage: $0 BUILD_DIR SECONDS [TARGET ...]}"
shift 2
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_param_text fuzz_cli_parsers fuzz_state_file fuzz_state_dict fuzz_state_blob fuzz_component_calls)
fi

mkdir -p "$build/fuzz-findings"
repeatable=()
[ -n "${MORVANE_FUZZ_SEED:-}" ] && repeatable+=(-seed="$MORVANE_FUZZ_SEED")
[ -n "${MORVANE_FUZZ_RUNS:-}" ] && repeatable+=(-runs="$MORVANE_FUZZ_RUNS")
status=0
for target in "${targets[@]}"; do
    corpus="${MORVANE_FUZZ_CORPUS:-$build/fuzz-corpus}/$target"
    mkdir -p "$corpus"
    log="$build/fuzz-findings/$target.log"
    echo "== $target: $seconds s"
    # Leaks are findings too; a run that hits a check aborts and leaves its input.
    if ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1" \
        "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=20 \
        -rss_limit_mb=4096 -artifact_prefix="$build/fuzz-findings/$target-" \
        ${repeatable[@]+"${repeatable[@]}"} "$corpus" "$here/seeds/$target" >"$log" 2>&1; then
        grep -E "DONE|stat::number_of_executed_units|stat::peak_rss_mb" "$log" || true
    else
        status=1
        echo "!! $target found a fault; its log: $log"
        grep -E "ERROR|SUMMARY|Test unit written|#[0-9]+ 0x.* in " "$log" | head -20 || true
    fi
done
exit $status
