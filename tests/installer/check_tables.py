#!/usr/bin/env python3
"""Reads the package's tables back with msiinfo and checks what Windows
Installer would do with them where Wine cannot show it: the files'
versions, every registry row, the refusal of a per-user installation, the
upgrade rows, the German language IDs, and the component codes and key
paths against the package of another version.

Usage: check_tables.py PACKAGE.msi FILES_FOLDER OTHER_VERSION.msi
  FILES_FOLDER  the programs exactly as packaged
"""
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "installer"))
import file_version  # noqa: E402

UPGRADE_CODE = "{7A72C33B-0C19-40AD-9355-383BE3E52866}"
PROG_ID = "Zandrell.Launcher.1"
CLASSES = "Software\\Classes\\"
OURS = "SOFTWARE\\Zandrell\\Launcher"
HKLM = "2"
# Every registry value the package writes: key, name, value, component.
REGISTRY = {
    (CLASSES + ".cfg", "", PROG_ID, "Association"),
    (CLASSES + ".cfg\\OpenWithProgids", PROG_ID, "", "Association"),
    (CLASSES + PROG_ID, "", "[FileTypeDescription]", "Association"),
    (CLASSES + PROG_ID + "\\DefaultIcon", "", "%1", "Association"),
    (CLASSES + PROG_ID + "\\Shell\\Open\\Command", "", '"[#ZandrellLauncher.exe]" "%1"',
     "Association"),
    (OURS, "InstallFolder", "[INSTALLFOLDER]", "Registration"),
    (OURS + "\\Capabilities", "ApplicationName", "Zandrell Launcher", "Registration"),
    (OURS + "\\Capabilities", "ApplicationDescription",
     "Opens Morvo and Tessaline configuration files in the newest suitable installed version.",
     "Registration"),
    (OURS + "\\Capabilities\\FileAssociations", ".cfg", PROG_ID, "Registration"),
    ("SOFTWARE\\RegisteredApplications", "Zandrell Launcher", OURS + "\\Capabilities",
     "Registration"),
}
# The value each component is found by: its key path.
KEY_PATHS = {
    "Launcher": ("file", "ZandrellLauncher.exe"),
    "Check": ("file", "ZandrellCheck.exe"),
    "Association": ("registry", (CLASSES + ".cfg", "")),
    "Registration": ("registry", (OURS, "InstallFolder")),
}
PROGRAMS = {"ZandrellLauncher.exe": "ZLAUNCH.EXE", "ZandrellCheck.exe": "ZCHECK.EXE"}
# German and its five sublanguages: neutral, Germany, Switzerland, Austria,
# Luxembourg, Liechtenstein.
GERMAN = {7, 1031, 2055, 3079, 4103, 5127}
# Windows Installer settles ALLUSERS=2 to 1 or to nothing before the launch
# conditions, so that 1 alone means per machine.
PER_MACHINE_ONLY = "ALLUSERS=1"
REGISTRY_KEY_PATH = 4  # msidbComponentAttributesRegistryKeyPath
MIGRATE_FEATURES, ONLY_DETECT, MAX_INCLUSIVE = 1, 2, 0x200
NOT_ADVERTISED_NOR_ABSENT = 8 | 16


def table(package, name):
    text = subprocess.run(["msiinfo", "export", package, name], check=True,
                          capture_output=True, text=True).stdout
    # Three header lines: column names, column types, table name and keys.
    return [line.split("\t") for line in text.splitlines()[3:]]


def check(package, files, other):
    errors = []

    def expect(what, found, wanted):
        if found != wanted:
            errors.append("%s: %r, not %r" % (what, found, wanted))

    for row in table(package, "File"):
        name, _, file_name, _, version, language = row[:6]
        block = file_version.read_resource(open(os.path.join(files, name), "rb").read(),
                                           file_version.RT_VERSION)
        wanted = file_version.version_and_language(block)
        expect("%s version and language" % name, (version, language),
               (wanted[0], str(wanted[1])))
        expect("%s short and long name" % name, file_name, "%s|%s" % (PROGRAMS.get(name), name))
    hashed = [row[0] for row in table(package, "MsiFileHash")]
    expect("versioned files with a file hash", hashed, [])
    folders = {row[0]: row[2] for row in table(package, "Directory")}
    expect("installation folder's names", folders.get("INSTALLFOLDER"),
           "ZANDRELL|Zandrell Launcher")

    registry = table(package, "Registry")
    expect("registry rows outside HKLM", [r[2] for r in registry if r[1] != HKLM], [])
    rows = {(r[2], r[3], r[4], r[5]) for r in registry}
    expect("registry rows missing", REGISTRY - rows, set())
    expect("registry rows not expected", rows - REGISTRY, set())

    ids = {r[0]: (r[2], r[3]) for r in registry}
    files_by_id = {row[0] for row in table(package, "File")}
    components = {}
    for component, guid, _, attributes, _, key_path in table(package, "Component"):
        components[component] = guid
        kind, wanted = KEY_PATHS.get(component, (None, None))
        if kind == "file":
            found = key_path if key_path in files_by_id else None
        else:
            found = ids.get(key_path)
            if not int(attributes) & REGISTRY_KEY_PATH:
                errors.append("component %s has no registry key path" % component)
        expect("key path of %s" % component, found, wanted)
    other_components = {row[0]: row[1] for row in table(other, "Component")}
    expect("component codes against the other version's package", components,
           other_components)

    properties = {row[0]: row[1] for row in table(package, "Property")}
    other_properties = {row[0]: row[1] for row in table(other, "Property")}
    version = properties.get("ProductVersion")
    if properties.get("ProductCode") == other_properties.get("ProductCode"):
        errors.append("both packages have the product code %s" % properties.get("ProductCode"))
    expect("upgrade code", properties.get("UpgradeCode"), UPGRADE_CODE)
    expect("ALLUSERS", properties.get("ALLUSERS"), "1")
    if "INSTALLFOLDER" not in properties.get("SecureCustomProperties", "").split(";"):
        errors.append("INSTALLFOLDER is not secure")
    conditions = [row[0] for row in table(package, "LaunchCondition")]
    if PER_MACHINE_ONLY not in conditions:
        errors.append("no launch condition refuses a per-user installation: %s" % conditions)
    expect("upgrade rows", sorted(tuple(r) for r in table(package, "Upgrade")), sorted([
        # Every version up to this one, this one included: another build of
        # the same version replaces the installed one.
        (UPGRADE_CODE, "", version, "", str(MIGRATE_FEATURES | MAX_INCLUSIVE), "",
         "WIX_UPGRADE_DETECTED"),
        # A newer version is only detected, and refused.
        (UPGRADE_CODE, version, "", "", str(ONLY_DETECT), "", "WIX_DOWNGRADE_DETECTED"),
    ]))
    features = {row[0]: row[7] for row in table(package, "Feature")}
    expect("feature attributes", features, {"Complete": str(NOT_ADVERTISED_NOR_ABSENT)})

    sequence = {row[0]: row[1] for row in table(package, "InstallExecuteSequence")}
    german = sequence.get("DescribeFileTypeInGerman", "")
    expect("languages with the German description",
           {int(n) for n in re.findall(r"SystemLanguageID=(\d+)", german)}, GERMAN)
    expect("condition of the German description", re.sub(r"SystemLanguageID=\d+", "L", german),
           " OR ".join(["L"] * len(GERMAN)))
    return errors


def main():
    errors = check(*sys.argv[1:4])
    for error in errors:
        print("check_tables.py:", error, file=sys.stderr)
    if not errors:
        print("files, registry, conditions, upgrade rows and components as expected")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
