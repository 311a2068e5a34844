#!/bin/sh
# Builds a target twice, each time in a build folder of its own made from
# nothing, and fails unless the file it makes comes out byte for byte the
# same. The second build runs later, in another folder and another time zone,
# so a time stamp or a path that slips into the file shows up as a
# difference.
#
# Usage: tests/resources/check-reproducible.sh [TARGET FILE]
# TARGET and FILE (relative to the build folder) default to ZandrellLauncher
# and ZandrellLauncher.exe. Builds in build/repro-TARGET-a and -b under the
# source tree, and removes both again when the files match.
set -eu

target=${1:-ZandrellLauncher}
file=${2:-ZandrellLauncher.exe}
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
cd "$source_dir"

build() {
  dir=$1
  zone=$2
  rm -rf "$dir"
  if ! {
    TZ=$zone cmake --preset windows -B "$dir" &&
      TZ=$zone cmake --build "$dir" --target "$target" -j2
  } >"$dir.log" 2>&1; then
    echo "check-reproducible.sh: the build in $dir failed:" >&2
    cat "$dir.log" >&2
    exit 1
  fi
}

mkdir -p build
a=build/repro-$target-a
b=build/repro-$target-b
build "$a" UTC
build "$b" Pacific/Chatham

if cmp "$a/$file" "$b/$file"; then
  echo "reproducible: $a/$file and $b/$file are identical ($(wc -c <"$a/$file") bytes)"
  rm -rf "$a" "$b" "$a.log" "$b.log"
  exit 0
fi

echo "NOT reproducible: $a/$file and $b/$file differ; both builds are left for a look" >&2
cmp -l "$a/$file" "$b/$file" | head -n 20 >&2 || true
exit 1
