#!/usr/bin/env bash
# Seeds for the structure fuzz target (fuzz/run.sh SECONDS structure): small real files of
# every format a walker reads, made by ffmpeg and zip, intact and damaged, each preceded by
# the byte that chooses its walker (in the order of app/structure/Walkers.cpp).
#
#   fuzz/make_structure_seeds.sh DIR
set -euo pipefail

cd "$(dirname "$0")/.."
# shellcheck source=tools/packages.sh
source tools/packages.sh
install_missing ffmpeg zip python3
DIR=${1:?usage: fuzz/make_structure_seeds.sh DIR}
mkdir -p "$DIR"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '1\r\n00:00:00,000 --> 00:00:00,200\r\n- Who is it?\r\n- Me.\r\n\r\n' > "$work/s.srt"
ff() { ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=64x48:rate=10:duration=0.4" \
    -f lavfi -i "sine=duration=0.4" "$@"; }
ff -c:v mpeg4 -c:a mp2 "$work/a.avi"
ff -c:v mpeg2video -c:a mp2 "$work/a.ts"
ff -c:v mpeg2video -c:a mp2 -mpegts_m2ts_mode 1 -f mpegts "$work/a.m2ts"
ff -i "$work/s.srt" -map 0 -map 1 -map 2 -c:v mpeg4 -c:a aac -c:s mov_text "$work/a.mp4"
ff -i "$work/s.srt" -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2 -c:s srt "$work/a.mkv"
ff -i "$work/s.srt" -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2 -c:s srt -write_crc32 0 \
    -f matroska - | cat > "$work/b.mkv"
(cd "$work" && printf 'one\r\n- two\r\nthree\r\n' > t.txt && head -c 3000 /usr/include/stdio.h > h.h &&
    zip -q -X -n .txt a.zip t.txt h.h && zip -q -X - t.txt h.h | cat > b.zip)

python3 - "$work" "$DIR" <<'PY'
import hashlib, os, sys
work, out = sys.argv[1:3]
walker = {".zip": 0, ".avi": 1, ".ts": 2, ".m2ts": 2, ".mp4": 3, ".mkv": 4}
wrapper = b"\r\n" + b"-" * 29 + b"=_P\r\nContent-Type: x\r\n\r\n"
for name in sorted(os.listdir(work)):
    ext = os.path.splitext(name)[1]
    if ext not in walker:
        continue
    data = open(os.path.join(work, name), "rb").read()
    cr = data.find(b"\r", len(data) // 2)
    variants = [data, data[:len(data) // 2 + 7] + data[len(data) // 2 + 6:]]
    if cr > 0:
        variants.append(data[:cr + 1] + wrapper + data[cr + 1:])
    for variant in variants:
        seed = bytes([walker[ext]]) + variant
        open(os.path.join(out, hashlib.sha1(seed).hexdigest()), "wb").write(seed)
PY
echo "$(ls "$DIR" | wc -l) seeds in $DIR"
