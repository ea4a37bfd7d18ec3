#!/usr/bin/python3
"""The setup-file checker must see each kind of deviation it exists for.

    test_check_setup_file.py SETUP_FILE TOOLS_DIR

Each case damages a copy of the built setup file in one place and requires
the checker to name that place, and only then is the checker's silence on
the real file worth anything.
"""
import importlib.util
import os
import struct
import sys
import tempfile
import unittest

SETUP_FILE, TOOLS_DIR = sys.argv[1], sys.argv[2]
del sys.argv[1:3]


def load(name, file):
    found = importlib.util.spec_from_file_location(name, os.path.join(TOOLS_DIR, file))
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


checker = load("check_setup_file", "check-setup-file.py")
finisher = load("finish_pe", "finish-pe.py")

with open(SETUP_FILE, "rb") as f:
    ORIGINAL = f.read()
NT = struct.unpack_from("<I", ORIGINAL, 0x3C)[0]
CHECKSUM_AT = NT + finisher.CHECKSUM_OFFSET


def reseal(image):
    """Keeps the checksum right, so a case shows the one fault it makes."""
    image = bytearray(image)
    struct.pack_into("<I", image, CHECKSUM_AT, finisher.pe_checksum(bytes(image), CHECKSUM_AT))
    return bytes(image)


def replace_once(image, old, new):
    assert len(old) == len(new)
    assert image.count(old) == 1, f"{old!r} occurs {image.count(old)} times"
    return image.replace(old, new)


def utf16(text):
    return text.encode("utf-16-le")


def set_u16(image, offset, value):
    image = bytearray(image)
    struct.pack_into("<H", image, offset, value)
    return bytes(image)


def first_png_ihdr_interlace(image):
    return image.index(b"IHDR") + 4 + 12


def manifest_language_entry():
    """File offset of the manifest's language entry in the resource tree."""
    pe = checker.pefile.PE(data=ORIGINAL)
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id == checker.RT_MANIFEST:
            return kind.directory.entries[0].directory.entries[0].struct.get_file_offset()
    raise AssertionError("no manifest resource")


CASES = [
    ("the linker's stripped flags", "file characteristics",
     lambda im: reseal(set_u16(im, NT + 4 + 18, 0x022E))),
    ("a stale checksum", "checksum",
     lambda im: set_u16(im, CHECKSUM_AT, (struct.unpack_from("<H", im, CHECKSUM_AT)[0] + 1) & 0xFFFF)),
    ("no NX compatibility", "DLL characteristics",
     lambda im: reseal(set_u16(im, NT + 4 + 20 + 70, 0x8060))),
    ("a console subsystem", "subsystem",
     lambda im: reseal(set_u16(im, NT + 4 + 20 + 68, 3))),
    ("an interlaced icon image", "PNG header",
     lambda im: reseal(im[:first_png_ihdr_interlace(im)] + b"\x01" + im[first_png_ihdr_interlace(im) + 1:])),
    ("a version string out of date", "version strings",
     lambda im: reseal(replace_once(im, utf16("KORVELA ERP Setup"), utf16("KORVELA ERP Setuq")))),
    ("a pre-release flag", "version block fixed part",
     lambda im: reseal(replace_once(im, struct.pack("<IIIIII", 0x00010000, 0x07EA04B4, 0x00010000,
                                                   0x07EA04B4, 0, 0),
                                    struct.pack("<IIIIII", 0x00010000, 0x07EA04B4, 0x00010000,
                                                0x07EA04B4, 2, 2)))),
    ("an elevated execution level", "requestedExecutionLevel attributes",
     lambda im: reseal(replace_once(im, b'"asInvoker"', b'"requireAd"'))),
    ("a resource in another language", "languages of resource 24/1",
     lambda im: reseal(set_u16(im, manifest_language_entry(), 2052))),
    ("an import of the C runtime", "msvcrt.dll is imported",
     lambda im: reseal(replace_once(im, b"USER32.dll\0", b"msvcrt.dll\0"))),
    ("an import of another DLL", "version.dll is imported",
     lambda im: reseal(replace_once(im, b"SHELL32.dll\0", b"version.dll\0"))),
    ("an expected import missing", "ole32.dll is missing",
     lambda im: reseal(replace_once(im, b"ole32.dll\0", b"olf32.dll\0"))),
]


class CheckerTest(unittest.TestCase):
    def check_image(self, image, **options):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "setup.exe")
            with open(path, "wb") as f:
                f.write(image)
            return checker.check(path, **options)

    def test_the_built_file_passes(self):
        self.assertEqual(self.check_image(ORIGINAL), [])

    def test_each_damage_is_named(self):
        for title, expected, damage in CASES:
            with self.subTest(title):
                damaged = damage(ORIGINAL)
                self.assertNotEqual(damaged, ORIGINAL, "the case did not change the file")
                problems = self.check_image(damaged)
                self.assertTrue(any(expected in problem for problem in problems),
                                f"expected a problem about {expected!r}, got {problems}")

    def test_import_names_compare_without_case(self):
        renamed = reseal(replace_once(ORIGINAL, b"KERNEL32.dll\0", b"kernel32.DLL\0"))
        self.assertEqual(self.check_image(renamed), [])

    def test_a_manifest_differing_from_its_source_is_named(self):
        with tempfile.TemporaryDirectory() as folder:
            manifest = os.path.join(folder, "korvela.manifest")
            with open(manifest, "wb") as f:
                f.write(b"<?xml version=\"1.0\"?><assembly/>")
            problems = self.check_image(ORIGINAL, manifest_file=manifest)
        self.assertTrue(any("manifest: differs" in problem for problem in problems), problems)

    def test_a_certificate_table_needs_the_signed_option(self):
        security = NT + 4 + 20 + 112 + 4 * 8
        image = bytearray(ORIGINAL)
        struct.pack_into("<II", image, security, len(ORIGINAL), 8)
        image = reseal(bytes(image) + struct.pack("<IHH", 8, 0x0200, 2))
        self.assertTrue(any("certificate table" in p for p in self.check_image(image)))
        self.assertFalse(any("certificate table" in p for p in self.check_image(image, signed=True)))

    def test_the_finisher_clears_only_the_stripped_flags(self):
        damaged = set_u16(ORIGINAL, NT + 4 + 18, 0x022F)
        finished = finisher.finish(damaged)
        self.assertEqual(struct.unpack_from("<H", finished, NT + 4 + 18)[0], 0x0023)
        self.assertEqual(finisher.finish(ORIGINAL), ORIGINAL)


if __name__ == "__main__":
    unittest.main(verbosity=2)
