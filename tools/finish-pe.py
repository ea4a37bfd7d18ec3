#!/usr/bin/python3
"""Finishes the linked setup executable: finish-pe.py LINKED OUTPUT

GNU ld marks every image with the obsolete COFF "stripped" flags
(IMAGE_FILE_RELOCS_STRIPPED is not among them: the image keeps its base
relocations) and has no switch to leave them out. This clears
IMAGE_FILE_LINE_NUMS_STRIPPED, IMAGE_FILE_LOCAL_SYMS_STRIPPED and
IMAGE_FILE_DEBUG_STRIPPED, recomputes the optional header's checksum when the
linker set one, and writes OUTPUT through a temporary file, so that OUTPUT is
either the finished image or absent.

Standard library only: the build needs no Python packages.
"""
import os
import struct
import sys

IMAGE_FILE_LINE_NUMS_STRIPPED = 0x0004
IMAGE_FILE_LOCAL_SYMS_STRIPPED = 0x0008
IMAGE_FILE_DEBUG_STRIPPED = 0x0200
OBSOLETE_FLAGS = (IMAGE_FILE_LINE_NUMS_STRIPPED | IMAGE_FILE_LOCAL_SYMS_STRIPPED
                  | IMAGE_FILE_DEBUG_STRIPPED)

# Offsets inside the NT headers (from the "PE\0\0" signature).
CHARACTERISTICS_OFFSET = 4 + 18
CHECKSUM_OFFSET = 4 + 20 + 64


def pe_checksum(image, checksum_at):
    """The loader's image checksum: 16-bit one's-complement-style sum of the
    file with the checksum field taken as zero, plus the file length."""
    data = image[:checksum_at] + b"\0\0\0\0" + image[checksum_at + 4:]
    if len(data) % 2:
        data += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(image)) & 0xFFFFFFFF


def finish(image):
    if image[:2] != b"MZ":
        raise ValueError("not an MZ executable")
    (nt_at,) = struct.unpack_from("<I", image, 0x3C)
    if image[nt_at:nt_at + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    (magic,) = struct.unpack_from("<H", image, nt_at + 24)
    if magic != 0x20B:
        raise ValueError("not a PE32+ image")
    image = bytearray(image)
    at = nt_at + CHARACTERISTICS_OFFSET
    (flags,) = struct.unpack_from("<H", image, at)
    struct.pack_into("<H", image, at, flags & ~OBSOLETE_FLAGS)
    at = nt_at + CHECKSUM_OFFSET
    (checksum,) = struct.unpack_from("<I", image, at)
    if checksum:
        struct.pack_into("<I", image, at, pe_checksum(bytes(image), at))
    return bytes(image)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: finish-pe.py LINKED OUTPUT\n")
        return 2
    linked, output = argv[1], argv[2]
    try:
        with open(linked, "rb") as f:
            image = finish(f.read())
    except (OSError, ValueError) as error:
        sys.stderr.write(f"finish-pe.py: {linked}: {error}\n")
        return 1
    temporary = output + ".partial"
    with open(temporary, "wb") as f:
        f.write(image)
    os.chmod(temporary, 0o755)
    os.replace(temporary, output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
