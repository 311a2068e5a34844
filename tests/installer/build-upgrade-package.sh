#!/bin/sh
# Builds another package from the same WiX source, of a later version for the
# upgrade test or of the same version for the test of a second build. Its
# launcher is the build's with a marker appended (Windows ignores data behind
# a program's last section), so that the test can tell which package's
# program an upgrade left installed.
#
# Usage: build-upgrade-package.sh VERSION LAUNCHER_EXE CHECK_EXE FOLDER_CHECK_DLL OUTPUT.msi
set -eu
marked="${5%.msi}-launcher.exe"
mkdir -p "$(dirname "$5")"
cp "$2" "$marked"
printf 'Zandrell Launcher %s upgrade test\n' "$1" >>"$marked"
"$(dirname "$0")/../../installer/build-package.sh" "$1" "$marked" "$3" "$4" "$5"
