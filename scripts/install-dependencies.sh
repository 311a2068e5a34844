#!/bin/sh
# Installs what building and testing the launcher needs on Debian 12, as
# root (or through sudo). Quick when everything is already there.
set -e
packages="cmake make g++ python3 mingw-w64 g++-mingw-w64-i686 wine wine32 wine64 \
  googletest libgtest-dev libbenchmark-dev icoutils locales"

missing=""
dpkg --print-foreign-architectures | grep -qx i386 || missing="i386"
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing:$missing" >&2
$sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $packages >/dev/null
