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
    if grep -v '^\[\(INFO\|WARNING\|ERROR\)\] ' "$WORK/out" | grep -vxF '[NZB] MARK=BAD'; then
        fail "lines without a level"
    fi
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

# Damage the markers show outside the search range, left in the file, fails the job: NZBGet's
# download is marked bad where no par2 set could still repair it, SABnzbd's job fails.
DamageLeftFailsTheJob() {
    local folder=$WORK/job
    mkdir "$folder"
    python3 - "$folder/movie.avi" <<'PY'
import random, sys
data = bytearray(random.Random(5).randbytes(8 * 300))
data = bytearray(b if b not in (13, 82) else 14 for b in data)
for m in range(7, -1, -1):
    data[m * 300:m * 300 + 3] = b"\r\n-"
    data[m * 300 + 47:m * 300 + 48] = b"RR"
open(sys.argv[1], "wb").write(bytes(data))
PY
    cp "$folder/movie.avi" "$WORK/arrived.avi"
    nzbget 1 "$folder"
    has_line "[ERROR] Korbelt: damage was found and left in 1 file(s), as the lines above say"
    has_line "[NZB] MARK=BAD"
    sabnzbd 1 "$folder"
    has_line "Korbelt: the job is still damaged (korbelt-cli exit status 4, 0 of 0 par2 set(s) whole)"
    cmp "$folder/movie.avi" "$WORK/arrived.avi"
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

# Every byte but "/" in a name, and the ill-formed UTF-8 sequences: each file is repaired and
# counted, and no name breaks a line of the log.
EveryByteInNames() {
    local names=() byte sequence
    for byte in $(seq 1 255); do
        [ "$byte" -ne 47 ] && names+=("$(printf "byte-%02x-\\$(printf %03o "$byte")x.avi" "$byte")")
    done
    for sequence in '\300\200' '\340\200\200' '\355\240\200' '\364\220\200\200' \
        '\365\200\200\200' '\377\376' '\342\202' '\360\237\230' '\302\233[31m'; do
        names+=("$(printf "seq-$sequence.avi")")
    done
    local nzbget_line="[INFO] Korbelt: repaired ${#names[@]} file(s), 0 proven by their checksums"
    local sabnzbd_line="Korbelt: repaired what carried extra bytes; no par2 set to prove the job whole"
    for manager in nzbget sabnzbd; do
        local folder=$WORK/$manager line=${manager}_line
        mkdir "$folder"
        for name in "${names[@]}"; do cp "$WORK/damaged.avi" "$folder/$name"; done
        local made=("$folder"/*)
        [ "${#made[@]}" -eq "${#names[@]}" ] || fail "${#made[@]} names made, not ${#names[@]}"
        "$manager" 0 "$folder"
        has_line "${!line}"
        for name in "${names[@]}"; do
            cmp -s "$folder/$name.bak" "$WORK/damaged.avi" || fail "not repaired: $name"
        done
    done
}

# A run cut short has no summary record: whatever its exit status, the script fails.
NzbgetWantsTheSummary() {
    download "$WORK/job"
    nzbget 1 "$WORK/job" NZBPO_KORBELTCLI=/bin/true
    has_line "[ERROR] Korbelt: korbelt-cli ended before its summary (exit status 0)"
}

"$4"
