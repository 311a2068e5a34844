#!/bin/sh
# Runs a Windows program under Wine in the build's own prefix, quietly, and
# without letting Wine copy our file associations into the Linux desktop.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
: "${WINEPREFIX:?the Wine tests run in a prefix of their own; set WINEPREFIX}"
exec wine "$@"
