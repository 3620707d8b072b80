#!/bin/sh
# Korbelt for SABnzbd: repairs the files of a job whose verification failed, where extra
# bytes are what broke them.
#
# SABnzbd runs a post-processing script after its own par2 check and repair, with the job's
# final directory as the first argument (also in SAB_COMPLETE_DIR) and the post-processing
# status as the seventh (also in SAB_PP_STATUS): 0 all is well, 1 the verification or repair
# failed, 2 unpacking failed, 3 both, -1 the download failed. A job that passed its check
# holds files proven intact: Korbelt has nothing to do there and leaves it alone.
#
# When the check failed, this runs `korbelt-cli --yes --keep-backups --verify` on the
# directory (the files directly in it): the checksums the job carries decide, so a file its
# par2 set proves intact is not touched and a repair is checked against the set; a NAME.bak
# that was there before (a posted file) is never replaced, its file is left as it is and the
# log says why. `par2 repair` then mends what is left of each par2 set with the recovery
# blocks at hand, from the set's main file, or from one of its volumes when the main file is
# missing. Output goes to the job's script log; the last line, which SABnzbd shows in the
# history, says what came of it.
#
# Exit status: 0 when there was nothing to do or the job ends whole (every file verified,
# or par2 repair succeeded), 1 when it does not, or korbelt-cli could not be run.
#
# KORBELT_CLI and PAR2 in the environment name other korbelt-cli and par2 programs.

cli=${KORBELT_CLI:-korbelt-cli}
par2=${PAR2:-par2}
directory=${1:-${SAB_COMPLETE_DIR:-}}
status=${7:-${SAB_PP_STATUS:-0}}

if [ -z "$directory" ]; then
    echo "Korbelt: no job directory given; this script is run by SABnzbd"
    exit 1
fi
case "$status" in
    1 | 3) ;;
    *)
        echo "Korbelt: nothing to do, the job's post-processing status is $status"
        exit 0
        ;;
esac
if [ ! -d "$directory" ]; then
    echo "Korbelt: the job's directory $directory does not exist"
    exit 1
fi
if ! command -v "$cli" >/dev/null 2>&1; then
    echo "Korbelt: cannot run $cli; install the korbelt package or set KORBELT_CLI"
    exit 1
fi

"$cli" --yes --keep-backups --verify -- "$directory" </dev/null 2>&1
result=$?

# The set of a par2 file, by the file's name alone (the job's folder may be named like a
# volume): NAME for NAME.par2 and for its volumes NAME.volN+M.par2. True for a volume.
set_of() {
    name=${1##*/}
    set_name=${name%.vol[0-9]*+[0-9]*.par2}
    if [ "$set_name" = "$name" ]; then
        set_name=${name%.par2}
        return 1
    fi
}

# Whether par2 repairs the set of $1 from it: the set's main file, or its first volume where
# the main file is missing.
repairs_its_set() {
    set_of "$1" || return 0
    [ ! -f "$directory/$set_name.par2" ] || return 1
    wanted=$set_name
    for other in "$directory"/*.par2; do
        if set_of "$other" && [ "$set_name" = "$wanted" ]; then
            break
        fi
    done
    [ "$other" = "$1" ]
}

sets=0
repaired_sets=0
for file in "$directory"/*.par2; do
    if [ ! -f "$file" ] || ! repairs_its_set "$file"; then
        continue
    fi
    sets=$((sets + 1))
    if command -v "$par2" >/dev/null 2>&1 && "$par2" repair -q -q -- "$file" </dev/null; then
        repaired_sets=$((repaired_sets + 1))
    fi
done

if [ "$sets" -gt 0 ] && [ "$repaired_sets" -eq "$sets" ]; then
    echo "Korbelt: repaired; every par2 set of the job now verifies"
    exit 0
fi
if [ "$sets" -eq 0 ] && [ "$result" -eq 0 ]; then
    echo "Korbelt: repaired what carried extra bytes; no par2 set to prove the job whole"
    exit 0
fi
echo "Korbelt: the job is still damaged (korbelt-cli exit status $result, $repaired_sets of $sets par2 set(s) whole)"
exit 1
