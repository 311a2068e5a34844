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
# Where 32-bit programs run emulated, Wine's own helpers and the programs
# under test now and then crash, and Wine's debugger, itself emulated, then
# hangs for ever instead of reporting. The debugger is kept out while the
# prefix is made, and afterwards the debugger Windows starts for a crash is
# one that does nothing, so that a crash ends its process at once and the
# test that met it fails instead of hanging until ctest gives up.
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d" wine wineboot -i >/dev/null 2>&1
for view in 32 64; do
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d 'cmd /c exit 0' /f /reg:$view >/dev/null 2>&1 || true
done
wineserver -w
