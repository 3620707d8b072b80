#!/bin/sh
##############################################################################
### NZBGET QUEUE SCRIPT                                                    ###
### QUEUE EVENTS: NZB_DOWNLOADED

# Korbelt: repairs downloaded files that carry extra bytes, before NZBGet checks them.
#
# Runs when a download's articles are all in (event NZB_DOWNLOADED), before NZBGet's own
# par-check, on the files directly in the download's directory, with the checksums the
# download carries deciding: a file its par2 set (or SFV, or sha*sum list) proves intact is
# left exactly as it is; a damaged one is repaired, and the repair checked against the set.
# NZBGet's par-check then passes, or needs fewer recovery blocks.
#
# NOTE: korbelt-cli must be installed (package korbelt).

### OPTIONS                                                                ###

# The korbelt-cli program: a name found on the PATH, or a full path.
#KorbeltCli=korbelt-cli

# Delete NAME.bak after a repair its checksum proves (yes, no).
#
# The download then holds the files as they were posted.
#DropVerifiedBackups=yes

### NZBGET QUEUE SCRIPT                                                    ###
##############################################################################
#
# Logged: korbelt-cli's status lines as [INFO], its warnings as [WARNING], failures as
# [ERROR]. A file whose repair its checksum does not prove keeps its NAME.bak, and the last
# line says so. Whether a repair is proven is asked of korbelt-cli per file on disk, never
# read from status lines a file's name could imitate. Exit status: 0 when nothing failed,
# 1 otherwise (NZBGet logs it; the par-check decides the download's status).

log() {
    level=$1
    shift
    printf '[%s] %s\n' "$level" "$*"
}

log_lines() {
    sed "s/^/[$1] /" "$2"
}

cli=${NZBPO_KORBELTCLI:-korbelt-cli}
drop=${NZBPO_DROPVERIFIEDBACKUPS:-yes}
directory=${NZBNA_DIRECTORY:-}

if [ "${NZBNA_EVENT:-}" != NZB_DOWNLOADED ]; then
    exit 0
fi
if [ -z "$directory" ] || [ ! -d "$directory" ]; then
    log ERROR "Korbelt: the download's directory ${directory:-(none)} does not exist"
    exit 1
fi
if ! command -v "$cli" >/dev/null 2>&1; then
    log ERROR "Korbelt: cannot run $cli; install the korbelt package or set KorbeltCli"
    exit 1
fi
directory=$(cd -- "$directory" && pwd) || exit 1

lines=$(mktemp) && warnings=$(mktemp) && before=$(mktemp) || exit 1
trap 'rm -f "$lines" "$warnings" "$before"' EXIT

# The backups there are already are not this run's.
for backup in "$directory"/*.bak; do
    [ -f "$backup" ] && printf '%s\n' "$backup"
done >"$before"

"$cli" --yes --verify -- "$directory" </dev/null >"$lines" 2>"$warnings"
result=$?
log_lines INFO "$lines"
log_lines WARNING "$warnings"

repaired=0
proven=0
for backup in "$directory"/*.bak; do
    file=${backup%.bak}
    if [ ! -f "$backup" ] || [ ! -f "$file" ] || grep -qxF -- "$backup" "$before"; then
        continue
    fi
    repaired=$((repaired + 1))
    # A repaired file its checksum proves is found intact by a dry run.
    if "$cli" --dry-run --verify -- "$file" </dev/null 2>/dev/null | grep -q '^  intact: matches '; then
        proven=$((proven + 1))
        if [ "$drop" = yes ]; then
            rm -f -- "$backup"
        fi
    fi
done

if [ "$result" -ne 0 ]; then
    log ERROR "Korbelt: not every file could be repaired and proven (korbelt-cli exit status $result)"
    exit 1
fi
log INFO "Korbelt: repaired $repaired file(s), $proven proven by their checksums"
exit 0
