#!/usr/bin/env bash
# Korbelt's performance benchmarks. Not part of the test suite: run by hand, on a machine
# that is otherwise as quiet as it can be made.
#
#   bench/run.sh        all of them
#   bench/run.sh 11     only (11), the folder of small files, or (12), the slices made
#   bench/run.sh 12     against the planner, which need none of the large inputs: the row is
#                       printed, bench/results.md is left as it is
#
# Builds a Release build (BUILD_DIR, default build-bench), generates its inputs, measures,
# prints one table and writes it with a description of the machine to bench/results.md.
# Every comparison runs its two sides in turns, A B A B, RUNS times each (default 5) after
# one warm-up pair, and reports both medians and the median of the pairwise ratios, so
# that a busy spell on the machine hits both sides alike. Each repair gets a fresh copy of
# its input, made outside the timed part. All generated files are deleted at the end.
#
# Needs about 5 GiB free in SHM_DIR (default /dev/shm) and 7 GiB on the ordinary disk
# (DISK_DIR, default BUILD_DIR/bench-work).
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_DIR=${BUILD_DIR:-build-bench}
RUNS=${RUNS:-5}
SIZE_MIB=${SIZE_MIB:-1024}  # of the main input; smaller only to try the script out
SHM_DIR=${SHM_DIR:-/dev/shm}
DISK_DIR=${DISK_DIR:-$ROOT/$BUILD_DIR/bench-work}
BIN=$ROOT/$BUILD_DIR/bin
RESULTS=$ROOT/bench/results.md
ONLY=${1:-}
if [ -n "$ONLY" ] && [ "$ONLY" != 11 ] && [ "$ONLY" != 12 ]; then
    echo "usage: bench/run.sh [11|12]" >&2
    exit 2
fi
# shellcheck source=tools/packages.sh
source tools/packages.sh

build() {
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORBELT_BUILD_TESTS=OFF >/dev/null
    cmake --build "$BUILD_DIR" --target korbelt-cli korbscan korbelt-bench-input korbelt-bench-window \
        korbelt-bench-verdict
}

free_gib() {
    df -P -k "$1" | awk 'NR == 2 { printf "%d", $4 / 1048576 }'
}

# --- timing -----------------------------------------------------------------------------

# Runs a command with its output thrown away and prints the seconds it took.
seconds() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    local end=$EPOCHREALTIME
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", e - s }'
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# pair NAME PREPARE_A RUN_A PREPARE_B RUN_B: the two sides in turns, a warm-up pair first.
# Leaves the times in A_TIMES and B_TIMES, one per line.
pair() {
    local name=$1 prepare_a=$2 run_a=$3 prepare_b=$4 run_b=$5
    A_TIMES=""
    B_TIMES=""
    for i in $(seq 0 "$RUNS"); do
        $prepare_a
        local a
        a=$(seconds $run_a)
        $prepare_b
        local b
        b=$(seconds $run_b)
        if [ "$i" -gt 0 ]; then
            A_TIMES+="$a"$'\n'
            B_TIMES+="$b"$'\n'
        fi
        printf '  %s run %d: %s s / %s s\n' "$name" "$i" "$a" "$b" >&2
    done
}

ratio_median() {
    paste <(printf '%s' "$1") <(printf '%s' "$2") | awk '{ printf "%.4f\n", $1 / $2 }' | median
}

TABLE=""
# row LABEL A_LABEL B_LABEL TARGET_TEXT TEST (the test sees the ratio as r)
row() {
    local label=$1 a_label=$2 b_label=$3 target=$4 test=$5
    local ma mb r met
    ma=$(printf '%s' "$A_TIMES" | median)
    mb=$(printf '%s' "$B_TIMES" | median)
    r=$(ratio_median "$A_TIMES" "$B_TIMES")
    met=$(awk -v r="$r" "BEGIN { print ($test) ? \"yes\" : \"no\" }")
    TABLE+="| $label | $a_label | $b_label | $ma | $mb | $r | $target | $met |"$'\n'
}

# --- (11): a folder of small files -----------------------------------------------------

# 1,000 files of 4 KiB, each opened, watched, locked, identified, read and closed by a dry
# run: what a file costs beside its bytes. The processor time is the run's own, user and
# system; a run that waits without working shows as processor time well under the run's.
SMALL_FILES=1000
small_files_row() {
    local folder=$SHM/small times=$SHM/small-times.txt
    mkdir -p "$folder"
    head -c $((SMALL_FILES * 4096)) /dev/urandom |
        (cd "$folder" && split -b 4096 -a 4 -d --additional-suffix=.avi - file)
    local listed
    listed=$("$BIN/korbelt-cli" --dry-run "$folder" | grep -c ' bytes written\.$' || true)
    if [ "$listed" -ne "$SMALL_FILES" ]; then
        echo "(11): the dry run went through $listed files of $SMALL_FILES" >&2
        exit 1
    fi
    local TIMEFORMAT='%3R %3U %3S' wall="" cpu=""
    for i in $(seq 0 "$RUNS"); do
        { time "$BIN/korbelt-cli" --dry-run "$folder" >/dev/null 2>&1; } 2>"$times" ||
            { echo "failed: korbelt-cli --dry-run $folder" >&2; exit 1; }
        local took
        took=$(awk '{ printf "%.3f %.3f", $1, $2 + $3 }' "$times")
        if [ "$i" -gt 0 ]; then
            wall+="${took% *}"$'\n'
            cpu+="${took#* }"$'\n'
        fi
        printf '  (11) run %d: %s s, processor %s s\n' "$i" "${took% *}" "${took#* }" >&2
    done
    rm -rf "$folder" "$times"
    local mw mc
    mw=$(printf '%s' "$wall" | median)
    mc=$(printf '%s' "$cpu" | median)
    TABLE+=$(awk -v n="$SMALL_FILES" -v w="$mw" -v c="$mc" 'BEGIN {
        rate = n / w
        printf "| (11) small files, tmpfs | korbelt-cli --dry-run, %d files of 4 KiB | its processor time | %.4f | %.4f | %.0f files/s | >= 500 files/s | %s |\n",
            n, w, c, rate, (rate >= 500) ? "yes" : "no" }')$'\n'
}

# --- (12): slices made against the guided repair's searches ------------------------------

# Sixteen slices of 64 KiB of one byte value each, each with a byte too many, and an index
# whose CRC-32s match every single-byte removal but whose MD5s match none: the planner's
# worst case. The time of the whole dry run, and per slice.
HOSTILE_SLICES=16
hostile_slices_row() {
    local folder=$SHM/hostile times=$SHM/hostile-times.txt
    mkdir -p "$folder"
    python3 "$ROOT/bench/make_hostile.py" "$HOSTILE_SLICES" "$folder/movie.avi" "$folder/movie.avi.par2"
    local TIMEFORMAT='%3R %3U %3S' wall=""
    for i in $(seq 0 "$RUNS"); do
        { time "$BIN/korbelt-cli" --dry-run --verify "$folder/movie.avi" >/dev/null 2>&1; } 2>"$times" || true
        if [ "$i" -gt 0 ]; then
            wall+="$(awk '{ print $1 }' "$times")"$'\n'
        fi
        printf '  (12) run %d: %s s\n' "$i" "$(awk '{ print $1 }' "$times")" >&2
    done
    rm -rf "$folder" "$times"
    local mw
    mw=$(printf '%s' "$wall" | median)
    TABLE+=$(awk -v n="$HOSTILE_SLICES" -v w="$mw" 'BEGIN {
        printf "| (12) hostile slices, tmpfs | korbelt-cli --dry-run --verify, %d slices | per slice | %.4f | %.4f | | <= 0.1 s a slice | %s |\n",
            n, w, w / n, (w / n <= 0.1) ? "yes" : "no" }')$'\n'
}

TABLE_HEAD="| benchmark | A | B | median A (s) | median B (s) | ratio A / B | target | met |"$'\n'
TABLE_HEAD+="|---|---|---|---|---|---|---|---|"

# --- inputs -----------------------------------------------------------------------------

SHM=""
DISK=""
cleanup() {
    [ -z "$SHM" ] || rm -rf "$SHM"
    [ -z "$DISK" ] || rm -rf "$DISK"
}
trap cleanup EXIT

install_missing par2 time cmake ninja-build g++ qt6-base-dev libssl-dev zlib1g-dev
build

SHM=$(mktemp -d "$SHM_DIR/korbelt-bench.XXXXXX")
# Settings of their own: a user's options must not change what is measured.
export XDG_CONFIG_HOME=$SHM/config
export XDG_RUNTIME_DIR=$SHM/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

if [ "$ONLY" = 11 ] || [ "$ONLY" = 12 ]; then
    if [ "$ONLY" = 11 ]; then
        echo "(11) korbelt-cli --dry-run on a folder of $SMALL_FILES files of 4 KiB" >&2
        small_files_row
    else
        echo "(12) slices made against the planner's searches" >&2
        hostile_slices_row
    fi
    echo
    echo "$TABLE_HEAD"
    printf '%s' "$TABLE"
    exit 0
fi

mkdir -p "$DISK_DIR"
DISK=$(mktemp -d "$DISK_DIR/run.XXXXXX")
if [ "$(free_gib "$SHM")" -lt 5 ] || [ "$(free_gib "$DISK")" -lt 7 ]; then
    echo "Not enough room: $SHM needs 5 GiB, $DISK needs 7 GiB." >&2
    exit 1
fi
if [ "$(stat -f -c %T "$DISK")" = tmpfs ]; then
    echo "$DISK is on a tmpfs; set DISK_DIR to a directory on a disk." >&2
    exit 1
fi

# A virtual machine's memory is slow the first time it is touched: writing a page of a fresh
# machine can cost the host a fault of its own. Whichever side of a pair first reaches
# memory nothing has used yet would pay for it, so the free memory is written through once
# (a tmpfs file, deleted at once), leaving 6 GiB for the inputs and the page cache.
warm_memory() {
    local avail_mib
    avail_mib=$(awk '/^MemAvailable:/ { printf "%d", $2 / 1024 }' /proc/meminfo)
    local fill_mib=$((avail_mib - 6144))
    local shm_mib=$(($(free_gib "$SHM") * 1024 - 6144))
    [ "$shm_mib" -lt "$fill_mib" ] && fill_mib=$shm_mib
    if [ "$fill_mib" -gt 0 ]; then
        echo "Touching $fill_mib MiB of free memory once" >&2
        dd if=/dev/zero of="$SHM/warm" bs=1M count="$fill_mib" status=none
        rm -f "$SHM/warm"
    fi
}
warm_memory

echo "Generating inputs in $SHM and $DISK" >&2
"$BIN/korbelt-bench-input" pair "$SIZE_MIB" "$SHM/clean.bin" "$SHM/damaged.bin"
"$BIN/korbelt-bench-input" pair 64 "$DISK/clean64.bin" "$DISK/damaged64.bin"
cp "$SHM/damaged.bin" "$DISK/damaged.bin"
"$BIN/korbelt-bench-input" sparse 4096 "$DISK/sparse4g.bin"
"$BIN/korbelt-bench-input" sparse 64 "$DISK/sparse64m.bin"
sync

# The benchmark is only worth something if the repair is right: the damaged file must come
# back as the clean one, through the command line and through the window.
cp "$SHM/damaged.bin" "$SHM/check.avi"
"$BIN/korbelt-cli" "$SHM/check.avi" >"$SHM/cli-lines.txt"
cmp "$SHM/check.avi" "$SHM/clean.bin"
rm -f "$SHM/check.avi" "$SHM/check.avi.bak"
cp "$SHM/damaged.bin" "$SHM/check.avi"
"$BIN/korbelt-bench-window" "$SHM/check.avi" >"$SHM/window-lines.txt"
cmp "$SHM/check.avi" "$SHM/clean.bin"
rm -f "$SHM/check.avi" "$SHM/check.avi.bak"
REMOVED=$(grep -c ' removed$' "$SHM/cli-lines.txt")
SUMMARY=$(tail -n 1 "$SHM/cli-lines.txt")
if [ "$(tail -n +2 "$SHM/window-lines.txt")" != "$(cat "$SHM/cli-lines.txt")" ]; then
    echo "The window's status lines differ from the command line's." >&2
    exit 1
fi

# --- the measurements -------------------------------------------------------------------

fresh_shm() { rm -f "$SHM/work.avi" "$SHM/work.avi.bak" "$SHM/copy.bin"; cp "$SHM/damaged.bin" "$SHM/work.avi"; }
clear_shm() { rm -f "$SHM/work.avi" "$SHM/work.avi.bak" "$SHM/copy.bin"; }
fresh_disk() {
    rm -f "$DISK/work.avi" "$DISK/work.avi.bak" "$DISK/copy.bin"
    cp "$DISK/damaged.bin" "$DISK/work.avi"
    sync
}
clear_disk() { rm -f "$DISK/work.avi" "$DISK/work.avi.bak" "$DISK/copy.bin"; sync; }
nothing() { :; }
cli_shm() { "$BIN/korbelt-cli" "$SHM/work.avi"; }
cp_shm() { cp "$SHM/work.avi" "$SHM/copy.bin"; }
cli_disk() { "$BIN/korbelt-cli" "$DISK/work.avi"; }
cp_sync_disk() { cp "$DISK/work.avi" "$DISK/copy.bin" && sync "$DISK/copy.bin"; }
dry_shm() { "$BIN/korbelt-cli" --dry-run "$SHM/damaged.bin"; }
cat_shm() { cat "$SHM/damaged.bin" >/dev/null; }
par2_verify() { par2 verify -q -q "$SHM/damaged.bin.par2"; }

# Both sides of (1) and (2) start from a fresh copy of the input, made the same way: on a
# virtual machine that hands freed memory back to its host, memory freed a moment ago is
# quicker to fill than memory freed earlier. Were only one side to make its copy first, that
# copy would take up the memory just freed, and the other side alone would find it; the
# timed copy would then be favoured over the timed repair, or the other way round.
echo "(1) korbelt-cli against cp on $SHM_DIR" >&2
pair "(1)" fresh_shm cli_shm fresh_shm cp_shm
row "(1) repair, tmpfs" "korbelt-cli" "cp" "<= 1.5 (aim 1.25)" "r <= 1.5"
clear_shm

echo "(2) korbelt-cli against cp + sync on the disk" >&2
pair "(2)" fresh_disk cli_disk fresh_disk cp_sync_disk
row "(2) repair, disk" "korbelt-cli" "cp + sync" "<= 1.25" "r <= 1.25"
clear_disk

echo "(3) korbelt-cli --dry-run against cat" >&2
pair "(3)" nothing dry_shm nothing cat_shm
row "(3) dry run, tmpfs" "korbelt-cli --dry-run" "cat > /dev/null" "<= 1.5" "r <= 1.5"

echo "(4) par2 verify against korbelt-cli (creating 5% recovery data first)" >&2
par2 create -q -q -r5 "$SHM/damaged.bin.par2" "$SHM/damaged.bin"
pair "(4)" nothing par2_verify fresh_shm cli_shm
row "(4) against par2" "par2 verify" "korbelt-cli" ">= 5 (par2 / korbelt)" "r >= 5"
clear_shm
rm -f "$SHM"/damaged.bin*.par2

echo "(5) peak memory of korbelt-cli on 64 MiB and 4 GiB inputs" >&2
peak_kib() {
    rm -f "$DISK/rss.avi" "$DISK/rss.avi.bak"
    cp --sparse=always "$1" "$DISK/rss.avi"
    /usr/bin/time -f '%M' -o "$DISK/rss.txt" "$BIN/korbelt-cli" "$DISK/rss.avi" >/dev/null
    rm -f "$DISK/rss.avi" "$DISK/rss.avi.bak"
    cat "$DISK/rss.txt"
}
RSS_SMALL=""
RSS_LARGE=""
for i in 1 2 3; do
    RSS_SMALL+="$(peak_kib "$DISK/sparse64m.bin")"$'\n'
    RSS_LARGE+="$(peak_kib "$DISK/sparse4g.bin")"$'\n'
    printf '  (5) run %d: %s KiB / %s KiB\n' "$i" "$(printf '%s' "$RSS_SMALL" | tail -n 1)" \
        "$(printf '%s' "$RSS_LARGE" | tail -n 1)" >&2
done
MAX_SMALL=$(printf '%s' "$RSS_SMALL" | sort -n | tail -n 1)
MAX_LARGE=$(printf '%s' "$RSS_LARGE" | sort -n | tail -n 1)
RSS_TABLE=$(awk -v s="$MAX_SMALL" -v l="$MAX_LARGE" 'BEGIN {
    d = l - s; if (d < 0) d = -d
    printf "| (5) peak memory | 4 GiB input | 64 MiB input | %.1f MiB | %.1f MiB | %+.1f MiB | same within 2 MiB, under 40 MiB | %s |\n",
        l / 1024, s / 1024, (l - s) / 1024, (d <= 2048 && l < 40960 && s < 40960) ? "yes" : "no" }')

echo "(6) the window against korbelt-cli" >&2
window_shm() {
    "$BIN/korbelt-bench-window" "$SHM/work.avi" >"$SHM/window-out.txt"
    head -n 1 "$SHM/window-out.txt" >"$SHM/window-took.txt"
}
A_TIMES=""
B_TIMES=""
for i in $(seq 0 "$RUNS"); do
    fresh_shm
    window_shm
    a=$(cat "$SHM/window-took.txt")
    fresh_shm
    b=$(seconds cli_shm)
    if [ "$i" -gt 0 ]; then
        A_TIMES+="$a"$'\n'
        B_TIMES+="$b"$'\n'
    fi
    printf '  (6) run %d: %s s / %s s\n' "$i" "$a" "$b" >&2
done
row "(6) window, tmpfs" "Korbelt window" "korbelt-cli" "<= 1.25" "r <= 1.25"
clear_shm

# (7) to (9): a par2 index (no recovery data) made from the undamaged file under the name the
# download has, beside it.
VERIFY_SHM=$SHM/verify
VERIFY_DISK=$DISK/verify
mkdir -p "$VERIFY_SHM" "$VERIFY_DISK"
cp "$SHM/clean.bin" "$VERIFY_SHM/movie.avi"
par2 create -q -q -c0 "$VERIFY_SHM/movie.avi.par2" "$VERIFY_SHM/movie.avi"
cp "$VERIFY_SHM/movie.avi.par2" "$VERIFY_DISK/"
intact_cli() { "$BIN/korbelt-cli" "$VERIFY_SHM/movie.avi"; }
intact_md5() { md5sum "$VERIFY_SHM/movie.avi"; }
# fresh_movie DIR DAMAGED: DIR/movie.avi a fresh copy of DAMAGED, its backup gone, all of it
# on the disk before the timing starts.
fresh_movie() {
    rm -f "$1/movie.avi" "$1/movie.avi.bak"
    cp "$2" "$1/movie.avi"
    sync
}
fresh_verify_shm() { fresh_movie "$VERIFY_SHM" "$SHM/damaged.bin"; }
fresh_verify_disk() { fresh_movie "$VERIFY_DISK" "$DISK/damaged.bin"; }
verified_disk() { "$BIN/korbelt-cli" --verify "$VERIFY_DISK/movie.avi"; }
unverified_disk() { "$BIN/korbelt-cli" --no-verify "$VERIFY_DISK/movie.avi"; }
verified_shm() { "$BIN/korbelt-cli" --verify "$VERIFY_SHM/movie.avi"; }
par2_index_verify() { par2 verify -q -q "$VERIFY_SHM/movie.avi.par2" || true; }

echo "(7) an intact file checked against its par2 index, against md5sum of it" >&2
"$BIN/korbelt-cli" "$VERIFY_SHM/movie.avi" | grep -q "^  intact: matches " ||
    { echo "(7): the intact file was not found intact" >&2; exit 1; }
pair "(7)" nothing intact_cli nothing intact_md5
row "(7) intact check, tmpfs" "korbelt-cli" "md5sum" "<= 0.65" "r <= 0.65"

# The repair, guided by the slices and proving them, against one MD5 of the same file: the
# floor is MD5 on two cores, with the reading, writing and scanning beside it.
md5_disk() { md5sum "$VERIFY_DISK/movie.avi"; }
echo "(8) verified repair against md5sum of the same file, on the disk" >&2
fresh_verify_disk
verified_disk | grep -q "^  verified: matches " ||
    { echo "(8): the repair was not verified" >&2; exit 1; }
cmp "$VERIFY_DISK/movie.avi" "$SHM/clean.bin"
pair "(8)" fresh_verify_disk verified_disk fresh_verify_disk md5_disk
row "(8) verified repair, disk" "korbelt-cli --verify" "md5sum" "<= 0.75" "r <= 0.75"
rm -f "$VERIFY_DISK/movie.avi" "$VERIFY_DISK/movie.avi.bak"

echo "(9) par2 verify of the damaged file against korbelt-cli's verified repair" >&2
pair "(9)" fresh_verify_shm par2_index_verify fresh_verify_shm verified_shm
row "(9) against par2 verify" "par2 verify" "korbelt-cli --verify" ">= 10 (par2 / korbelt)" "r >= 10"
rm -rf "$VERIFY_SHM" "$VERIFY_DISK"

# (10): a repair guided by the par2 index alone: one byte slipped in at random every 64 MiB,
# which no pattern finds; the plain repair is the same file without the checksums.
GUIDED=$DISK/guided
mkdir -p "$GUIDED"
"$BIN/korbelt-bench-input" guided b "$SIZE_MIB" 65536 "$SHM/guided-clean.bin" "$DISK/guided-damaged.bin" 5
cp "$SHM/guided-clean.bin" "$GUIDED/movie.avi"
par2 create -q -q -c0 "$GUIDED/movie.avi.par2" "$GUIDED/movie.avi"
fresh_guided() { fresh_movie "$GUIDED" "$DISK/guided-damaged.bin"; }
guided_disk() { "$BIN/korbelt-cli" --verify "$GUIDED/movie.avi"; }
guided_md5() { md5sum "$GUIDED/movie.avi"; }
echo "(10) a repair guided by the par2 index against md5sum of the same file, on the disk" >&2
fresh_guided
guided_disk | grep -q "^  verified: matches " || { echo "(10): the repair was not verified" >&2; exit 1; }
cmp "$GUIDED/movie.avi" "$SHM/guided-clean.bin"
pair "(10)" fresh_guided guided_disk fresh_guided guided_md5
row "(10) guided repair, disk" "korbelt-cli --verify" "md5sum" "<= 0.8" "r <= 0.8"
rm -rf "$GUIDED" "$SHM/guided-clean.bin" "$DISK/guided-damaged.bin"

echo "(11) korbelt-cli --dry-run on a folder of $SMALL_FILES files of 4 KiB" >&2
small_files_row

echo "(12) slices made against the planner's searches" >&2
hostile_slices_row

# The corpus: 24 files of 4 to 64 MiB, each with a par2 index without recovery data made
# from the file as posted, damaged by a) the pattern, b) random slipped bytes, c) both in
# one slice, d) a mix with chance finds left in. Each is repaired by korbelt-cli and, from
# the same damaged file, by par2 repair with the same index.
echo "The corpus: 24 files repaired by korbelt-cli and by par2 repair" >&2
CORPUS=$SHM/corpus
mkdir -p "$CORPUS"
SIZES=(4 8 16 32 64 12)
declare -A KORBELT_OK=() PAR2_OK=() TOTAL=()
IGNORED=0
for i in $(seq 0 23); do
    kind=${KINDS:-abcd}
    kind=${kind:$((i % 4)):1}
    size=${SIZES[$((i % 6))]}
    dir=$CORPUS/$i
    mkdir -p "$dir"
    "$BIN/korbelt-bench-input" guided "$kind" "$size" 1024 "$dir/clean" "$dir/damaged" "$((100 + i))"
    cp "$dir/clean" "$dir/file.mkv"
    par2 create -q -q -c0 "$dir/file.mkv.par2" "$dir/file.mkv"
    cp "$dir/damaged" "$dir/file.mkv"
    out=$("$BIN/korbelt-cli" --yes "$dir/file.mkv" || true)
    IGNORED=$((IGNORED + $(grep -c ' ignored: its slice verifies without it$' <<<"$out" || true)))
    TOTAL[$kind]=$((${TOTAL[$kind]:-0} + 1))
    if cmp -s "$dir/file.mkv" "$dir/clean" && grep -q '^  verified: matches ' <<<"$out"; then
        KORBELT_OK[$kind]=$((${KORBELT_OK[$kind]:-0} + 1))
    fi
    rm -f "$dir/file.mkv" "$dir/file.mkv.bak"
    cp "$dir/damaged" "$dir/file.mkv"
    par2 repair -q -q "$dir/file.mkv.par2" >/dev/null 2>&1 || true
    if cmp -s "$dir/file.mkv" "$dir/clean"; then
        PAR2_OK[$kind]=$((${PAR2_OK[$kind]:-0} + 1))
    fi
    rm -rf "$dir"
done
counts() {
    local -n ok=$1
    local text="" all=0
    for kind in a b c d; do
        text+="$kind ${ok[$kind]:-0}/${TOTAL[$kind]:-0}, "
        all=$((all + ${ok[$kind]:-0}))
    done
    printf '%d of 24 (%s)' "$all" "${text%, }"
}
CORPUS_LINE="Corpus (24 files of 4 to 64 MiB, par2 index without recovery data, damaged by a) the"
CORPUS_LINE+=" pattern, b) random slipped bytes, c) both in one slice, d) a mix with chance finds left"
CORPUS_LINE+=" in): korbelt-cli restored and verified $(counts KORBELT_OK), leaving $IGNORED chance"
CORPUS_LINE+=" finds in place; par2 repair with the same index restored $(counts PAR2_OK)."
echo "$CORPUS_LINE" >&2
rm -rf "$CORPUS"

# --- the markers' verdict: a corpus it makes, and its cost on the input of row (1) --------

VERDICT=$("$BIN/korbelt-bench-verdict" "$SHM" "$SHM/damaged.bin")
echo "$VERDICT" >&2

# --- the markers' verdict on real files: what Debian packages install, gathered anew ------

REAL_CORPUS=$SHM/verdict-real-corpus
REAL_SUMMARY=$(bench/real_corpus.sh "$REAL_CORPUS" | tail -n 1)
REAL=$("$BIN/korbelt-bench-verdict" --real "$REAL_CORPUS" "$SHM")
echo "$REAL" >&2
rm -rf "$REAL_CORPUS"

# --- the report -------------------------------------------------------------------------

fs_of() { df -P -T "$1" | awk 'NR == 2 { print $2 " (" $1 ", mounted on " $7 ")" }'; }
MACHINE=$(
    printf -- '- CPU: %s, %s cores\n' "$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)" "$(nproc)"
    printf -- '- Memory: %s\n' "$(free -h | awk '/^Mem:/ { print $2 }')"
    printf -- '- System: %s, kernel %s\n' "$(. /etc/os-release && echo "$PRETTY_NAME")" "$(uname -r)"
    printf -- '- tmpfs runs: %s\n' "$(fs_of "$SHM")"
    printf -- '- disk runs: %s\n' "$(fs_of "$DISK")"
    printf -- '- Load average when the runs began: %s\n' "$(cut -d ' ' -f 1-3 /proc/loadavg)"
)
REPORT=$(
    echo "# Benchmark results"
    echo
    echo "Written by \`bench/run.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC') for commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)."
    echo
    echo "$MACHINE"
    echo
    echo "Input: $SIZE_MIB MiB of random bytes with a repeated byte after CR LF '-' every ~1 MiB and a"
    echo "MIME wrapper every ~64 MiB, between unrelated markers every 64 KiB: $REMOVED finds removed,"
    echo "summary line \"${SUMMARY#  }\"."
    echo "The repaired file equals the undamaged one byte for byte, through the command line and"
    echo "through the window, and both show the same status lines. Memory: sparse files of 64 MiB"
    echo "and 4 GiB with a repeated byte every 64 MiB and one wrapper, repaired on the disk."
    echo
    echo "Times are medians of $RUNS runs per side after a warm-up pair, the sides taking turns;"
    echo "the ratio is the median of the pairwise ratios A / B. (6) times the window from the"
    echo "press of the button until it is idle again, and korbelt-cli as a whole process."
    echo
    echo "$TABLE_HEAD"
    printf '%s' "$TABLE"
    echo "$RSS_TABLE"
    echo
    echo "$CORPUS_LINE"
    echo
    echo "## The markers' verdict"
    echo
    echo "Made by \`korbelt-bench-verdict\`: intact files of random, text (subtitle-like) and"
    echo "structured binary data with 2 to 2,000 markers, and damaged copies of such files with"
    echo "5 to 400 markers, a repeated byte slipped in after 10, 50 or 100 % of them at 39, 41,"
    echo "44 or 46 characters, each repaired with the verdict and with the plain rule alone."
    echo
    echo "$VERDICT"
    echo
    echo "## The markers' verdict on real files"
    echo
    echo "Gathered by \`bench/real_corpus.sh\` from what Debian packages install (documentation,"
    echo "sources, certificate bundles, font descriptions, unified diffs made by diff -u, subtitles"
    echo "and tar archives of them, media made by ffmpeg), text in CR LF as a Windows copy holds it,"
    echo "files with 5 markers or more: $REAL_SUMMARY. Damage planted as it arrives (the stream"
    echo "read in order, a byte repeated a distance after a chosen marker, markers met meanwhile"
    echo "passed over), after all, half, a third or a tenth of the markers, at one or two"
    echo "distances in the range 39-45, outside it, or both. Bytes wrong: planted bytes left in"
    echo "and intact bytes removed."
    echo
    echo "$REAL"
)
echo
echo "$REPORT"
printf '%s\n' "$REPORT" >"$RESULTS"
echo
echo "Written to $RESULTS"
