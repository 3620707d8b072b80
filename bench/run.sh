#!/usr/bin/env bash
# Korbelt's performance benchmarks. Not part of the test suite: run by hand, on a machine
# that is otherwise as quiet as it can be made.
#
#   bench/run.sh        all of them
#   bench/run.sh 11     only (11), the folder of small files, or (12), the slices made
#   bench/run.sh 12     against the planner, which need none of the large inputs: the row is
#                       printed, bench/results.md is left as it is
#   bench/run.sh 14     only (14), memory and processor time against the number of finds,
#                       which needs its own inputs only: its section of bench/results.md is
#                       written anew. BEFORE_BIN, a directory holding an earlier build's
#                       korbelt-cli and korbelt-bench-window, adds their figures beside.
#   bench/run.sh io     only (1), (1b) and (2), with processor times, the bytes a repair
#                       reads and writes, and the parts of (2) alone: their section of
#                       bench/results.md is written anew
#
# Builds a Release build (BUILD_DIR, default build-bench; BIN_DIR, a directory of programs
# already built, is used instead of building), generates its inputs, measures,
# prints one table and writes it with a description of the machine to bench/results.md.
# Every comparison runs its two sides in turns, A B A B, RUNS times each (default 5) after
# one warm-up pair, and reports both medians and the median of the pairwise ratios, so
# that a busy spell on the machine hits both sides alike. Each repair gets a fresh copy of
# its input, made outside the timed part. All generated files are deleted at the end.
#
# Needs about 7 GiB free in SHM_DIR (default /dev/shm) and 7 GiB on the ordinary disk
# (DISK_DIR, default BUILD_DIR/bench-work).
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD_DIR=${BUILD_DIR:-build-bench}
RUNS=${RUNS:-5}
SIZE_MIB=${SIZE_MIB:-1024}  # of the main input; smaller only to try the script out
SHM_DIR=${SHM_DIR:-/dev/shm}
DISK_DIR=${DISK_DIR:-$ROOT/$BUILD_DIR/bench-work}
BIN=${BIN_DIR:-$ROOT/$BUILD_DIR/bin}
RESULTS=$ROOT/bench/results.md
ONLY=${1:-}
if [ -n "$ONLY" ] && [ "$ONLY" != 11 ] && [ "$ONLY" != 12 ] && [ "$ONLY" != 14 ] && [ "$ONLY" != io ]; then
    echo "usage: bench/run.sh [11|12|14|io]" >&2
    exit 2
fi
# shellcheck source=tools/packages.sh
source tools/packages.sh

build() {
    cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORBELT_BUILD_TESTS=OFF >/dev/null
    if [ "$ONLY" = io ]; then
        cmake --build "$BUILD_DIR" --target korbelt-cli korbscan korbelt-bench-input korbelt-bench-disk
        return
    fi
    cmake --build "$BUILD_DIR" --target korbelt-cli korbscan korbelt-bench-input korbelt-bench-window \
        korbelt-bench-verdict korbelt-bench-disk
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

# The same, and the processor time (user and system) of the processes it ran: "WALL CPU".
# The shell's own count of its children is read without a subshell of its own, which would
# count none.
timed() {
    local start=$EPOCHREALTIME
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
    local end=$EPOCHREALTIME
    times >"$SHM/times.txt"
    awk -v s="$start" -v e="$end" 'NR == 2 {
        split($1, u, /[ms]/); split($2, y, /[ms]/)
        printf "%.4f %.3f", e - s, u[1] * 60 + u[2] + y[1] * 60 + y[2] }' "$SHM/times.txt"
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# pair NAME PREPARE_A RUN_A PREPARE_B RUN_B: the two sides in turns, a warm-up pair first.
# Leaves the times in A_TIMES and B_TIMES, one per line, and their processor times in A_CPU
# and B_CPU.
pair() {
    local name=$1 prepare_a=$2 run_a=$3 prepare_b=$4 run_b=$5
    A_TIMES=""
    B_TIMES=""
    A_CPU=""
    B_CPU=""
    for i in $(seq 0 "$RUNS"); do
        $prepare_a
        local a
        a=$(timed $run_a)
        $prepare_b
        local b
        b=$(timed $run_b)
        if [ "$i" -gt 0 ]; then
            A_TIMES+="${a% *}"$'\n'
            B_TIMES+="${b% *}"$'\n'
            A_CPU+="${a#* }"$'\n'
            B_CPU+="${b#* }"$'\n'
        fi
        printf '  %s run %d: %s s / %s s, processor %s s / %s s\n' "$name" "$i" "${a% *}" "${b% *}" \
            "${a#* }" "${b#* }" >&2
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

# --- (14): memory and processor time against the number of finds ----------------------------

# Files with 1, 3 and 6 million finds (a CR LF '-' every 44 bytes, its byte at 41 repeated)
# repaired by korbelt-cli as it is, with --json and with --dry-run, and by the window; the
# same runs of the file as posted, without finds, beside them. Peak memory and processor time
# (user and system) by /usr/bin/time, the median of RUNS_FINDS runs (default 3). What a
# QListWidget of as many lines costs Qt alone is the window's floor: one item per line.
RUNS_FINDS=${RUNS_FINDS:-3}
FINDS_MILLIONS=${FINDS_MILLIONS:-"1 3 6"}
BEFORE_BIN=${BEFORE_BIN:-}
FINDS_SECTION=""

# measured PROGRAM ARGS...: "PEAK_KIB CPU_SECONDS WALL_SECONDS [FIRST_LINE]" of the run of
# median processor time; PREPARE runs before each, and the first line of standard output is
# kept where FIRST_LINE is set (the output goes to a file then, else to /dev/null).
measured() {
    local out=$SHM/finds-time.txt lines=$SHM/finds-lines.txt all=""
    for _ in $(seq 1 "$RUNS_FINDS"); do
        [ -z "${PREPARE:-}" ] || $PREPARE
        local to=/dev/null
        [ -z "${FIRST_LINE:-}" ] || to=$lines
        /usr/bin/time -f '%M %U %S %e' -o "$out" "$@" >"$to" 2>/dev/null ||
            { echo "failed: $*" >&2; exit 1; }
        all+="$(awk '{ printf "%d %.2f %.2f", $1, $2 + $3, $4 }' "$out")"
        [ -z "${FIRST_LINE:-}" ] || all+=" $(head -n 1 "$lines")"
        all+=$'\n'
        rm -f "$lines"
    done
    printf '%s' "$all" | sort -k2 -g | sed -n "$(((RUNS_FINDS + 1) / 2))p"
}

many_finds_rows() {
    local dir=$SHM/finds cli_rows="" window_rows="" floor_rows="" m
    mkdir -p "$dir"
    local -A cpu_first=()
    for m in $FINDS_MILLIONS; do
        echo "(14) $m million finds" >&2
        "$BIN/korbelt-bench-input" finds $((m * 1000)) "$dir/clean.bin" "$dir/damaged.bin"
        fresh_finds() { rm -f "$dir/work.avi" "$dir/work.avi.bak"; cp "$dir/damaged.bin" "$dir/work.avi"; }
        fresh_clean() { rm -f "$dir/work.avi" "$dir/work.avi.bak"; cp "$dir/clean.bin" "$dir/work.avi"; }
        local mode flags
        for mode in plain json dry; do
            case $mode in plain) flags=() ;; json) flags=(--json) ;; dry) flags=(--dry-run) ;; esac
            local now clean before="" cpu
            now=$(PREPARE=fresh_finds measured "$BIN/korbelt-cli" "${flags[@]}" "$dir/work.avi")
            if [ "$mode" = plain ]; then
                cmp "$dir/work.avi" "$dir/clean.bin" ||
                    { echo "(14): the repair of $m million finds is not the file as posted" >&2; exit 1; }
            fi
            clean=$(PREPARE=fresh_clean measured "$BIN/korbelt-cli" "${flags[@]}" "$dir/work.avi")
            if [ -n "$BEFORE_BIN" ]; then
                before=$(PREPARE=fresh_finds measured "$BEFORE_BIN/korbelt-cli" "${flags[@]}" "$dir/work.avi")
            fi
            cpu=$(echo "$now" | awk '{ print $2 }')
            [ "$m" = "$(echo "$FINDS_MILLIONS" | awk '{ print $1 }')" ] && cpu_first[$mode]="$cpu $m"
            cli_rows+=$(awk -v m="$m" -v mode="$mode" -v now="$now" -v clean="$clean" -v before="$before" -v first="${cpu_first[$mode]}" 'BEGIN {
                split(now, n, " "); split(clean, c, " "); split(first, f, " ")
                b = "| | |"; if (before != "") { split(before, p, " "); b = sprintf("| %.1f | %.2f |", p[1] / 1024, p[2]) }
                printf "| %d M | korbelt-cli %s | %.1f | %.2f | %.2f | %.1f | %.2f %s %.2f |\n",
                    m, mode == "plain" ? "" : (mode == "json" ? "--json" : "--dry-run"),
                    n[1] / 1024, n[2], n[3], c[1] / 1024, c[2], b, (n[2] / m) / (f[1] / f[2]) }')$'\n'
        done
        local window before_window=""
        window=$(FIRST_LINE=1 PREPARE=fresh_finds measured "$BIN/korbelt-bench-window" "$dir/work.avi")
        if [ -n "$BEFORE_BIN" ] && [ "$m" -le 3 ]; then
            before_window=$(FIRST_LINE=1 PREPARE=fresh_finds measured "$BEFORE_BIN/korbelt-bench-window" "$dir/work.avi")
        fi
        window_rows+=$(awk -v m="$m" -v now="$window" -v before="$before_window" 'BEGIN {
            split(now, n, " "); b = "| | |"
            if (before != "") { split(before, p, " "); b = sprintf("| %.1f | %.2f |", p[1] / 1024, p[2]) }
            printf "| %d M | Korbelt window | %.1f | %.2f | %.2f | %d ms %s\n", m, n[1] / 1024, n[2], n[3], n[5], b }')$'\n'
        local kind floor
        for kind in plain line bare; do
            floor=$(PREPARE= measured "$BIN/korbelt-bench-window" --floor $((m * 1000000)) "$kind")
            floor_rows+=$(awk -v m="$m" -v kind="$kind" -v f="$floor" 'BEGIN {
                split(f, n, " ")
                what = kind == "plain" ? "QListWidget, items with their text" : (kind == "line" ? "the status list, its store of lines" : "QListWidget, items without text")
                printf "| %d M | %s | %.1f | %.2f |\n", m, what, n[1] / 1024, n[2] }')$'\n'
        done
        rm -f "$dir"/*
    done
    rm -rf "$dir"
    FINDS_SECTION=$(
        echo "## Memory against the number of finds (14)"
        echo
        echo "Written by \`bench/run.sh 14\` on $(date -u '+%Y-%m-%d %H:%M UTC') for commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)${BEFORE_BIN:+, beside an earlier build (before)}."
        echo "A CR LF '-' every 44 bytes, its byte at 41 repeated: 45 MB a million finds, on tmpfs."
        echo "Medians of $RUNS_FINDS run(s); CPU is user and system time. The file as posted has no finds:"
        echo "its runs are the reference. Targets: korbelt-cli at most 40 MiB at 6 million finds,"
        echo "plain and --json; processor time per million finds the same at every size (the last"
        echo "column, against the first size, at most 1.1); the window at most 200 MiB."
        echo
        echo "| finds | run | peak (MiB) | CPU (s) | wall (s) | without finds: peak (MiB) | CPU (s) | before: peak (MiB) | CPU (s) | CPU a million finds, against the first |"
        echo "|---|---|---|---|---|---|---|---|---|---|"
        printf '%s' "$cli_rows"
        echo
        echo "| finds | run | peak (MiB) | CPU (s) | wall (s) | longest wait for its events | before: peak (MiB) | CPU (s) |"
        echo "|---|---|---|---|---|---|---|---|"
        printf '%s' "$window_rows"
        echo
        echo "The window's floor: a shown list of as many lines of a find, laid out once, without Korbelt: a QListWidget, or the status list itself."
        echo
        echo "| lines | list | peak (MiB) | CPU (s) |"
        echo "|---|---|---|---|"
        printf '%s' "$floor_rows"
    )
}

# --- (1), (1b), (2): time, processor time, bytes read and written ------------------------

# count_bytes FILE ARGS...: korbelt-cli ARGS FILE, once, under strace; prints "READ WRITTEN",
# the bytes its processes read from and wrote to the input and its copies (NAME, NAME.bak,
# NAME.$$$ or NAME.N.$$$, and the copy before it has a name), summed over the return values
# of every call that moves file data. Its checksum files and libraries are not counted.
count_bytes() {
    local file=$1 trace=$SHM/bytes-trace
    shift
    rm -f "$trace".*
    strace -f -ff -qq -y -s 0 -o "$trace" \
        -e trace=read,pread64,readv,preadv,write,pwrite64,writev,pwritev,copy_file_range,sendfile \
        "$BIN/korbelt-cli" "$@" "$file" >/dev/null 2>&1 ||
        { echo "failed under strace: korbelt-cli $* $file" >&2; exit 1; }
    cat "$trace".* | awk -v dir="$(dirname "$file")" -v name="$(basename "$file")" '
        function ours(path,   base) {
            sub(/ \(deleted\)$/, "", path)
            if (index(path, dir "/") != 1) return 0
            base = substr(path, length(dir) + 2)
            return base == name || base == name ".bak" || base ~ /^#[0-9]+$/ ||
                (substr(base, 1, length(name) + 1) == name "." && base ~ /\.\$\$\$$/)
        }
        match($0, /^[a-z0-9_]+\(/) {
            call = substr($0, 1, RLENGTH - 1)
            if (!match($0, / = [0-9]+$/)) next
            moved = substr($0, RSTART + 3) + 0
            n = 0; rest = $0
            while (match(rest, /[0-9]+<[^>]*>/)) {
                piece = substr(rest, RSTART, RLENGTH)
                path[++n] = substr(piece, index(piece, "<") + 1, length(piece) - index(piece, "<") - 1)
                rest = substr(rest, RSTART + RLENGTH)
            }
            if (n == 0) next
            if (call ~ /^(read|pread64|readv|preadv)$/) { if (ours(path[1])) r += moved }
            else if (call ~ /^(write|pwrite64|writev|pwritev)$/) { if (ours(path[1])) w += moved }
            else if (call == "copy_file_range" && n >= 2) { if (ours(path[1])) r += moved; if (ours(path[2])) w += moved }
            else if (call == "sendfile" && n >= 2) { if (ours(path[1])) w += moved; if (ours(path[2])) r += moved }
        }
        END { printf "%.0f %.0f\n", r, w }'
    rm -f "$trace".*
}

BYTES_ROWS=""
# bytes_row LABEL FILE PROVEN ARGS...: a row of bytes read and written against the size of
# FILE, repaired once by korbelt-cli ARGS; PROVEN (yes or no) whether slices prove it, which
# lets it read what it checks again.
bytes_row() {
    local label=$1 file=$2 proven=$3 size counted
    shift 3
    size=$(stat -c %s "$file")
    counted=$(count_bytes "$file" "$@")
    printf '  bytes %s: %s read, %s written, of %s\n' "$label" "${counted% *}" "${counted#* }" "$size" >&2
    BYTES_ROWS+=$(awk -v label="$label" -v size="$size" -v c="$counted" -v proven="$proven" 'BEGIN {
        split(c, n, " "); r = n[1] / size; w = n[2] / size
        met = w <= 1.01 && (proven == "yes" || r <= 1.05)
        printf "| %s | %.0f | %.0f | %.4f | %.0f | %.4f | %s | %s |\n", label, size, n[1], r, n[2], w,
            proven == "yes" ? "written <= 1.01" : "read <= 1.05, written <= 1.01", met ? "yes" : "no" }')$'\n'
}

# flush_calls: one repair of row (2)'s input, timed whole and in the calls that wait for the
# disk (strace -T, stopping at those calls only): "WALL HINTS FSYNCS SWAP", in seconds, with
# HINTS the time in the writeback requests made while the copy is written (sync_file_range),
# FSYNCS the flushes of the copy and its directory, SWAP the hard link and the rename.
flush_calls() {
    local trace=$SHM/flush-trace.txt start end
    fresh_disk
    start=$EPOCHREALTIME
    strace -f --seccomp-bpf -qq -T -o "$trace" \
        -e trace=fsync,fdatasync,sync_file_range,link,linkat,rename,renameat,renameat2 \
        "$BIN/korbelt-cli" "$DISK/work.avi" >/dev/null 2>&1 ||
        { echo "failed under strace: korbelt-cli $DISK/work.avi" >&2; exit 1; }
    end=$EPOCHREALTIME
    awk -v s="$start" -v e="$end" '{
            call = $2; sub(/\(.*/, "", call); took = $NF; gsub(/[<>]/, "", took)
            if (call == "sync_file_range") hints += took
            else if (call ~ /sync/) fsyncs += took
            else swap += took
        } END { printf "%.3f %.3f %.3f %.4f\n", e - s, hints, fsyncs, swap }' "$trace"
    rm -f "$trace"
}

IO_TABLE=""
# io_row LABEL A_LABEL B_LABEL TARGET_TEXT TEST: row, with the processor times of the sides.
io_row() {
    row "$@"
    local ca cb
    ca=$(printf '%s' "$A_CPU" | median)
    cb=$(printf '%s' "$B_CPU" | median)
    IO_TABLE+=$(printf '%s' "$TABLE" | tail -n 1 |
        awk -F ' [|] ' -v ca="$ca" -v cb="$cb" '{ printf "%s | %s | %s | %s | %s | %s | %.3f | %.3f | %s | %s\n", $1, $2, $3, $4, $5, $6, ca, cb, $7, $8 }')$'\n'
}

# restored CLEAN DAMAGED: whether korbelt-cli gives CLEAN back from DAMAGED on the tmpfs, said
# with the verdict's line and the summary line of that repair.
restored() {
    rm -f "$SHM/check.avi" "$SHM/check.avi.bak"
    cp "$2" "$SHM/check.avi"
    local out
    out=$("$BIN/korbelt-cli" "$SHM/check.avi")
    if cmp -s "$SHM/check.avi" "$1"; then
        printf 'equals the undamaged original byte for byte'
    else
        printf 'differs from the undamaged original (%s bytes differ or are missing)' \
            "$(cmp -l "$SHM/check.avi" "$1" 2>/dev/null | wc -l)"
    fi
    printf '; "%s", "%s"' "$(grep -v ' removed$' <<<"$out" | sed -n '2p' | sed 's/^  //')" \
        "$(tail -n 1 <<<"$out" | sed 's/^  //')"
    rm -f "$SHM/check.avi" "$SHM/check.avi.bak"
}

# The disk holding DISK, for its counts of requests: empty where none can be found.
disk_stat() {
    local source
    source=$(df -P "$DISK" | awk 'NR == 2 { print $1 }')
    source=$(readlink -f "$source" 2>/dev/null || true)
    local stat
    stat=/sys/class/block/$(basename "$source")/stat
    [ -r "$stat" ] && echo "$stat"
}

# Syncs, then waits until the disk has had no request in flight for a fifth of a second (at
# most 10 s): the writeback of other programs' dirty pages and the discards of blocks just
# freed are over before a timed side starts, and neither side pays for them.
settle_disk() {
    sync
    [ -n "$DISK_STAT" ] || return 0
    local busy last tries=0
    last=$(awk '{ print $10 }' "$DISK_STAT")
    while [ "$tries" -lt 50 ]; do
        sleep 0.2
        busy=$(awk '{ print $10 }' "$DISK_STAT")
        [ "$busy" = "$last" ] && return 0
        last=$busy
        tries=$((tries + 1))
    done
}

# What is dirty or being written when a timed side starts: the largest over the runs.
DIRTY_MAX=0
note_dirty() {
    local kib
    kib=$(awk '/^(Dirty|Writeback):/ { s += $2 } END { print s }' /proc/meminfo)
    [ "$kib" -gt "$DIRTY_MAX" ] && DIRTY_MAX=$kib
    return 0
}

# Row (2)'s sides start alike: the repair's input is a second name of the damaged file, made
# without writing a byte, the last side's files are deleted, and the disk is left to settle.
# Before, each side began with a fresh copy of the input by cp and a sync: 1 GiB written and
# flushed just before the timing, whose writeback the host of a virtual disk may still be
# doing when the timed side writes its own.
fresh_disk() {
    rm -f "$DISK/work.avi" "$DISK/work.avi.bak" "$DISK/copy.bin"
    ln "$DISK/damaged.bin" "$DISK/work.avi"
    settle_disk
    note_dirty
}
copied_disk() {
    rm -f "$DISK/work.avi" "$DISK/work.avi.bak" "$DISK/copy.bin"
    cp "$DISK/damaged.bin" "$DISK/work.avi"
    sync
    note_dirty
}
clear_disk() { rm -f "$DISK/work.avi" "$DISK/work.avi.bak" "$DISK/copy.bin"; sync; }
cli_disk() { "$BIN/korbelt-cli" "$DISK/work.avi"; }
dry_disk() { "$BIN/korbelt-cli" --dry-run "$DISK/work.avi"; }
# cp and sync, each timed on its own as well, into CP_SPLIT.
cp_sync_disk() {
    local start=$EPOCHREALTIME
    cp "$DISK/work.avi" "$DISK/copy.bin" || return 1
    local copied=$EPOCHREALTIME
    sync "$DISK/copy.bin" || return 1
    awk -v s="$start" -v c="$copied" -v e="$EPOCHREALTIME" 'BEGIN { printf "%.4f %.4f\n", c - s, e - c }' >>"$CP_SPLIT"
}
fresh_chance() { rm -f "$SHM/work.avi" "$SHM/work.avi.bak" "$SHM/copy.bin"; cp "$SHM/chance-damaged.bin" "$SHM/work.avi"; }

# Both sides of (1) and (2) start from a fresh input, made the same way: on a virtual machine
# that hands freed memory back to its host, memory freed a moment ago is quicker to fill than
# memory freed earlier. Were only one side to make its copy first, that copy would take up
# the memory just freed, and the other side alone would find it; the timed copy would then be
# favoured over the timed repair, or the other way round.
fresh_shm() { rm -f "$SHM/work.avi" "$SHM/work.avi.bak" "$SHM/copy.bin"; cp "$SHM/damaged.bin" "$SHM/work.avi"; }
clear_shm() { rm -f "$SHM/work.avi" "$SHM/work.avi.bak" "$SHM/copy.bin"; }
nothing() { :; }
cli_shm() { "$BIN/korbelt-cli" "$SHM/work.avi"; }
cp_shm() { cp "$SHM/work.avi" "$SHM/copy.bin"; }

IO_SECTION=""
# Rows (1), (1b) and (2), with processor times, the bytes read and written, and the parts of
# row (2) alone: its own section of the results, and rows of the main table.
io_rows() {
    local load_before restored1 restored1b parts
    load_before=$(cut -d ' ' -f 1-3 /proc/loadavg)
    DISK_STAT=$(disk_stat || true)
    CP_SPLIT=$SHM/cp-split.txt

    restored1=$(restored "$SHM/clean.bin" "$SHM/damaged.bin")
    echo "(1) korbelt-cli against cp on $SHM_DIR" >&2
    pair "(1)" fresh_shm cli_shm fresh_shm cp_shm
    io_row "(1) repair, tmpfs" "korbelt-cli" "cp" "<= 1.5 (aim 1.25)" "r <= 1.5"
    clear_shm
    cp "$SHM/damaged.bin" "$SHM/work.avi"
    bytes_row "(1) input, $SIZE_MIB MiB" "$SHM/work.avi" no
    clear_shm

    echo "(1b) the same with chance pairs beside the damage" >&2
    "$BIN/korbelt-bench-input" chance "$SIZE_MIB" "$SHM/chance-clean.bin" "$SHM/chance-damaged.bin"
    restored1b=$(restored "$SHM/chance-clean.bin" "$SHM/chance-damaged.bin")
    pair "(1b)" fresh_chance cli_shm fresh_chance cp_shm
    io_row "(1b) repair, chance pairs, tmpfs" "korbelt-cli" "cp" "<= 1.05" "r <= 1.05"
    clear_shm
    cp "$SHM/chance-damaged.bin" "$SHM/work.avi"
    bytes_row "(1b) input, $SIZE_MIB MiB" "$SHM/work.avi" no
    clear_shm
    rm -f "$SHM/chance-clean.bin" "$SHM/chance-damaged.bin"

    echo "(2) korbelt-cli against cp + sync on the disk" >&2
    DIRTY_MAX=0
    : >"$CP_SPLIT"
    pair "(2)" fresh_disk cli_disk fresh_disk cp_sync_disk
    io_row "(2) repair, disk" "korbelt-cli" "cp + sync" "<= 1.25" "r <= 1.25"
    local dirty_settled=$DIRTY_MAX split
    split=$(tail -n "$RUNS" "$CP_SPLIT")
    local cp_alone sync_alone
    cp_alone=$(awk '{ print $1 }' <<<"$split" | median)
    sync_alone=$(awk '{ print $2 }' <<<"$split" | median)
    echo "(2) as before: each side after a fresh copy by cp and a sync" >&2
    DIRTY_MAX=0
    pair "(2)" copied_disk cli_disk copied_disk cp_sync_disk
    local before_table=$TABLE
    row "(2) as before" "korbelt-cli" "cp + sync" "" "1"
    local as_before
    as_before=$(printf '%s' "$TABLE" | tail -n 1 | awk -F ' [|] ' '{ printf "%s s against %s s, ratio %s", $4, $5, $6 }')
    TABLE=$before_table
    local dirty_copied=$DIRTY_MAX
    echo "(2) the parts alone" >&2
    pair "(2) dry run" fresh_disk dry_disk fresh_disk nothing
    local dry_alone dry_cpu
    dry_alone=$(printf '%s' "$A_TIMES" | median)
    dry_cpu=$(printf '%s' "$A_CPU" | median)
    local calls
    calls=$(flush_calls)
    clear_disk
    parts=$("$BIN/korbelt-bench-disk" "$DISK/damaged.bin" "$RUNS")

    echo "(bytes) a repair guided by a par2 index, as in row (10)" >&2
    local proven=$SHM/proven
    mkdir -p "$proven"
    "$BIN/korbelt-bench-input" guided b "$SIZE_MIB" 65536 "$proven/movie.avi" "$proven/damaged.bin" 5
    par2 create -q -q -c0 "$proven/movie.avi.par2" "$proven/movie.avi"
    cp "$proven/damaged.bin" "$proven/movie.avi"
    bytes_row "(10) input, $SIZE_MIB MiB, par2 index" "$proven/movie.avi" yes --verify
    rm -rf "$proven"

    IO_SECTION=$(
        echo "## Cost of a repair: processor time, bytes read and written (1), (1b), (2)"
        echo
        echo "Written by \`bench/run.sh${ONLY:+ $ONLY}\` on $(date -u '+%Y-%m-%d %H:%M UTC') for commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown);"
        echo "load average $load_before before, $(cut -d ' ' -f 1-3 /proc/loadavg) after."
        echo "Inputs, $SIZE_MIB MiB each: (1) and (2) the main input (a repeated byte after CR LF '-' every ~1 MiB,"
        echo "a MIME wrapper every ~64 MiB, unrelated markers every 64 KiB), whose repair $restored1."
        echo "(1b) the same with the repeated byte at 41 after a marker every ~256 KiB and, after one"
        echo "unrelated marker in 32, a chance pair at 39, 40, 42, 43 or 44, in the original too"
        echo "(\`korbelt-bench-input chance\`): the markers' verdict sees the damage at 41 and moves the"
        echo "plain rule's finds; the repair $restored1b."
        echo "Medians of $RUNS runs per side after a warm-up pair, the sides taking turns; CPU is user and"
        echo "system time of the side's processes."
        echo
        echo "| benchmark | A | B | median A (s) | median B (s) | ratio A / B | CPU A (s) | CPU B (s) | target | met |"
        echo "|---|---|---|---|---|---|---|---|---|---|"
        printf '%s' "$IO_TABLE"
        echo
        echo "Bytes read and written by one \`korbelt-cli\` run (its input and its copies, counted by strace"
        echo "over every call that moves file data), against the file's size; on the tmpfs. The (10) input:"
        echo "a random byte slipped in every 64 MiB, repaired with \`--verify\` and a par2 index without"
        echo "recovery data."
        echo
        echo "| input | size | read | read / size | written | written / size | target | met |"
        echo "|---|---|---|---|---|---|---|---|"
        printf '%s' "$BYTES_ROWS"
        echo
        echo "Row (2), its parts. cp alone $cp_alone s, its sync alone $sync_alone s (medians, the same runs)."
        echo "\`korbelt-cli --dry-run\` on the disk (reading and scanning, nothing written) $dry_alone s,"
        echo "processor $dry_cpu s. Dirty and writeback pages when a timed side started: at most"
        echo "$((dirty_settled / 1024)) MiB. With the preparation of before (each side after a fresh copy by"
        echo "cp and a sync, at most $((dirty_copied / 1024)) MiB dirty at the start): $as_before."
        echo "One repair timed in the calls that wait for the disk (strace -T): $(awk '{ printf "%s s in all, %s s in its writeback requests (sync_file_range), %s s flushing the copy and its directory, %s s in the backup link and the rename", $1, $2, $3, $4 }' <<<"$calls")."
        echo "The copy and its flush by \`korbelt-bench-disk\`, the same system calls alone, from the page"
        echo "cache, on the same disk, each part after a sync:"
        echo
        echo "$parts"
    )
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

install_missing par2 time strace cmake ninja-build g++ qt6-base-dev libssl-dev zlib1g-dev
[ -n "${BIN_DIR:-}" ] || build

SHM=$(mktemp -d "$SHM_DIR/korbelt-bench.XXXXXX")
# Settings of their own: a user's options must not change what is measured.
export XDG_CONFIG_HOME=$SHM/config
export XDG_RUNTIME_DIR=$SHM/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

if [ "$ONLY" = 14 ]; then
    many_finds_rows
    echo
    echo "$FINDS_SECTION"
    # Its section of the results is replaced, the rest left as the last full run wrote it.
    awk -v section="$FINDS_SECTION" '
        /^## Memory against the number of finds/ { skip = 1; print section; next }
        skip && /^## / { skip = 0 }
        !skip { print }
        END { if (!seen) {} }' "$RESULTS" >"$RESULTS.new"
    grep -q '^## Memory against the number of finds' "$RESULTS.new" || printf '\n%s\n' "$FINDS_SECTION" >>"$RESULTS.new"
    mv "$RESULTS.new" "$RESULTS"
    exit 0
fi

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
if [ "$(free_gib "$SHM")" -lt 7 ] || [ "$(free_gib "$DISK")" -lt 7 ]; then
    echo "Not enough room: $SHM needs 7 GiB, $DISK needs 7 GiB." >&2
    exit 1
fi
if [ "$(stat -f -c %T "$DISK")" = tmpfs ]; then
    echo "$DISK is on a tmpfs; set DISK_DIR to a directory on a disk." >&2
    exit 1
fi

# A virtual machine's memory is slow the first time it is touched: writing a page of a fresh
# machine can cost the host a fault of its own. Whichever side of a pair first reaches
# memory nothing has used yet would pay for it, so the free memory is written through once
# (a tmpfs file, deleted at once), leaving 8 GiB for the inputs and the page cache.
warm_memory() {
    local avail_mib
    avail_mib=$(awk '/^MemAvailable:/ { printf "%d", $2 / 1024 }' /proc/meminfo)
    local fill_mib=$((avail_mib - 8192))
    local shm_mib=$(($(free_gib "$SHM") * 1024 - 8192))
    [ "$shm_mib" -lt "$fill_mib" ] && fill_mib=$shm_mib
    if [ "$fill_mib" -gt 0 ]; then
        echo "Touching $fill_mib MiB of free memory once" >&2
        dd if=/dev/zero of="$SHM/warm" bs=1M count="$fill_mib" status=none
        rm -f "$SHM/warm"
    fi
}
warm_memory

# replace_section HEADING TEXT: TEXT in place of the section of bench/results.md that starts
# with HEADING, or after the rest; the other sections are left as the last runs wrote them.
replace_section() {
    awk -v heading="$1" -v section="$2" '
        index($0, heading) == 1 { skip = 1; print section; next }
        skip && /^## / { skip = 0; print "" }
        !skip { print }' "$RESULTS" >"$RESULTS.new"
    grep -q "^$1" "$RESULTS.new" || printf '\n%s\n' "$2" >>"$RESULTS.new"
    mv "$RESULTS.new" "$RESULTS"
}

if [ "$ONLY" = io ]; then
    echo "Generating inputs in $SHM and $DISK" >&2
    "$BIN/korbelt-bench-input" pair "$SIZE_MIB" "$SHM/clean.bin" "$SHM/damaged.bin"
    cp "$SHM/damaged.bin" "$DISK/damaged.bin"
    sync
    io_rows
    echo
    echo "$IO_SECTION"
    replace_section "## Cost of a repair" "$IO_SECTION"
    exit 0
fi

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

dry_shm() { "$BIN/korbelt-cli" --dry-run "$SHM/damaged.bin"; }
cat_shm() { cat "$SHM/damaged.bin" >/dev/null; }
par2_verify() { par2 verify -q -q "$SHM/damaged.bin.par2"; }

io_rows

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
    head -n 1 "$SHM/window-out.txt" | awk '{ print $1 }' >"$SHM/window-took.txt"
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

echo "(14) memory and processor time against the number of finds" >&2
many_finds_rows

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
    echo "$IO_SECTION"
    echo
    echo "$FINDS_SECTION"
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
