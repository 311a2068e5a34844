#!/bin/sh
# Builds the package twice from the same programs, the second time a second
# later, in another folder and another time zone, and fails unless the two
# come out byte for byte the same: a clock, a path or a random code that
# slips into the package shows up here in seconds, where the full rebuild of
# everything (label reproducible_package) takes minutes.
#
# Usage: check-package-rebuild.sh VERSION LAUNCHER_EXE CHECK_EXE WORK_FOLDER
set -eu
# A time-stamp server named in the environment would make the signing here
# time-stamped and the builds differ.
unset ZANDRELL_TIMESTAMP_URL
build_package="$(dirname "$0")/../../installer/build-package.sh"
rm -rf "$4"
TZ=UTC "$build_package" "$1" "$2" "$3" "$4/first.msi"
sleep 1
TZ=Pacific/Chatham "$build_package" "$1" "$2" "$3" "$4/elsewhere/second.msi"
if cmp "$4/first.msi" "$4/elsewhere/second.msi"; then
  echo "two builds of the package are identical ($(wc -c <"$4/first.msi") bytes)"
  exit 0
fi
echo "check-package-rebuild.sh: two builds of the package differ; both are left in $4" >&2
exit 1
