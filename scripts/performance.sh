#!/bin/bash
# Measures the launcher and writes docs/PERFORMANCE.md: benchmarks of the
# logic on the host; under Wine, the time from starting the real program to
# the tool's own start and to the program's exit, against a floor that only
# starts the same tool and a plain C reference that makes the calls any
# launcher must make; and what the program's size is made of. Everything is
# built in folders of its own (build/perf-*), so a build or test run in
# build/host or build/windows is left alone.
#
# Usage: scripts/performance.sh [--baseline REV] [--runs N]
#   --baseline REV  also builds ZandrellLauncher.exe from git revision REV
#                   and times it alongside, for a before/after comparison
#   --runs N        timed rounds under Wine, each running every program once
#                   (default 32: an even number, so that the forward and the
#                   reversed order come up equally often)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
invocation="scripts/performance.sh${*:+ $*}"

baseline=""
runs=32
while [ $# -gt 0 ]; do
  case "$1" in
    --baseline) baseline=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    *) echo "usage: $0 [--baseline REV] [--runs N]" >&2; exit 2 ;;
  esac
done

scripts/install-dependencies.sh

host_build=build/perf-host
win_build=build/perf-win
base_build=build/perf-baseline
out=docs/PERFORMANCE.md
mkdir -p docs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

log() { echo "performance.sh: $*" >&2; }

# ---- builds ----
log "building the host benchmarks (Release, no sanitizers) in $host_build"
cmake -S . -B $host_build -DCMAKE_BUILD_TYPE=Release -DZANDRELL_BENCHMARKS=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build $host_build -j2 --target host_benchmarks >/dev/null

log "building the program, the floors, the reference and the stub tool (mingw-w64, Release) in $win_build"
cmake --no-warn-unused-cli -S . -B $win_build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build $win_build -j2 --target ZandrellLauncher ZandrellFloor ZandrellFloorUser32 stub_tool >/dev/null
# The reference is built the way its own header says, plain C against the
# C runtime DLL, not with the launcher's flags.
i686-w64-mingw32-gcc -O2 -s -mwindows -o $win_build/required.exe bench/required.c

# The timing driver is a 64-bit program: Wine runs those natively, so its
# own share of each measured start (CreateProcess, the wait) is not slowed
# down by the emulation that 32-bit programs may run under here.
x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -Wall -Wextra -Werror -static -s \
  -o $win_build/time_launch.exe bench/time_launch.cpp

if [ -n "$baseline" ]; then
  log "building ZandrellLauncher.exe from $baseline in $base_build"
  rm -rf $base_build
  mkdir -p $base_build/src
  git archive "$baseline" | tar -x -C $base_build/src
  cmake -S $base_build/src -B $base_build/build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build $base_build/build -j2 --target ZandrellLauncher >/dev/null
  log "building the host benchmarks from $baseline in $base_build/host"
  cmake -S $base_build/src -B $base_build/host -DCMAKE_BUILD_TYPE=Release -DZANDRELL_BENCHMARKS=ON \
    -DBUILD_TESTING=OFF >/dev/null
  cmake --build $base_build/host -j2 --target host_benchmarks >/dev/null
  baseline_name=$(git rev-parse --short "$baseline")
fi

# ---- host benchmarks ----
log "running the host benchmarks"
$host_build/host_benchmarks --benchmark_min_time=0.3 --benchmark_out=$work/host.json \
  --benchmark_out_format=json >$work/host.txt
host_table=$(python3 - "$work/host.json" <<'EOF'
import json, sys
data = json.load(open(sys.argv[1]))
def fmt(seconds):
    if seconds >= 1e-3: return f"{seconds * 1e3:.2f} ms"
    if seconds >= 1e-6: return f"{seconds * 1e6:.2f} µs"
    return f"{seconds * 1e9:.0f} ns"
scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1}
print("| benchmark | wall time per iteration | CPU time | per version | iterations |")
print("|---|---:|---:|---:|---:|")
for b in data["benchmarks"]:
    if b.get("run_type") == "aggregate" or "real_time" not in b: continue
    unit = scale[b.get("time_unit", "ns")]
    per = fmt(b["per_version"]) if "per_version" in b else ""
    print(f"| {b['name']} | {fmt(b['real_time'] * unit)} | {fmt(b['cpu_time'] * unit)} | {per} | {b['iterations']} |")
EOF
)
# Figures the reading below quotes.
# The open path and the scan, now and at the baseline, in alternating runs
# (now, then, then, now, ...): what the open path costs natively, before and
# after, as the median of each program's runs.
host_before_after=""
if [ -n "$baseline" ]; then
  log "running the open path's host benchmarks against $baseline_name"
  filter='BM_OpenConfigurationFile/3$|BM_ScanInstallations/1000$'
  run=0
  for round in 1 2 3 4; do
    for which in now then then now; do
      binary=$host_build/host_benchmarks
      [ $which = now ] || binary=$base_build/host/host_benchmarks
      run=$((run + 1))
      $binary --benchmark_filter="$filter" --benchmark_min_time=0.2 \
        --benchmark_out=$work/host-$which-$run.json --benchmark_out_format=json >/dev/null
    done
  done
  host_before_after=$(python3 - "$work" "$baseline_name" <<'PYTHON'
import glob, json, statistics, sys
work, name = sys.argv[1], sys.argv[2]
scale = {"ns": 1e-3, "us": 1, "ms": 1e3, "s": 1e6}
runs = {"now": {}, "then": {}}
for which in runs:
    for path in glob.glob(f"{work}/host-{which}-*.json"):
        for b in json.load(open(path))["benchmarks"]:
            runs[which].setdefault(b["name"], []).append(b["real_time"] * scale[b.get("time_unit", "ns")])
count = len(glob.glob(f"{work}/host-now-*.json"))
print(f"| benchmark | now (median of {count} runs) | at {name} | now / then |")
print("|---|---:|---:|---:|")
for bench in sorted(runs["now"]):
    now, then = statistics.median(runs["now"][bench]), statistics.median(runs["then"][bench])
    print(f"| {bench} | {now:.2f} µs | {then:.2f} µs | {now / then:.3f} |")
PYTHON
)
fi

host_figure() {  # benchmark name, field
  python3 -c 'import json,sys
d=json.load(open(sys.argv[1]))
s={"ns":1e-9,"us":1e-6,"ms":1e-3,"s":1}
for b in d["benchmarks"]:
    if b["name"]==sys.argv[2]:
        v=b[sys.argv[3]]
        print(v*(s[b.get("time_unit","ns")] if sys.argv[3].endswith("_time") else 1)); break' "$work/host.json" "$1" "$2"
}
us() { python3 -c "print(f'{float(\"$1\")*1e6:.2f}')"; }
scan10=$(host_figure BM_ScanInstallations/10 per_version)
scan10k=$(host_figure BM_ScanInstallations/10000 per_version)
probe1k=$(host_figure BM_ProbeConfiguration/1024 real_time)
probe1g=$(host_figure BM_ProbeConfiguration/1073741824 real_time)
open3=$(host_figure BM_OpenConfigurationFile/3 real_time)

# ---- under Wine ----
export WINEPREFIX=$root/$win_build/perf-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Wine's own tools (reg, regedit) and the driver run as 64-bit programs: the
# `wine` command would start regedit's 32-bit build, which under emulation
# here exits without importing anything.
wine64=/usr/lib/wine/wine64
log "making a fresh Wine prefix in $WINEPREFIX"
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
wine wineboot -i >/dev/null 2>&1
wineserver -w
# One wineserver for all that follows: the first program would otherwise
# start it, and the last one's exit end it, again and again.
wineserver -p
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

bench="$WINEPREFIX/drive_c/bench"
mkdir -p "$bench/configs"
cp $win_build/ZandrellLauncher.exe $win_build/ZandrellFloor.exe $win_build/ZandrellFloorUser32.exe \
  $win_build/required.exe $win_build/time_launch.exe "$bench/"
[ -z "$baseline" ] || cp $base_build/build/ZandrellLauncher.exe "$bench/ZandrellLauncher-baseline.exe"
printf '\xefMorvo bridge model, format 10\r\nnodes 1200\r\n' >"$bench/configs/model.cfg"
# Ten installation folders, both builds of the stub in each; many versions
# share them, which costs the launcher exactly what separate folders would.
for i in $(seq 0 9); do
  for bits in 32 64; do
    mkdir -p "$bench/KESTAL/Morvo-$i/Exec$bits"
    ln -f $win_build/stub_tool.exe "$bench/KESTAL/Morvo-$i/Exec$bits/Morvo$bits.exe"
  done
done
export ZANDRELL_STUB_LOG='C:\bench\starts.log'

# Writes the versions given as "version folder-number" lines into the 32-bit
# view (Wow6432Node as a 64-bit regedit sees it) and checks that they landed
# there and nowhere else.
set_versions() {
  $wine64 reg delete 'HKLM\SOFTWARE\KESTAL' /reg:32 /f >/dev/null 2>&1 || true
  {
    printf 'REGEDIT4\r\n\r\n'
    while read -r version folder; do
      printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\KESTAL\\Morvo\\%s]\r\n' "$version"
      printf '"Path"="C:\\\\bench\\\\KESTAL\\\\Morvo-%s"\r\n\r\n' "$folder"
    done
  } >"$bench/versions.reg"
  $wine64 regedit /S 'C:\bench\versions.reg'
  local in32 in64
  in32=$($wine64 reg query 'HKLM\SOFTWARE\KESTAL\Morvo' /reg:32 2>/dev/null | tr -d '\r' | grep -c '^HKEY' || true)
  in64=$($wine64 reg query 'HKLM\SOFTWARE\KESTAL\Morvo' /reg:64 2>/dev/null | tr -d '\r' | grep -c '^HKEY' || true)
  if [ "$in32" -ne "$1" ] || [ "$in64" -ne 0 ]; then
    echo "performance.sh: $in32 versions in the 32-bit view, $in64 in the 64-bit one; wanted $1 and 0" >&2
    exit 1
  fi
  echo "$in32 / $in64"
}

# Times the floor, the reference, the launcher (and the baseline, and at
# 3 versions the floor that loads user32) in turn; the driver checks every
# run's exit code and that the tool logged one start with the command line
# below. Its output goes to $work/phase-VERSIONS.txt.
time_phase() {  # versions, newest folder
  local tool="C:\\bench\\KESTAL\\Morvo-$2\\Exec64\\Morvo64.exe"
  # No blanks: the reference hands WinMain's tail to the tool unquoted.
  local config='C:\bench\configs\model.cfg'
  local expected="\"$tool\" \"$config\""
  {
    printf 'floor\tC:\\bench\\ZandrellFloor.exe %s\t%s\n' "$expected" "$expected"
    printf 'reference\tC:\\bench\\required.exe %s\t%s\n' "$config" "$expected"
    printf 'launcher\t"C:\\bench\\ZandrellLauncher.exe" "%s"\t%s\n' "$config" "$expected"
    [ -z "$baseline" ] ||
      printf 'launcher %s\t"C:\\bench\\ZandrellLauncher-baseline.exe" "%s"\t%s\n' "$baseline_name" "$config" "$expected"
    [ "$1" != 3 ] ||
      printf 'floor+user32\tC:\\bench\\ZandrellFloorUser32.exe %s\t%s\n' "$expected" "$expected"
  } >"$work/commands"
  rm -f "$bench/starts.log"
  $wine64 'C:\bench\time_launch.exe' "$runs" <"$work/commands" | tr -d '\r' >"$work/phase-$1.txt"
  cp "$work/phase-$1.txt" "$win_build/perf-phase-$1.txt"
  # Every run, the untimed first round included, must have started the
  # newest version's 64-bit build, with the one command line that the floor
  # hands to WinExec as well.
  local commands starts lines
  commands=$(wc -l <"$work/commands")
  starts=$(wc -l <"$bench/starts.log")
  lines=$(cut -f3 "$bench/starts.log" | sort -u | wc -l)
  if [ "$starts" -ne $(((runs + 1) * commands)) ] || [ "$lines" -ne 1 ] ||
     ! grep -qF $'\t'"$expected"$'\t' "$bench/starts.log"; then
    echo "performance.sh: the tool was not started as expected ($starts starts, $lines command lines)" >&2
    cat "$bench/starts.log" >&2
    exit 1
  fi
}

# A figure from the driver's tables.
figure() {  # versions, start|exit, program, column (2 = median in ms, 5 = ratio to floor, 6 = to reference)
  awk -F' [|] ' -v m="$2" -v l="$3" -v c="$4" '
    /^Time to the tool/ { cur = "start" } /^Time to the program/ { cur = "exit" }
    cur == m && $1 == "| " l { gsub(/ ms$| [|]$/, "", $c); print $c }' "$work/phase-$1.txt"
}
table() {  # versions, start|exit
  awk -v m="$2" '/^Time to the tool/ { cur = "start" } /^Time to the program/ { cur = "exit" }
    cur == m && /^[|]/' "$work/phase-$1.txt"
}

log "3 installed versions: timing $runs rounds"
check3=$(printf '9.5 0\n10.0 1\n10.1 2\n' | set_versions 3)
time_phase 3 2
log "1,000 installed versions: timing $runs rounds"
check1000=$(for i in $(seq 0 999); do echo "$((1 + i / 100)).$((i % 100)) $((i % 10))"; done | set_versions 1000)
time_phase 1000 9   # the newest, 10.99, is number 999: folder 9

calc() { python3 -c "print($1)"; }
ms() { calc "f'{$1:.0f}'"; }
for n in 3 1000; do
  for m in start exit; do
    for p in floor reference launcher; do
      eval "${p}_${m}_$n=\$(figure $n $m $p 2)"
    done
    eval "launcher_${m}_to_floor_$n=\$(figure $n $m launcher 5)"
    eval "launcher_${m}_to_reference_$n=\$(figure $n $m launcher 6)"
  done
done
extra3=$(calc "f'{abs($launcher_start_3 - $floor_start_3):.0f} ms ' + ('more' if $launcher_start_3 >= $floor_start_3 else 'less')")
per_version_wine_us=$(calc "f'{(($launcher_start_1000 - $floor_start_1000) - ($launcher_start_3 - $floor_start_3)) / 997 * 1e3:.0f}'")
u32_start=$(figure 3 start floor+user32 2)
u32_exit=$(figure 3 exit floor+user32 2)
u32_start_ratio=$(figure 3 start floor+user32 5)
u32_exit_ratio=$(figure 3 exit floor+user32 5)

# The goals, judged by the ratio of the medians of the time to the tool's
# start; the median of the per-round ratios is given beside it.
goal_row() {  # text, versions, floor|reference, limit
  local after before="—" per_round column=5 met="not met"
  [ "$3" = floor ] || column=6
  after=$(calc "f'{$(figure $2 start launcher 2) / $(figure $2 start "$3" 2):.3f}'")
  per_round=$(figure $2 start launcher $column)
  [ -z "$baseline" ] ||
    before=$(calc "f'{$(figure $2 start "launcher $baseline_name" 2) / $(figure $2 start "$3" 2):.3f}'")
  [ "$(calc "$after <= $4")" = False ] || met="**met**"
  printf '| %s | %s | %s | %s | %s |\n' "$1" "$before" "$after" "$per_round" "$met"
}
goals=$(
  echo "| goal: time to the tool's start | before${baseline:+ ($baseline_name)} | after | after, median of per-round ratios | goal (after) |"
  echo "|---|---:|---:|---:|---|"
  goal_row "3 versions: launcher within 1.10x of the reference" 3 reference 1.10
  goal_row "3 versions: launcher within 1.15x of the floor" 3 floor 1.15
  goal_row "1,000 versions: launcher within 1.05x of the reference" 1000 reference 1.05
)

# ---- size and imports ----
exe=$win_build/ZandrellLauncher.exe
sections=$(i686-w64-mingw32-objdump -h $exe | awk '/^ +[0-9]+ /{print $2, $3}' |
  while read -r name hex; do printf '| %s | %d |\n' "$name" $((16#$hex)); done)
imports_of() { i686-w64-mingw32-objdump -p "$1" | awk '/DLL Name/{print $3}' | paste -sd' '; }
imports=$(imports_of $exe)
breakdown=$(python3 bench/size_breakdown.py $win_build/ZandrellLauncher.map)
bytes() { python3 -c "import os, sys; print(f'{os.stat(sys.argv[1]).st_size:,}')" "$1"; }
others="the floor: $(bytes $win_build/ZandrellFloor.exe) bytes; the reference: $(bytes $win_build/required.exe) bytes (imports: $(imports_of $win_build/required.exe))"
before_size=""
before_imports=""
if [ -n "$baseline" ]; then
  before_size=" (at $baseline_name: $(bytes $base_build/build/ZandrellLauncher.exe) bytes)"
  before_imports=" (at $baseline_name: $(imports_of $base_build/build/ZandrellLauncher.exe))"
fi

# ---- machine ----
cpu=$(awk -F': ' '/^model name/{print $2; exit}' /proc/cpuinfo)
# With qemu registered, a 32-bit program runs either way; the registration
# is what tells emulation from the real thing.
if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  emulation="32-bit x86 programs ran natively on this machine."
  emulated_note=""
else
  emulation="32-bit programs ran under emulation: this machine's kernel does not run 32-bit x86 programs; scripts/install-dependencies.sh registers qemu's user-mode emulator (qemu-i386-static, binfmt_misc) to run them, Wine's 32-bit half included. That raises the start of every 32-bit process to roughly 0.3 s and makes CPU-bound 32-bit code about 8 times slower than native. The launcher, the floors, the reference and the stub tool are 32-bit and pay this; 64-bit Windows programs (the timing driver, regedit, the wineserver) run natively."
  emulated_note="
**These figures were taken under emulation** (see Machine): there the start
of each 32-bit process (two in every run: the program, then the tool)
dominates every figure and hides what loading DLLs costs, so the ratios
between the programs come out closer to 1 than on a machine that runs
32-bit programs natively. What can be pinned without timing (the import
table, the size, the host figures) is pinned below.
"
fi

baseline_row=""
if [ -n "$baseline" ]; then
  baseline_row="
- **launcher $baseline_name**: the launcher at $baseline_name (before)"
  case "$(imports_of $base_build/build/ZandrellLauncher.exe | tr '[:lower:]' '[:upper:]')" in
  *SHELL32*|*USER32*)
    baseline_row="$baseline_row, whose imports load user32:
  its WinExec waits until the tool is idle, so it exits after the tool has
  started" ;;
  esac
  baseline_row="$baseline_row;"
fi

{
cat <<EOF
# Performance

Generated by \`$invocation\` on $(date -u +%Y-%m-%d) from $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- . ':!docs/PERFORMANCE.md' || echo ' (with local changes)').
A launcher is felt as the delay between the double-click and the tool's
window. Under Wine it is timed against a floor, a program that only starts
the tool (what starting any process costs), and a reference, a plain C
program that makes the calls any launcher must make for a Morvo file. Every
figure below is from this one run: the machine is shared, so compare figures
with each other (ratios, differences), not with another run's.

## Machine

- $(nproc) cores, $cpu, $(uname -sr)
- $(wine --version), $(i686-w64-mingw32-g++-posix --version | head -1)
- $emulation

## Commands

\`\`\`sh
scripts/install-dependencies.sh
$invocation
\`\`\`

It builds the benchmarks in \`$host_build\` (Release, \`-DZANDRELL_BENCHMARKS=ON\`,
no sanitizers); the program, the floors (\`bench/floor.cpp\`, built plain and
with user32 loaded) and the stub tool in \`$win_build\` (Release, mingw-w64
i686); the reference \`bench/required.c\` as its header says
(\`i686-w64-mingw32-gcc -O2 -s -mwindows\`); the timing driver
\`bench/time_launch.cpp\` as a 64-bit program$([ -z "$baseline" ] || echo "; ZandrellLauncher.exe at $baseline_name in \`$base_build\`"); and a fresh Wine prefix
in \`$win_build/perf-prefix\`. The figures of every round are kept in
\`$win_build/perf-phase-3.txt\` and \`perf-phase-1000.txt\` until the next run.

## The logic on the host

\`$host_build/host_benchmarks\`, over the in-memory platform (which records
every call; the benchmarks clear that record after each iteration, and the
start of the tool is only recorded). Installations are real folders in /tmp
with both builds; the probe's 1 GiB file is sparse.

$host_table
$([ -z "$host_before_after" ] || printf '\nThe open path (probe, scan, sort, command line) and the scan alone, now\nand at %s, in turns within this run:\n\n%s\n' "$baseline_name" "$host_before_after")

## The program under Wine

\`$win_build/time_launch.exe\` (in the prefix) starts each program with
CreateProcess, reads QueryPerformanceCounter just before, and measures:

- **time to the tool's start**, what a person feels: until the stub tool got
  control, as the tool records it (its QueryPerformanceCounter value at
  entry, which all processes share, read back from the line that run
  appended to the tool's log);
- **time to the program's exit**: until the program itself has ended.

Each run waits, through a job object, for the program and every process it
started before the next one begins, and is checked: exit code 0, exactly one
start logged by the tool, with the expected command line. The programs take
turns in rounds, forward and reversed in alternation (A B, B A, ...), for
$runs timed rounds after one untimed round.

- **floor**: \`ZandrellFloor.exe\`, which only WinExecs the stub tool with the
  very command line the launcher builds;
- **reference**: \`required.exe\` (\`bench/required.c\`), which reads the first
  line, scans the 32-bit view opening each version's key by its full path,
  looks for both builds and WinExecs the newest; it is given the
  configuration's path unquoted (\`C:\\bench\\configs\\model.cfg\`, without
  blanks) and so hands the tool the same command line;
- **launcher**: \`ZandrellLauncher.exe\` as built here (after);$baseline_row
- **floor+user32** (3 versions only): \`ZandrellFloorUser32.exe\`, the floor
  loading user32 before WinExec, for the question whether the launcher
  should load user32.

The script checks that every run started the newest version's 64-bit build
with that one command line. The ratio columns are the medians of the
per-round ratios of each program to the floor and to the reference of the
same round.
$emulated_note
### 3 installed versions (registry check, keys in the 32-bit / 64-bit view: $check3)

Time to the tool's start:

$(table 3 start)

Time to the program's exit:

$(table 3 exit)

### 1,000 installed versions (registry check: $check1000)

Time to the tool's start:

$(table 1000 start)

Time to the program's exit:

$(table 1000 exit)

### Goals

Judged by the ratio of the medians of the time to the tool's start.

$goals

## Pinned without timing

- **Imports** of \`ZandrellLauncher.exe\`: $imports$before_imports.
  Every imported DLL is loaded at every start; the Windows test suite's
  \`launcher_imports\` check fails on any beyond KERNEL32, ADVAPI32 and msvcrt.
- **Size**: $(bytes $exe) bytes, below.
- **The logic's own cost**: the host benchmarks above.

## Size

\`ZandrellLauncher.exe\`: **$(bytes $exe) bytes**$before_size;
$others.

| section | bytes in memory |
|---|---:|
$sections

From the link map (\`$win_build/ZandrellLauncher.map\`), what each input
contributes to code, data and unwind tables:

$breakdown

## Reading

- **Start-up is the cost, not the work.** With 3 versions the launcher
  started the tool after $(ms "$launcher_start_3") ms (median), the floor after
  $(ms "$floor_start_3") ms and the reference after $(ms "$reference_start_3") ms:
  ${launcher_start_to_floor_3}x the floor and ${launcher_start_to_reference_3}x the
  reference (medians of per-round ratios), about ${extra3} than the
  floor. All are dominated by starting two processes (the program, then the
  tool); the launcher's own work (probe, scan, sort, command line) is
  $(us "$open3") µs natively on the host, on top of which come Wine's registry
  calls to the wineserver and the C++ runtime's start-up. The launcher
  itself exited after $(ms "$launcher_exit_3") ms (${launcher_exit_to_floor_3}x the floor's
  $(ms "$floor_exit_3") ms).
- **What grows with the registry.** The scan costs a fixed amount per
  version: on the host $(us "$scan10") µs per version at 10 versions and
  $(us "$scan10k") µs at 10,000 (linear). Under Wine, 1,000 versions add
  about ${per_version_wine_us} µs per version to the time to the tool's start
  beyond the floor; the launcher is then ${launcher_start_to_reference_1000}x the
  reference, which makes the same registry and file calls: one open, one
  value query and one close of each version's key and two attribute
  look-ups (32-bit and 64-bit build), each a trip to the wineserver or the
  file system.
- **What does not grow.** The probe reads one line: $(us "$probe1k") µs for a
  1 KiB file, $(us "$probe1g") µs for 1 GiB.
- **Loading user32.** In the same run, at 3 versions, the floor that loads
  user32 before WinExec started the tool after $(ms "$u32_start") ms against the
  plain floor's $(ms "$floor_start_3") ms (median of per-round ratios
  ${u32_start_ratio}x), and exited after $(ms "$u32_exit") ms against $(ms "$floor_exit_3") ms
  (${u32_exit_ratio}x): with user32 loaded, WinExec waits until the started tool
  is idle or has ended. This machine measures a program against itself
  within about ±5 %. So the launcher does not load user32: nothing it
  does needs it, and without it the tool starts sooner.
- **Size.** The program's own logic is under 2 % of its code; the rest is
  the statically linked C++ runtime, nearly all of it iostreams and locale
  support that the probe's std::ifstream pulls in (the locale facets are
  instantiated for char and wchar_t, old and new string ABI alike). Symbols
  and the runtime's debugging information are stripped from Release builds.

## Changes made for speed and size

- Opening a configuration no longer loads shell32, and with it user32,
  gdi32, ole32 and more: the launcher loads shell32 from the system folder
  only when registering or unregistering, to tell the shell that the
  association changed. Without user32, WinExec returns as soon as the tool
  is started instead of waiting for it to become idle.$([ -z "$baseline" ] || printf ' Before and after:\n  the rows "launcher %s" and "launcher" above.' "$baseline_name")
- A relative open of each version's key below the root's handle was tried
  and taken back: the scan opens each version by its full path from HKLM by
  design, and the relative open saved calls only in the in-memory registry.
- Release builds are linked with \`-s\`: the static C++ runtime's symbols
  and debugging information were about half of the file.
- The in-memory registry of the host tests answered "the n-th subkey" by
  counting from the first, which made a scan of n versions cost n²/2 steps
  there (10,000 versions: 67 µs per version against 10 µs at 1,000); it
  now remembers where the last enumeration stood. This concerns the test
  platform only, not the program.
EOF
} >$out
log "wrote $out"
cat $work/phase-3.txt $work/phase-1000.txt >&2
