#!/usr/bin/python3
"""What the setup file costs: its size against the 20 KiB goal, where the
bytes go, and the DLLs it imports against the exact list the checker holds.

    tools/bench-size.py [SETUP_EXE]

Run after tools/build.sh; without an argument it reads the file in dist/.
A benchmark to read, not a test: it always exits 0 once it could read the file.
"""
import importlib.util
import os
import sys

import pefile

GOAL = 20 * 1024


def expected_dlls():
    """The checker's exact list of imported DLLs, so both judge imports alike."""
    here = os.path.dirname(os.path.abspath(__file__))
    found = importlib.util.spec_from_file_location(
        "check_setup_file", os.path.join(here, "check-setup-file.py"))
    checker = importlib.util.module_from_spec(found)
    found.loader.exec_module(checker)
    return checker.IMPORTED_DLLS


RESOURCE_TYPES = {3: "icon images", 14: "icon group", 16: "version block", 24: "manifest"}


def main(argv):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    path = argv[1] if len(argv) > 1 else os.path.join(
        root, "dist", "QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe")
    if not os.path.isfile(path):
        sys.stderr.write(f"{path}: missing; run tools/build.sh first\n")
        return 1
    size = os.path.getsize(path)
    pe = pefile.PE(path)

    print(f"setup file: {path}")
    print(f"size: {size} bytes ({size / 1024:.1f} KiB); goal {GOAL} bytes: "
          f"{'within' if size <= GOAL else 'over'} by {abs(GOAL - size)} bytes")

    headers = pe.OPTIONAL_HEADER.SizeOfHeaders
    print("\nwhere the bytes go (file bytes; each section is padded to "
          f"{pe.OPTIONAL_HEADER.FileAlignment} bytes):")
    print(f"  {'headers':10} {headers:6}")
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode("ascii")
        print(f"  {name:10} {section.SizeOfRawData:6}  (used {section.Misc_VirtualSize})")
    tail = size - max((s.PointerToRawData + s.SizeOfRawData for s in pe.sections), default=headers)
    if tail:
        print(f"  {'after':10} {tail:6}  (certificate table or other appended data)")
    padding = sum(max(s.SizeOfRawData - s.Misc_VirtualSize, 0) for s in pe.sections)
    resources = sum(s.Misc_VirtualSize for s in pe.sections if s.Name.startswith(b".rsrc"))
    print(f"  in all: headers {headers}, resources {resources}, "
          f"code, data, imports and relocations {size - headers - tail - padding - resources}, "
          f"padding {padding}")

    print("\nresources:")
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for kind in resources.entries if resources else []:
        total = 0
        for entry in kind.directory.entries:
            for language in entry.directory.entries:
                total += language.data.struct.Size
        name = RESOURCE_TYPES.get(kind.id, f"type {kind.id}")
        print(f"  {name:14} {len(kind.directory.entries)} x, {total} bytes")

    print("\nimported DLLs:")
    expected = expected_dlls()
    found = []
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        dll = entry.dll.decode("ascii")
        found.append(dll.lower())
        names = [i.name.decode("ascii") if i.name else f"#{i.ordinal}" for i in entry.imports]
        note = "" if dll.lower() in expected else "  (NOT in the expected list)"
        print(f"  {dll:14} {len(names):3} functions{note}")
        print(f"      {' '.join(names)}")
    extra = sorted(set(found) - set(expected))
    missing = sorted(set(expected) - set(found))
    if not extra and not missing:
        print(f"\nimports exactly the expected DLLs: {' '.join(expected)}")
    else:
        print(f"\nimports differ from the expected list: extra {' '.join(extra) or '-'}, "
              f"missing {' '.join(missing) or '-'}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
