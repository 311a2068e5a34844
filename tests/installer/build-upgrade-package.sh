#!/bin/sh
# Builds another package, of a later version for the upgrade test or of the
# same version for the test of a second build, from the same WiX source; or,
# given a commit, as the package was built from that commit's sources (its
# WiX source, build script and icon, taken from git), for the upgrade from a
# package that has shipped. Its launcher is the build's with a marker
# appended (Windows ignores data behind a program's last section), so that
# the test can tell which package's program an upgrade left installed.
#
# Usage: build-upgrade-package.sh VERSION LAUNCHER_EXE CHECK_EXE FOLDER_CHECK_DLL OUTPUT.msi [COMMIT]
set -eu
marked="${5%.msi}-launcher.exe"
mkdir -p "$(dirname "$5")"
cp "$2" "$marked"
printf 'Zandrell Launcher %s upgrade test\n' "$1" >>"$marked"
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
if [ $# -lt 6 ]; then
  exec "$source_dir/installer/build-package.sh" "$1" "$marked" "$3" "$4" "$5"
fi
# The sources go beside the package and are built there, nothing into the
# checkout; the package records the commit's time, as its own build did.
sources="${5%.msi}-sources"
rm -rf "$sources"
mkdir -p "$sources"
git -C "$source_dir" archive "$6" installer resources/ZandrellLauncher.ico | tar -x -C "$sources"
export SOURCE_DATE_EPOCH
SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct "$6")
# A package from before the folder check carried no custom action.
if grep -q FOLDER_CHECK_DLL "$sources/installer/build-package.sh"; then
  exec "$sources/installer/build-package.sh" "$1" "$marked" "$3" "$4" "$5"
fi
exec "$sources/installer/build-package.sh" "$1" "$marked" "$3" "$5"
