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
# NZBGet's par-check then passes, or needs fewer recovery blocks. A NAME.bak that was there
# before (a posted file) is never replaced: its file is left as it is, and the log says why.
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
# line says so. What was repaired and proven is read from korbelt-cli's records (--json, by
# their type), never from status lines a file's name could imitate. Exit status: 0 when nothing failed,
# 1 otherwise (NZBGet logs it; the par-check decides the download's status).

log() {
    level=$1
    shift
    printf '[%s] %s\n' "$level" "$*"
}

log_lines() {
    sed "s/^/[$1] /" "$2"
}

# A name as korbelt-cli prints the names in its own lines: control characters (bytes 1 to
# 31, 127, and 128 to 159 alone or as UTF-8) as \n, \r, \t or \xHH, a backslash as \\.
# Printed raw, a newline in a name would start a line of its own, and NZBGet takes a line
# that starts with [NZB] for a command.
escaped() {
    printf '%s' "$1" | LC_ALL=C od -An -v -tu1 | LC_ALL=C awk '
        function hex(byte) { return sprintf("\\x%02x", byte) }
        # The length of the well-formed UTF-8 sequence at i, or 0: no overlong form, no
        # surrogate, nothing above U+10FFFF, nothing cut short.
        function sequence(i,    lead, size, low, high, k) {
            lead = b[i]
            size = lead >= 194 && lead <= 223 ? 2 : lead >= 224 && lead <= 239 ? 3 \
                : lead >= 240 && lead <= 244 ? 4 : 0
            if (size == 0 || i + size > n) return 0
            low = lead == 224 ? 160 : lead == 240 ? 144 : 128
            high = lead == 237 ? 159 : lead == 244 ? 143 : 191
            if (b[i + 1] < low || b[i + 1] > high) return 0
            for (k = 2; k < size; k++) if (b[i + k] < 128 || b[i + k] >= 192) return 0
            return size
        }
        { for (k = 1; k <= NF; k++) b[n++] = $k }
        END {
            for (i = 0; i < n; i += step) {
                c = b[i]
                step = c >= 128 ? sequence(i) : 0
                # U+0080 to U+009F are control characters too (CSI among them).
                control = c == 194 && b[i + 1] < 160
                for (k = 0; k < step; k++)
                    out = out (control ? hex(b[i + k]) : sprintf("%c", b[i + k]))
                if (step > 0) continue
                step = 1
                if (c == 92) out = out "\\\\"
                else if (c == 10) out = out "\\n"
                else if (c == 13) out = out "\\r"
                else if (c == 9) out = out "\\t"
                else if (c < 32 || c == 127 || c >= 128 && c < 160) out = out hex(c)
                else out = out sprintf("%c", c)
            }
            printf "%s", out
        }'
}

cli=${NZBPO_KORBELTCLI:-korbelt-cli}
drop=${NZBPO_DROPVERIFIEDBACKUPS:-yes}
directory=${NZBNA_DIRECTORY:-}

if [ "${NZBNA_EVENT:-}" != NZB_DOWNLOADED ]; then
    exit 0
fi
if [ -z "$directory" ] || [ ! -d "$directory" ]; then
    log ERROR "Korbelt: the download's directory $(escaped "${directory:-(none)}") does not exist"
    exit 1
fi
if ! command -v "$cli" >/dev/null 2>&1; then
    log ERROR "Korbelt: cannot run $(escaped "$cli"); install the korbelt package or set KorbeltCli"
    exit 1
fi
# The directory exactly as NZBGet names it (its name may end in a newline, which a command
# substitution would drop), less trailing slashes so that the paths logged read as usual.
while [ "${directory%/}" != "$directory" ] && [ -n "${directory%/}" ]; do
    directory=${directory%/}
done

reports=$(mktemp) && lines=$(mktemp) || exit 1
trap 'rm -f "$reports" "$lines"' EXIT

drop_option=
if [ "$drop" = yes ]; then
    drop_option=--drop-verified-backups
fi
# --keep-backups: a NAME.bak that was there before is never replaced; korbelt-cli leaves its
# file alone and says so. --json: what came of each file, as data on standard output; the
# status lines and warnings, for the log, on standard error.
"$cli" --json --yes --keep-backups --verify $drop_option -- "$directory" \
    </dev/null >"$reports" 2>"$lines"
result=$?
# Its own warnings start with "korbelt-cli: "; the rest are status lines and the questions
# it answered itself.
sed -e 's/^korbelt-cli: /[WARNING] korbelt-cli: /' -e '/^\[WARNING\] /!s/^/[INFO] /' "$lines"

# The records are read by their type and version, which start each line. A name is a JSON
# string there, its quotes escaped, so no name can pass for a key.
files='^{"type":"file","version":1,'
repaired=$(grep -c "$files"'.*"outcome":"repaired"' "$reports")
proven=$(grep "$files"'.*"outcome":"repaired"' "$reports" | grep -c '"verdict":"verified"')

# Without its summary record the run was cut short, whatever its exit status says.
if ! grep -q '^{"type":"summary","version":1,' "$reports"; then
    log ERROR "Korbelt: korbelt-cli ended before its summary (exit status $result)"
    exit 1
fi
# Damage the markers show and that Korbelt left (outside its search range) is known damage.
# Where the job brought no par2 set, nothing after this script can repair it, and NZBGet
# would call the download a success: it is marked bad instead.
left=$(grep -c "$files"'.*"outcome":"damage left"' "$reports")
if [ "$left" -gt 0 ]; then
    log ERROR "Korbelt: damage was found and left in $left file(s), as the lines above say"
    if ! ls -- "$directory"/*.[pP][aA][rR]2 >/dev/null 2>&1; then
        log ERROR "Korbelt: no par2 set can repair it; the download is marked bad"
        echo "[NZB] MARK=BAD"
    fi
    exit 1
fi
if [ "$result" -ne 0 ]; then
    log ERROR "Korbelt: not every file could be repaired and proven (korbelt-cli exit status $result)"
    exit 1
fi
log INFO "Korbelt: repaired $repaired file(s), $proven proven by their checksums"
exit 0
