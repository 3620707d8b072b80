#!/usr/bin/env bash
# Builds a fuzz target with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer),
# fuzzes it from its seeds and committed corpus, and merges whatever reaches new code into
# that corpus, minimised.
#
#   fuzz/run.sh [SECONDS]              the repair pass (fuzz/corpus); default 600 seconds
#   fuzz/run.sh SECONDS checksums      the checksum files and catalog (fuzz/corpus-checksums),
#                                      inputs of up to 1 MiB
#   fuzz/run.sh SECONDS structure      the structure walkers and the region planner
#                                      (fuzz/corpus-structure, seeds by make_structure_seeds.sh),
#                                      inputs of up to 64 KiB
# BUILD_DIR chooses the build directory.
set -euo pipefail

cd "$(dirname "$0")/.."
SECONDS_TO_RUN=${1:-600}
TARGET=${2:-repair}
BUILD_DIR=${BUILD_DIR:-build-fuzz}
PACKAGES=(cmake ninja-build clang-14 libclang-rt-14-dev libssl-dev zlib1g-dev ffmpeg zip)

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
cmake --build "$BUILD_DIR" --target repair_pass_fuzzer checksum_files_fuzzer korbelt-fuzz-seeds \
    korbscan structure_fuzzer

if [ "$TARGET" = structure ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir "$work/seeds" "$work/found" "$work/merged"
    fuzz/make_structure_seeds.sh "$work/seeds"
    "$BUILD_DIR/bin/structure_fuzzer" "$work/found" fuzz/corpus-structure "$work/seeds" \
        -max_len=65536 -max_total_time="$SECONDS_TO_RUN" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$work/" 2>&1 | grep -v "^#.*\(NEW\|REDUCE\)" || {
        echo "fuzz/run.sh: the fuzz target failed; the input is kept in this directory" >&2
        cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* . 2>/dev/null
        exit 1
    }
    mkdir -p fuzz/corpus-structure
    "$BUILD_DIR/bin/structure_fuzzer" -merge=1 "$work/merged" fuzz/corpus-structure \
        "$work/found" "$work/seeds" -max_len=65536 2>&1 | tail -n 2
    rm -f fuzz/corpus-structure/*
    cp "$work/merged"/* fuzz/corpus-structure/
    echo "fuzz/corpus-structure: $(ls fuzz/corpus-structure | wc -l) inputs, $(du -sk fuzz/corpus-structure | cut -f1) KiB"
    exit 0
fi

if [ "$TARGET" = checksums ]; then
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    mkdir "$work/found" "$work/merged"
    # Lengths from the start up to 1 MiB: hostile checksum files are large ones.
    "$BUILD_DIR/bin/checksum_files_fuzzer" "$work/found" fuzz/corpus-checksums \
        -max_len=1048576 -len_control=0 -max_total_time="$SECONDS_TO_RUN" -timeout=30 \
        -print_final_stats=1 -artifact_prefix="$work/" 2>&1 | grep -v "^#.*\(NEW\|REDUCE\)" || {
        echo "fuzz/run.sh: the fuzz target failed; the input is kept in this directory" >&2
        cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* . 2>/dev/null
        exit 1
    }
    "$BUILD_DIR/bin/checksum_files_fuzzer" -merge=1 "$work/merged" fuzz/corpus-checksums \
        "$work/found" -max_len=1048576 2>&1 | tail -n 2
    rm -f fuzz/corpus-checksums/*
    cp "$work/merged"/* fuzz/corpus-checksums/
    echo "fuzz/corpus-checksums: $(ls fuzz/corpus-checksums | wc -l) inputs"
    exit 0
fi

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
