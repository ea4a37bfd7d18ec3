#!/usr/bin/python3
"""Checks that a setup file has the form and resources KORVELA ERP ships.

    check-setup-file.py SETUP_EXE [--icons DIR] [--manifest FILE] [--signed]

Reads the file with pefile (Debian's python3-pefile), a PE parser of its own,
and prints one line per deviation; exits 0 when there is none, 1 otherwise.
  --icons DIR      the six images must also be byte for byte DIR/icon-N.png
  --manifest FILE  the manifest must also be byte for byte FILE
  --signed         the file may carry an Authenticode certificate table
                   (without it, a certificate table is a deviation)

The expected values are written out here, not taken from the sources, so a
wrong constant in the build shows up as a deviation.
"""
import argparse
import os
import struct
import sys
import xml.etree.ElementTree as ET

import pefile

SETUP_FILE_NAME = "QUENTARO-ERP-Windows-x64-Setup-2026-12-04.exe"

IMAGE_FILE_MACHINE_AMD64 = 0x8664
PE32_PLUS = 0x20B
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
# IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_LARGE_ADDRESS_AWARE
FILE_CHARACTERISTICS = 0x0022
# HIGH_ENTROPY_VA | DYNAMIC_BASE | NX_COMPAT | TERMINAL_SERVER_AWARE
DLL_CHARACTERISTICS = 0x8160
STACK_RESERVE = 1024 * 1024
STACK_COMMIT = 4 * 1024

# Exactly the DLLs the setup file imports (names compared in lower case): the
# Windows system DLLs of the operations it calls, each in System32 of every
# supported Windows. Anything else is a deviation, msvcrt.dll included: the
# file links no C runtime, and Windows' own one has no stable interface for
# applications.
IMPORTED_DLLS = ["advapi32.dll", "kernel32.dll", "ole32.dll", "shell32.dll", "user32.dll"]

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
LANGUAGE_EN_US = 1033
EXPECTED_RESOURCES = {
    RT_ICON: [1, 2, 3, 4, 5, 6],
    RT_GROUP_ICON: [1],
    RT_VERSION: [1],
    RT_MANIFEST: [1],
}
ICON_SIZES = [16, 24, 32, 48, 64, 128]

VERSION_MS, VERSION_LS = 0x00010000, 0x07EA04B4
VERSION_STRINGS = [
    ("CompanyName", "QUENTARO"),
    ("FileDescription", "KORVELA ERP Setup"),
    ("FileVersion", "1.0.20261204"),
    ("InternalName", "KORVELA ERP"),
    ("OriginalFilename", SETUP_FILE_NAME),
    ("ProductName", "KORVELA ERP"),
    ("ProductVersion", "1.0.20261204"),
]

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
XML_DECLARATION = b'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


class Report:
    def __init__(self):
        self.problems = []

    def expect(self, what, actual, expected):
        if actual != expected:
            self.problems.append(f"{what}: {fmt(actual)}, expected {fmt(expected)}")

    def fail(self, text):
        self.problems.append(text)


def fmt(value):
    return hex(value) if isinstance(value, int) and not isinstance(value, bool) else repr(value)


def check_form(pe, report, signed):
    fh, oh = pe.FILE_HEADER, pe.OPTIONAL_HEADER
    report.expect("machine", fh.Machine, IMAGE_FILE_MACHINE_AMD64)
    report.expect("optional header magic (PE32+)", oh.Magic, PE32_PLUS)
    report.expect("subsystem", oh.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI)
    report.expect("operating-system version",
                  (oh.MajorOperatingSystemVersion, oh.MinorOperatingSystemVersion), (6, 0))
    report.expect("subsystem version",
                  (oh.MajorSubsystemVersion, oh.MinorSubsystemVersion), (6, 0))
    report.expect("file characteristics", fh.Characteristics, FILE_CHARACTERISTICS)
    report.expect("DLL characteristics", oh.DllCharacteristics, DLL_CHARACTERISTICS)
    report.expect("stack reserve", oh.SizeOfStackReserve, STACK_RESERVE)
    report.expect("stack commit", oh.SizeOfStackCommit, STACK_COMMIT)
    report.expect("time stamp", fh.TimeDateStamp, 0)
    relocations = oh.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    if relocations.VirtualAddress == 0 or relocations.Size == 0:
        report.fail("base relocations: missing")
    if oh.CheckSum and oh.CheckSum != pe.generate_checksum():
        report.fail(f"checksum: {oh.CheckSum:#x}, the file sums to {pe.generate_checksum():#x}")
    debug = oh.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DEBUG"]]
    if debug.Size:
        report.fail("debug directory: present (the file would carry build paths)")
    security = oh.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    if security.Size and not signed:
        report.fail("certificate table: present in a file checked as unsigned")
    dlls = sorted(entry.dll.decode("ascii").lower()
                  for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []))
    for dll in sorted(set(dlls) - set(IMPORTED_DLLS)):
        report.fail(f"imports: {dll} is imported, but is not one of {', '.join(IMPORTED_DLLS)}")
    for dll in sorted(set(IMPORTED_DLLS) - set(dlls)):
        report.fail(f"imports: {dll} is missing")
    if len(set(dlls)) != len(dlls):
        report.fail(f"imports: a DLL has more than one import entry: {dlls}")
    if getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", None):
        report.fail("delay imports: present")


def resource_table(pe, report):
    """{type: {id: bytes}} with every entry's naming and language checked."""
    table = {}
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    if root is None:
        report.fail("resources: none")
        return table
    for type_entry in root.entries:
        if type_entry.name is not None:
            report.fail(f"resource type named {type_entry.name}: types must be integers")
            continue
        entries = table.setdefault(type_entry.id, {})
        for id_entry in type_entry.directory.entries:
            if id_entry.name is not None:
                report.fail(f"resource {type_entry.id}/{id_entry.name}: named, not an integer id")
                continue
            languages = id_entry.directory.entries
            report.expect(f"languages of resource {type_entry.id}/{id_entry.id}",
                          [language.id for language in languages], [LANGUAGE_EN_US])
            data = languages[0].data.struct
            entries[id_entry.id] = pe.get_data(data.OffsetToData, data.Size)
    return table


def check_resources(table, report):
    report.expect("resource types", sorted(table), sorted(EXPECTED_RESOURCES))
    for kind, ids in EXPECTED_RESOURCES.items():
        report.expect(f"ids of resource type {kind}", sorted(table.get(kind, {})), ids)


def png_header(data):
    """(width, height, bit depth, colour type, interlace) or None."""
    if len(data) < 33 or data[:8] != PNG_SIGNATURE or data[12:16] != b"IHDR":
        return None
    width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", data[16:29])
    return width, height, depth, colour, interlace


def check_icons(table, report, icons_dir):
    group = table.get(RT_GROUP_ICON, {}).get(1)
    images = table.get(RT_ICON, {})
    if group is None:
        return
    if len(group) < 6:
        report.fail("icon group: truncated")
        return
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    report.expect("icon group header (reserved, type, count)", (reserved, kind, count), (0, 1, 6))
    report.expect("icon group length", len(group), 6 + 14 * count)
    for index in range(min(count, len(ICON_SIZES), (len(group) - 6) // 14)):
        size = ICON_SIZES[index]
        width, height, colours, pad, planes, bits, length, icon_id = struct.unpack_from(
            "<BBBBHHIH", group, 6 + 14 * index)
        entry = f"icon group entry {index + 1}"
        report.expect(f"{entry} (width, height, colours, reserved, planes, bits)",
                      (width, height, colours, pad, planes, bits), (size, size, 0, 0, 1, 32))
        report.expect(f"{entry} icon id", icon_id, index + 1)
        image = images.get(icon_id)
        if image is None:
            report.fail(f"{entry}: no icon image {icon_id}")
            continue
        report.expect(f"{entry} byte count", length, len(image))
        report.expect(f"icon image {icon_id} PNG header (width, height, depth, colour type, interlace)",
                      png_header(image), (size, size, 8, 6, 0))
        if icons_dir is not None:
            with open(os.path.join(icons_dir, f"icon-{size}.png"), "rb") as f:
                if f.read() != image:
                    report.fail(f"icon image {icon_id}: differs from icon-{size}.png")


def check_version(pe, report):
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        report.fail("version block: missing")
        return
    fixed = fixed[0]
    report.expect("version block fixed part", (
        fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS,
        fixed.FileFlagsMask, fixed.FileFlags, fixed.FileOS, fixed.FileType, fixed.FileSubtype,
        fixed.FileDateMS, fixed.FileDateLS),
        (VERSION_MS, VERSION_LS, VERSION_MS, VERSION_LS, 0, 0, 0x00040004, 1, 0, 0, 0))
    tables, translations = [], []
    for file_info in getattr(pe, "FileInfo", []):
        for block in file_info:
            if block.Key == b"StringFileInfo":
                tables.extend(block.StringTable)
            elif block.Key == b"VarFileInfo":
                translations.extend(var.entry for var in block.Var)
            else:
                report.fail(f"version block: unexpected child {block.Key!r}")
    report.expect("version string tables", [t.LangID.decode("ascii") for t in tables], ["040904B0"])
    for string_table in tables:
        strings = [(key.decode("utf-8"), value.decode("utf-8"))
                   for key, value in string_table.entries.items()]
        report.expect("version strings", strings, VERSION_STRINGS)
    report.expect("version translations", translations, [{b"Translation": "0x0409 0x04b0"}])


def check_manifest(table, report, manifest_file):
    data = table.get(RT_MANIFEST, {}).get(1)
    if data is None:
        return
    if manifest_file is not None:
        with open(manifest_file, "rb") as f:
            if f.read() != data:
                report.fail(f"manifest: differs from {manifest_file}")
    if data.startswith(b"\xef\xbb\xbf"):
        report.fail("manifest: starts with a byte-order mark")
    try:
        data.decode("utf-8")
    except UnicodeDecodeError:
        report.fail("manifest: not UTF-8")
        return
    if not data.startswith(XML_DECLARATION):
        report.fail(f"manifest: declaration is not {XML_DECLARATION.decode()}")
    try:
        root = ET.fromstring(data)
    except ET.ParseError as error:
        report.fail(f"manifest: not well-formed XML ({error})")
        return

    def element(node, tag, attributes, children, text=None):
        report.expect(f"manifest element {tag} tag", node.tag, tag)
        report.expect(f"manifest element {tag} attributes", list(node.attrib.items()), attributes)
        report.expect(f"manifest element {tag} children",
                      [child.tag for child in node], [child for child, _ in children])
        if text is not None:
            report.expect(f"manifest element {tag} text", node.text, text)
        for child, (_, check_child) in zip(node, children):
            check_child(child)

    def execution_level(node):
        element(node, ASM_V3 + "requestedExecutionLevel",
                [("level", "asInvoker"), ("uiAccess", "false")], [])

    def privileges(node):
        element(node, ASM_V3 + "requestedPrivileges", [],
                [(ASM_V3 + "requestedExecutionLevel", execution_level)])

    def security(node):
        element(node, ASM_V3 + "security", [],
                [(ASM_V3 + "requestedPrivileges", privileges)])

    def trust_info(node):
        element(node, ASM_V3 + "trustInfo", [], [(ASM_V3 + "security", security)])

    def identity(node):
        element(node, ASM_V1 + "assemblyIdentity",
                [("version", "1.0.2026.1204"), ("processorArchitecture", "amd64"),
                 ("name", "QUENTARO.Korvela.ERP"), ("type", "win32")], [])

    def description(node):
        element(node, ASM_V1 + "description", [], [], "KORVELA ERP")

    element(root, ASM_V1 + "assembly", [("manifestVersion", "1.0")],
            [(ASM_V1 + "assemblyIdentity", identity),
             (ASM_V1 + "description", description),
             (ASM_V3 + "trustInfo", trust_info)])


def check(path, icons_dir=None, manifest_file=None, signed=False):
    """The list of deviations of the file at `path`; empty when it is as shipped."""
    report = Report()
    try:
        pe = pefile.PE(path)
    except (OSError, pefile.PEFormatError) as error:
        return [f"not a readable PE file: {error}"]
    check_form(pe, report, signed)
    table = resource_table(pe, report)
    check_resources(table, report)
    check_icons(table, report, icons_dir)
    check_version(pe, report)
    check_manifest(table, report, manifest_file)
    return report.problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("setup_file")
    parser.add_argument("--icons", metavar="DIR")
    parser.add_argument("--manifest", metavar="FILE")
    parser.add_argument("--signed", action="store_true")
    args = parser.parse_args()
    problems = check(args.setup_file, args.icons, args.manifest, args.signed)
    for problem in problems:
        print(f"{args.setup_file}: {problem}")
    if problems:
        return 1
    print(f"{args.setup_file}: form and resources as shipped")
    return 0


if __name__ == "__main__":
    sys.exit(main())
