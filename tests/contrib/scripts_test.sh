#!/usr/bin/env bash
# The download managers' scripts run as their managers run them, with a built korbelt-cli
# and a home of their own. One function a test: scripts_test.sh CLI SAMPLE CONTRIB_DIR TEST
set -euo pipefail
export LC_ALL=C
CLI=$1 CONTRIB=$3 WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
"$2" "$WORK/damaged.avi"

fail() { cat "$WORK/out"; echo "FAIL: $*"; exit 1; }

# Runs a script, its output in $WORK/out, and wants the exit status $1.
run() {
    local status=0
    timeout 60 env -i PATH=/usr/bin:/bin HOME="$WORK" XDG_CONFIG_HOME="$WORK/config" \
        KORBELT_CLI="$CLI" NZBPO_KORBELTCLI="$CLI" "${@:2}" </dev/null >"$WORK/out" 2>&1 || status=$?
    [ "$status" = "$1" ] || fail "exit status $status, not $1"
}

# Every line has its level, so that NZBGet takes none for a command.
nzbget() {
    run "$1" NZBNA_EVENT=NZB_DOWNLOADED NZBNA_DIRECTORY="$2" "${@:3}" "$CONTRIB/nzbget/Korbelt/main.sh"
    if grep -v '^\[\(INFO\|WARNING\|ERROR\)\] ' "$WORK/out"; then fail "lines without a level"; fi
}

sabnzbd() { run "$1" "$CONTRIB/sabnzbd/korbelt.sh" "$2" job.nzb job "" tv alt.binaries.test 1; }
has_line() { grep -qxF -- "$1" "$WORK/out" || fail "no line: $1"; }
download() { mkdir -p "$1" && cp "$WORK/damaged.avi" "$1/movie.avi"; }

# A posted movie.avi.bak is not Korbelt's to replace: both files stay, and the log says why.
KeepAPostedBackup() {
    for manager in nzbget sabnzbd; do
        local folder=$WORK/$manager level='[INFO] '
        [ "$manager" = nzbget ] || level=
        download "$folder" && echo posted >"$folder/movie.avi.bak"
        "$manager" 1 "$folder"
        cmp "$folder/movie.avi.bak" <(echo posted)
        cmp "$folder/movie.avi" "$WORK/damaged.avi"
        has_line "${level}Backup file '$folder/movie.avi.bak' already exists"
        has_line "${level}I will have to delete it. Is this OK [y/N] n (--keep-backups)"
    done
}

# A movie.avi.$$$ that came with the download is posted data, not a copy of Korbelt's: the
# queue run of the NZBGet script and the post-processing of the SABnzbd script keep it as it
# was posted, repair movie.avi beside it, and the job's par2 set verifies afterwards.
KeepAPostedTemporaryName() {
    mkdir "$WORK/posted"
    cp "$WORK/damaged.avi" "$WORK/posted/movie.avi"
    "$CLI" --yes --no-verify "$WORK/posted/movie.avi" >/dev/null
    rm "$WORK/posted/movie.avi.bak"
    printf 'part of the post\r\n-' >"$WORK/posted/movie.avi.\$\$\$"
    (cd "$WORK/posted" && par2 create -q -q -n1 -r5 job.par2 movie.avi 'movie.avi.$$$')
    for manager in nzbget sabnzbd; do
        local folder=$WORK/$manager
        cp -r "$WORK/posted" "$folder" && cp "$WORK/damaged.avi" "$folder/movie.avi"
        "$manager" 0 "$folder"
        cmp "$folder/movie.avi.\$\$\$" "$WORK/posted/movie.avi.\$\$\$"
        cmp "$folder/movie.avi" "$WORK/posted/movie.avi"
        (cd "$folder" && par2 verify -q -q job.par2) || fail "the job's par2 set does not verify"
    done
}

# Sets are told by their files' names, whatever the folder's; a set of volumes alone too.
SabnzbdRepairsEveryPar2Set() {
    mkdir "$WORK/posted" "$WORK/Show.vol1+2" "$WORK/volumes only"
    seq 3000 >"$WORK/posted/episode.txt"
    (cd "$WORK/posted" && par2 create -q -q -b8 -c8 show.par2 episode.txt)
    cp "$WORK/posted"/*.par2 "$WORK/Show.vol1+2/" && cp "$WORK/posted"/*.vol* "$WORK/volumes only/"
    for job in "$WORK/Show.vol1+2" "$WORK/volumes only"; do
        sabnzbd 0 "$job"
        cmp "$job/episode.txt" "$WORK/posted/episode.txt"
        has_line "Korbelt: repaired; every par2 set of the job now verifies"
    done
}

# The folder named with a newline at its end, not its sibling; its older backups are told
# from this run's all the same.
NzbgetTakesTheFolderAsGiven() {
    local folder=$WORK/job$'\n'
    download "$WORK/job" && download "$folder" && printf 'posted\n' >"$folder/notes.bak"
    nzbget 0 "$folder"
    cmp "$folder/movie.avi.bak" "$WORK/damaged.avi"
    cmp "$WORK/job/movie.avi" "$WORK/damaged.avi"
    [ ! -e "$WORK/job/movie.avi.bak" ] || fail "the sibling was repaired"
    has_line "[INFO] Korbelt: repaired 1 file(s), 0 proven by their checksums"
}

NzbgetEscapesTheNamesItPrints() {
    local name=$'dl\n[NZB] NZBPR_forged=1\r\t\\\x1b\xc2\x9b\xc3\xa9'
    local shown='dl\n[NZB] NZBPR_forged=1\r\t\\\x1b\xc2\x9b'$'\xc3\xa9'
    nzbget 1 "$WORK/$name"
    has_line "[ERROR] Korbelt: the download's directory $WORK/$shown does not exist"
    download "$WORK/$name"
    nzbget 1 "$WORK/$name" NZBPO_KORBELTCLI="$WORK/none/$name"
    has_line "[ERROR] Korbelt: cannot run $WORK/none/$shown; install the korbelt package or set KorbeltCli"
    nzbget 0 "$WORK/$name"
}

"$4"
