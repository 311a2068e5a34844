#!/usr/bin/env python3
"""The test kit under Wine, as a person runs it on Windows: unpacked into the
fresh prefix that WINEPREFIX names, in a folder of its own, and started
through cmd with run-tests.cmd. The prefix's drive Z:, through which Wine
reaches the Linux files and so the build tree, is taken away first: the kit
has nothing but what it carries. The machine holds its own Morvo key, .cfg
association, .cfg of the user's, bare Zandrell Launcher key and files.

  kit_under_wine.py run KIT.zip SUITE...
      the whole kit, from a folder with an umlaut, "&" and parentheses
      in its name: every suite passes, each report parses, the closing lines
      count the cases, and the registry and drive C: are as they were, the
      kit's folder aside
  kit_under_wine.py stand-ins KIT.zip STAND_IN_SUITE.exe SUITE...
      the suites replaced by programs that touch the same keys, install the
      package, fail a case, crash or stop the run half-way: each failing
      case and each suite without a report is named and counted; a stopped
      run makes the kit refuse, in its folder and in a kit unpacked afresh,
      with one line naming /restore, which puts the machine back
  kit_under_wine.py refusals KIT.zip DENY_SOFTWARE_WRITES.exe
      without the right to write HKLM\\SOFTWARE, with Zandrell Launcher
      installed, and from a folder outside the code page, the kit refuses
      with one line and changes nothing
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

# What a machine may hold where the suites write: a Morvo installation (in
# the 32-bit view, where the launcher looks) with a value of its own, another
# program's .cfg association with its Content Type and its "Open with" list,
# the user's own .cfg, a bare Zandrell Launcher key that a script left, a
# compatibility setting of the user's and Explorer's list of programs for
# .cfg.
MORVO_FOLDER = r"C:\Tools\KESTAL\Morvo 9.5"
SEEDS = [
    # The user's classes, which every Windows profile has.
    (r"HKCU\Software\Classes", None, None, None),
    (r"HKLM\SOFTWARE\KESTAL\Morvo\9.5", "Path", MORVO_FOLDER, "/reg:32"),
    (r"HKLM\SOFTWARE\KESTAL\Morvo\9.5", "Edition", "Site licence", "/reg:32"),
    (r"HKLM\SOFTWARE\Classes\.cfg", None, "Other.Editor", None),
    (r"HKLM\SOFTWARE\Classes\.cfg", "Content Type", "text/plain", None),
    (r"HKLM\SOFTWARE\Classes\.cfg\OpenWithProgids", "Other.Editor", "", None),
    (r"HKLM\SOFTWARE\Classes\Other.Editor\shell\open\command", None,
     r'"C:\Tools\Other Editor\editor.exe" "%1"', None),
    (r"HKCU\Software\Classes\.cfg", None, "Users.Editor", None),
    (r"HKLM\SOFTWARE\Zandrell\Launcher", None, None, "/reg:32"),
    (r"HKCU\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers",
     r"C:\Tools\Old Tool\old.exe", "~ WINXPSP3", None),
    (r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.cfg\OpenWithList",
     "a", "editor.exe", None),
]
# The seeded keys exported, to be compared byte for byte, with their views.
SEEDED_KEYS = [(r"HKLM\SOFTWARE\KESTAL", "32"), (r"HKLM\SOFTWARE\Classes\.cfg", "64"),
               (r"HKCU\Software\Classes\.cfg", "64"), (r"HKLM\SOFTWARE\Zandrell", "32")]
# ... and files of its own on drive C:.
SEED_FILES = {
    "Tools/KESTAL/Morvo 9.5/Exec32/Morvo32.exe": b"MZ stands in for Morvo\r\n",
    "Models/bridge model.cfg": b"#Morvo bridge model\r\n",
}
# The seeds as the snapshot below finds them in Wine's registry files.
SEEDS_IN_SNAPSHOT = {
    ("system.reg", r"[Software\\Wow6432Node\\KESTAL\\Morvo\\9.5]"): '"Path"="C:\\\\Tools\\\\KESTAL\\\\Morvo 9.5"',
    ("system.reg", r"[Software\\Classes\\.cfg]"): '"Content Type"="text/plain"',
    ("user.reg", r"[Software\\Classes\\.cfg]"): '@="Users.Editor"',
    ("user.reg", r"[Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers]"):
        '"C:\\\\Tools\\\\Old Tool\\\\old.exe"="~ WINXPSP3"',
}
# Where the kits are unpacked, each in a folder of its own below it.
KITS = DRIVE_C / "kits"

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
                                stdout=captured, stderr=subprocess.STDOUT, timeout=1700)
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


def run_kit(kit, *arguments):
    """run-tests.cmd through the 64-bit cmd, as an elevated prompt and a
    hosted runner's `shell: cmd` have it, in its own folder: cmd /c takes a
    quoted path with parentheses apart, so the script is named as a person
    types it there."""
    code, output = wine("cmd", "/c", "run-tests.cmd", *arguments, loader="/usr/lib/wine/wine64", cwd=kit,
                        check=False)
    print(f"---- run-tests.cmd {' '.join(arguments)} in {windows_path(kit)}, exit code {code} ----\n{output}----")
    return code, [line for line in output.split("\n") if line.strip()]


def exports():
    """The seeded keys as reg export writes them."""
    found = {}
    for key, view in SEEDED_KEYS:
        file = DRIVE_C / "seeded.reg"
        wine("reg", "export", key, "C:\\seeded.reg", "/y", f"/reg:{view}", check=False)
        found[key] = file.read_bytes() if file.exists() else b""
        file.unlink(missing_ok=True)
    return found


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

    def __init__(self, skip=KITS):
        self.exports = exports()
        wait_for_wineserver()
        self.registry = registry_snapshot()
        self.files = files_snapshot(skip)

    def changes_since(self, before):
        return ([f"{key} exported differs" for key in before.exports if before.exports[key] != self.exports[key]] +
                differences(before.registry, self.registry, "key", wine_own_key) +
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


def closing(lines, failing, counts):
    """The closing lines: each failing case, the counts (a pattern), then
    where the reports are."""
    problems = []
    above = lines[-len(failing) - 2:-2] if len(lines) >= len(failing) + 2 else lines
    if above != failing:
        problems.append(f"the failing cases named are {above}, not {failing}")
    if len(lines) < 2 or not re.fullmatch(counts, lines[-2]):
        problems.append(f"the counts are {lines[-2:-1]}, not {counts}")
    if not lines or not re.fullmatch(r'Reports: ".*\\reports"', lines[-1]):
        problems.append(f"the last line is {lines[-1:]}, not where the reports are")
    return problems


def run(zip_path, suites):
    cut_off_the_linux_files()
    # A folder as a German user names one, with what cmd takes for commands
    # (a "%" Wine's cmd would lose: it expands again what a variable gives).
    kit = unpack(zip_path, KITS / "Prüfung & Co (2)")
    seed_the_machine()
    before = Machine()
    problems = check_seeds(before, "before the run")
    code, lines = run_kit(kit)
    after = Machine()
    problems += check_seeds(after, "after the run") + after.changes_since(before)
    if code != 0:
        problems.append(f"run-tests.cmd exited with {code}")
    problems += closing(lines, [], rf"[1-9]\d* tests passed, 0 failed, \d+ skipped in {len(suites)} suites")
    problems += check_reports(kit / "reports", suites)
    return problems


def stand_in_kit(zip_path, folder, stand_in, steps, reports=None):
    """A kit whose suites are the stand-in, each doing its steps ({kit} and
    {package} name the kit's folder and package, {system} the native system
    folder), after handing in a report of the (name, outcome) cases that
    `reports` gives it, if any."""
    kit = unpack(zip_path, KITS / folder)
    # The stand-in is a 32-bit program: the native programs are in sysnative.
    names = {"kit": windows_path(kit), "package": next(kit.glob("*.msi")).name, "system": r"C:\windows\sysnative"}
    for suite, does in steps.items():
        shutil.copyfile(stand_in, kit / f"{suite}.exe")
        if suite in (reports or {}):
            write_report(kit / f"{suite}-report.xml", reports[suite])
            does = [f"report {{kit}}\\{suite}-report.xml"] + does
        (kit / f"{suite}.does").write_text("\n".join(does).format(**names) + "\n", encoding="utf-8")
    return kit


def write_report(path, cases):
    """A JUnit report as GoogleTest writes one."""
    def case(name, outcome):
        status, result = ("notrun", "suppressed") if outcome == "disabled" else ("run", outcome)
        failure = '<failure message="planted &amp; failing"/>' if outcome == "failed" else ""
        return (f'<testcase name="{name}" status="{status}" result="{result}" classname="Planted">'
                f'{failure}</testcase>')
    path.write_text(f'<?xml version="1.0" encoding="UTF-8"?>\n<testsuites tests="{len(cases)}">'
                    f'<testsuite name="Planted">{"".join(case(*c) for c in cases)}</testsuite></testsuites>\n',
                    encoding="utf-8")


# What the suites do to the machine: the seeded keys rewritten, keys and a
# folder made where there were none, the user's .cfg and the bare key
# deleted (as the suites arrange for themselves), the package installed.
TOUCH = [
    r'run {system}\reg.exe add "HKLM\SOFTWARE\KESTAL\Morvo\9.5" /v Path /d "{kit}\temp\Morvo 9.5" /f /reg:32',
    r'run {system}\reg.exe add "HKLM\SOFTWARE\KESTAL\Morvo\9.5" /v Touched /d yes /f /reg:32',
    r'run {system}\reg.exe add "HKLM\SOFTWARE\KESTAL\Tessaline\3.1" /v Path /d "{kit}\temp" /f /reg:32',
    r'run {system}\reg.exe add "HKLM\SOFTWARE\Classes\.cfg\OpenWithProgids" /v Stand.In /d "" /f',
    r'run {system}\reg.exe add "HKCU\Software\KESTAL\Morvo\9.5" /v Path /d "{kit}\temp" /f',
    r'try {system}\reg.exe delete "HKCU\Software\Classes\.cfg" /f',
    r'try {system}\reg.exe delete "HKLM\SOFTWARE\Zandrell" /f /reg:32',
    r'try {system}\cmd.exe /c md "C:\Tools for all\Zandrell Launcher"',
    r'run {system}\msiexec.exe /i "{kit}\{package}" /qn',
]


def refused_with(lines, phrase):
    return [] if len(lines) == 1 and phrase in lines[0] else [f"not one line that says \"{phrase}\": {lines}"]


def stand_ins(zip_path, stand_in, suites):
    """Rows: what the stand-ins do, and what the kit must make of it."""
    cut_off_the_linux_files()
    seed_the_machine()
    before = Machine()
    problems = []

    # A failing case, a crash without a report after touching everything,
    # and a suite that passes: named, counted, and all put back, from a
    # folder whose name a path sent through call would lose (call doubles
    # carets and expands percent signs again; Wine's cmd, unlike Windows',
    # expands again what every variable gives, so no "%" here).
    kit = stand_in_kit(zip_path, "a^b & !x! (y)", stand_in, {
        suites[0]: ["exit 1"], suites[1]: TOUCH + ["exit -1073741819"], suites[2]: ["exit 0"],
    }, reports={
        suites[0]: [("One", "completed"), ("FailingCase", "failed"), ("Skipped", "skipped"),
                    ("DISABLED_Off", "disabled")],
        suites[2]: [("A", "completed"), ("B", "completed"), ("C", "completed")],
    })
    code, lines = run_kit(kit)
    problems += [f"counting: {p}" for p in closing(lines, [
        f"{suites[0]}: Planted.FailingCase", f"{suites[1]}: no report, exit code -1073741819"],
        f"4 tests passed, 2 failed, 2 skipped in {len(suites)} suites")]
    problems += [] if code == 1 else [f"counting: run-tests.cmd exited with {code}, not 1"]
    problems += [f"counting: {p}" for p in Machine().changes_since(before)]

    # Stopped half-way with the package installed: the kit refuses, in its
    # own folder and unpacked afresh elsewhere, and names /restore, which
    # leaves the machine as it was.
    stopped = stand_in_kit(zip_path, "stopped", stand_in, {
        suites[0]: TOUCH + ["stop the run"], **{suite: ["exit 0"] for suite in suites[1:]}})
    code, lines = run_kit(stopped)
    if any("passed" in line for line in lines):
        problems.append(f"the run was not stopped: {lines}")
    if not (DRIVE_C / "Program Files (x86)" / "Zandrell Launcher" / "ZandrellLauncher.exe").exists():
        problems.append("the stopped run had not installed the package")
    afresh = unpack(zip_path, KITS / "unpacked afresh")
    for case, folder in (("the same kit", stopped), ("a kit unpacked afresh", afresh)):
        code, lines = run_kit(folder)
        problems += [f"after a stopped run, {case}: {p}" for p in refused_with(lines, "/restore")]
        problems += [] if code == 1 else [f"after a stopped run, {case}: exit code {code}"]
    code, lines = run_kit(afresh, "/restore")
    problems += [] if code == 0 else [f"/restore exited with {code}: {lines}"]
    problems += [f"/restore: {p}" for p in Machine().changes_since(before)]
    code, lines = run_kit(afresh, "/restore")
    problems += refused_with(lines, "no unfinished run") if code == 0 else [f"/restore again exited with {code}"]
    return problems


def refusals(zip_path, deny_software_writes):
    cut_off_the_linux_files()
    kit = unpack(zip_path, KITS / "refusals")
    outside = unpack(zip_path, KITS / "Проверка")
    shutil.copyfile(deny_software_writes, KITS / "deny_software_writes.exe")
    before = Machine()
    untouched = {str(p.relative_to(KITS)) for p in KITS.rglob("*")}
    problems = []

    def refused(case, phrase, folder=kit):
        code, lines = run_kit(folder)
        if code == 0:
            problems.append(f"{case}: run-tests.cmd exited with 0")
        problems.extend(f"{case}: {p}" for p in refused_with(lines, phrase))
        left = {str(p.relative_to(KITS)) for p in KITS.rglob("*")} - untouched
        if left:
            problems.append(f"{case}: the kits' folder gained {sorted(left)}")

    # The server is kept running: the access list lives only as long as it.
    subprocess.run(["wineserver", "-p"], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wine(windows_path(KITS / "deny_software_writes.exe"))
    refused("not elevated", "needs an elevated prompt")
    subprocess.run(["wineserver", "-k"], check=False)
    wait_for_wineserver()

    refused("outside the code page", "cannot run from", outside)

    # Installed by msiexec, whatever its properties; a value a script left
    # is no installation (the machine of the other tests has a bare key).
    # ASSOCIATE=0 leaves the seeded .cfg default alone: removal would leave
    # the package's own default behind, as it does for a person.
    package = windows_path(next(kit.glob("*.msi")))
    wine("msiexec", "/i", package, "ASSOCIATE=0", "/qn")
    refused("installed", "would replace and remove the Zandrell Launcher installed")
    wine("msiexec", "/x", package, "/qn")
    return problems + Machine().changes_since(before)


def main():
    command, zip_path, *rest = sys.argv[1:]
    if command == "run":
        problems = run(zip_path, rest)
    elif command == "stand-ins":
        problems = stand_ins(zip_path, rest[0], rest[1:])
    elif command == "refusals":
        problems = refusals(zip_path, rest[0])
    else:
        sys.exit(__doc__)
    for problem in problems:
        print("PROBLEM:", problem)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
