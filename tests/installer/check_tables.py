#!/usr/bin/env python3
"""Reads the package's tables back with msiinfo and checks what Windows
Installer would do with them where Wine cannot show it: the files' versions
against their own source, every registry row, the components and their
conditions, the refusal of a per-user installation, the upgrade rows, the
German language IDs, and the component codes and key paths against the
package of another version. Then the checks a validator makes (the ICEs,
which need Windows) that apply to this package, each named after its ICE.

Usage: check_tables.py PACKAGE.msi OTHER_VERSION.msi VERSION_BLOCK.rc PROJECT_VERSION
  VERSION_BLOCK.rc  resources/version_block.rc, the programs' version block
  PROJECT_VERSION   the four fields it is filled in with (1.7.0.0)
"""
import re
import subprocess
import sys

UPGRADE_CODE = "{7A72C33B-0C19-40AD-9355-383BE3E52866}"
PROG_ID = "Zandrell.Launcher.1"
CLASSES = "Software\\Classes\\"
OURS = "SOFTWARE\\Zandrell\\Launcher"
HKLM = "2"
LAUNCHER = '"[#ZandrellLauncher.exe]"'
# Every registry value the package writes: key, name, value, component.
REGISTRY = {
    (CLASSES + ".cfg", "", PROG_ID, "FileTypeDefault"),
    (CLASSES + ".cfg", "", "[CFGDEFAULTFOUND]", "FileTypeKept"),
    (CLASSES + ".cfg\\OpenWithProgids", PROG_ID, "", "Launcher"),
    (CLASSES + PROG_ID, "", "[FileTypeDescription]", "Launcher"),
    # The launcher's own icon group, not "%1" (the form for a file type with
    # an icon handler), which /regserver writes.
    (CLASSES + PROG_ID + "\\DefaultIcon", "", LAUNCHER + ",0", "Launcher"),
    (CLASSES + PROG_ID + "\\Shell\\Open\\Command", "", LAUNCHER + ' "%1"', "Launcher"),
    (OURS, "InstallFolder", "[INSTALLFOLDER]", "Registration"),
    (OURS, "Associate", "[ASSOCIATE]", "Registration"),
    (OURS + "\\Capabilities", "ApplicationName", "Zandrell Launcher", "Registration"),
    (OURS + "\\Capabilities", "ApplicationDescription",
     "Opens Morvo and Tessaline configuration files in the newest suitable installed version.",
     "Registration"),
    (OURS + "\\Capabilities\\FileAssociations", ".cfg", PROG_ID, "Registration"),
    ("SOFTWARE\\RegisteredApplications", "Zandrell Launcher", OURS + "\\Capabilities",
     "Registration"),
}
REGISTRY_KEY_PATH, PERMANENT, TRANSITIVE = 4, 16, 64  # msidbComponentAttributes...
# Each component: the value it is found by (its key path), its attributes
# and its condition. .cfg's default is another program's as soon as that
# program takes .cfg, and Windows Installer removes a value by its name: it
# is kept on removal, written only with ASSOCIATE=1, and that is weighed
# again on every repair (a non-transitive component, once installed, is
# reinstalled whatever its condition says then).
COMPONENTS = {
    "Launcher": (("file", "ZandrellLauncher.exe"), 0, ""),
    "Check": (("file", "ZandrellCheck.exe"), 0, ""),
    "FileTypeDefault": (("registry", (CLASSES + ".cfg", "")),
                        REGISTRY_KEY_PATH | PERMANENT | TRANSITIVE, 'ASSOCIATE="1"'),
    # What .cfg's default named, written back with ASSOCIATE=0 after an older
    # package's removal has deleted it; kept likewise.
    "FileTypeKept": (("registry", (CLASSES + ".cfg", "")),
                     REGISTRY_KEY_PATH | PERMANENT | TRANSITIVE, 'ASSOCIATE="0" AND CFGDEFAULTFOUND'),
    "Registration": (("registry", (OURS, "InstallFolder")), REGISTRY_KEY_PATH, ""),
}
PROGRAMS = {"ZandrellLauncher.exe": "ZLAUNCH.EXE", "ZandrellCheck.exe": "ZCHECK.EXE"}
# What an administrator sets on the command line, and what the searches find,
# reaches the execute sequence.
SECURE = {"ASSOCIATE", "CFGDEFAULTFOUND", "INSTALLFOLDER", "REMEMBEREDASSOCIATE", "REMEMBEREDFOLDER"}
# German and its five sublanguages: neutral, Germany, Switzerland, Austria,
# Luxembourg, Liechtenstein.
GERMAN = {7, 1031, 2055, 3079, 4103, 5127}
# Every launch condition lets a removal through, whatever else it refuses: a
# product nothing can remove is worse than any of the refusals.
REMOVAL = 'REMOVE~="ALL" OR '
# Windows Installer settles ALLUSERS=2 to 1 or to nothing before the launch
# conditions, so that 1 alone means per machine.
PER_MACHINE_ONLY = REMOVAL + "ALLUSERS=1"
# A misspelt "no" must not write the default.
ASSOCIATE_IS_0_OR_1 = REMOVAL + 'ASSOCIATE="0" OR ASSOCIATE="1"'
NO_DOWNGRADE = REMOVAL + "NOT WIX_DOWNGRADE_DETECTED"
MIGRATE_FEATURES, ONLY_DETECT, MAX_INCLUSIVE = 1, 2, 0x200
NOT_ADVERTISED_NOR_ABSENT = 8 | 16


def table_names(package):
    text = subprocess.run(["msiinfo", "tables", package], check=True,
                          capture_output=True, text=True).stdout
    return [name for name in text.split() if not name.startswith("_")]


def read_table(package, name):
    """The rows of a table, each a dict by column name."""
    text = subprocess.run(["msiinfo", "export", package, name], check=True,
                          capture_output=True, text=True).stdout
    # Three header lines: column names, column types, table name and keys.
    lines = text.splitlines()
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:]]


# The tables the checks read. Exporting a table with a stream column (Binary,
# Icon) would also write each stream out as a file into the working folder.
CHECKED_TABLES = {"AppSearch", "Component", "Directory", "Feature", "File", "InstallExecuteSequence",
                  "LaunchCondition", "MsiFileHash", "Property", "Registry", "Upgrade"}


def read_tables(package):
    return {name: read_table(package, name) for name in table_names(package)
            if name in CHECKED_TABLES}


def properties(tables):
    return {row["Property"]: row["Value"] for row in tables.get("Property", [])}


def secure_properties(tables):
    return set(filter(None, properties(tables).get("SecureCustomProperties", "").split(";")))


def is_public(name):
    return name == name.upper()


def version_fields(version):
    return tuple(int(field) for field in version.split("."))


# The checks a validator makes, as far as they apply to this package. Each
# takes the tables and returns what it finds wrong.

def ice02(tables):
    """Each component has one key path, a row of its own: Windows Installer
    tells whether a component is installed by it, and one that names another
    component's file or value is judged by that one's state."""
    errors = []
    files = {row["File"]: row["Component_"] for row in tables.get("File", [])}
    values = {row["Registry"]: row["Component_"] for row in tables.get("Registry", [])}
    for row in tables.get("Component", []):
        component, key_path = row["Component"], row["KeyPath"]
        kind, owners = (("registry value", values) if int(row["Attributes"]) & REGISTRY_KEY_PATH
                        else ("file", files))
        if not key_path:
            errors.append("component %s has no key path" % component)
        elif owners.get(key_path) != component:
            errors.append("the key path of component %s, %s %s, belongs to %s"
                          % (component, kind, key_path, owners.get(key_path, "no component")))
    return errors


def ice52(tables):
    """Every property that AppSearch sets is public and secure: the search
    runs on the client side with a user interface, and only public, secure
    properties reach the execute sequence."""
    errors = []
    secure = secure_properties(tables)
    for row in tables.get("AppSearch", []):
        name = row["Property"]
        if not is_public(name):
            errors.append("AppSearch sets %s, which is not public (not all upper case)" % name)
        if name not in secure:
            errors.append("AppSearch sets %s, which is not in SecureCustomProperties" % name)
    return errors


def ice57(tables):
    """Every registry value of this per-machine package is under HKLM. ICE57
    refuses a component that mixes per-user and per-machine data; here any
    per-user root is wrong: HKCU is the user's, and HKCR and HKMU (-1) go to
    the installing user's own classes in a per-user installation."""
    return ["registry row %s (%s) is under root %s, not HKLM" % (row["Registry"], row["Key"], row["Root"])
            for row in tables.get("Registry", []) if row["Root"] != HKLM]


def ice60(tables):
    """Every versioned file has a language, and no versioned file a hash:
    without the language a repair finds the installed copy of another
    language than the package's and copies it again; with a hash, Windows
    Installer would compare hashes instead of versions."""
    errors = []
    hashed = {row["File_"] for row in tables.get("MsiFileHash", [])}
    for row in tables.get("File", []):
        versioned = bool(re.fullmatch(r"\d+(\.\d+){0,3}", row["Version"]))
        if versioned and not row["Language"]:
            errors.append("file %s has the version %s and no language" % (row["File"], row["Version"]))
        if versioned and row["File"] in hashed:
            errors.append("file %s is versioned and has a file hash" % row["File"])
    return errors


def ice61(tables):
    """The upgrade rows remove no newer version of the product, and each one's
    property is public, secure, its own and not preset. ICE61 warns of an
    inclusive maximum equal to the product's version too; that one is
    deliberate here: another build of the same version replaces the
    installed one (see the README)."""
    errors = []
    product = properties(tables)
    version = version_fields(product.get("ProductVersion", "0"))
    secure = secure_properties(tables)
    seen = set()
    for row in tables.get("Upgrade", []):
        name = row["ActionProperty"]
        if not is_public(name) or name not in secure:
            errors.append("upgrade property %s is not public and secure" % name)
        if name in seen or name in product:
            errors.append("upgrade property %s is used twice or preset in the Property table" % name)
        seen.add(name)
        if int(row["Attributes"]) & ONLY_DETECT:
            continue
        if not row["VersionMax"]:
            errors.append("the upgrade row of %s removes every newer version" % name)
        elif version_fields(row["VersionMax"])[:3] > version[:3]:
            errors.append("the upgrade row of %s removes versions up to %s, newer than this %s"
                          % (name, row["VersionMax"], product.get("ProductVersion")))
        if row["VersionMin"] and row["VersionMax"] and \
                version_fields(row["VersionMin"]) > version_fields(row["VersionMax"]):
            errors.append("the upgrade row of %s has its minimum above its maximum" % name)
    return errors


def ice69(tables):
    """A registry value names files ([#file], [!file]) and components
    ([$component]) of its own component only: Windows Installer resolves
    such a reference only while that component is installed or changed, so
    the value would be written empty, or with the old path, in a repair or an
    upgrade that leaves the other component alone."""
    errors = []
    files = {row["File"]: row["Component_"] for row in tables.get("File", [])}
    for row in tables.get("Registry", []):
        text = row["Key"] + row["Name"] + row["Value"]
        for kind, name in re.findall(r"\[([#!$])([^\]]+)\]", text):
            owner = name if kind == "$" else files.get(name)
            if owner != row["Component_"]:
                errors.append("registry row %s of component %s names [%s%s] of component %s"
                              % (row["Registry"], row["Component_"], kind, name, owner))
    return errors


ICE_CHECKS = {"ICE02": ice02, "ICE52": ice52, "ICE57": ice57, "ICE60": ice60, "ICE61": ice61,
              "ICE69": ice69}


def ice_errors(tables):
    return ["%s: %s" % (name, error) for name, ice in ICE_CHECKS.items() for error in ice(tables)]


def version_block_source(version_block, project_version):
    """The file version and language the programs' version block is built
    with, read from its source: a source of its own, so that a fault in
    installer/file_version.py, which fills in the File table, shows."""
    text = open(version_block).read()
    fields = dict(zip(["ZL_VERSION_MAJOR", "ZL_VERSION_MINOR", "ZL_VERSION_PATCH",
                       "ZL_VERSION_TWEAK"], project_version.split(".")))
    file_version = re.search(r"^\s*FILEVERSION\s+(.+)$", text, re.M).group(1)
    version = ".".join(str(int(fields.get(f.strip(), f.strip()), 0)) for f in file_version.split(","))
    # VarFileInfo\Translation: pairs of a language and a code page.
    language = re.search(r'VALUE\s+"Translation"\s*,\s*(\w+)\s*,', text).group(1)
    return version, str(int(language, 0))


def check(package, other, version_block, project_version):
    errors = []

    def expect(what, found, wanted):
        if found != wanted:
            errors.append("%s: %r, not %r" % (what, found, wanted))

    tables = read_tables(package)
    other_tables = read_tables(other)
    errors += ice_errors(tables)

    wanted_version = version_block_source(version_block, project_version)
    for row in tables["File"]:
        name = row["File"]
        expect("%s version and language" % name, (row["Version"], row["Language"]), wanted_version)
        expect("%s short and long name" % name, row["FileName"], "%s|%s" % (PROGRAMS.get(name), name))
    folders = {row["Directory"]: row["DefaultDir"] for row in tables["Directory"]}
    expect("installation folder's names", folders.get("INSTALLFOLDER"),
           "ZANDRELL|Zandrell Launcher")

    registry = tables["Registry"]
    rows = {(r["Key"], r["Name"], r["Value"], r["Component_"]) for r in registry}
    expect("registry rows missing", REGISTRY - rows, set())
    expect("registry rows not expected", rows - REGISTRY, set())

    values = {r["Registry"]: (r["Key"], r["Name"]) for r in registry}
    codes = {}
    for row in tables["Component"]:
        component = row["Component"]
        codes[component] = row["ComponentId"]
        kind = "registry" if int(row["Attributes"]) & REGISTRY_KEY_PATH else "file"
        key_path = (kind, values.get(row["KeyPath"]) if kind == "registry" else row["KeyPath"])
        expect("component %s" % component, (key_path, int(row["Attributes"]), row["Condition"]),
               COMPONENTS.get(component))
    expect("components", set(codes), set(COMPONENTS))
    other_codes = {row["Component"]: row["ComponentId"] for row in other_tables["Component"]}
    expect("component codes against the other version's package", codes, other_codes)

    product = properties(tables)
    version = product.get("ProductVersion")
    if product.get("ProductCode") == properties(other_tables).get("ProductCode"):
        errors.append("both packages have the product code %s" % product.get("ProductCode"))
    expect("upgrade code", product.get("UpgradeCode"), UPGRADE_CODE)
    expect("ALLUSERS", product.get("ALLUSERS"), "1")
    expect("secure properties missing", SECURE - secure_properties(tables), set())
    conditions = [row["Condition"] for row in tables["LaunchCondition"]]
    expect("launch conditions", sorted(conditions),
           sorted([PER_MACHINE_ONLY, ASSOCIATE_IS_0_OR_1, NO_DOWNGRADE]))
    upgrade_rows = sorted(tuple(row.values()) for row in tables["Upgrade"])
    expect("upgrade rows", upgrade_rows, sorted([
        # Every version up to this one, this one included: another build of
        # the same version replaces the installed one.
        (UPGRADE_CODE, "", version, "", str(MIGRATE_FEATURES | MAX_INCLUSIVE), "",
         "WIX_UPGRADE_DETECTED"),
        # A newer version is only detected, and refused.
        (UPGRADE_CODE, version, "", "", str(ONLY_DETECT), "", "WIX_DOWNGRADE_DETECTED"),
    ]))
    features = {row["Feature"]: row["Attributes"] for row in tables["Feature"]}
    expect("feature attributes", features, {"Complete": str(NOT_ADVERTISED_NOR_ABSENT)})

    sequence = {row["Action"]: row["Condition"] for row in tables["InstallExecuteSequence"]}
    german = sequence.get("DescribeFileTypeInGerman", "")
    expect("languages with the German description",
           {int(n) for n in re.findall(r"SystemLanguageID=(\d+)", german)}, GERMAN)
    expect("condition of the German description", re.sub(r"SystemLanguageID=\d+", "L", german),
           " OR ".join(["L"] * len(GERMAN)))
    return errors


def main():
    errors = check(*sys.argv[1:5])
    for error in errors:
        print("check_tables.py:", error, file=sys.stderr)
    if not errors:
        print("files, registry, components, conditions, upgrade rows and %s as expected"
              % ", ".join(ICE_CHECKS))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
