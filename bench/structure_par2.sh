#!/usr/bin/env bash
# The structure corpus (bench/structure_corpus.sh DIR) with a PAR 2.0 set beside each damaged
# copy, made by par2create from the intact file as a poster would: korbelt-cli repairs each
# copy with the set, and par2 verify, the set's own tool, judges the result. Prints a
# Markdown table per format: cases, restored byte for byte, verified by par2 (which must be
# the same), and what Korbelt said (verified, or not).
#
#   bench/structure_par2.sh DIR [KORBELT_CLI]
#
# SLICES=N makes sets of N slices instead of par2create's default of about 2,000 (a set of
# few, large slices, as posters of large files make them, leaves more finds in each).
set -euo pipefail

cd "$(dirname "$0")/.."
# shellcheck source=tools/packages.sh
source tools/packages.sh
install_missing par2

DIR=${1:?usage: bench/structure_par2.sh DIR [KORBELT_CLI]}
CLI=${2:-build-bench/bin/korbelt-cli}
MANIFEST="$DIR/manifest.tsv"
[ -f "$MANIFEST" ] || { echo "no $MANIFEST: run bench/structure_corpus.sh $DIR first" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

declare -A cases restored verified told
n=0
while IFS=$'\t' read -r damaged intact format kind; do
    n=$((n + 1))
    case_dir="$work/$n"
    mkdir -p "$case_dir"
    name=$(basename "$intact")
    cp "$intact" "$case_dir/$name"
    # par2's defaults: about 2,000 slices and 5 % recovery data.
    (cd "$case_dir" && par2create -q -q ${SLICES:+-b"$SLICES"} "$name.par2" "$name" > /dev/null)
    cp "$damaged" "$case_dir/$name"
    if [ "$format" = "split pieces" ]; then
        # The other pieces of its set beside it, as a download leaves them.
        for other in "$(dirname "$damaged")"/*; do
            [ "$(basename "$other")" = "$name" ] || cp "$other" "$case_dir/"
        done
    fi
    "$CLI" --yes "$case_dir/$name" > "$case_dir/out.txt" 2>&1 || true
    cases[$format]=$((${cases[$format]:-0} + 1))
    if cmp -s "$case_dir/$name" "$intact"; then
        restored[$format]=$((${restored[$format]:-0} + 1))
    else
        echo "$kind $name: $(grep -m1 -E 'verified' "$case_dir/out.txt" || echo '(no checksum line)')" >&2
    fi
    # par2 verify on the repaired file alone: the backup is moved aside so that par2 does
    # not take it for a misnamed copy.
    mkdir -p "$case_dir/aside"
    mv "$case_dir/$name.bak" "$case_dir/aside/" 2> /dev/null || true
    if (cd "$case_dir" && par2 verify -q -q "$name.par2" > /dev/null 2>&1); then
        verified[$format]=$((${verified[$format]:-0} + 1))
    fi
    if grep -q "^  verified: " "$case_dir/out.txt"; then
        told[$format]=$((${told[$format]:-0} + 1))
    fi
done < "$MANIFEST"

echo "| format | cases | restored | verified by par2 | Korbelt says verified |"
echo "|---|---|---|---|---|"
all=(0 0 0 0)
while IFS= read -r format; do
    row=("${cases[$format]}" "${restored[$format]:-0}" "${verified[$format]:-0}" "${told[$format]:-0}")
    echo "| $format | ${row[0]} | ${row[1]} | ${row[2]} | ${row[3]} |"
    for i in 0 1 2 3; do all[i]=$((all[i] + row[i])); done
done < <(printf '%s\n' "${!cases[@]}" | sort)
echo "| all | ${all[0]} | ${all[1]} | ${all[2]} | ${all[3]} |"
