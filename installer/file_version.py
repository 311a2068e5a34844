#!/usr/bin/env python3
"""Prints a Windows program's file version and language as the Windows
Installer File table holds them ("1.7.0.0 1033"), read from the program's
own version block: the file version of its VS_FIXEDFILEINFO and the first
language of its Translation entry.

A program without a version block, or one without a Translation entry, is an
error (exit code 1, with the reason): the package must not ship it as an
unversioned file by accident.

Usage: file_version.py PROGRAM.exe
"""
import struct
import sys

RT_VERSION = 16
RESOURCE_TABLE = 2  # the resource table's place among the data directories
FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BD


class NoVersion(Exception):
    pass


def read_resource(image, type_id):
    """The bytes of the first resource of this type, in any name and
    language, or None."""
    if image[:2] != b"MZ":
        raise NoVersion("not a Windows program")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise NoVersion("not a Windows program")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", image, directories + 8 * RESOURCE_TABLE)
    if rsrc_size == 0:
        return None

    table = optional + optional_size
    layout = [struct.unpack_from("<8xIIII", image, table + 40 * i) for i in range(sections)]

    def offset(rva):
        for size, address, raw_size, raw in layout:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise NoVersion("a resource lies outside every section")

    base = offset(rsrc_rva)

    def entries(directory):
        named, numbered = struct.unpack_from("<12xHH", image, base + directory)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", image, base + directory + 16 + 8 * i)
            yield name, target

    # Three levels: type, name, language; the version block is type 16.
    for name, target in entries(0):
        if name != type_id or not target & 0x80000000:
            continue
        level = target & 0x7FFFFFFF
        for _ in range(2):
            _, target = next(entries(level), (None, None))
            if target is None:
                return None
            if not target & 0x80000000:
                break
            level = target & 0x7FFFFFFF
        data_rva, data_size = struct.unpack_from("<II", image, base + target)
        start = offset(data_rva)
        return image[start:start + data_size]
    return None


def version_and_language(block):
    """Parses VS_VERSIONINFO: its fixed file information and the first
    language of VarFileInfo\\Translation."""
    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", block, at)
        key_end = at + 6
        while block[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = block[at + 6:key_end].decode("utf-16-le")
        value = (key_end + 2 + 3) & ~3
        size = value_length * (2 if kind == 1 else 1)
        children = (value + size + 3) & ~3
        return key, length, value, size, children

    key, length, value, size, children = node(0)
    if key != "VS_VERSION_INFO" or size < 52:
        raise NoVersion("its version block has no fixed file information")
    signature, _, ms, ls = struct.unpack_from("<IIII", block, value)
    if signature != FIXED_FILE_INFO_SIGNATURE:
        raise NoVersion("its version block has no fixed file information")
    version = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    def walk(at, end):
        while at < end:
            key, length, value, size, children = node(at)
            if length == 0:
                return None
            if key == "Translation" and size >= 4:
                return struct.unpack_from("<H", block, value)[0]
            if key == "VarFileInfo":
                found = walk(children, at + length)
                if found is not None:
                    return found
            at = (at + length + 3) & ~3
        return None

    language = walk(children, length)
    if language is None:
        raise NoVersion("its version block names no language (no Translation entry)")
    return version, language


def main():
    program = sys.argv[1]
    try:
        with open(program, "rb") as f:
            block = read_resource(f.read(), RT_VERSION)
        if block is None:
            raise NoVersion("it has no version block (VERSIONINFO resource)")
        version, language = version_and_language(block)
    except (NoVersion, struct.error, OSError) as reason:
        print("file_version.py: %s: %s" % (program, reason), file=sys.stderr)
        return 1
    print(version, language)
    return 0


if __name__ == "__main__":
    sys.exit(main())
