#!/bin/sh
# Fails when a program's import table names a DLL beyond the ones allowed.
# Every DLL imported is loaded, with all it imports in turn, at each start of
# the program, before its first instruction runs: for the launcher that is
# every double-click, so a stray import (shell32 pulls in user32, gdi32, ole32
# and more) costs every user on every open.
#
# Usage: check-imports.sh OBJDUMP PROGRAM.exe ALLOWED.DLL...
set -eu
objdump=$1
exe=$2
shift 2
allowed=$(printf '%s\n' "$@" | tr '[:lower:]' '[:upper:]')

imports=$("$objdump" -p "$exe" | awk '/DLL Name:/ {print toupper($3)}')
[ -n "$imports" ] || { echo "check-imports.sh: no import table read from $exe" >&2; exit 1; }
extra=$(printf '%s\n' "$imports" | grep -v -x -F "$allowed" || true)
echo "$(basename "$exe") imports: $(echo $imports)"
if [ -n "$extra" ]; then
  echo "check-imports.sh: $(basename "$exe") imports $(echo $extra), beyond $(echo $allowed)" >&2
  exit 1
fi
