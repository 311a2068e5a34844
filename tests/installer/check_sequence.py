#!/usr/bin/env python3
"""Reads the package's InstallExecuteSequence and CustomAction tables back
with msiinfo and checks where the actions that matter for upgrades ended up.

wixl numbers an action given with Before or After by its own reckoning and
can put it in the wrong place, so the WiX source gives these actions explicit
sequence numbers; this checks the numbers that reached the package.

Usage: check_sequence.py PACKAGE.msi
"""
import subprocess
import sys

# Where each action must run: after the first, before the second.
PLACES = {
    # The downgrade refusal is a launch condition on what this one found.
    "FindRelatedProducts": (None, "LaunchConditions"),
    # The old version goes first, inside the installation's transaction (a
    # failed upgrade rolls its removal back), before any component of the new
    # one is processed.
    "RemoveExistingProducts": ("InstallInitialize", "ProcessComponents"),
    # Sets the file type's description, which the registry values use.
    "DescribeFileTypeInGerman": ("CostFinalize", "WriteRegistryValues"),
    # Takes the remembered folder once AppSearch has read it, before costing
    # resolves the folders.
    "KeepRememberedFolder": ("AppSearch", "CostInitialize"),
    # The folder Programs and Features shows, once it is resolved and before
    # the product is registered.
    "ShowInstallLocation": ("CostFinalize", "RegisterProduct"),
}
SET_PROPERTY = 51  # a custom action that only sets a property


def table(package, name):
    text = subprocess.run(["msiinfo", "export", package, name], check=True,
                          capture_output=True, text=True).stdout
    # Three header lines: column names, column types, table name and keys.
    return [line.split("\t") for line in text.splitlines()[3:]]


def main():
    package = sys.argv[1]
    sequence = {row[0]: int(row[2]) for row in table(package, "InstallExecuteSequence")}
    custom_actions = {row[0]: int(row[1]) for row in table(package, "CustomAction")}
    errors = []

    numbers = sorted(sequence.values())
    if len(set(numbers)) != len(numbers):
        errors.append("two actions share a sequence number: %s"
                      % sorted(sequence.items(), key=lambda a: a[1]))
    for action, (after, before) in PLACES.items():
        if action not in sequence:
            errors.append("%s is not scheduled" % action)
            continue
        if after and not sequence.get(after, 1 << 30) < sequence[action]:
            errors.append("%s (%d) must come after %s (%s)"
                          % (action, sequence[action], after, sequence.get(after)))
        if not sequence[action] < sequence.get(before, -1):
            errors.append("%s (%d) must come before %s (%s)"
                          % (action, sequence[action], before, sequence.get(before)))
    for action, kind in custom_actions.items():
        if action not in PLACES:
            errors.append("custom action %s has no checked place here" % action)
        # No program of ours runs during installation, as SYSTEM or otherwise.
        if kind != SET_PROPERTY:
            errors.append("custom action %s is of type %d, not a property setting" % (action, kind))

    for error in errors:
        print("check_sequence.py:", error, file=sys.stderr)
    if not errors:
        print("%d actions; %s in place" % (len(sequence), ", ".join(PLACES)))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
