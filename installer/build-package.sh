#!/bin/bash
# Builds the Windows Installer package of Zandrell Launcher from
# installer/ZandrellLauncher.wxs with wixl, byte for byte the same from every
# build of the same sources, and Authenticode-signs the two programs and then
# the package when given a code-signing certificate.
#
# Usage: build-package.sh VERSION LAUNCHER_EXE CHECK_EXE OUTPUT.msi [PFX]
#   VERSION  the package version, three fields (1.7.0)
#   PFX      a PKCS#12 file with the code-signing certificate and its key; its
#            password comes from the environment, ZANDRELL_SIGN_PASSWORD, so
#            that it appears on no command line and in no build file.
# The files go into the package from a folder named like OUTPUT without .msi
# (signed there when signing), which is kept: it holds the programs exactly as
# shipped. SOURCE_DATE_EPOCH, else the time of the last commit, is the time
# recorded in the package.
set -euo pipefail

if [ $# -lt 4 ] || [ $# -gt 5 ]; then
  echo "usage: $0 VERSION LAUNCHER_EXE CHECK_EXE OUTPUT.msi [PFX]" >&2
  exit 2
fi
version=$1
launcher=$(realpath "$2")
check=$(realpath "$3")
output=$(realpath -m "$4")
pfx=${5:+$(realpath "$5")}
source_dir=$(cd "$(dirname "$0")/.." && pwd)

# Identifies the product across all its versions; Windows Installer finds the
# installed version to upgrade by it. Never change it.
upgrade_code=7A72C33B-0C19-40AD-9355-383BE3E52866

# A name-based UUID (version 5) in the upgrade code's namespace: the same
# name always gives the same code, another name another one.
name_uuid() {
  python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
    "$upgrade_code" "$1"
}

# osslsigncode reads the password from its standard input, never from its
# command line. The signing time is the package's time, and there is no
# time stamp, so that a signed build is reproducible too.
sign() {
  if ! report=$(printf '%s' "$ZANDRELL_SIGN_PASSWORD" |
    osslsigncode sign -pkcs12 "$pfx" -readpass /dev/stdin -h sha256 -n "Zandrell Launcher" \
      -time "$epoch" -in "$1" -out "$1.signed" 2>&1); then
    echo "$0: signing $1 failed: $report" >&2
    return 1
  fi
  mv "$1.signed" "$1"
}

if [ -n "$pfx" ] && [ -z "${ZANDRELL_SIGN_PASSWORD+set}" ]; then
  echo "$0: signing with $pfx needs its password in ZANDRELL_SIGN_PASSWORD" >&2
  exit 1
fi

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || true)}
# Outside a git checkout (an unpacked source archive) the WiX source's own
# time stands in, which archives keep.
epoch=${epoch:-$(stat -c %Y "$source_dir/installer/ZandrellLauncher.wxs")}

stage=${output%.msi}
rm -rf "$stage"
mkdir -p "$stage"
cp "$launcher" "$stage/ZandrellLauncher.exe"
cp "$check" "$stage/ZandrellCheck.exe"
cp "$source_dir/resources/ZandrellLauncher.ico" "$stage/"
if [ -n "$pfx" ]; then
  sign "$stage/ZandrellLauncher.exe"
  sign "$stage/ZandrellCheck.exe"
fi
# The cabinet records each file's modification time, as local time.
touch -d "@$epoch" "$stage"/*
export TZ=UTC

# The product code changes with every version, as a major upgrade needs, and
# stays the same for all builds of one version.
product_code=$(name_uuid "ZandrellLauncher product $version")
unsigned="$stage.unsigned.msi"
# wixl finds files only relative to its working folder, and stamps the
# package with the time it runs: faketime holds that at the package's time.
(
  cd "$stage"
  faketime -f "$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')" \
    wixl --arch x86 -D "Version=$version" -D "ProductCode=$product_code" \
    -D "UpgradeCode=$upgrade_code" -o "$unsigned" "$source_dir/installer/ZandrellLauncher.wxs"
)

# wixl gives each package a random package code, which Windows Installer
# takes as the identity of this very file. Derive it from the package's
# content instead: the same for identical packages, new for any change.
summary=("Zandrell Launcher $version" "Zandrell" "Intel;1033")
msibuild "$unsigned" -s "${summary[@]}" "{00000000-0000-0000-0000-000000000000}"
content=$(sha256sum "$unsigned" | cut -d' ' -f1)
msibuild "$unsigned" -s "${summary[@]}" "{$(name_uuid "ZandrellLauncher package $content")}"

if [ -n "$pfx" ]; then
  sign "$unsigned"
fi
mv "$unsigned" "$output"
