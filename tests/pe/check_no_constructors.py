#!/usr/bin/python3
"""The setup file has no C runtime start-up, so nothing would run a global
constructor or destructor, a TLS callback or a .CRT initialiser: code that
needs one would link and then silently not run it. This refuses every object
of the setup file that carries such a section.

    check_no_constructors.py OBJDUMP FILE...

FILE: object files and static libraries (an argument may also be a list of
them separated by semicolons, as CMake passes object lists). Exits 0 when none has such a
section, 1 with one line per section found otherwise.
"""
import re
import subprocess
import sys

# Section names of work that start-up code would do: GCC's constructor and
# destructor lists (with or without priorities), thread-local storage and its
# callbacks, and the C runtime's initialiser tables.
FORBIDDEN = re.compile(r"^(\.ctors|\.dtors|\.init_array|\.fini_array|\.tls|\.CRT)(\$|\.|$)")


def main(argv):
    objdump = argv[1]
    files = [path for argument in argv[2:] for path in argument.split(";") if path]
    if not files:
        sys.stderr.write("no files given\n")
        return 2
    found = []
    for path in files:
        listing = subprocess.run([objdump, "-h", path], check=True, capture_output=True,
                                 text=True).stdout
        member = path
        for line in listing.splitlines():
            if ": " in line and "file format" in line:
                member = line.split(":")[0]
            fields = line.split()
            if len(fields) >= 7 and fields[0].isdigit() and FORBIDDEN.match(fields[1]):
                found.append(f"{member}: section {fields[1]}")
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
