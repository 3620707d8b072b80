#!/bin/sh
# Korbelt for NZBGet: repairs the files of a finished download that carry extra bytes.
#
# NZBGet runs this post-processing extension with the download's directory in
# NZBPP_DIRECTORY and its overall status in NZBPP_TOTALSTATUS. It runs
# `korbelt-cli --yes` on that directory (the files directly in it), never waits for an
# answer, writes korbelt-cli's lines to NZBGet's log ([INFO] for the status lines,
# [WARNING] for its warnings, [ERROR] when the job failed) and ends with NZBGet's codes:
#
#   93  success: at least one file was repaired and none failed
#   94  failure: a file could not be repaired, or korbelt-cli could not be run
#   95  nothing to do: the download did not succeed, it was repaired before, or no file
#       carried extra bytes
#
# What was repaired is counted on disk, not read from korbelt-cli's status lines (which a
# file's name could imitate): a repaired file is one whose original now sits beside it as
# NAME.bak, and the download held no such pair before the run.
#
# A download that already holds NAME.bak beside NAME was repaired before (post-process
# again); repairing it once more would treat the kept originals as downloads too.
#
# Option (from the manifest, NZBPO_KORBELTCLI): the korbelt-cli program to run.

POSTPROCESS_SUCCESS=93
POSTPROCESS_ERROR=94
POSTPROCESS_NONE=95

log() {
    level=$1
    shift
    printf '[%s] %s\n' "$level" "$*"
}

# Prefixes every line of a file with a log level.
log_lines() {
    sed "s/^/[$1] /" "$2"
}

# How many NAME.bak sit beside their NAME in directory $1.
backups_beside() {
    count=0
    for backup in "$1"/*.bak; do
        if [ -f "$backup" ] && [ -f "${backup%.bak}" ]; then
            count=$((count + 1))
        fi
    done
    echo "$count"
}

# True when some NAME.bak sits beside its NAME in directory $1.
repaired_before() {
    [ "$(backups_beside "$1")" -gt 0 ]
}

cli=${NZBPO_KORBELTCLI:-korbelt-cli}
directory=${NZBPP_DIRECTORY:-}
status=${NZBPP_TOTALSTATUS:-}

if [ -z "$directory" ]; then
    log ERROR "Korbelt: NZBPP_DIRECTORY is not set; this script is run by NZBGet"
    exit $POSTPROCESS_ERROR
fi
if [ "$status" != SUCCESS ]; then
    log INFO "Korbelt: skipped, the download's status is ${status:-unknown}"
    exit $POSTPROCESS_NONE
fi
if [ ! -d "$directory" ]; then
    log ERROR "Korbelt: the download's directory $directory does not exist"
    exit $POSTPROCESS_ERROR
fi
if ! command -v "$cli" >/dev/null 2>&1; then
    log ERROR "Korbelt: cannot run $cli; install the korbelt package or set KorbeltCli"
    exit $POSTPROCESS_ERROR
fi
# korbelt-cli names the files under the directory as given: absolute, no trailing slash.
directory=$(cd -- "$directory" && pwd) || exit $POSTPROCESS_ERROR
if repaired_before "$directory"; then
    log INFO "Korbelt: skipped, $directory was repaired before (NAME.bak beside NAME)"
    exit $POSTPROCESS_NONE
fi

lines=$(mktemp) && warnings=$(mktemp) || exit $POSTPROCESS_ERROR
trap 'rm -f "$lines" "$warnings"' EXIT

"$cli" --yes -- "$directory" </dev/null >"$lines" 2>"$warnings"
result=$?
log_lines INFO "$lines"
log_lines WARNING "$warnings"
repaired=$(backups_beside "$directory")

if [ $result -ne 0 ]; then
    log ERROR "Korbelt: not every file could be repaired (korbelt-cli exit status $result)"
    exit $POSTPROCESS_ERROR
fi
if [ "$repaired" -eq 0 ]; then
    log INFO "Korbelt: nothing to repair"
    exit $POSTPROCESS_NONE
fi
log INFO "Korbelt: repaired $repaired file(s)"
exit $POSTPROCESS_SUCCESS
