#!/usr/bin/env python3
"""The test kit under Wine, as a person runs it on Windows: unpacked into the
fresh prefix that WINEPREFIX names (WINEARCH=win32 for 32-bit Windows), in a
folder of its own, and started through cmd with run-tests.cmd. The prefix's
drive Z:, through which Wine reaches the Linux files and so the build tree,
is taken away first: the kit has nothing but what it carries.

  kit_under_wine.py run KIT.zip SUITE...
      the whole kit on a machine with its own Morvo installation, .cfg
      association and files: every suite passes, each report parses, and
      the registry and drive C: are as they were, the kit's folder aside
  kit_under_wine.py failing-suites KIT.zip INSTALLS_AND_FAILS.exe SUITE...
      the suites' programs replaced by programs that exit with -1, with 3
      (leaving the package installed) and with 0: the failures are counted
      from their exit codes, the exit code says so, and the machine is as it
      was
  kit_under_wine.py refusals KIT.zip DENY_SOFTWARE_WRITES.exe
      without the right to write HKLM\\SOFTWARE, with Zandrell Launcher
      installed, and after a run that did not finish, the kit refuses with
      one line and changes nothing
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree
import zipfile
from pathlib import Path

RUN_IN_WINE = Path(__file__).resolve().parent.parent / "wine" / "run-in-wine.sh"
PREFIX = Path(os.environ["WINEPREFIX"])
DRIVE_C = PREFIX / "drive_c"
THIRTY_TWO_BITS = os.environ.get("WINEARCH") == "win32"

# What a machine may hold where the suites write: a Morvo installation (in
# the 32-bit view, where the launcher looks), another program's .cfg
# association with its Content Type, a compatibility setting of the user's
# and Explorer's list of programs for .cfg.
MORVO_FOLDER = r"C:\Tools\KESTAL\Morvo 9.5"
SEEDS = [
    # The user's classes, which every Windows profile has.
    (r"HKCU\Software\Classes", None, None, None),
    (r"HKLM\SOFTWARE\KESTAL\Morvo\9.5", "Path", MORVO_FOLDER, "/reg:32"),
    (r"HKLM\SOFTWARE\Classes\.cfg", None, "Other.Editor", None),
    (r"HKLM\SOFTWARE\Classes\.cfg", "Content Type", "text/plain", None),
    (r"HKLM\SOFTWARE\Classes\Other.Editor\shell\open\command", None,
     r'"C:\Tools\Other Editor\editor.exe" "%1"', None),
    (r"HKCU\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers",
     r"C:\Tools\Old Tool\old.exe", "~ WINXPSP3", None),
    (r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.cfg\OpenWithList",
     "a", "editor.exe", None),
]
# ... and files of its own on drive C:.
SEED_FILES = {
    "Tools/KESTAL/Morvo 9.5/Exec32/Morvo32.exe": b"MZ stands in for Morvo\r\n",
    "Models/bridge model.cfg": b"#Morvo bridge model\r\n",
}
# The seeds as the snapshot below finds them in Wine's registry files.
SEEDS_IN_SNAPSHOT = {
    ("system.reg", r"[Software\\Wow6432Node\\KESTAL\\Morvo\\9.5]" if not THIRTY_TWO_BITS
     else r"[Software\\KESTAL\\Morvo\\9.5]"): '"Path"="C:\\\\Tools\\\\KESTAL\\\\Morvo 9.5"',
    ("system.reg", r"[Software\\Classes\\.cfg]"): '"Content Type"="text/plain"',
    ("user.reg", r"[Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers]"):
        '"C:\\\\Tools\\\\Old Tool\\\\old.exe"="~ WINXPSP3"',
}

# What Wine itself changes, left out of the comparison as narrowly as it can
# be told apart: the display and monitor device classes, which Wine's display
# driver writes anew whenever it starts; its lists of fonts, which it writes
# anew from the fonts it finds on Linux (by another path once drive Z: has
# gone, and not at once); and Windows Installer's own containers, which every
# Windows has and Wine's msi makes on its first installation and leaves
# behind, empty (their content, the products, is compared), with its cache
# folder.
WINE_REWRITES = re.compile(
    r"\[System\\\\CurrentControlSet\\\\Control\\\\Class\\\\"
    r"\{4D36E96[8E]-E325-11CE-BFC1-08002BE10318\}(\\\\0000)?\]"
    r"|\[Software\\\\Microsoft\\\\Windows( NT)?\\\\CurrentVersion\\\\Fonts\]"
    r"|\[Software\\\\Wine\\\\Fonts\\\\External Fonts\]", re.IGNORECASE)
INSTALLER_CONTAINERS = re.compile(
    r"\[Software\\\\(Classes\\\\Installer|Microsoft\\\\Windows\\\\CurrentVersion\\\\Installer)"
    r"\\\\(Features|Products|UpgradeCodes|UserData\\\\S-1-5-18\\\\(Components|Products))\]",
    re.IGNORECASE)
INSTALLER_CACHE = os.path.join("windows", "Installer")
# The package's component for .cfg's default is permanent, by design: its
# removal leaves the value (which the kit then puts back as it was), and
# Windows Installer keeps the component registered to the system, its one
# client then, the null product code.
PERMANENT_COMPONENT = re.compile(
    r"\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Installer\\\\UserData\\\\S-1-5-18"
    r"\\\\Components\\\\[0-9A-F]{32}\]", re.IGNORECASE)
SYSTEM_CLIENT = re.compile(r'^"0{32}"=')


def wine_own_key(key, before, after):
    if WINE_REWRITES.fullmatch(key[1]):
        return True
    if key not in before and PERMANENT_COMPONENT.fullmatch(key[1]):
        values = after.get(key, ())
        return len(values) == 1 and bool(SYSTEM_CLIENT.match(values[0]))
    return key not in before and after.get(key) == () and bool(INSTALLER_CONTAINERS.fullmatch(key[1]))


def wine_own_file(entry, before, after):
    return entry == INSTALLER_CACHE and entry not in before and after.get(entry) == "folder"


def wine(*arguments, loader=None, cwd=None, check=True):
    environment = dict(os.environ)
    if loader:
        environment["WINE"] = loader
    # Into a file, not a pipe: the services that Wine starts with the first
    # program inherit its output and keep a pipe open as long as they run,
    # which is for good while the wineserver is kept running.
    with tempfile.TemporaryFile() as captured:
        result = subprocess.run([str(RUN_IN_WINE), *arguments], cwd=cwd, env=environment,
                                stdout=captured, stderr=subprocess.STDOUT, timeout=1200)
        captured.seek(0)
        output = captured.read().decode("utf-8", "replace").replace("\r", "")
    if check and result.returncode != 0:
        sys.exit(f"{' '.join(arguments)} failed with {result.returncode}:\n{output}")
    return result.returncode, output


def wait_for_wineserver():
    """The wineserver writes the registry to its files when it ends."""
    subprocess.run(["wineserver", "-w"], check=True)


def windows_path(path):
    return "C:\\" + str(path.relative_to(DRIVE_C)).replace("/", "\\")


def unpack(zip_path, parent):
    """The kit's folder as its zip holds it, in `parent` under drive C:."""
    parent.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(zip_path) as kit_zip:
        top = {name.split("/")[0] for name in kit_zip.namelist()}
        if len(top) != 1:
            sys.exit(f"{zip_path} holds {sorted(top)} at its top, not one folder")
        kit_zip.extractall(parent)
    return parent / top.pop()


def cut_off_the_linux_files():
    """Takes drive Z: away, then starts Wine once, which rewrites on its own
    what it keeps of the Linux files' paths (its font list, its network
    cards) before anything is compared."""
    (PREFIX / "dosdevices" / "z:").unlink(missing_ok=True)
    wine("cmd", "/c", "exit")
    wait_for_wineserver()


def run_kit(kit, cwd=None):
    """run-tests.cmd through cmd: the 64-bit cmd where Windows has one, as an
    elevated prompt and a hosted runner's `shell: cmd` are."""
    loader = None if THIRTY_TWO_BITS else "/usr/lib/wine/wine64"
    if cwd is None:
        # cmd /c takes a quoted path with parentheses apart, so from its own
        # folder the script is named as a person types it there.
        code, output = wine("cmd", "/c", "run-tests.cmd", loader=loader, cwd=kit, check=False)
    else:
        code, output = wine("cmd", "/c", windows_path(kit / "run-tests.cmd"), loader=loader, cwd=cwd,
                            check=False)
    print(f"---- run-tests.cmd in {windows_path(kit)}, exit code {code} ----\n{output}----")
    return code, [line for line in output.split("\n") if line.strip()]


def registry_snapshot():
    """Every key of Wine's registry files with its values, less the time
    stamps that a key rewritten with the same content gets anew."""
    keys = {}
    for hive in ("system.reg", "user.reg", "userdef.reg"):
        text = (PREFIX / hive).read_text(encoding="utf-8", errors="replace")
        text = re.sub(r"\\\n\s*", "", text)  # a long value's continued lines
        key = None
        for line in text.split("\n"):
            header = re.match(r"^(\[.*\])( \d+)?$", line)
            if header:
                key = (hive, header.group(1))
                keys[key] = []
            elif key and line and not line.startswith("#time="):
                keys[key].append(line)
    return {key: tuple(sorted(values)) for key, values in keys.items()}


def files_snapshot(skip):
    """Every file, folder and link on drive C: outside `skip`, with each
    file's size and digest."""
    def describe(path):
        if path.is_symlink():
            return "link to " + os.readlink(path)
        if path.is_dir():
            return "folder"
        return f"{path.stat().st_size} bytes, {hashlib.sha256(path.read_bytes()).hexdigest()}"

    entries = {}
    for root, folders, files in os.walk(DRIVE_C):
        if Path(root) == skip:
            folders.clear()
            continue
        for name in folders + files:
            path = Path(root) / name
            if path != skip:
                entries[str(path.relative_to(DRIVE_C))] = describe(path)
    return entries


def differences(before, after, what, wine_own):
    found = []
    for entry in sorted(set(before) | set(after), key=str):
        if before.get(entry) == after.get(entry) or wine_own(entry, before, after):
            continue
        if entry not in after:
            found.append(f"{what} gone: {entry}: {before[entry]}")
        elif entry not in before:
            found.append(f"{what} new: {entry}: {after[entry]}")
        else:
            found.append(f"{what} changed: {entry}: {before[entry]} -> {after[entry]}")
    return found


class Machine:
    """The registry and drive C: (outside the kit's folder) at one moment."""

    def __init__(self, kit):
        self.kit = kit
        wait_for_wineserver()
        self.registry = registry_snapshot()
        self.files = files_snapshot(kit)

    def changes_since(self, before):
        return (differences(before.registry, self.registry, "key", wine_own_key) +
                differences(before.files, self.files, "file", wine_own_file))


def check_seeds(machine, when):
    problems = []
    for key, value in SEEDS_IN_SNAPSHOT.items():
        if value not in machine.registry.get(key, ()):
            problems.append(f"{when}: the machine's own {key[1]} {value} is not in {key[0]}")
    for name in SEED_FILES:
        if name.replace("/", os.sep) not in machine.files:
            problems.append(f"{when}: the machine's own C:\\{name} is missing")
    return problems


def check_reports(reports, suites):
    problems = []
    for suite in suites:
        path = reports / f"{suite}.xml"
        try:
            root = ElementTree.parse(path).getroot()
        except (OSError, ElementTree.ParseError) as error:
            problems.append(f"{path.name}: {error}")
            continue
        cases = root.findall(".//testcase")
        failed = [case.get("name") for case in cases if case.find("failure") is not None]
        if root.tag != "testsuites" or int(root.get("tests", "0")) == 0 or not cases:
            problems.append(f"{path.name}: no test cases in <{root.tag}>")
        if int(root.get("failures", "0")) or int(root.get("errors", "0")) or failed:
            problems.append(f"{path.name}: failures {root.get('failures')}, errors "
                            f"{root.get('errors')}: {failed}")
        print(f"{path.name}: {len(cases)} cases, {root.get('tests')} tests, "
              f"{root.get('failures')} failures")
    return problems


def seed_the_machine():
    for key, name, data, view in SEEDS:
        value = [] if data is None else (["/v", name] if name else ["/ve"]) + ["/d", data]
        wine("reg", "add", key, *value, "/f", *([view] if view else []))
    for name, content in SEED_FILES.items():
        path = DRIVE_C / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)


def run(zip_path, suites):
    cut_off_the_linux_files()
    # A folder with blanks and parentheses, as a second download of the zip
    # unpacks into.
    kit = unpack(zip_path, DRIVE_C / "test kits (1)")
    seed_the_machine()
    before = Machine(kit)
    problems = check_seeds(before, "before the run")
    code, lines = run_kit(kit)
    after = Machine(kit)
    problems += check_seeds(after, "after the run") + after.changes_since(before)
    if code != 0:
        problems.append(f"run-tests.cmd exited with {code}")
    if not lines or lines[-1] != f"{len(suites)} passed, 0 failed":
        problems.append(f"the closing line is {lines[-1:]}, not \"{len(suites)} passed, 0 failed\"")
    problems += check_reports(kit / "reports", suites)
    if (kit / "saved-registry").exists():
        problems.append("saved-registry is left behind")
    return problems


def failing_suites(zip_path, installs_and_fails, suites):
    """The first suite's program exits with -1, as the launcher does (and a
    crashed program with another negative code), the second installs the
    package and exits with 3, as a suite that stops half-way, the others
    exit with 0; the kit is run from another folder. The failures are counted
    from those exit codes, the package is gone again and the machine is as
    it was."""
    cut_off_the_linux_files()
    kit = unpack(zip_path, DRIVE_C / "failing suites")
    shutil.copyfile(kit / "ZandrellLauncher.exe", kit / f"{suites[0]}.exe")
    shutil.copyfile(installs_and_fails, kit / f"{suites[1]}.exe")
    for suite in suites[2:]:
        shutil.copyfile(kit / "stub_tool.exe", kit / f"{suite}.exe")
    seed_the_machine()
    before = Machine(kit)
    code, lines = run_kit(kit, cwd=DRIVE_C / "windows")
    problems = Machine(kit).changes_since(before)
    expected = [f"{suites[0]}: FAILED, exit code -1", f"{suites[1]}: FAILED, exit code 3"]
    expected += [f"{suite}: passed" for suite in suites[2:]]
    problems += [f"no line \"{line}\"" for line in expected if line not in lines]
    closing = f"{len(suites) - 2} passed, 2 failed"
    if not lines or lines[-1] != closing:
        problems.append(f"the closing line is {lines[-1:]}, not \"{closing}\"")
    if code != 1:
        problems.append(f"run-tests.cmd exited with {code}, not 1")
    return problems


def refusals(zip_path, deny_software_writes):
    cut_off_the_linux_files()
    parent = DRIVE_C / "refusals"
    kit = unpack(zip_path, parent)
    shutil.copyfile(deny_software_writes, parent / "deny_software_writes.exe")
    before = Machine(parent)
    untouched = {str(p.relative_to(kit)) for p in kit.rglob("*")}
    problems = []

    def refused(case, phrase):
        code, lines = run_kit(kit)
        if code == 0:
            problems.append(f"{case}: run-tests.cmd exited with 0")
        if len(lines) != 1 or phrase not in lines[0]:
            problems.append(f"{case}: {len(lines)} lines, not one that says \"{phrase}\": {lines}")
        left = {str(p.relative_to(kit)) for p in kit.rglob("*")} - untouched
        if left:
            problems.append(f"{case}: the kit's folder gained {sorted(left)}")

    # The server is kept running: the access list lives only as long as it.
    subprocess.run(["wineserver", "-p"], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wine(windows_path(parent / "deny_software_writes.exe"))
    refused("not elevated", "needs an elevated prompt")
    subprocess.run(["wineserver", "-k"], check=False)
    wait_for_wineserver()

    installed = r"HKLM\SOFTWARE\Zandrell\Launcher"
    wine("reg", "add", installed, "/v", "InstallFolder", "/d", "C:\\Program Files\\Zandrell Launcher\\",
         "/reg:32", "/f")
    refused("installed", "would replace and remove the Zandrell Launcher installed")
    wine("reg", "delete", r"HKLM\SOFTWARE\Zandrell", "/reg:32", "/f")

    saved = kit / "saved-registry"
    saved.mkdir()
    (saved / "1-32.reg").write_bytes(b"what the machine held\r\n")
    untouched |= {"saved-registry", str(Path("saved-registry") / "1-32.reg")}
    refused("unfinished", "an earlier run did not finish")
    if (saved / "1-32.reg").read_bytes() != b"what the machine held\r\n":
        problems.append("unfinished: the earlier run's saved registry was changed")
    shutil.rmtree(saved)

    return problems + Machine(parent).changes_since(before)


def main():
    command, zip_path, *rest = sys.argv[1:]
    if command == "run":
        problems = run(zip_path, rest)
    elif command == "failing-suites":
        problems = failing_suites(zip_path, rest[0], rest[1:])
    elif command == "refusals":
        problems = refusals(zip_path, rest[0])
    else:
        sys.exit(__doc__)
    for problem in problems:
        print("PROBLEM:", problem)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
