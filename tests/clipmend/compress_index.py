#!/usr/bin/env python3
"""An MP4 or QuickTime file with its index compressed as QuickTime compresses it: the whole moov
box deflated in a cmov box, and a free box that keeps the movie data where it was.

Usage: compress_index.py IN OUT
"""
import struct
import sys
import zlib


def box(kind, payload):
    return struct.pack(">I4s", 8 + len(payload), kind) + payload


def compress_index(data):
    pos = 0
    while data[pos + 4:pos + 8] != b"moov":
        pos += struct.unpack_from(">I", data, pos)[0]
    end = pos + struct.unpack_from(">I", data, pos)[0]
    packed = struct.pack(">I", end - pos) + zlib.compress(data[pos:end])
    cmov = box(b"cmov", box(b"dcom", b"zlib") + box(b"cmvd", packed))
    return data[:pos] + box(b"moov", cmov + box(b"free", bytes(end - pos - len(cmov) - 16))) + data[end:]


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as source, open(sys.argv[2], "wb") as target:
        target.write(compress_index(source.read()))
