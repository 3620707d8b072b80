#!/usr/bin/env bash
# Gathers the real-file corpus of the markers' verdict (bench/real_corpus.py) into OUTDIR,
# installing first what it takes from: ffmpeg for the media, the X11 fonts for fonts.alias,
# the certificate bundles, groff's font descriptions, Python. Run by hand or by bench/run.sh;
# the corpus is never committed.
#
#   bench/real_corpus.sh OUTDIR
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 1 ] || { echo "usage: bench/real_corpus.sh OUTDIR" >&2; exit 2; }
# shellcheck source=tools/packages.sh
source tools/packages.sh
as_root apt-get update >/dev/null
install_missing python3 ffmpeg xfonts-base ca-certificates groff-base diffutils
rm -rf "$1"
python3 bench/real_corpus.py "$1"
