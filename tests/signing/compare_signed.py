#!/usr/bin/python3
"""compare_signed.py UNSIGNED SIGNED

Signing may change exactly three things: the optional header's checksum, the
security data directory (where the certificate table is and how long), and
what follows the image: alignment padding and the certificate table itself.
Everything else, byte for byte, must be the unsigned file.
"""
import struct
import sys

import pefile

unsigned_path, signed_path = sys.argv[1], sys.argv[2]
with open(unsigned_path, "rb") as f:
    unsigned = f.read()
with open(signed_path, "rb") as f:
    signed = f.read()

problems = []
before, after = pefile.PE(data=unsigned), pefile.PE(data=signed)
checksum_at = before.OPTIONAL_HEADER.get_field_absolute_offset("CheckSum")
security = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]
security_at = before.OPTIONAL_HEADER.DATA_DIRECTORY[security].get_file_offset()
allowed = set(range(checksum_at, checksum_at + 4)) | set(range(security_at, security_at + 8))

if len(signed) <= len(unsigned):
    problems.append("the signed file is not longer than the unsigned one")
changed = [i for i in range(min(len(unsigned), len(signed))) if unsigned[i] != signed[i]]
outside = [i for i in changed if i not in allowed]
if outside:
    problems.append(f"{len(outside)} bytes changed outside the checksum and security directory, "
                    f"first at offset {outside[0]:#x}")

table = after.OPTIONAL_HEADER.DATA_DIRECTORY[security]
if before.OPTIONAL_HEADER.DATA_DIRECTORY[security].Size:
    problems.append("the unsigned file already has a certificate table")
if table.Size == 0:
    problems.append("the signed file has no certificate table")
elif table.VirtualAddress < len(unsigned) or table.VirtualAddress + table.Size != len(signed):
    problems.append(f"the certificate table ({table.VirtualAddress:#x}+{table.Size:#x}) is not "
                    f"the appended end of the file ({len(unsigned):#x}..{len(signed):#x})")
else:
    padding = signed[len(unsigned):table.VirtualAddress]
    if padding.strip(b"\0"):
        problems.append("non-zero bytes between the image and the certificate table")
    length, revision, kind = struct.unpack_from("<IHH", signed, table.VirtualAddress)
    if (revision, kind) != (0x0200, 0x0002):
        problems.append(f"certificate table entry revision/type {revision:#x}/{kind:#x}, "
                        "expected a PKCS#7 (0x0002) WIN_CERTIFICATE revision 2")
if after.OPTIONAL_HEADER.CheckSum != after.generate_checksum():
    problems.append("the signed file's checksum is not its sum")

for problem in problems:
    print(f"{signed_path}: {problem}")
sys.exit(1 if problems else 0)
