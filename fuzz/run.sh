#!/usr/bin/env bash
# Builds the repair-pass fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer), fuzzes it from the hand-made seeds and the committed corpus,
# and merges whatever reaches new code into fuzz/corpus, minimised.
#
#   fuzz/run.sh [SECONDS]    default 600; BUILD_DIR chooses the build directory
set -euo pipefail

cd "$(dirname "$0")/.."
SECONDS_TO_RUN=${1:-600}
BUILD_DIR=${BUILD_DIR:-build-fuzz}
PACKAGES=(cmake ninja-build clang-14 libclang-rt-14-dev libssl-dev zlib1g-dev)

missing=()
for package in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
    as_root apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

CC=clang-14 CXX=clang++-14 cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORBELT_FUZZ=ON -DKORBELT_BUILD_TESTS=OFF
cmake --build "$BUILD_DIR" --target repair_pass_fuzzer korbelt-fuzz-seeds korbscan

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/seeds" "$work/found" "$work/merged"
"$BUILD_DIR/bin/korbelt-fuzz-seeds" "$work/seeds"

# Short inputs reach every record boundary all the same: the case header puts a lead-in of
# up to 24,575 bytes before the data and repeats the data up to four times.
"$BUILD_DIR/bin/repair_pass_fuzzer" "$work/found" fuzz/corpus "$work/seeds" \
    -max_len=4096 -max_total_time="$SECONDS_TO_RUN" -print_final_stats=1 \
    -artifact_prefix="$work/" 2>&1 | grep -v "^#.*\(NEW\|REDUCE\)" || {
    echo "fuzz/run.sh: the fuzz target failed; the input is kept as:" >&2
    for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-*; do
        [ -e "$crash" ] && cp "$crash" . && echo "  $(basename "$crash")" >&2
    done
    exit 1
}

"$BUILD_DIR/bin/repair_pass_fuzzer" -merge=1 "$work/merged" fuzz/corpus "$work/found" "$work/seeds" \
    -max_len=4096 2>&1 | tail -n 2
mkdir -p fuzz/corpus
rm -f fuzz/corpus/*
cp "$work/merged"/* fuzz/corpus/
echo "fuzz/corpus: $(ls fuzz/corpus | wc -l) inputs, $(du -sk fuzz/corpus | cut -f1) KiB"
