#!/bin/bash
# The launcher's main job on a ready-made example, under Wine: sample
# installations of Morvo and Tessaline whose tools only record how they were
# started, two sample configurations opened through the launcher, then the
# file association registered, used by the shell and removed again.
# Everything it makes stays in build/windows.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh

build=build/windows
{
  cmake --preset windows
  cmake --build --preset windows -j2 --target ZandrellLauncher ZandrellCheck stub_tool run_exact shell_open
} >/dev/null

export WINEPREFIX="$PWD/$build/demo-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
tests/wine/fresh-prefix.sh
trap 'wineserver -k 2>/dev/null || true' EXIT

drive_c="$WINEPREFIX/drive_c"
apps='C:\Program Files (x86)\KESTAL'
configs='C:\users\Public\Documents\Demo configs'
export ZANDRELL_STUB_LOG='C:\demo-starts.log'
log="$drive_c/demo-starts.log"
launcher="$(winepath -w "$build/ZandrellLauncher.exe" 2>/dev/null)"

unix_path() { local p="${1#C:\\}"; printf '%s/%s' "$drive_c" "${p//\\//}"; }

# name, version, registry root, executable prefix, builds
install() {
  local folder="$apps\\$1 $2"
  for bits in $5; do
    mkdir -p "$(unix_path "$folder\\Exec$bits")"
    cp "$build/stub_tool.exe" "$(unix_path "$folder\\Exec$bits\\$4$bits.exe")"
  done
  wine reg add "HKLM\\SOFTWARE\\KESTAL\\$3\\$2" /v Path /d "$folder" /reg:32 /f >/dev/null
  printf '  %-10s %-5s %-22s builds: %s\n' "$1" "$2" "HKLM\\...\\KESTAL\\$3" "$5"
}

echo "Sample installations (registry: 32-bit view):"
install Morvo 9.5 Morvo Morvo "32 64"
install Morvo 10.0 Morvo Morvo "32"
install Tessaline 3.1 Tessaline Quin "32 64"

mkdir -p "$(unix_path "$configs")"
printf '\xefMorvo bridge model, format 10\r\n' >"$(unix_path "$configs\\bridge model.cfg")"
printf '\xefTessaline rotor study\r\n' >"$(unix_path "$configs\\rotor study.cfg")"

report_start() {
  if [ -s "$log" ]; then
    while IFS=$'\t' read -r exe show line entered; do
      echo "  started:  $exe"
      echo "  with:     ${line%$'\r'}"
    done <"$log"
  else
    echo "  started:  nothing"
  fi
  rm -f "$log"
}

# run_exact starts the command line it reads, exactly as given, and waits for
# it and for everything it started (the tool too) before it reports.
run_exact() {
  printf '%s\n' "$1" | wine "$build/run_exact.exe" | tr -d '\r' | sed 's/^exit code //' || true
}

run() {  # the launcher's command-line tail
  echo "  exit code $(run_exact "\"$launcher\" $1")"
}

check() {  # ZandrellCheck's subcommand and arguments, its report indented
  wine "$build/ZandrellCheck.exe" "$@" 2>&1 | tr -d '\r' | sed 's/^/  | /' || true
}

for cfg in "bridge model.cfg" "rotor study.cfg"; do
  echo
  echo "What the launcher would do with $configs\\$cfg (ZandrellCheck which):"
  check which "$configs\\$cfg"
  echo "Opening it through the launcher:"
  run "\"$configs\\$cfg\""
  report_start
done

echo
echo "Registering the .cfg association (/regserver):"
run "/regserver"
echo "What the shell now does with a .cfg file (ZandrellCheck association):"
check association

echo
echo "Opening $configs\\bridge model.cfg through the shell (as a double-click does):"
shell_open="$(winepath -w "$build/shell_open.exe" 2>/dev/null)"
echo "  exit code $(run_exact "\"$shell_open\" \"$configs\\bridge model.cfg\"")"
report_start

echo
echo "Removing the association (/unregserver):"
run "/unregserver"
if wine reg query 'HKCR\.cfg' >/dev/null 2>&1; then echo "  HKCR\\.cfg still there"; else echo "  HKCR\\.cfg is gone"; fi
