#!/bin/sh
# Installs what building and testing the launcher needs on Debian 12, as
# root (or through sudo). Quick when everything is already there.
set -e
packages="cmake make g++ python3 mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32 wine64 \
  wine32-preloader googletest libgtest-dev libbenchmark-dev locales \
  clang-14 libclang-rt-14-dev msitools wixl faketime osslsigncode openssl nlohmann-json3-dev python3-yaml"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# Some kernels (virtual machines among them) refuse to run 32-bit x86
# programs, and Wine's 32-bit half is one. Where that is so, qemu's user-mode
# emulator is registered to run them instead; with Wine's preloader it starts
# a 32-bit program in about a third of a second, fast enough for a program
# that does its one job on one thread and exits.
#
# Debian 12's own qemu (7.2) runs Wine's many-threaded 32-bit processes
# unreliably: msiexec and its custom action host crash ("stack smashing
# detected", "read: Bad address") or deadlock in one run of three. qemu 10,
# from Debian's backports for Debian 12, runs them all. The registration
# holds the emulator it was made with open (flag F), so it is made again
# when an older emulator is replaced.
qemu_is_recent() {
  command -v qemu-i386-static >/dev/null 2>&1 || return 1
  major=$(qemu-i386-static --version | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p')
  [ "${major:-0}" -ge 8 ]
}

install_recent_qemu() {
  qemu_is_recent && return 0
  . /etc/os-release
  target=""
  if [ "${VERSION_CODENAME:-}" = bookworm ]; then
    grep -rqs "bookworm-backports" /etc/apt/sources.list /etc/apt/sources.list.d/ ||
      echo "deb http://deb.debian.org/debian bookworm-backports main" |
        $sudo tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
    target="-t bookworm-backports"
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $target \
    qemu-user-static >/dev/null
}

enable_32bit_programs() {
  if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    qemu_is_recent && return 0
    install_recent_qemu
    echo -1 | $sudo tee /proc/sys/fs/binfmt_misc/qemu-i386 >/dev/null
  else
    /lib/ld-linux.so.2 --version >/dev/null 2>&1 && return 0
    install_recent_qemu
  fi
  [ -e /proc/sys/fs/binfmt_misc/register ] ||
    $sudo mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
    $sudo tee /proc/sys/fs/binfmt_misc/register >/dev/null
}

missing=""
dpkg --print-foreign-architectures | grep -qx i386 || missing="i386"
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing" >&2
  $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $packages >/dev/null
fi
enable_32bit_programs

# Wine takes the system's UI language and code page from the locale; the
# tests need these (ja_JP for code page 932; hi_IN, a language with no ANSI
# code page of its own, for 65001, UTF-8 as the ANSI code page).
for l in de_DE de_AT de_CH fr_FR en_US ja_JP hi_IN; do
  locale -a 2>/dev/null | grep -qx "$l.utf8" || $sudo localedef -i "$l" -f UTF-8 "$l.UTF-8"
done
