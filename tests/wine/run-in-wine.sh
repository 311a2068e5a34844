#!/bin/sh
# Runs a Windows program under Wine in the build's own prefix, quietly, and
# without letting Wine copy our file associations into the Linux desktop.
# WINE may name another loader: Debian's plain wine starts a program that
# Windows has in both builds (cmd.exe, reg.exe) as the 32-bit one even in a
# 64-bit prefix, and /usr/lib/wine/wine64 starts the 64-bit one.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
: "${WINEPREFIX:?the Wine tests run in a prefix of their own; set WINEPREFIX}"
exec "${WINE:-wine}" "$@"
