#!/usr/bin/python3
"""Writes FILE.sha256 beside FILE, in the format `sha256sum -c` reads:
the hexadecimal digest, two blanks and the file's bare name.

    write-sha256.py FILE
"""
import hashlib
import os
import sys


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: write-sha256.py FILE\n")
        return 2
    path = argv[1]
    with open(path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    temporary = path + ".sha256.partial"
    with open(temporary, "w", encoding="ascii", newline="\n") as f:
        f.write(f"{digest}  {os.path.basename(path)}\n")
    os.replace(temporary, path + ".sha256")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
