#!/usr/bin/env python3
"""Reads the resources back out of a built program and checks them: the icon
group Explorer shows (ZandrellLauncher.exe, given --ico), the version
information Windows shows in the file's properties and Windows Installer's
version rules read, and the manifest the loader reads at start-up.

It reads the PE file itself, with nothing but the standard library, so it
checks what Windows will find and needs no tools beyond Python.

Usage: check_resources.py --exe ZandrellLauncher.exe
                          [--ico resources/ZandrellLauncher.ico] --version 1.7.0.0
"""

import argparse
import os
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"

# (size in pixels, bits per pixel) -> stored as PNG rather than as a bitmap
EXPECTED_IMAGES = {
    (16, 8): False, (32, 8): False, (48, 8): False,
    (16, 32): False, (32, 32): False, (48, 32): False,
    (256, 32): True,
}

# supportedOS IDs, Windows 7 to Windows 10 and 11.
EXPECTED_SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}

ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY_V1 = "urn:schemas-microsoft-com:compatibility.v1"


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


# --- reading the PE file -------------------------------------------------

def read_resources(exe):
    """Returns {(type, name, language): bytes} for every resource in `exe`."""
    expect(exe[:2] == b"MZ", "not an MZ executable")
    pe = struct.unpack_from("<I", exe, 0x3C)[0]
    expect(exe[pe:pe + 4] == b"PE\0\0", "no PE signature")
    sections, optional_size = struct.unpack_from("<H12xH", exe, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", exe, optional)[0]
    expect(magic == 0x10B, "not a 32-bit (PE32) program: optional header magic %#x" % magic)
    directory_count = struct.unpack_from("<I", exe, optional + 92)[0]
    expect(directory_count > 2, "no resource directory entry in the header")
    rsrc_rva, rsrc_size = struct.unpack_from("<II", exe, optional + 96 + 2 * 8)
    expect(rsrc_rva != 0 and rsrc_size != 0, "the program has no resources")

    section_table = optional + optional_size
    layout = []
    for index in range(sections):
        virtual_size, rva, raw_size, raw_offset = struct.unpack_from(
            "<IIII", exe, section_table + 40 * index + 8)
        layout.append((rva, max(virtual_size, raw_size), raw_offset))

    def offset_of(rva, size):
        for start, length, raw in layout:
            if start <= rva and rva + size <= start + length:
                return raw + rva - start
        raise Failure("RVA %#x (+%d) lies in no section" % (rva, size))

    base = offset_of(rsrc_rva, rsrc_size)

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", exe, base + directory + 12)
        for index in range(named + numbered):
            name, target = struct.unpack_from("<II", exe, base + directory + 16 + 8 * index)
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", exe, at)[0]
                name = exe[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield name, target

    found = {}
    for type_id, type_dir in entries(0):
        expect(type_dir & 0x80000000, "resource type %r is not a directory" % (type_id,))
        for name, name_dir in entries(type_dir & 0x7FFFFFFF):
            expect(name_dir & 0x80000000, "resource %r/%r is not a directory" % (type_id, name))
            for language, leaf in entries(name_dir & 0x7FFFFFFF):
                expect(not leaf & 0x80000000, "resource %r/%r/%r nests too deep"
                       % (type_id, name, language))
                data_rva, size = struct.unpack_from("<II", exe, base + leaf)
                start = offset_of(data_rva, size)
                found[(type_id, name, language)] = exe[start:start + size]
    return found


def of_type(resources, type_id):
    return {(name, language): data for (kind, name, language), data in resources.items()
            if kind == type_id}


# --- icons ---------------------------------------------------------------

def describe_image(data):
    """(width, height, bits per pixel, is PNG) of one icon image."""
    if data.startswith(PNG_SIGNATURE):
        expect(data[12:16] == b"IHDR", "PNG icon image without IHDR")
        width, height, depth, colour_type = struct.unpack_from(">IIBB", data, 16)
        expect(colour_type == 6 and depth == 8,
               "PNG icon image is not 8-bit RGBA (depth %d, colour type %d)" % (depth, colour_type))
        return width, height, 32, True
    (header_size, width, height, planes, bits, compression, _, _, _, colours_used,
     _) = struct.unpack_from("<IiiHHIIiiII", data, 0)
    expect(header_size == 40, "icon image header is %d bytes, not a BITMAPINFOHEADER" % header_size)
    expect(planes == 1 and compression == 0,
           "icon image with %d planes, compression %d" % (planes, compression))
    # The height counts the colour image and the transparency mask below it.
    expect(height == 2 * width, "icon image %dx%d is not square with a mask" % (width, height))
    palette = 0
    if bits <= 8:
        palette = colours_used or (1 << bits)
        expect(palette == 1 << bits,
               "%d-bit icon image with a %d-colour palette" % (bits, palette))
    def row(bits_per_pixel):  # rows are padded to whole 32-bit words
        return (width * bits_per_pixel + 31) // 32 * 4
    size = 40 + 4 * palette + (row(bits) + row(1)) * width
    expect(len(data) == size, "%dx%d %d-bit icon image is %d bytes, should be %d"
           % (width, width, bits, len(data), size))
    return width, height // 2, bits, False


def parse_group(data):
    """[(width, height, bits, bytes, icon ID)] from an RT_GROUP_ICON."""
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    expect(reserved == 0 and kind == 1, "not an icon group header")
    expect(len(data) == 6 + 14 * count, "icon group of %d bytes for %d images" % (len(data), count))
    group = []
    for index in range(count):
        width, height, _, _, planes, bits, size, icon_id = struct.unpack_from(
            "<BBBBHHIH", data, 6 + 14 * index)
        expect(planes == 1, "group entry %d has %d planes" % (index, planes))
        group.append((width or 256, height or 256, bits, size, icon_id))
    return group


def ico_images(ico):
    """The image data of each entry of an .ico file, in order."""
    reserved, kind, count = struct.unpack_from("<HHH", ico, 0)
    expect(reserved == 0 and kind == 1, "the committed .ico is not an icon file")
    images = []
    for index in range(count):
        size, offset = struct.unpack_from("<II", ico, 6 + 16 * index + 8)
        images.append(ico[offset:offset + size])
    return images


def the_group(resources):
    groups = of_type(resources, RT_GROUP_ICON)
    expect(len(groups) == 1, "%d icon groups, expected one" % len(groups))
    (name, _), data = next(iter(groups.items()))
    return name, parse_group(data)


def check_icon_group_first(resources, _):
    # The shell shows the first group: named groups sort before numbered ones.
    name, _ = the_group(resources)
    expect(name == 1, "the icon group is %r, expected ID 1" % (name,))


def check_icon_group_sizes(resources, _):
    _, group = the_group(resources)
    expect(all(width == height for width, height, _, _, _ in group),
           "icon group lists non-square images")
    listed = sorted((width, bits) for width, _, bits, _, _ in group)
    expect(listed == sorted(EXPECTED_IMAGES),
           "icon group lists %s, expected %s" % (listed, sorted(EXPECTED_IMAGES)))


def check_icon_images(resources, _):
    _, group = the_group(resources)
    icons = of_type(resources, RT_ICON)
    expect(len(icons) == len(group),
           "%d icon images for a group of %d" % (len(icons), len(group)))
    for width, height, bits, size, icon_id in group:
        matches = [data for (name, _), data in icons.items() if name == icon_id]
        expect(len(matches) == 1, "icon image %d: %d copies" % (icon_id, len(matches)))
        data = matches[0]
        expect(len(data) == size, "icon image %d is %d bytes, its group entry says %d"
               % (icon_id, len(data), size))
        described = describe_image(data)
        expected = (width, height, bits, EXPECTED_IMAGES.get((width, bits)))
        expect(described == expected, "icon image %d is %s, its group entry says %s"
               % (icon_id, described, expected))


def check_icon_matches_committed(resources, options):
    _, group = the_group(resources)
    icons = {name: data for (name, _), data in of_type(resources, RT_ICON).items()}
    built = [icons.get(icon_id) for _, _, _, _, icon_id in group]
    with open(options.ico, "rb") as file:
        committed = ico_images(file.read())
    expect(built == committed, "the program's icon images differ from %s" % options.ico)


# --- version information -------------------------------------------------

def parse_version_block(data, offset=0):
    """(key, value, children, end) of one VS_VERSIONINFO-style block."""
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    expect(length >= 6 and offset + length <= len(data),
           "version block at %d claims %d bytes" % (offset, length))
    end = offset + length
    at = offset + 6
    key_end = at
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
        expect(key_end < end, "unterminated key in version block at %d" % offset)
    key = data[at:key_end].decode("utf-16-le")
    at = (key_end + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    value = data[at:min(at + value_size, end)]
    at = (at + value_size + 3) & ~3
    children = []
    while at < end:
        child = parse_version_block(data, at)
        children.append(child)
        at = (child[3] + 3) & ~3
    return key, value, children, end


def the_version(resources):
    versions = of_type(resources, RT_VERSION)
    expect(len(versions) == 1, "%d version resources, expected one" % len(versions))
    (name, _), data = next(iter(versions.items()))
    expect(name == 1, "the version resource is %r, expected ID 1" % (name,))
    key, value, children, _ = parse_version_block(data)
    expect(key == "VS_VERSION_INFO", "version resource key is %r" % key)
    return value, children


def check_fixed_version(resources, options):
    fixed, _ = the_version(resources)
    expect(len(fixed) == 52, "VS_FIXEDFILEINFO is %d bytes" % len(fixed))
    (signature, _, file_ms, file_ls, product_ms, product_ls, _, _, os, file_type,
     _, _, _) = struct.unpack("<13I", fixed)
    expect(signature == 0xFEEF04BD, "VS_FIXEDFILEINFO signature %#x" % signature)

    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    for what, ms, ls in (("file", file_ms, file_ls), ("product", product_ms, product_ls)):
        expect(dotted(ms, ls) == options.version, "fixed %s version is %s, expected %s"
               % (what, dotted(ms, ls), options.version))
    expect(os == 0x40004, "FILEOS %#x, expected VOS_NT_WINDOWS32" % os)
    expect(file_type == 1, "FILETYPE %d, expected VFT_APP" % file_type)


def check_version_strings(resources, options):
    # What Explorer's Details tab and "Open with" show; None: any non-empty text.
    expected = {
        "CompanyName": "Zandrell",
        "FileDescription": None,
        "FileVersion": options.version,
        "InternalName": options.program[:-len(".exe")],
        "LegalCopyright": None,
        "OriginalFilename": options.program,
        "ProductName": None,
        "ProductVersion": options.version,
    }
    _, children = the_version(resources)
    blocks = {key: (value, grandchildren) for key, value, grandchildren, _ in children}
    expect("StringFileInfo" in blocks, "no StringFileInfo")
    expect("VarFileInfo" in blocks, "no VarFileInfo")
    tables = blocks["StringFileInfo"][1]
    expect(len(tables) == 1, "%d string tables, expected one" % len(tables))
    table_key, _, strings, _ = tables[0]
    translations = [value for key, value, _, _ in blocks["VarFileInfo"][1] if key == "Translation"]
    expect(len(translations) == 1 and len(translations[0]) == 4, "no single Translation entry")
    language, codepage = struct.unpack("<HH", translations[0])
    expect(table_key.upper() == "%04X%04X" % (language, codepage),
           "string table %s does not match Translation %04X/%d" % (table_key, language, codepage))
    values = {key: value.decode("utf-16-le").rstrip("\0") for key, value, _, _ in strings}
    for key, wanted in expected.items():
        expect(key in values, "no %s" % key)
        if wanted is None:
            expect(values[key].strip() != "", "%s is empty" % key)
        else:
            expect(values[key] == wanted, "%s is %r, expected %r" % (key, values[key], wanted))


# --- manifest -------------------------------------------------------------

def the_manifest(resources):
    manifests = of_type(resources, RT_MANIFEST)
    expect(len(manifests) == 1, "%d manifests (%s), expected exactly one"
           % (len(manifests), sorted(manifests)))
    (name, _), data = next(iter(manifests.items()))
    expect(name == 1, "the manifest is %r, expected ID 1 (CREATEPROCESS_MANIFEST_RESOURCE_ID)"
           % (name,))
    try:
        return ElementTree.fromstring(data)
    except ElementTree.ParseError as error:
        raise Failure("the manifest is not well-formed XML: %s" % error)


def check_manifest_execution_level(resources, _):
    root = the_manifest(resources)
    levels = root.findall(".//{%s}requestedExecutionLevel" % ASM_V3)
    expect(len(levels) == 1, "%d requestedExecutionLevel elements" % len(levels))
    attributes = dict(levels[0].attrib)
    expect(attributes == {"level": "asInvoker", "uiAccess": "false"},
           "requestedExecutionLevel is %s" % attributes)


def check_manifest_supported_os(resources, _):
    root = the_manifest(resources)
    declared = {element.get("Id", "").lower()
                for element in root.findall(".//{%s}supportedOS" % COMPATIBILITY_V1)}
    missing = [name for guid, name in EXPECTED_SUPPORTED_OS.items() if guid not in declared]
    expect(not missing, "the manifest does not declare %s" % ", ".join(missing))


ICON_CHECKS = [
    ("the icon group is the program's first", check_icon_group_first),
    ("the icon group lists 16/32/48 px at 8 and 32 bits and 256 px PNG",
     check_icon_group_sizes),
    ("each icon image is what its group entry says", check_icon_images),
    ("the icon images are those of the committed .ico", check_icon_matches_committed),
]

CHECKS = [
    ("the fixed file and product versions are the project's", check_fixed_version),
    ("the version strings are complete and agree", check_version_strings),
    ("the one manifest runs the program as invoker, no UI access",
     check_manifest_execution_level),
    ("the manifest declares Windows 7 to 11", check_manifest_supported_os),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--ico")
    parser.add_argument("--version", required=True)
    options = parser.parse_args()
    # The program's own name, as Windows Installer and inventory tools expect
    # to find it in its version block.
    options.program = os.path.basename(options.exe)
    checks = (ICON_CHECKS if options.ico else []) + CHECKS

    with open(options.exe, "rb") as file:
        exe = file.read()
    try:
        resources = read_resources(exe)
    except (Failure, struct.error) as error:
        print("FAIL reading the resources of %s: %s" % (options.exe, error))
        return 1

    failed = 0
    for name, check in checks:
        try:
            check(resources, options)
            print("ok   %s" % name)
        except (Failure, struct.error) as error:
            failed += 1
            print("FAIL %s: %s" % (name, error))
    print("%d passed, %d failed" % (len(checks) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
