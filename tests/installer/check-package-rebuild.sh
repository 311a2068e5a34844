#!/bin/sh
# Builds the package twice from the same programs, the second time a second
# later, in another folder and another time zone, and fails unless the two
# come out byte for byte the same: a clock, a path or a random code that
# slips into the package shows up here in seconds, where the full rebuild of
# everything (label reproducible_package) takes minutes.
#
# Usage: check-package-rebuild.sh VERSION LAUNCHER_EXE CHECK_EXE FOLDER_CHECK_DLL WORK_FOLDER
set -eu
# A time-stamp server named in the environment would make the signing here
# time-stamped and the builds differ.
unset ZANDRELL_TIMESTAMP_URL
build_package="$(dirname "$0")/../../installer/build-package.sh"
work=$5
rm -rf "$work"
TZ=UTC "$build_package" "$1" "$2" "$3" "$4" "$work/first.msi"
sleep 1
TZ=Pacific/Chatham "$build_package" "$1" "$2" "$3" "$4" "$work/elsewhere/second.msi"
if cmp "$work/first.msi" "$work/elsewhere/second.msi"; then
  echo "two builds of the package are identical ($(wc -c <"$work/first.msi") bytes)"
  exit 0
fi
echo "check-package-rebuild.sh: two builds of the package differ; both are left in $work" >&2
exit 1
