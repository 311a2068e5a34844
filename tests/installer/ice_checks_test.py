#!/usr/bin/env python3
"""The validator's checks in check_tables.py can fail: the package's own
tables pass them all, and each check, and that one alone, refuses the tables
with one fault planted that it exists to catch.

Usage: ice_checks_test.py PACKAGE.msi
"""
import copy
import os
import sys

sys.path.insert(0, os.path.dirname(__file__))
import check_tables  # noqa: E402

OPEN_COMMAND = check_tables.CLASSES + check_tables.PROG_ID + "\\Shell\\Open\\Command"


def row(tables, name, **match):
    return next(r for r in tables[name] if all(r[k] == v for k, v in match.items()))


def registry_row(tables, key, name=""):
    return row(tables, "Registry", Key=key, Name=name)


def key_path_of_another_component(t):
    row(t, "Component", Component="Registration")["KeyPath"] = \
        registry_row(t, OPEN_COMMAND)["Registry"]


def private_search(t):
    row(t, "AppSearch", Property="REMEMBEREDFOLDER")["Property"] = "RememberedFolder"


def search_not_secure(t):
    secure = row(t, "Property", Property="SecureCustomProperties")
    secure["Value"] = secure["Value"].replace("REMEMBEREDASSOCIATE;", "")


def value_in_the_users_classes(t):
    registry_row(t, check_tables.CLASSES + ".cfg")["Root"] = "0"


def version_without_language(t):
    row(t, "File", File="ZandrellCheck.exe")["Language"] = ""


def upgrade_removing_a_newer_version(t):
    row(t, "Upgrade", ActionProperty="WIX_UPGRADE_DETECTED")["VersionMax"] = "99.0.0"


def command_in_another_component(t):
    registry_row(t, OPEN_COMMAND)["Component_"] = "Registration"


FAULTS = [
    ("ICE02", "a key path that is another component's value", key_path_of_another_component),
    ("ICE52", "AppSearch setting a private property", private_search),
    ("ICE52", "AppSearch setting a property that is not secure", search_not_secure),
    ("ICE57", ".cfg's default under HKCR", value_in_the_users_classes),
    ("ICE60", "a versioned file without a language", version_without_language),
    ("ICE61", "an upgrade row that removes a newer version", upgrade_removing_a_newer_version),
    ("ICE69", "the open command in a component without the launcher", command_in_another_component),
]


def main():
    tables = check_tables.read_tables(sys.argv[1])
    failures = ["the package itself: %s" % e for e in check_tables.ice_errors(tables)]
    for ice, fault, plant in FAULTS:
        planted = copy.deepcopy(tables)
        plant(planted)
        refused_by = sorted({name for name, check in check_tables.ICE_CHECKS.items() if check(planted)})
        if refused_by != [ice]:
            failures.append("%s: refused by %s, not by %s alone" % (fault, refused_by or "none", ice))
        else:
            print("%s refuses %s" % (ice, fault))
    for failure in failures:
        print("ice_checks_test.py:", failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
