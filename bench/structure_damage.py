#!/usr/bin/env python3
"""Damages a file as download paths do, for the structure corpus (bench/structure_corpus.sh).

    structure_damage.py INTACT OUTDIR MANIFEST FORMAT

Writes up to three damaged copies of INTACT into OUTDIR and a line for each to MANIFEST
(damaged path, intact path, format, kind of damage):
  all-markers   a copy of a byte slipped in after every CR LF '-' marker (at most 200), landing
                40 to 45 bytes after the marker's CR, so that the pair lies in the scan's range
  some-markers  the same after a random third of them (three copies, each its own choice)
  one-marker    the same after one of them (three copies)
  wrappers      a MIME wrapper slipped in after data CRs (three copies: in the second and
                last quarters, in the middle, in the first and last tenths), its headers
                closed by a blank line, as a mail gateway leaves one
Files without markers get the wrappers only; without CRs, nothing. A piece of a split file
(FORMAT "split pieces") is written in a folder of its own, under its own name, beside copies
of the other pieces of its set, since those are what give its length.
"""
import os
import random
import re
import shutil
import sys

MARKER = b"\r\n-"
WRAPPER = (b"\r\n" + b"-" * 29 + b"=_Part_%d_0017\r\n"
           b"Content-Type: application/octet-stream\r\n\r\n")


def markers(data):
    found, at = [], data.find(MARKER)
    while at >= 0 and len(found) < 200:
        if at + 46 < len(data):
            found.append(at)
        at = data.find(MARKER, at + 46)
    return found


def repeat_after(data, chosen, rng):
    out, last = bytearray(), 0
    for cr in chosen:
        d = rng.randint(40, 45)
        out += data[last:cr + d]
        out.append(data[cr + d - 1])
        last = cr + d
    out += data[last:]
    return bytes(out)


def wrap(data, fractions):
    places = []
    for start in (int(len(data) * f) for f in fractions):
        cr = data.find(b"\r", start)
        if 0 <= cr < len(data) - 64 and (not places or cr > places[-1]):
            places.append(cr)
    out, last = bytearray(), 0
    for n, cr in enumerate(places):
        out += data[last:cr + 1] + (WRAPPER % (n + 1))
        last = cr + 1
    out += data[last:]
    return bytes(out) if places else None


def beside(piece, folder):
    """Copies the other pieces of piece's set into folder."""
    os.makedirs(folder, exist_ok=True)
    home, name = os.path.split(piece)
    own_set = re.sub(r"\.\d{3,6}$", "", name)
    for other in os.listdir(home):
        if other != name and re.sub(r"\.\d{3,6}$", "", other) == own_set:
            shutil.copyfile(os.path.join(home, other), os.path.join(folder, other))


def main():
    intact, outdir, manifest, fmt = sys.argv[1:5]
    data = open(intact, "rb").read()
    rng = random.Random(os.path.basename(intact))
    name = os.path.basename(intact)
    stem, ext = os.path.splitext(name)
    cases = []
    found = markers(data)
    if found:
        cases.append(("all-markers", repeat_after(data, found, rng)))
        for n in range(3):
            some = sorted(rng.sample(found, max(1, len(found) // 3)))
            cases.append(("some-markers-%d" % n, repeat_after(data, some, rng)))
        for n in range(3):
            cases.append(("one-marker-%d" % n, repeat_after(data, [rng.choice(found)], rng)))
    for n, fractions in enumerate(((0.25, 0.75), (0.5,), (0.1, 0.9))):
        wrapped = wrap(data, fractions)
        if wrapped:
            cases.append(("wrappers-%d" % n, wrapped))
    with open(manifest, "a") as lines:
        for kind, damaged in cases:
            if fmt == "split pieces":
                path = os.path.join(outdir, "%s.%s" % (name, kind), name)
                beside(intact, os.path.dirname(path))
            else:
                path = os.path.join(outdir, "%s.%s%s" % (stem, kind, ext))
            open(path, "wb").write(damaged)
            lines.write("%s\t%s\t%s\t%s\n" % (path, intact, fmt, kind))


if __name__ == "__main__":
    main()
