#!/usr/bin/env python3
"""Writes stored RAR archives (no compression, no encryption, not solid), RAR 4 or RAR 5,
for the structure corpus (bench/structure_corpus.sh): the one archive format of downloads
that no free tool writes.

    rar_writer.py [--crlf] [--volume-size N] {4|5} OUT.rar FILE...

Members are stored under their base names, in the order given, each with one fixed time
(FIXED_TIME) so that the same files always give the same bytes.
  --crlf           store each member's bare LF line ends as CR LF, as a text file made on
                   Windows carries them (what zip -l does at archive time)
  --volume-size N  split the archive into volumes of at most N bytes each, OUT.part1.rar,
                   OUT.part2.rar ..., members continuing from one volume into the next

RAR 4 (the layout of RAR 1.5 to 4.x): the 7-byte marker, then blocks whose header starts
with the low 16 bits of the CRC-32 of the rest of it, a type, flags and its size; a file
header gives its data's size, and the data follows it. RAR 5: the 8-byte signature, then
blocks whose header starts with the CRC-32 of the rest of it and its size, the fields
variable-length integers; a file header announces a data area, which follows it.
"""
import argparse
import calendar
import os
import re
import struct
import sys
import zlib

# 2021-06-01 12:00:00: files' own times would make every run of the corpus differ.
FIXED_TIME = (2021, 6, 1, 12, 0, 0)

RAR4_MARKER = b"Rar!\x1a\x07\x00"
RAR5_SIGNATURE = b"Rar!\x1a\x07\x01\x00"

WINDOWS = 2          # RAR 4 host OS (Win32): members as a Windows archiver lists them
WINDOWS5 = 0         # RAR 5 host OS
ARCHIVE_ATTRIBUTE = 0x20


def crc32(data):
    return zlib.crc32(data) & 0xFFFFFFFF


def dos_time(when):
    year, month, day, hour, minute, second = when
    return ((year - 1980) << 25 | month << 21 | day << 16 |
            hour << 11 | minute << 5 | second // 2)


# --- RAR 4 ---------------------------------------------------------------------------------

R4_MAIN, R4_FILE, R4_END = 0x73, 0x74, 0x7B
R4_LONG_BLOCK = 0x8000      # a file header always has it: its data follows
R4_SKIP_IF_UNKNOWN = 0x4000
R4_SPLIT_BEFORE, R4_SPLIT_AFTER = 0x0001, 0x0002
R4_VOLUME, R4_NEW_NAMING, R4_FIRST_VOLUME = 0x0001, 0x0010, 0x0100
R4_NEXT_VOLUME = 0x0001     # in the end block: the archive goes on in the next volume
R4_STORED = 0x30
R4_VERSION = 20             # the version needed to extract a stored member


def rar4_block(kind, flags, fields):
    if 7 + len(fields) > 0xFFFF:
        raise ValueError("RAR 4 header longer than 64 KiB")
    header = struct.pack("<BHH", kind, flags, 7 + len(fields)) + fields
    return struct.pack("<H", crc32(header) & 0xFFFF) + header


def rar4_head(volume, volumes):
    flags = 0
    if volumes > 1:
        flags = R4_VOLUME | R4_NEW_NAMING | (R4_FIRST_VOLUME if volume == 0 else 0)
    # HighPosAV and PosAV, kept for authenticity information that is never written.
    return RAR4_MARKER + rar4_block(R4_MAIN, flags, bytes(6))


def rar4_file(name, part, size, crc, before, after):
    if not name.isascii():
        # Such names take RAR 4's own Unicode encoding beside an OEM one; not written here.
        raise ValueError("'%s': RAR 4 names other than ASCII are not written" % name)
    encoded = name.encode("ascii")
    flags = R4_LONG_BLOCK | (R4_SPLIT_BEFORE if before else 0) | (R4_SPLIT_AFTER if after else 0)
    fields = struct.pack("<IIBIIBBHI", part, size, WINDOWS, crc, dos_time(FIXED_TIME),
                         R4_VERSION, R4_STORED, len(encoded), ARCHIVE_ATTRIBUTE) + encoded
    return rar4_block(R4_FILE, flags, fields)


def rar4_end(more):
    return rar4_block(R4_END, R4_SKIP_IF_UNKNOWN | (R4_NEXT_VOLUME if more else 0), b"")


# --- RAR 5 ---------------------------------------------------------------------------------

R5_MAIN, R5_FILE, R5_END = 1, 2, 5
R5_HAS_DATA = 0x0002
R5_SPLIT_BEFORE, R5_SPLIT_AFTER = 0x0008, 0x0010
R5_VOLUME, R5_HAS_VOLUME_NUMBER = 0x0001, 0x0002
R5_FILE_TIME, R5_FILE_CRC = 0x0002, 0x0004
R5_NOT_LAST_VOLUME = 0x0001


def vint(value):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        out.append(byte | (0x80 if value else 0))
        if not value:
            return bytes(out)


def rar5_block(fields):
    if len(fields) >= 1 << 21:
        raise ValueError("RAR 5 header of 2 MiB or more")  # its size takes at most 3 bytes
    sized = vint(len(fields)) + fields
    return struct.pack("<I", crc32(sized)) + sized


def rar5_head(volume, volumes):
    if volumes == 1:
        fields = vint(R5_MAIN) + vint(0) + vint(0)
    elif volume == 0:
        fields = vint(R5_MAIN) + vint(0) + vint(R5_VOLUME)
    else:
        # The first volume has number 0 and leaves the field out; the others give theirs.
        fields = vint(R5_MAIN) + vint(0) + vint(R5_VOLUME | R5_HAS_VOLUME_NUMBER) + vint(volume)
    return RAR5_SIGNATURE + rar5_block(fields)


def rar5_file(name, part, size, crc, before, after):
    encoded = name.encode("utf-8")
    flags = R5_HAS_DATA | (R5_SPLIT_BEFORE if before else 0) | (R5_SPLIT_AFTER if after else 0)
    fields = (vint(R5_FILE) + vint(flags) + vint(part) +
              vint(R5_FILE_TIME | R5_FILE_CRC) + vint(size) + vint(ARCHIVE_ATTRIBUTE) +
              struct.pack("<II", calendar.timegm(FIXED_TIME), crc) +
              vint(0) +  # compression: algorithm version 0, method 0 (store), no dictionary
              vint(WINDOWS5) + vint(len(encoded)) + encoded)
    return rar5_block(fields)


def rar5_end(more):
    return rar5_block(vint(R5_END) + vint(0) + vint(R5_NOT_LAST_VOLUME if more else 0))


FORMATS = {
    "4": (rar4_head, rar4_file, rar4_end),
    "5": (rar5_head, rar5_file, rar5_end),
}


# --- Archives ------------------------------------------------------------------------------

def plan(members, head, file_header, end, limit):
    """The volumes' contents: for each, a list of (member index, start, length) pieces.

    Each volume holds its head, as many pieces as fit and its end block; a member that
    does not fit whole continues in the next volume. A file header's size depends on the
    name and on the piece's length (a variable-length integer in RAR 5), not on where the
    piece starts: measured with the volume size as the length, it is never short."""
    if limit is None:
        return [[(i, 0, len(data)) for i, (_, data) in enumerate(members)]]
    # Volume numbers and flags change the head and end by a few bytes: measure the largest.
    fixed = len(head(0xFFFF, 2)) + len(end(True))
    volumes, current, used = [], [], fixed
    for i, (name, data) in enumerate(members):
        start = 0
        while True:
            header = len(file_header(name, limit, len(data), 0, True, True))
            room = limit - used - header
            left = len(data) - start
            if room >= min(left, 1):
                piece = min(left, room)
                current.append((i, start, piece))
                used += header + piece
                start += piece
                if start == len(data):
                    break
            elif not current:
                raise ValueError("volume size %d too small for a header of '%s'" % (limit, name))
            else:
                volumes.append(current)
                current, used = [], fixed
    volumes.append(current)
    return volumes


def build(fmt, members, limit=None):
    """The archive's volumes, as bytes: one unless limit (bytes a volume) splits it."""
    head, file_header, end = FORMATS[fmt]
    pieces = plan(members, head, file_header, end, limit)
    out = []
    for v, volume in enumerate(pieces):
        blob = bytearray(head(v, len(pieces)))
        for i, start, length in volume:
            name, data = members[i]
            part = data[start:start + length]
            before, after = start > 0, start + length < len(data)
            # A part that goes on in the next volume is checked by the CRC-32 of its own
            # data; the last part, or a whole member, by that of the whole member.
            crc = crc32(part) if after else crc32(data)
            blob += file_header(name, length, len(data), crc, before, after) + part
        blob += end(v + 1 < len(pieces))
        out.append(bytes(blob))
    return out


def volume_names(path, count):
    if count == 1:
        return [path]
    stem = path[:-4] if path.lower().endswith(".rar") else path
    digits = len(str(count))
    return ["%s.part%0*d.rar" % (stem, digits, n + 1) for n in range(count)]


def main():
    parser = argparse.ArgumentParser(description="Writes a stored RAR 4 or RAR 5 archive.")
    parser.add_argument("--crlf", action="store_true",
                        help="store bare LF line ends as CR LF")
    parser.add_argument("--volume-size", type=int, metavar="N",
                        help="split into volumes of at most N bytes")
    parser.add_argument("format", choices=sorted(FORMATS))
    parser.add_argument("out")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()

    members = []
    for path in args.files:
        with open(path, "rb") as f:
            data = f.read()
        if args.crlf:
            data = re.sub(rb"(?<!\r)\n", b"\r\n", data)
        if len(data) >= 1 << 32:
            sys.exit("%s: 4 GiB or more, which this writer does not split into high and low "
                     "sizes" % path)
        members.append((os.path.basename(path), data))
    try:
        volumes = build(args.format, members, args.volume_size)
    except ValueError as error:
        sys.exit("%s: %s" % (args.out, error))
    for path, blob in zip(volume_names(args.out, len(volumes)), volumes):
        with open(path, "wb") as f:
            f.write(blob)


if __name__ == "__main__":
    main()
