#!/usr/bin/env bash
# Builds the structure walkers' corpus of real files in DIR: media that ffmpeg encodes from
# its test sources (a few seconds each, with subtitles where the container takes them), ZIP,
# 7z and RAR archives of installed documentation and headers, and damaged copies of each (see
# bench/structure_damage.py), listed in DIR/manifest.tsv for korbelt-bench-structure.
#
#   bench/structure_corpus.sh DIR
set -euo pipefail

cd "$(dirname "$0")/.."
ROOT=$(pwd)
# shellcheck source=tools/packages.sh
source tools/packages.sh
install_missing ffmpeg zip p7zip-full python3

DIR=${1:?usage: bench/structure_corpus.sh DIR}
rm -rf "$DIR/intact" "$DIR/damaged" "$DIR/manifest.tsv"
mkdir -p "$DIR/intact" "$DIR/damaged"
DIR=$(cd "$DIR" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Subtitles as downloads carry them: CR LF line ends, dialogue lines that start with '-'.
python3 - "$work/subs.srt" <<'PY'
import random, sys
rng = random.Random(3)
words = "the you what is here now go I know see well look all right will soon too".split()
with open(sys.argv[1], "w", newline="") as out:
    for n in range(1, 400):
        t = n * 0.02
        line = lambda: " ".join(rng.choice(words) for _ in range(rng.randint(3, 9)))
        out.write("%d\r\n00:00:%06.3f --> 00:00:%06.3f\r\n- %s\r\n- %s\r\n\r\n" % (
            n, t, t + 0.015, line(), line()))
PY
sed -i 's/\([0-9]\)\.\([0-9]\)/\1,\2/g' "$work/subs.srt"

ff() { ffmpeg -hide_banner -loglevel error -y "$@"; }
video=(-f lavfi -i "testsrc2=size=640x360:rate=25:duration=8")
audio=(-f lavfi -i "sine=frequency=440:duration=8")
subs=(-i "$work/subs.srt")
ff "${video[@]}" "${audio[@]}" -c:v mpeg4 -q:v 2 -c:a mp2 "$DIR/intact/clip.avi"
ff "${video[@]}" "${audio[@]}" -c:v mjpeg -q:v 6 -c:a pcm_s16le "$DIR/intact/clip-mjpeg.avi"
ff "${video[@]}" "${audio[@]}" -c:v mpeg2video -q:v 2 -c:a mp2 "$DIR/intact/clip.ts"
ff "${video[@]}" "${audio[@]}" -c:v mpeg2video -q:v 2 -c:a mp2 -mpegts_m2ts_mode 1 \
    -f mpegts "$DIR/intact/clip.m2ts"
ff "${video[@]}" "${audio[@]}" "${subs[@]}" -map 0 -map 1 -map 2 -c:v libx264 -preset veryfast \
    -c:a aac -c:s mov_text "$DIR/intact/clip.mp4"
ff "${video[@]}" "${audio[@]}" "${subs[@]}" -map 0 -map 1 -map 2 -c:v mpeg4 -c:a aac \
    -c:s mov_text -f mov "$DIR/intact/clip.mov"
ff "${video[@]}" "${audio[@]}" "${subs[@]}" -map 0 -map 1 -map 2 -c:v libx264 -preset veryfast \
    -c:a aac -c:s srt "$DIR/intact/clip.mkv"
ff "${video[@]}" "${audio[@]}" "${subs[@]}" -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2 -c:s srt \
    -write_crc32 0 "$DIR/intact/clip-nocrc.mkv"
# Written to a pipe, the muxer cannot go back: Clusters of unknown size, as a live stream.
ff "${video[@]}" "${audio[@]}" "${subs[@]}" -map 0 -map 1 -map 2 -c:v mpeg4 -c:a mp2 -c:s srt \
    -f matroska - | cat > "$DIR/intact/clip-piped.mkv"
ff "${video[@]}" "${audio[@]}" "${subs[@]}" -map 0 -map 1 -map 2 -c:v libvpx -b:v 400k \
    -c:a libvorbis -c:s webvtt "$DIR/intact/clip.webm"
ff "${video[@]}" "${audio[@]}" -c:v mpeg2video -q:v 2 -c:a mp2 -f vob "$DIR/intact/clip.mpg"

# Archives: text with CR LF line ends (zip -l), stored and deflated; headers as they are.
mkdir -p "$work/docs" "$work/include"
find /usr/share/doc -type f \( -name '*.md' -o -name '*.rst' -o -name 'README*' -o -name 'TODO' \
    -o -name 'NEWS' -o -name 'THANKS' \) ! -name '*.gz' -size -200k | sort | head -n 150 |
    while read -r file; do cp "$file" "$work/docs/$(echo "${file#/usr/share/doc/}" | tr / _)"; done
cp /usr/include/zlib.h /usr/include/stdio.h /usr/include/stdlib.h /usr/include/string.h \
    /usr/include/unistd.h /usr/include/fcntl.h "$work/include/" 2>/dev/null || true
(cd "$work/docs" && zip -q -X -l -0 "$DIR/intact/docs-stored.zip" ./* &&
    zip -q -X -l -9 "$DIR/intact/docs-deflated.zip" ./*)
(cd "$work/include" && zip -q -X -9 "$DIR/intact/headers.zip" ./*)
(cd "$work/docs" && cat ./* | zip -q -X - - | cat > "$DIR/intact/docs-streamed.zip")
(cd "$work/docs" && 7z a -bd -mx=0 "$DIR/intact/docs-stored.7z" ./* > /dev/null &&
    7z a -bd -mx=5 "$DIR/intact/docs-lzma.7z" ./* > /dev/null)
# RAR, which no free tool writes: stored, by bench/rar_writer.py, its text made CR LF as a
# Windows archiver would have found it (what zip -l does above).
(cd "$work/docs" &&
    python3 "$ROOT/bench/rar_writer.py" --crlf 4 "$DIR/intact/docs-stored.rar" ./* &&
    python3 "$ROOT/bench/rar_writer.py" --crlf 5 "$DIR/intact/docs-stored5.rar" ./*)

: > "$DIR/manifest.tsv"
for intact in "$DIR"/intact/*; do
    case "$intact" in
        *.zip) format=ZIP ;;
        *.avi) format=RIFF ;;
        *.ts | *.m2ts) format=MPEG-TS ;;
        *.mp4 | *.mov) format="ISO media" ;;
        *.mkv | *.webm) format=Matroska ;;
        *.mpg) format=MPEG-PS ;;
        *.7z) format=7z ;;
        # RAR 4 and RAR 5 share the extension; their signatures differ in the 7th byte.
        *.rar) if cmp -s -n 8 "$intact" <(printf 'Rar!\x1a\x07\x01\x00'); then format="RAR 5"
               else format="RAR 4"; fi ;;
        *) continue ;;
    esac
    python3 "$ROOT/bench/structure_damage.py" "$intact" "$DIR/damaged" "$DIR/manifest.tsv" "$format"
done
# Split pieces as split(1), HJSplit and 7-Zip write them: the documentation as one CR LF text
# in four pieces, a Matroska clip in three; the second piece of each set is damaged. The
# clip's Clusters are short (half a second, 32 KiB), as a large file's are beside pieces of
# hundreds of MiB, so that most of them lie wholly in a piece.
mkdir -p "$DIR/intact/pieces"
(cd "$work/docs" && cat ./* | sed 's/\r*$/\r/' > "$work/docs.txt")
split -d -a 3 --numeric-suffixes=1 -n 4 "$work/docs.txt" "$DIR/intact/pieces/docs.txt."
ff "${video[@]}" "${audio[@]}" "${subs[@]}" -map 0 -map 1 -map 2 -c:v libx264 -preset veryfast \
    -c:a aac -c:s srt -cluster_size_limit 32768 -cluster_time_limit 500 "$work/clip.mkv"
split -d -a 3 --numeric-suffixes=1 -n 3 "$work/clip.mkv" "$DIR/intact/pieces/clip.mkv."
for piece in "$DIR"/intact/pieces/*.002; do
    python3 "$ROOT/bench/structure_damage.py" "$piece" "$DIR/damaged" "$DIR/manifest.tsv" \
        "split pieces"
done
echo "$(wc -l < "$DIR/manifest.tsv") damaged files of $(ls "$DIR/intact" | wc -l) intact ones in $DIR"
