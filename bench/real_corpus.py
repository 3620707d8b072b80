#!/usr/bin/env python3
"""The real-file corpus of the markers' verdict, gathered from what Debian packages install.

    bench/real_corpus.py OUTDIR

Run by bench/real_corpus.sh, which installs what it needs first. Writes, under OUTDIR:

  intact/KIND/NNNN-NAME     real files as a Windows copy holds them (text in CR LF; media,
                            archives and fonts' binary forms as they are)
  damaged/KIND/NNNN-NAME    copies of some of them with a byte repeated after markers
  damaged/.../NAME.planted  the offsets in the damaged copy of the bytes slipped in, one a
                            line, after a first line telling how they were planted
  MANIFEST                  KIND, intact path, damaged path (or -), how it was damaged

Only files with at least 5 CR LF '-' markers are kept: with fewer the verdict never decides.
The choice is fixed by the files' names, so two runs on the same machine gather the same.
"""
import gzip
import hashlib
import os
import random
import subprocess
import sys
import tarfile

MAX_BYTES = 2 << 20
FEWEST_MARKERS = 5
MARKER = b"\r\n-"


def stable_hash(text):
    return int(hashlib.md5(text.encode()).hexdigest()[:12], 16)


def crlf(data):
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def is_text(data):
    return b"\0" not in data[:65536] and b"\n" in data


def markers(data):
    found, at = [], data.find(MARKER)
    while at >= 0:
        found.append(at)
        at = data.find(MARKER, at + 1)
    return found


def walk(roots, suffixes=None, skip=()):
    for root in roots:
        for folder, dirs, files in os.walk(root):
            dirs.sort()
            if any(part in folder for part in skip):
                continue
            for name in sorted(files):
                path = os.path.join(folder, name)
                if suffixes and not name.endswith(suffixes):
                    continue
                if os.path.islink(path) or not os.path.isfile(path):
                    continue
                yield path


def read(path):
    try:
        with open(path, "rb") as f:
            data = f.read(MAX_BYTES + 1)
        if path.endswith(".gz"):
            data = gzip.decompress(data)
    except (OSError, EOFError, gzip.BadGzipFile):
        return None
    return data if len(data) <= MAX_BYTES else None


class Corpus:
    def __init__(self, out):
        self.out = out
        self.rows = []
        self.kept = {}
        self.seen_digests = set()

    def add(self, kind, name, data, cap):
        """Keeps data when it has markers enough, is new, and its kind is not full."""
        if self.kept.get(kind, 0) >= cap or len(markers(data)) < FEWEST_MARKERS:
            return False
        digest = hashlib.md5(data).hexdigest()
        if digest in self.seen_digests:
            return False
        self.seen_digests.add(digest)
        index = self.kept.get(kind, 0)
        self.kept[kind] = index + 1
        safe = "".join(c if c.isalnum() or c in "._-" else "_" for c in os.path.basename(name))
        path = os.path.join(self.out, "intact", kind, "%04d-%s" % (index, safe[-60:]))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        self.rows.append([kind, path, "-", "intact"])
        return True

    def add_text_files(self, kind, paths, cap, salt=""):
        # Spread over the whole tree: ordered by a hash of the name, not alphabetically.
        for path in sorted(paths, key=lambda p: stable_hash(salt + p)):
            if self.kept.get(kind, 0) >= cap:
                return
            data = read(path)
            if data and is_text(data):
                self.add(kind, path, crlf(data), cap)


def gather_subtitles(corpus, work):
    """Subtitles as tools write them: SRT and WebVTT with dialogue lines, in CR LF, and the
    archives and media that carry them."""
    rng = random.Random(7)
    words = ("the you what is here now go I don't know see well look all right will soon "
             "too never again where why they come back tomorrow listen wait").split()
    made = []
    for number in range(40):
        cues, vtt = [], ["WEBVTT", ""]
        t = rng.randint(1, 50)
        for cue in range(1, rng.randint(30, 400)):
            start, t = t, t + rng.randint(2, 6)
            stamp = lambda s, sep: "%02d:%02d:%02d%s%03d" % (s // 3600, s // 60 % 60, s % 60,
                                                             sep, rng.randint(0, 999))
            lines = []
            for speaker in range(rng.choice((1, 1, 2, 2, 2))):
                text = " ".join(rng.choice(words) for _ in range(rng.randint(2, 9)))
                text = text[0].upper() + text[1:] + rng.choice(".?!")
                lines.append(("- " if rng.random() < 0.7 else "") + text)
            cues += [str(cue), stamp(start, ",") + " --> " + stamp(t, ","), *lines, ""]
            vtt += [stamp(start, ".") + " --> " + stamp(t, "."), *lines, ""]
        srt = os.path.join(work, "episode%02d.srt" % number)
        with open(srt, "wb") as f:
            f.write(crlf("\n".join(cues).encode()))
        made.append(srt)
        corpus.add("subtitles", srt, crlf("\n".join(cues).encode()), 1000)
        corpus.add("subtitles", srt[:-3] + "vtt", crlf("\n".join(vtt).encode()), 1000)
    # Archives of them as tar writes them (blocks padded with zeros).
    for number in range(0, 40, 4):
        tar = os.path.join(work, "season%02d.tar" % number)
        with tarfile.open(tar, "w", format=tarfile.GNU_FORMAT) as archive:
            for srt in made[number:number + 4]:
                archive.add(srt, arcname=os.path.basename(srt))
        with open(tar, "rb") as f:
            corpus.add("subtitle archives", tar, f.read(), 1000)
    return made


def gather_media(corpus, work, subtitles):
    """Media made by ffmpeg, large enough that CR LF '-' turns up in them by chance (about
    once in 16 MiB of compressed data), some with the subtitles in them."""
    if not shutil_which("ffmpeg"):
        print("ffmpeg is missing: no media in the corpus", file=sys.stderr)
        return
    jobs = [
        ("testsrc2=size=1280x720:rate=25", "sine=frequency=440", "mpg",
         ["-c:v", "mpeg2video", "-b:v", "30M", "-c:a", "mp2", "-f", "mpeg"]),
        ("mandelbrot=size=1280x720:rate=25", "anoisesrc=color=pink:amplitude=0.3", "mkv",
         ["-c:v", "mpeg4", "-b:v", "30M", "-c:a", "flac", "-c:s", "srt"]),
        ("cellauto=size=1280x720:rate=25", "anoisesrc=color=brown", "avi",
         ["-c:v", "mpeg4", "-b:v", "30M", "-c:a", "pcm_s16le"]),
        ("life=size=1280x720:rate=25:mold=10", "sine=frequency=1000", "mp4",
         ["-c:v", "mpeg4", "-b:v", "30M", "-c:a", "aac", "-c:s", "mov_text"]),
    ]
    for number, (video, audio, ext, codecs) in enumerate(jobs):
        out = os.path.join(work, "clip%02d.%s" % (number, ext))
        command = ["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-t", "50", "-i", video,
                   "-f", "lavfi", "-t", "50", "-i", audio]
        if "-c:s" in codecs:
            command += ["-i", subtitles[number], "-map", "0", "-map", "1", "-map", "2"]
        command += codecs + ["-shortest", out]
        if subprocess.run(command, stdin=subprocess.DEVNULL).returncode != 0:
            continue
        with open(out, "rb") as f:
            data = f.read()
        os.remove(out)
        corpus.add("media", out, data, 1000)


def shutil_which(name):
    return any(os.access(os.path.join(d, name), os.X_OK)
               for d in os.environ.get("PATH", "").split(os.pathsep))


def gather_diffs(corpus, roots, cap):
    """Unified diffs as diff -u writes them, of neighbouring real files of one folder."""
    for root in roots:
        for folder, dirs, files in os.walk(root):
            dirs.sort()
            names = sorted(n for n in files if os.path.isfile(os.path.join(folder, n)))
            for a, b in zip(names, names[1:]):
                if corpus.kept.get("diffs", 0) >= cap:
                    return
                pa, pb = os.path.join(folder, a), os.path.join(folder, b)
                if os.path.getsize(pa) > MAX_BYTES or os.path.getsize(pb) > MAX_BYTES:
                    continue
                if stable_hash(pa) % 3:
                    continue
                done = subprocess.run(["diff", "-u", pa, pb], capture_output=True)
                if done.returncode == 1 and is_text(done.stdout) and len(done.stdout) < MAX_BYTES:
                    corpus.add("diffs", pa + ".diff", crlf(done.stdout), cap)


def plant(data, sites, distances, rng):
    """The damage as it arrives: the stream is read in order, and after a chosen marker the
    byte a distance on is repeated; markers met while that distance is counted out are
    passed over, as the repair passes them over."""
    out = bytearray()
    planted = []
    done = 0  # the posted file is copied up to here
    for at in sites:
        if at < done:
            continue
        d = rng.choice(distances)
        where = at + d
        if where >= len(data):
            break
        out += data[done:where + 1]
        planted.append(len(out))
        out.append(data[where])
        done = where + 1
    out += data[done:]
    return bytes(out), planted


DAMAGE_KINDS = [
    # name, distances, share of the markers damaged
    ("one in range, all", [[39], [40], [41], [42], [43], [44]], 1.0),
    ("one in range, half", [[39], [41], [42], [44]], 0.5),
    ("one in range, a third", [[39], [40], [43], [44]], 0.33),
    ("one in range, a tenth", [[40], [42], [43]], 0.1),
    ("two in range, half", [[39, 43], [40, 44], [41, 42]], 0.5),
    ("outside the range, half", [[36], [37], [46], [47], [48]], 0.5),
    ("in and outside the range, half", [[41, 46], [43, 37]], 0.5),
]


def damage(corpus):
    rng = random.Random(20261208)
    intact = [row for row in corpus.rows if row[3] == "intact"]
    for index, (kind, path, _, _) in enumerate(intact):
        with open(path, "rb") as f:
            data = f.read()
        sites = markers(data)
        # Damage that the verdict could see at all: 20 markers or more, one file in three.
        if kind == "media" and len(sites) >= 8:
            pass  # few, and large: every one damaged
        elif len(sites) < 20 or stable_hash(path) % 3:
            continue
        name, choices, share = DAMAGE_KINDS[index % len(DAMAGE_KINDS)]
        distances = rng.choice(choices)
        chosen = [s for s in sites if rng.random() < share]
        damaged, planted = plant(data, chosen, distances, rng)
        if not planted:
            continue
        out = path.replace(os.sep + "intact" + os.sep, os.sep + "damaged" + os.sep, 1)
        os.makedirs(os.path.dirname(out), exist_ok=True)
        with open(out, "wb") as f:
            f.write(damaged)
        how = "%s at %s" % (name, "+".join(map(str, distances)))
        with open(out + ".planted", "w") as f:
            f.write(how + "\n" + "".join("%d\n" % p for p in planted))
        corpus.rows.append([kind, path, out, how])


def main():
    if len(sys.argv) != 2:
        print("usage: real_corpus.py OUTDIR", file=sys.stderr)
        return 2
    out = sys.argv[1]
    work = os.path.join(out, "made")
    os.makedirs(work, exist_ok=True)
    corpus = Corpus(out)
    certs = list(walk(["/etc/ssl/certs", "/usr/share/ca-certificates"], (".crt", ".pem")))
    corpus.add_text_files("certificates", certs, 60)
    # Bundles of several certificates, as a server's chain file holds them.
    ordered = sorted(certs)
    for number in range(80):
        start, count = number * 7 % len(ordered), 4 + number % 37
        bundle = b"".join(read(p) or b"" for p in ordered[start:start + count])
        corpus.add("certificates", "bundle%03d.pem" % number, crlf(bundle), 100)
    fonts = list(walk(["/usr/share/fonts/X11", "/etc/X11/fonts", "/usr/share/groff"],
                      skip=("tmac",)))
    corpus.add_text_files("fonts", fonts, 200)
    made = gather_subtitles(corpus, work)
    gather_media(corpus, work, made)
    gather_diffs(corpus, ["/usr/lib/python3.11", "/usr/include", "/usr/share/groff"], 100)
    corpus.add_text_files("documentation", walk(["/usr/share/doc"], skip=("/examples",)), 500)
    corpus.add_text_files("documentation", walk(["/usr/share/perl", "/usr/share/vim",
                                                 "/usr/share/perl5", "/usr/share/common-licenses",
                                                 "/usr/share/X11", "/usr/share/i18n"]), 650)
    corpus.add_text_files("sources", walk(["/usr/include"], (".h", ".hpp", ".tcc")), 200)
    corpus.add_text_files("sources", walk(["/usr/lib/python3.11", "/usr/lib/python3"],
                                          (".py",)), 400)
    corpus.add_text_files("sources", walk(["/usr/share"], (".pas", ".pp", ".inc", ".el",
                                                           ".lua", ".pl", ".pm", ".sh", ".js",
                                                           ".sql", ".tex", ".sty", ".cmake")),
                          500, salt="share")
    damage(corpus)
    with open(os.path.join(out, "MANIFEST"), "w") as f:
        for row in corpus.rows:
            f.write("\t".join(row) + "\n")
    intact = [r for r in corpus.rows if r[3] == "intact"]
    print("%d intact files, %d damaged copies: %s" % (
        len(intact), len(corpus.rows) - len(intact),
        ", ".join("%s %d" % kv for kv in sorted(corpus.kept.items()))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
