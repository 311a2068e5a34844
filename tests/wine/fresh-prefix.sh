#!/bin/sh
# Makes a new, empty Wine prefix for one test run, so that no registry
# content survives from an earlier run or from the user's own ~/.wine.
set -e
: "${WINEPREFIX:?}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wineserver -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wine wineboot -i >/dev/null 2>&1
wineserver -w
