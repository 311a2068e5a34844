#!/bin/sh
# Builds ZandrellLauncher.exe twice, each time in a build folder of its own
# made from nothing, and fails unless the two programs are byte for byte the
# same. The second build runs later, in another folder and another time zone,
# so a time stamp or a path that slips into the program shows up as a
# difference.
#
# Usage: tests/resources/check-reproducible.sh
# Builds in build/repro-a and build/repro-b under the source tree, and
# removes both again when the programs match.
set -eu

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
cd "$source_dir"

build() {
  dir=$1
  zone=$2
  rm -rf "$dir"
  if ! {
    TZ=$zone cmake --preset windows -B "$dir" &&
      TZ=$zone cmake --build "$dir" --target ZandrellLauncher -j2
  } >"$dir.log" 2>&1; then
    echo "check-reproducible.sh: the build in $dir failed:" >&2
    cat "$dir.log" >&2
    exit 1
  fi
}

mkdir -p build
build build/repro-a UTC
build build/repro-b Pacific/Chatham

a=build/repro-a/ZandrellLauncher.exe
b=build/repro-b/ZandrellLauncher.exe
if cmp "$a" "$b"; then
  echo "reproducible: $a and $b are identical ($(wc -c <"$a") bytes)"
  rm -rf build/repro-a build/repro-b build/repro-a.log build/repro-b.log
  exit 0
fi

echo "NOT reproducible: $a and $b differ; both builds are left for a look" >&2
cmp -l "$a" "$b" | head -n 20 >&2 || true
exit 1
