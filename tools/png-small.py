#!/usr/bin/python3
"""Rewrites the plain RGB PNGs of the screenshot program small and the same
for the same pixels: an indexed palette when the picture has at most 256
colours (the palette sorted, the bit depth the smallest that holds it), zlib
level 9, no time or text chunks.

Usage: png-small.py IN.png OUT.png
"""
import struct
import sys
import zlib


def read_rgb(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{path}: not a PNG")
    at, idat, header = 8, b"", None
    while at < len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        kind = data[at + 4:at + 8]
        body = data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 2, 0):
        sys.exit(f"{path}: expected 8-bit RGB without interlace")
    raw = zlib.decompress(idat)
    stride = width * 3
    rows = []
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        if line[0] != 0:
            sys.exit(f"{path}: expected unfiltered rows")
        rows.append(line[1:])
    return width, height, rows


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def pack_row(indices, depth):
    if depth == 8:
        return bytes(indices)
    per_byte = 8 // depth
    out = bytearray()
    for start in range(0, len(indices), per_byte):
        byte = 0
        group = indices[start:start + per_byte]
        for i, value in enumerate(group):
            byte |= value << (8 - depth * (i + 1))
        out.append(byte)
    return bytes(out)


def write_small(path, width, height, rows):
    colours = sorted({row[x:x + 3] for row in rows for x in range(0, len(row), 3)})
    if len(colours) <= 256:
        depth = next(d for d in (1, 2, 4, 8) if len(colours) <= 1 << d)
        index = {c: i for i, c in enumerate(colours)}
        raw = b"".join(
            b"\x00" + pack_row([index[row[x:x + 3]] for x in range(0, len(row), 3)], depth)
            for row in rows)
        header = struct.pack(">IIBBBBB", width, height, depth, 3, 0, 0, 0)
        body = chunk(b"IHDR", header) + chunk(b"PLTE", b"".join(colours))
    else:
        # Filter "Sub" on every row: near-flat screenshot areas become zeros.
        out = bytearray()
        for row in rows:
            out.append(1)
            out.extend(row[:3])
            out.extend((row[x] - row[x - 3]) & 0xFF for x in range(3, len(row)))
        raw = bytes(out)
        header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
        body = chunk(b"IHDR", header)
    compressor = zlib.compressobj(9, zlib.DEFLATED, 15, 9, zlib.Z_DEFAULT_STRATEGY)
    idat = compressor.compress(raw) + compressor.flush()
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + body + chunk(b"IDAT", idat) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    write_small(sys.argv[2], *read_rgb(sys.argv[1]))


if __name__ == "__main__":
    main()
