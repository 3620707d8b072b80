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
install_missing ffmpeg zip p7zip-full python3
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
ff -c:v mpeg2video -c:a mp2 -f vob "$work/a.mpg"
ff -i "$work/s.srt" -map 0 -map 1 -map 2 -c:v mpeg4 -c:a aac -c:s mov_text "$work/a.mp4"
ff -i "$work/s.srt" -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2 -c:s srt "$work/a.mkv"
ff -i "$work/s.srt" -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2 -c:s srt -write_crc32 0 \
    -f matroska - | cat > "$work/b.mkv"
(cd "$work" && printf 'one\r\n- two\r\nthree\r\n' > t.txt && head -c 3000 /usr/include/stdio.h > h.h &&
    zip -q -X -n .txt a.zip t.txt h.h && zip -q -X - t.txt h.h | cat > b.zip &&
    7z a -bd -mx=0 a.7z t.txt h.h > /dev/null)

python3 - "$work" "$DIR" <<'PY'
import hashlib, os, struct, sys, zlib
work, out = sys.argv[1:3]
walker = {".zip": 0, ".avi": 1, ".ts": 2, ".m2ts": 2, ".mp4": 3, ".mkv": 4, ".mpg": 5, ".7z": 6,
          ".rar": 7, ".rar5": 8}

# RAR 4 and RAR 5 archives of two stored members, from the formats' descriptions.
members = [b"one\r\n- two\r\n" * 40, open("/usr/include/stdio.h", "rb").read()[:2000]]
def rar4_block(kind, flags, rest):
    header = struct.pack("<BHH", kind, flags, len(rest) + 7) + rest
    return struct.pack("<H", zlib.crc32(header) & 0xFFFF) + header
rar4 = b"Rar!\x1a\x07\x00" + rar4_block(0x73, 0, bytes(6))
for n, data in enumerate(members):
    name = b"m%d.txt" % n
    rest = struct.pack("<IIBIIBBHI", len(data), len(data), 0, zlib.crc32(data), 0, 20, 0x30,
                       len(name), 0x20) + name
    rar4 += rar4_block(0x74, 0x8000, rest) + data
rar4 += rar4_block(0x7B, 0x4000, b"")
def vint(v):
    out = bytearray()
    while True:
        out.append((v & 0x7F) | (0x80 if v > 0x7F else 0))
        v >>= 7
        if not v:
            return bytes(out)
def rar5_block(fields):
    sized = vint(len(fields)) + fields
    return struct.pack("<I", zlib.crc32(sized)) + sized
rar5 = b"Rar!\x1a\x07\x01\x00" + rar5_block(b"\x01\x00\x00")
for n, data in enumerate(members):
    name = b"m%d.txt" % n
    fields = (b"\x02\x02" + vint(len(data)) + vint(4) + vint(len(data)) + vint(0x20) +
              struct.pack("<I", zlib.crc32(data)) + vint(0) + vint(1) + vint(len(name)) + name)
    rar5 += rar5_block(fields) + data
rar5 += rar5_block(b"\x05\x00\x00")
open(os.path.join(work, "a.rar"), "wb").write(rar4)
open(os.path.join(work, "a.rar5"), "wb").write(rar5)
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
