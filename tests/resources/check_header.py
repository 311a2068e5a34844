#!/usr/bin/env python3
"""Reads the PE header of each program given and checks the flags Windows
acts on at start-up: a 32-bit (PE32) program, marked terminal-server aware
(without the mark, a Remote Desktop session host applies its compatibility
behaviour for old programs: per-user mapping of what it writes while the
host is in install mode, per-user INI files), with DEP and ASLR.

Usage: check_header.py PROGRAM.exe...
"""

import struct
import sys

IMAGE_DLLCHARACTERISTICS = {
    0x0040: "DYNAMIC_BASE",
    0x0100: "NX_COMPAT",
    0x8000: "TERMINAL_SERVER_AWARE",
}


def problems(exe):
    if exe[:2] != b"MZ":
        return ["not an MZ executable"]
    pe = struct.unpack_from("<I", exe, 0x3C)[0]
    if exe[pe:pe + 4] != b"PE\0\0":
        return ["no PE signature"]
    optional = pe + 24
    magic = struct.unpack_from("<H", exe, optional)[0]
    if magic != 0x10B:
        return ["not a 32-bit (PE32) program: optional header magic %#x" % magic]
    characteristics = struct.unpack_from("<H", exe, optional + 70)[0]
    return ["%s is not set (DllCharacteristics %#06x)" % (name, characteristics)
            for flag, name in IMAGE_DLLCHARACTERISTICS.items()
            if not characteristics & flag]


def main(paths):
    if not paths:
        print(__doc__)
        return 2
    failed = 0
    for path in paths:
        with open(path, "rb") as file:
            found = problems(file.read())
        for problem in found:
            print("FAIL %s: %s" % (path, problem))
        if not found:
            print("ok   %s: %s" % (path, ", ".join(IMAGE_DLLCHARACTERISTICS.values())))
        failed += bool(found)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
