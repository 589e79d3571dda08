#!/usr/bin/env bash
# Morvane's one-stop script for a fresh Debian 12 machine.
#   ./morvane.sh demo [OUTDIR]   install what is missing, build Release, run the main job
#   ./morvane.sh test            install what is missing, build, run every test
#                                (format check, Release, the AVX2 render under valgrind,
#                                clang, AddressSanitizer+UBSan,
#                                ThreadSanitizer on threaded tests, a short run of each
#                                fuzz target)
#   ./morvane.sh build           install and build Release only
#   ./morvane.sh install-lv2 [DIR]  build Release and install the LV2 bundle morvane.lv2
#                                into DIR (default ~/.lv2)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"
jobs="$(nproc 2>/dev/null || echo 2)"

build_packages=(cmake g++ make pkg-config googletest libgtest-dev libbenchmark-dev libsndfile1-dev
                libplist-dev libcairo2-dev libx11-dev fonts-dejavu-core fonts-dejavu-extra lv2-dev lilv-utils
                libcli11-dev nlohmann-json3-dev libjack-jackd2-dev libfftw3-dev help2man libebur128-dev)
test_packages=(sox clang clang-format xvfb xauth xdotool imagemagick liblilv-dev serdi sordi lv2file jalv jackd2
               man-db libclang-rt-14-dev valgrind)

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

configure_and_build() { # dir, cmake args...
    local dir="$1"; shift
    cmake -S . -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
}

# Every C++ file of ours must match .clang-format exactly.
check_format() {
    local files
    if git rev-parse --git-dir >/dev/null 2>&1; then
        files=$(git ls-files '*.cpp' '*.h')
    else
        files=$(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
    fi
    echo "$files" | xargs clang-format --dry-run -Werror
}

cmd="${1:-}"
case "$cmd" in
  demo)
    install_packages "${build_packages[@]}"
    configure_and_build build/release -DCMAKE_BUILD_TYPE=Release -DMORVANE_TESTS=OFF -DMORVANE_BENCH=OFF
    if [ -x build/release/host/cli/morvane ]; then
        build/release/host/cli/morvane demo "${2:-demo-out}"
    else
        build/release/params/morvane-params
    fi
    ;;
  test)
    install_packages "${build_packages[@]}" "${test_packages[@]}"
    echo "== formatting (clang-format)"
    check_format
    echo "== Release build (the one 'build' and 'demo' make), tests and benchmarks"
    configure_and_build build/release -DCMAKE_BUILD_TYPE=Release -DMORVANE_TESTS=ON -DMORVANE_BENCH=ON
    ctest --test-dir build/release --output-on-failure -j "$jobs"
    # The render loops come in baseline, AVX2 and AVX-512 versions: the tests above run
    # the best this processor has, the sanitizer builds the baseline, and valgrind's
    # model processor (AVX2, no AVX-512) the AVX2 one.
    echo "== every factory preset bit for bit through the AVX2 version of the render loops"
    valgrind --tool=none -q build/release/tests/engine/engine_test_presets_bitexact --gtest_brief=1
    echo "== clang build"
    CC=clang CXX=clang++ configure_and_build build/clang -DCMAKE_BUILD_TYPE=Debug -DMORVANE_BENCH=OFF
    ctest --test-dir build/clang --output-on-failure -j "$jobs"
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
    configure_and_build build/asan -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=address -DMORVANE_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        ctest --test-dir build/asan --output-on-failure -j "$jobs" -LE nosan
    echo "== ThreadSanitizer build (threaded tests)"
    configure_and_build build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_SANITIZE=thread -DMORVANE_BENCH=OFF
    TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L threaded
    echo "== fuzz targets (clang, libFuzzer, AddressSanitizer + UBSan): 4000 inputs each, seed 1"
    CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_FUZZ=ON \
        -DMORVANE_SANITIZE=address -DMORVANE_TESTS=OFF -DMORVANE_BENCH=OFF >/dev/null
    cmake --build build/fuzz -j "$jobs" --target morvane_fuzzers
    # A fresh corpus, a fixed seed and a fixed number of inputs each time, so every run
    # takes the same path but for what the targets' own timing varies, and a finding can
    # be reproduced with the same settings; 30 s bounds each target.
    rm -rf build/fuzz/ci-corpus
    MORVANE_FUZZ_CORPUS=build/fuzz/ci-corpus MORVANE_FUZZ_SEED=1 MORVANE_FUZZ_RUNS=4000 \
        tests/fuzz/run.sh build/fuzz 30
    ;;
  build)
    install_packages "${build_packages[@]}"
    configure_and_build build/release -DCMAKE_BUILD_TYPE=Release -DMORVANE_TESTS=ON -DMORVANE_BENCH=ON
    ;;
  install-lv2)
    install_packages "${build_packages[@]}"
    configure_and_build build/release -DCMAKE_BUILD_TYPE=Release -DMORVANE_TESTS=OFF -DMORVANE_BENCH=OFF
    dest="${2:-$HOME/.lv2}"
    mkdir -p "$dest"
    # Copied beside the old bundle, then swapped in: a host that has the old
    # one loaded keeps its files.
    rm -rf "$dest/.morvane.lv2.new"
    cp -r build/release/lv2/morvane.lv2 "$dest/.morvane.lv2.new"
    rm -rf "$dest/morvane.lv2"
    mv "$dest/.morvane.lv2.new" "$dest/morvane.lv2"
    echo "== installed $dest/morvane.lv2: Morvane (urn:morvane:lv2:stereo) and Morvane (mono) (urn:morvane:lv2:mono)"
    ;;
  *)
    echo "usage: $0 demo [OUTDIR] | test | build | install-lv2 [DIR]" >&2
    exit 2
    ;;
esac
