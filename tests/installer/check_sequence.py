#!/usr/bin/env python3
"""Reads the package's InstallExecuteSequence and CustomAction tables back
with msiinfo and checks where the actions that matter for upgrades and for
the folder and ASSOCIATE choices ended up, and that the folder check is the
only custom action that runs code.

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
    # Keeps the folder given, for the check and the log, before it is replaced.
    "KeepGivenFolder": (None, "KeepRememberedFolder"),
    # Takes the remembered folder once AppSearch has read it, before costing
    # resolves the folders.
    "KeepRememberedFolder": ("AppSearch", "CostInitialize"),
    # ASSOCIATE: the command line's, else the remembered one, else 1, settled
    # before the launch conditions judge it and costing weighs the component
    # conditions on it.
    # A remembered value other than 0 or 1 is ignored (and the log says so)
    # before the default applies.
    "KeepRememberedAssociate": ("AppSearch", "IgnoreRememberedAssociate"),
    "IgnoreRememberedAssociate": ("KeepRememberedAssociate", "AssociateByDefault"),
    "AssociateByDefault": ("IgnoreRememberedAssociate", "LaunchConditions"),
    # Refuses an unusable folder once costing has resolved it, and before the
    # installation script begins, so that nothing has been written.
    "CheckInstallFolder": ("CostFinalize", "InstallInitialize"),
    # The folder Programs and Features shows, once it is resolved and before
    # the product is registered.
    "ShowInstallLocation": ("CostFinalize", "RegisterProduct"),
}
# Why an action may not move, where no other test shows the damage. The
# Launcher and Registration components gained registry rows and kept their
# codes, and .cfg's default moved to another component under the same key
# path: removed later, the old product would delete by name what the new one
# has just written.
WHY = {
    "RemoveExistingProducts": "an upgrade must remove the older product before it installs any "
                              "component, as components kept their codes while their contents "
                              "changed (Changing the Component Code)",
}
SET_PROPERTY = 51  # a custom action that only sets a property
# The one custom action that runs code: Windows Installer conditions can
# neither measure INSTALLFOLDER nor look at a character of it, so the folder
# check is a DLL of ours (no script: VBScript and JScript custom actions are
# blocked or removed on many machines). Exactly this row is allowed: type 1,
# a DLL from the Binary table, run immediately, in the installing process,
# its result checked (no msidbCustomActionTypeContinue: a refusal must end
# the installation; not deferred: it must come before the script writes
# anything), never on removal, which must work whatever folder an older
# package accepted.
DLL_IN_BINARY = 1
RUNS_CODE = {
    "CheckInstallFolder": (DLL_IN_BINARY, "FolderCheck", "CheckInstallFolder", 'NOT REMOVE~="ALL"'),
}


def table(package, name):
    text = subprocess.run(["msiinfo", "export", package, name], check=True,
                          capture_output=True, text=True).stdout
    # Three header lines: column names, column types, table name and keys.
    return [line.split("\t") for line in text.splitlines()[3:]]


def main():
    package = sys.argv[1]
    rows = table(package, "InstallExecuteSequence")
    sequence = {row[0]: int(row[2]) for row in rows}
    conditions = {row[0]: row[1] for row in rows}
    custom_actions = {row[0]: (int(row[1]), row[2], row[3]) for row in table(package, "CustomAction")}
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
            errors.append("%s (%d) must come before %s (%s)%s"
                          % (action, sequence[action], before, sequence.get(before),
                             ": " + WHY[action] if action in WHY else ""))
    for action, (kind, source, target) in custom_actions.items():
        if action not in PLACES:
            errors.append("custom action %s has no checked place here" % action)
        if action in RUNS_CODE:
            found = (kind, source, target, conditions.get(action))
            if found != RUNS_CODE[action]:
                errors.append("custom action %s is %s, not %s" % (action, found, RUNS_CODE[action]))
        # No other code of ours runs during installation, as SYSTEM or otherwise.
        elif kind != SET_PROPERTY:
            errors.append("custom action %s is of type %d, not a property setting" % (action, kind))

    for error in errors:
        print("check_sequence.py:", error, file=sys.stderr)
    if not errors:
        print("%d actions; %s in place" % (len(sequence), ", ".join(PLACES)))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
