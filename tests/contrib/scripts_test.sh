#!/usr/bin/env bash
# The download managers' scripts of a source tree with a built korbelt-cli, each run as its
# manager runs it: a bare environment, no input, a home of its own. One function per test.
#
#   scripts_test.sh KORBELT_CLI KORBELT_SAMPLE CONTRIB_DIR TEST
set -euo pipefail
export LC_ALL=C

CLI=$1 SAMPLE=$2 CONTRIB=$3
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$SAMPLE" "$WORK/damaged.avi"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Runs "$@" with the settings of no one, its output in $WORK/out; wants exit status $1.
run() {
    local want=$1 status=0
    shift
    timeout 60 env -i PATH=/usr/bin:/bin HOME="$WORK" XDG_CONFIG_HOME="$WORK/config" \
        KORBELT_CLI="$CLI" NZBPO_KORBELTCLI="$CLI" "$@" </dev/null >"$WORK/out" 2>&1 || status=$?
    [ "$status" = "$want" ] || fail "exit status $status, not $want: $(<"$WORK/out")"
}

nzbget() {
    local want=$1 folder=$2
    shift 2
    run "$want" NZBNA_EVENT=NZB_DOWNLOADED NZBNA_DIRECTORY="$folder" "$@" \
        "$CONTRIB/nzbget/Korbelt/main.sh"
}

# A job whose verification failed (status 1).
sabnzbd() {
    run "$1" "$CONTRIB/sabnzbd/korbelt.sh" "$2" job.nzb job "" tv alt.binaries.test 1
}

# A folder holding a damaged movie.avi.
download() {
    mkdir -p "$1"
    cp "$WORK/damaged.avi" "$1/movie.avi"
}

has_line() {
    grep -qxF -- "$1" "$WORK/out" || fail "no line '$1' in: $(<"$WORK/out")"
}

# Every line NZBGet reads has a level, so that none is taken for a command.
levels_only() {
    ! grep -v '^\[\(INFO\|WARNING\|ERROR\)\] ' "$WORK/out" || fail "lines without a level"
}

# A posted movie.avi.bak is not Korbelt's to replace: it and its file stay as they are.
KeepAPostedBackup() {
    printf 'posted\n' >"$WORK/posted"
    for manager in nzbget sabnzbd; do
        local folder=$WORK/$manager level=
        [ "$manager" = nzbget ] && level='[WARNING] '
        download "$folder"
        cp "$WORK/posted" "$folder/movie.avi.bak"
        "$manager" 1 "$folder"
        cmp "$folder/movie.avi.bak" "$WORK/posted" || fail "$manager replaced the posted backup"
        cmp "$folder/movie.avi" "$WORK/damaged.avi" || fail "$manager changed movie.avi"
        has_line "${level}Backup file '$folder/movie.avi.bak' already exists"
        has_line "${level}I will have to delete it. Is this OK [y/N] n (--keep-backups)"
    done
}

# A par2 set is told by its file's name, not by the folder's, and a set of volumes alone
# is repaired as well.
SabnzbdRepairsEveryPar2Set() {
    command -v par2 >/dev/null || exit 77
    mkdir "$WORK/posted" && seq 3000 >"$WORK/posted/episode.txt"
    (cd "$WORK/posted" && par2 create -q -q -b8 -c8 show.par2 episode.txt)
    for job in "$WORK/Show.vol1+2" "$WORK/volumes only"; do
        mkdir "$job" && cp "$WORK/posted"/*.par2 "$job/"
    done
    rm "$WORK/volumes only/show.par2"
    for job in "$WORK/Show.vol1+2" "$WORK/volumes only"; do
        sabnzbd 0 "$job"
        cmp "$job/episode.txt" "$WORK/posted/episode.txt" || fail "$job not repaired by par2"
        has_line "Korbelt: repaired; every par2 set of the job now verifies"
    done
}

# A folder whose name ends in a newline is that folder, not its sibling without one; its
# older backups tell this run's apart all the same.
NzbgetTakesTheFolderAsGiven() {
    local folder=$WORK/job$'\n'
    download "$WORK/job" && download "$folder"
    printf 'posted\n' >"$folder/notes.bak"
    nzbget 0 "$folder"
    cmp "$folder/movie.avi.bak" "$WORK/damaged.avi" || fail "the download was not repaired"
    if ! cmp "$WORK/job/movie.avi" "$WORK/damaged.avi" || [ -e "$WORK/job/movie.avi.bak" ]; then
        fail "its sibling was repaired"
    fi
    has_line "[INFO] Korbelt: repaired 1 file(s), 0 proven by their checksums"
    levels_only
}

# A name that would print a line of its own starting with [NZB] is printed escaped.
NzbgetEscapesTheNamesItPrints() {
    local name=$'dl\n[NZB] NZBPR_forged=1\r\t\\\x1b\xc2\x9b\xc3\xa9'
    local shown='dl\n[NZB] NZBPR_forged=1\r\t\\\x1b\xc2\x9b'$'\xc3\xa9'
    nzbget 1 "$WORK/$name"
    has_line "[ERROR] Korbelt: the download's directory $WORK/$shown does not exist"
    levels_only
    download "$WORK/$name"
    nzbget 1 "$WORK/$name" NZBPO_KORBELTCLI="$WORK/none/$name"
    has_line "[ERROR] Korbelt: cannot run $WORK/none/$shown; install the korbelt package or set KorbeltCli"
    levels_only
    nzbget 0 "$WORK/$name"
    levels_only
}

"$4"
