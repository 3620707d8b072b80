#!/bin/sh
# Korbelt for SABnzbd: repairs the files of a finished job that carry extra bytes.
#
# SABnzbd runs a post-processing script with the job's final directory as the first
# argument (also in SAB_COMPLETE_DIR) and the post-processing status as the seventh
# (also in SAB_PP_STATUS; 0 is OK). This runs `korbelt-cli --yes` on that directory (the
# files directly in it) and never waits for an answer. Its output goes to the job's script
# log; the last line, which SABnzbd shows in the history, says what came of it.
#
# Exit status: 0 when every file was repaired or clean, when there was nothing to do (the
# job failed, or it was repaired before), 1 when a file could not be repaired or
# korbelt-cli could not be run.
#
# What was repaired is counted on disk, not read from korbelt-cli's status lines (which a
# file's name could imitate): a repaired file is one whose original now sits beside it as
# NAME.bak, and the job held no such pair before the run.
# A job that already holds NAME.bak beside NAME was repaired before; repairing it again
# would treat the kept originals as downloads too.
#
# KORBELT_CLI in the environment names another korbelt-cli to run.

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

cli=${KORBELT_CLI:-korbelt-cli}
directory=${1:-${SAB_COMPLETE_DIR:-}}
status=${7:-${SAB_PP_STATUS:-0}}

if [ -z "$directory" ]; then
    echo "Korbelt: no job directory given; this script is run by SABnzbd"
    exit 1
fi
if [ "$status" != 0 ]; then
    echo "Korbelt: skipped, the job's post-processing status is $status"
    exit 0
fi
if [ ! -d "$directory" ]; then
    echo "Korbelt: the job's directory $directory does not exist"
    exit 1
fi
if ! command -v "$cli" >/dev/null 2>&1; then
    echo "Korbelt: cannot run $cli; install the korbelt package or set KORBELT_CLI"
    exit 1
fi
# korbelt-cli names the files under the directory as given: absolute, no trailing slash.
directory=$(cd -- "$directory" && pwd) || exit 1
if repaired_before "$directory"; then
    echo "Korbelt: skipped, $directory was repaired before (NAME.bak beside NAME)"
    exit 0
fi

lines=$(mktemp) || exit 1
trap 'rm -f "$lines"' EXIT

"$cli" --yes -- "$directory" </dev/null >"$lines" 2>&1
result=$?
cat "$lines"
repaired=$(backups_beside "$directory")

if [ $result -ne 0 ]; then
    echo "Korbelt: not every file could be repaired (korbelt-cli exit status $result)"
    exit 1
fi
if [ "$repaired" -eq 0 ]; then
    echo "Korbelt: nothing to repair"
    exit 0
fi
echo "Korbelt: repaired $repaired file(s)"
exit 0
