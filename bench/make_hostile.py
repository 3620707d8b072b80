#!/usr/bin/env python3
"""Writes a file and a PAR 2.0 index made against the guided repair's searches.

    make_hostile.py SLICES FILE INDEX

FILE: SLICES slices of 64 KiB, each all one byte value, and each with one byte more. INDEX
describes the file as it would be without the extra bytes, with the right CRC-32 for every
slice but a wrong MD5: every single-byte removal of a slice matches its CRC-32, none its MD5.
A planner that hashed every candidate took seconds a slice.
"""
import hashlib
import struct
import sys
import zlib

SLICE = 65536


def packet(set_id, kind, body):
    header_rest = set_id + kind
    md5 = hashlib.md5(header_rest + body).digest()
    return b"PAR2\0PKT" + struct.pack("<Q", 64 + len(body)) + md5 + header_rest + body


def main():
    slices, file_name, index_name = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    posted = b"".join(bytes([0x41 + n % 26]) * SLICE for n in range(slices))
    arrived = b"".join(bytes([0x41 + n % 26]) * (SLICE + 1) for n in range(slices))
    with open(file_name, "wb") as out:
        out.write(arrived)
    name = file_name.rsplit("/", 1)[-1].encode()
    name += b"\0" * (-len(name) % 4)
    file_id = hashlib.md5(hashlib.md5(posted[:16384]).digest() + struct.pack("<Q", len(posted)) + name).digest()
    main_body = struct.pack("<QI", SLICE, 1) + file_id
    set_id = hashlib.md5(main_body).digest()
    description = (file_id + hashlib.md5(posted).digest() + hashlib.md5(posted[:16384]).digest() +
                   struct.pack("<Q", len(posted)) + name)
    checksums = file_id
    for n in range(slices):
        piece = posted[n * SLICE:(n + 1) * SLICE]
        checksums += hashlib.md5(b"not " + piece).digest() + struct.pack("<I", zlib.crc32(piece))
    with open(index_name, "wb") as out:
        out.write(packet(set_id, b"PAR 2.0\0Main\0\0\0\0", main_body))
        out.write(packet(set_id, b"PAR 2.0\0FileDesc", description))
        out.write(packet(set_id, b"PAR 2.0\0IFSC\0\0\0\0", checksums))


if __name__ == "__main__":
    main()
