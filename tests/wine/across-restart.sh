#!/bin/sh
# Runs one test program twice with a restart of the wineserver in between:
# first the cases that match FIRST, then, once the server has ended (saving
# the registry as it does) and a new one has started, those that match
# SECOND. What the first step wrote must be there in the second.
#
# Usage: across-restart.sh PROGRAM.exe FIRST SECOND
set -eu
: "${WINEPREFIX:?}"
here=$(dirname "$0")
"$here/run-in-wine.sh" "$1" --gtest_also_run_disabled_tests --gtest_filter="$2"
wineserver -k
wineserver -w
"$here/run-in-wine.sh" "$1" --gtest_also_run_disabled_tests --gtest_filter="$3"
