#!/usr/bin/env bash
# The fuzz targets briefly: built with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, KORBELT_FUZZ) in a build directory of their own, each run for a
# few seconds from its committed corpus: the structure target once for each walker, with the
# walker fixed, then the repair pass and the checksum files. A crash, a leak, a hang, a
# broken promise or a walker that is not there fails the suite; the input is kept.
#
# FUZZ_BUILD_DIR chooses the build directory (default build-fuzz-ci); FUZZ_SECONDS the time
# of each walker's run (default 10), twice that for the other two targets.
set -euo pipefail

cd "$(dirname "$0")/../.."
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz-ci}
SECONDS_EACH=${FUZZ_SECONDS:-10}
PACKAGES=(cmake ninja-build clang-14 libclang-rt-14-dev libssl-dev zlib1g-dev)
# shellcheck source=tools/packages.sh
source tools/packages.sh

install_missing "${PACKAGES[@]}"

launcher=()
if command -v ccache > /dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang-14 CXX=clang++-14 cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORBELT_FUZZ=ON -DKORBELT_BUILD_TESTS=OFF -DKORBELT_BUILD_BENCH=OFF "${launcher[@]}"
cmake --build "$BUILD_DIR" --target structure_fuzzer repair_pass_fuzzer checksum_files_fuzzer

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One run of a target: new inputs go to a directory of the run's own, the committed corpus
# is only read.
fuzz() {
    local name=$1 target=$2 seconds=$3 corpus=$4
    shift 4
    mkdir -p "$work/$name"
    echo "25-fuzz.sh: $name, $seconds s"
    if ! "$BUILD_DIR/bin/$target" "$work/$name" "$corpus" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/$name-" "$@" \
        > "$work/$name.log" 2>&1; then
        tail -n 40 "$work/$name.log" >&2
        cp "$work/$name"-* . 2>/dev/null || true
        echo "25-fuzz.sh: $name failed; its input is kept in this directory" >&2
        exit 1
    fi
    grep -m1 "^Done" "$work/$name.log" || true
}

for walker in ZIP RIFF MPEG-TS "ISO media" Matroska MPEG-PS 7z "RAR 4" "RAR 5"; do
    KORBELT_FUZZ_WALKER=$walker fuzz "structure-${walker// /-}" structure_fuzzer "$SECONDS_EACH" \
        fuzz/corpus-structure -max_len=65536
done
fuzz repair-pass repair_pass_fuzzer $((2 * SECONDS_EACH)) fuzz/corpus -max_len=4096
fuzz checksum-files checksum_files_fuzzer $((2 * SECONDS_EACH)) fuzz/corpus-checksums \
    -max_len=1048576
echo "25-fuzz.sh: every target ran clean"
